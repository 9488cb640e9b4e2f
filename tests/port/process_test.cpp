// The process and host calls of the port (arguments, host paths, the program's folder, host files,
// the terminal test), on real files in a temporary folder. The same file runs natively (port_tests)
// and under Wine (port_win32_tests).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "port/port.h"
#include "support/temp_folder.h"

namespace koushin::port {
namespace {

using koushin::testing::TempFolder;

#ifdef _WIN32
constexpr char kSeparator = '\\';
constexpr char kTestProgram[] = "port_win32_tests.exe";
#else
constexpr char kSeparator = '/';
constexpr char kTestProgram[] = "port_tests";
#endif

// ソ表: both trail bytes are '\\' in code page 932, so a path that went through the ANSI code page
// or was cut at a 0x5C byte would not name the folder.
const std::string kFolderCp932 = "\x83\x5C\x95\x5C";
const std::string kFileUtf8 = "\xE8\xA8\x98\xE9\x8C\xB2.log";  // 記録.log
const std::string kFileCp932 = "\x8B\x4C\x98\x5E.log";

TEST(HostProcess, RelativeJapanesePathsResolveAndOpenOutsideTheAnsiCodePage) {
  TempFolder temp;
  temp.MakeFolder(kFolderCp932);
  const std::string folderUtf8 = temp.HostOf(kFolderCp932).u8string();
  const std::filesystem::path working = std::filesystem::current_path();
  std::filesystem::current_path(temp.HostOf(kFolderCp932));
  const std::string absolute = AbsoluteHostPath(kFileUtf8);
  // Absolute and empty paths stay as given.
  const std::string asGiven = AbsoluteHostPath(folderUtf8) + AbsoluteHostPath("");
  std::filesystem::current_path(working);
  EXPECT_EQ(folderUtf8 + kSeparator + kFileUtf8, absolute);
  EXPECT_EQ(folderUtf8, asGiven);
  std::FILE* file = OpenHostFile(absolute, "wb");
  ASSERT_NE(nullptr, file);
  EXPECT_FALSE(IsTerminal(file));
  EXPECT_EQ(3u, std::fwrite("log", 1, 3, file));
  std::fclose(file);
  std::string bytes;
  EXPECT_TRUE(ReadWholeFile(temp.PathOf(kFolderCp932 + "\\" + kFileCp932), &bytes));
  EXPECT_EQ("log", bytes);

  EXPECT_EQ(nullptr, OpenHostFile(folderUtf8 + kSeparator + "missing" + kSeparator + "x", "rb"));
  EXPECT_EQ(nullptr, OpenHostFile("", "rb"));
  EXPECT_FALSE(IsTerminal(nullptr));
}

TEST(HostProcess, ProgramFolderAndArgumentsComeFromThePlatform) {
  const std::string folder = ProgramFolderUtf8("");
  ASSERT_FALSE(folder.empty());
  std::FILE* program = OpenHostFile(folder + kSeparator + kTestProgram, "rb");
  EXPECT_NE(nullptr, program) << folder;
  if (program != nullptr) std::fclose(program);
#ifdef _WIN32
  // The wide command line, whatever the run-time library's argv holds.
  const std::vector<std::string> arguments = ProgramArgumentsUtf8(0, nullptr);
  ASSERT_FALSE(arguments.empty());
  EXPECT_NE(std::string::npos, arguments[0].find("port_win32_tests")) << arguments[0];
#else
  char first[] = "koushin";
  char second[] = "--folder=\xE3\x82\xBD";
  char* argv[] = {first, second, nullptr};
  EXPECT_EQ((std::vector<std::string>{"koushin", "--folder=\xE3\x82\xBD"}),
            ProgramArgumentsUtf8(2, argv));
#endif
}

}  // namespace
}  // namespace koushin::port
