// The temporary folder of the tests: the port's name for it and the host's name for it must be
// the same folder, on POSIX and on Windows, also for code page 932 names whose trail byte is '\\'.
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "port/port.h"

namespace koushin::testing {
namespace {

const std::string kSo = "\x83\x5C";    // ソ
const std::string kHyou = "\x95\x5C";  // 表

TEST(TempFolder, PortAndHostNamesReachTheSameFiles) {
  std::filesystem::path host;
  {
    TempFolder folder;
    host = folder.Host();
    EXPECT_TRUE(std::filesystem::is_directory(host));
    EXPECT_TRUE(std::filesystem::is_empty(host));
    EXPECT_TRUE(port::IsFolder(folder.Path()));
    EXPECT_NE(folder.Path().back(), '\\');

    // Written by the port, read by the host, and the other way round.
    ASSERT_TRUE(port::MakeFolder(folder.PathOf(kSo)));
    ASSERT_TRUE(port::WriteWholeFile(folder.PathOf(kSo + "\\" + kHyou + ".ini"), "port"));
    EXPECT_EQ(folder.Read(kSo + "\\" + kHyou + ".ini"), "port");
    EXPECT_TRUE(std::filesystem::exists(folder.HostOf(kSo + "/" + kHyou + ".ini")));
    folder.Write(kHyou + "\\" + kSo + ".txt", "host");
    std::string bytes;
    EXPECT_TRUE(port::ReadWholeFile(folder.PathOf(kHyou + "\\" + kSo + ".txt"), &bytes));
    EXPECT_EQ(bytes, "host");

    // A drive-like root: "X:\\" on POSIX, the folder itself on Windows.
    std::string root = folder.AsDrive('t');
    EXPECT_EQ(root.back(), '\\');
    EXPECT_TRUE(port::ReadWholeFile(root + kHyou + "\\" + kSo + ".txt", &bytes));
    EXPECT_EQ(bytes, "host");

    // A read-only file does not keep the folder alive.
    port::FileStatus status;
    status.attributes = port::kAttrReadOnly;
    ASSERT_TRUE(port::WriteFileStatus(folder.PathOf(kSo + "\\" + kHyou + ".ini"), status));
  }
  EXPECT_FALSE(std::filesystem::exists(host));
  port::Configure(port::Options());
}

TEST(TempFolder, EachFolderIsNew) {
  TempFolder one, two;
  EXPECT_NE(one.Host(), two.Host());
  EXPECT_NE(one.Path(), two.Path());
}

}  // namespace
}  // namespace koushin::testing
