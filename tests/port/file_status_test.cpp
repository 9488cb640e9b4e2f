#include "port/posix/dos_attributes.h"

#include <sys/xattr.h>

#include <random>

#include "port_fixture.h"
#include "support/require.h"

namespace koushin::port::testing {
namespace {

using FileStatusTest = PortTest;

TEST_F(FileStatusTest, AttributeBytesRoundTripThroughXattrAndPermissionBits) {
  MakeFile("c/f.txt", "12345");
  fs::create_directories(Host("c/Dir"));
  struct Case {
    std::string path;
    std::uint8_t written;
    std::uint8_t read;
    std::string stored;
  };
  const Case cases[] = {
      {"C:\\F.TXT", kAttrReadOnly | kAttrArchive, kAttrReadOnly | kAttrArchive, "0x21"},
      {"C:\\f.txt", kAttrHidden | kAttrSystem, kAttrHidden | kAttrSystem, "0x6"},
      {"C:\\f.txt", 0, 0, "0x0"},
      {"C:\\dir", kAttrHidden, kAttrHidden | kAttrDirectory, "0x12"},
      {"C:\\dir", kAttrReadOnly, kAttrReadOnly | kAttrDirectory, "0x11"},
      {"C:\\dir", 0, kAttrDirectory, "0x10"},
  };
  for (const Case& c : cases) {
    FileStatus status;  // times of 0 are left as they are
    status.attributes = c.written;
    Error error;
    ASSERT_TRUE(WriteFileStatus(c.path, status, &error)) << error.Describe();
    ASSERT_TRUE(ReadFileStatus(c.path, &status));
    EXPECT_EQ(status.attributes, c.read) << c.path << " " << int(c.written);
    const bool folder = c.path == "C:\\dir";
    const fs::path host = folder ? Host("c/Dir") : Host("c/f.txt");
    const auto perms = fs::status(host).permissions();
    const bool writable = (perms & fs::perms::owner_write) != fs::perms::none;
    EXPECT_EQ(writable, folder || (c.written & kAttrReadOnly) == 0) << c.path;  // folders keep it
    if (!folder && (c.written & kAttrReadOnly) != 0) {
      EXPECT_EQ(perms & fs::perms::others_write, fs::perms::none);
    }
    char stored[64];
    const ssize_t got = getxattr(host.c_str(), "user.DOSATTRIB", stored, sizeof stored);
    EXPECT_EQ(std::string(stored, got < 0 ? 0 : got), c.stored) << c.path;
  }

  // A chmod by another program decides read-only, whatever the extended attribute says.
  fs::permissions(Host("c/f.txt"), fs::perms::owner_write, fs::perm_options::remove);
  FileStatus status;
  ASSERT_TRUE(ReadFileStatus("C:\\f.txt", &status));
  EXPECT_EQ(status.attributes, kAttrReadOnly);

  // The attribute Samba wrote (hidden, archive), in its binary form.
  const char samba[] = "\0\0\4\0\4\0\0\0\x11\0\0\0\x22\0\0\0";
  ASSERT_EQ(setxattr(Host("c/Dir").c_str(), "user.DOSATTRIB", samba, 16, 0), 0);
  ASSERT_TRUE(ReadFileStatus("C:\\DIR", &status));
  EXPECT_EQ(status.attributes, kAttrHidden | kAttrArchive | kAttrDirectory);

  // The times themselves are in the port contract; the creation time is read but not written.
  const FileTime creation = status.creationTime;
  EXPECT_NE(creation, 0);
  status.creationTime = 1;
  ASSERT_TRUE(WriteFileStatus("C:\\DIR", status));
  ASSERT_TRUE(ReadFileStatus("C:\\DIR", &status));
  EXPECT_EQ(status.creationTime, creation);
}

TEST(DosAttribTest, ReadsWineAndSambaForms) {
  struct Case {
    std::string value;
    bool ok;
    std::uint32_t attributes;
  };
  const Case cases[] = {
      {"0x21", true, 0x21},
      {std::string("0x2\0", 4), true, 0x2},
      {"0X10", true, 0x10},
      // Samba's binary record, version 4: empty text, version, switch, flags 0x11, attrib 0x21.
      {std::string("\0\0\4\0\4\0\0\0\x11\0\0\0\x21\0\0\0\0\0\0\0\0\0\0\0", 24), true, 0x21},
      // Version 3 with "0x20" text in front.
      {std::string("0x20\0\0\3\0\3\0\0\0\1\0\0\0\x22\0\0\0", 20), true, 0x20},
      {std::string("\0\0\5\0\5\0\0\0\0\0\0\0\x21\0\0\0", 16), false, 0},  // attrib not valid
      {std::string("\0\0\4\0\3\0\0\0\1\0\0\0", 12), false, 0},            // switch mismatch
      {std::string("\0\0\4\0\4\0\0\0\1\0", 10), false, 0},                // truncated
      {"0x", false, 0},
      {"junk", false, 0},
      {"", false, 0},
  };
  for (const Case& c : cases) {
    std::uint32_t attributes = 0;
    EXPECT_EQ(posix::ParseDosAttrib(c.value, &attributes), c.ok) << c.value;
    EXPECT_EQ(attributes, c.attributes) << c.value;
  }
}

TEST(FileStatusNoXattrTest, DegradesWhereTheFileSystemHasNoUserXattrs) {
  // tmpfs may refuse user extended attributes; read-only must still survive there.
  KOUSHIN_REQUIRE(fs::is_directory("/dev/shm"), "/dev/shm");
  const fs::path folder = "/dev/shm/koushin-port-" + std::to_string(std::random_device()());
  fs::create_directories(folder);
  std::ofstream(folder / "f") << "x";
  const std::string path = (folder / "f").string();
  FileStatus status;
  status.attributes = kAttrReadOnly | kAttrHidden;
  Error error;
  EXPECT_TRUE(WriteFileStatus(path, status, &error)) << error.Describe();
  ASSERT_TRUE(ReadFileStatus(path, &status));
  EXPECT_EQ(status.attributes & kAttrReadOnly, kAttrReadOnly);
  fs::remove_all(folder);
}

}  // namespace
}  // namespace koushin::port::testing
