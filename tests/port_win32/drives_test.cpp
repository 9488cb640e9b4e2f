// Drives, per-drive current folders and files held open through the Win32 port, under Wine
// (drives C: and Z:). Wine's Restart Manager names nobody, so there each file is looked at by
// opening it without sharing.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "port/port.h"
#include "support/require.h"
#include "support/temp_folder.h"

namespace koushin::port {
namespace {

TEST(Win32Drives, ReportsDrivesTypesAndTheWindowsFolder) {
  const std::string current = CurrentFolder();
  ASSERT_GE(current.size(), 3u);
  EXPECT_EQ(CurrentDrive(), (current[0] | 0x20) - 'a' + 1);
  const std::vector<char> drives = AvailableDrives();
  EXPECT_NE(std::find(drives.begin(), drives.end(), 'c'), drives.end());
  EXPECT_TRUE(std::is_sorted(drives.begin(), drives.end()));
  EXPECT_EQ(DriveTypeOf("C:\\"), 3);
  EXPECT_EQ(DriveTypeOf("c:\\windows\\x.ini"), 3);
  EXPECT_EQ(DriveTypeOf("c:relative"), 3);
  char missing = 'y';
  while (missing > 'c' && std::find(drives.begin(), drives.end(), missing) != drives.end())
    --missing;
  ASSERT_NE(missing, 'c');
  EXPECT_EQ(DriveTypeOf(std::string(1, missing) + ":\\a"), 1);
  EXPECT_FALSE(ChangeDrive(missing - 'a' + 1));
  EXPECT_EQ(CurrentFolder(), current);

  const std::string windows = WindowsFolder();
  ASSERT_GE(windows.size(), 4u);
  EXPECT_NE(windows.back(), '\\');
  EXPECT_TRUE(IsFolder(windows));
}

TEST(Win32Drives, EachDriveKeepsItsOwnCurrentFolder) {
  koushin::testing::TempFolder folder;
  const std::string sub = folder.PathOf("\x83\x5C"), inner = sub + "\\\x95\x5C";  // ソ, ソ\表
  ASSERT_TRUE(MakeFolder(sub));
  ASSERT_TRUE(MakeFolder(inner));
  const char home = static_cast<char>(folder.Path()[0] | 0x20);
  char other = 0;
  for (char letter : AvailableDrives()) {
    if (letter != home && DriveTypeOf(std::string(1, letter) + ":\\") == 3) other = letter;
  }
  KOUSHIN_REQUIRE(other != 0, "a second fixed drive (Wine has Z:)");
  const int homeNumber = home - 'a' + 1, otherNumber = other - 'a' + 1;
  const std::string otherRoot = std::string(1, static_cast<char>(other - 0x20)) + ":\\";

  Error error;
  ASSERT_TRUE(ChangeFolder(sub, &error)) << error.Describe();
  EXPECT_EQ(CurrentFolder(), sub);
  EXPECT_EQ(CurrentDrive(), homeNumber);
  ASSERT_TRUE(ChangeFolder(otherRoot));  // "Z:\\": makes Z current
  EXPECT_EQ(CurrentDrive(), otherNumber);
  EXPECT_EQ(CurrentFolder(), otherRoot);
  ASSERT_TRUE(ChangeDrive(homeNumber));  // back to the folder C: had
  EXPECT_EQ(CurrentFolder(), sub);
  ASSERT_TRUE(ChangeDrive(otherNumber));
  // "c:\x95\x5C": relative to C's own current folder while Z: is current.
  ASSERT_TRUE(ChangeFolder(std::string(1, home) + ":\x95\x5C", &error)) << error.Describe();
  EXPECT_EQ(CurrentDrive(), homeNumber);
  EXPECT_EQ(CurrentFolder(), inner);
  ASSERT_TRUE(ChangeFolder(".."));
  EXPECT_EQ(CurrentFolder(), sub);
  ASSERT_TRUE(ChangeFolder("\x95\x5C"));
  EXPECT_EQ(CurrentFolder(), inner);
  ASSERT_TRUE(ChangeFolder("\\"));
  EXPECT_EQ(CurrentFolder().size(), 3u);
  EXPECT_EQ(CurrentDrive(), homeNumber);

  EXPECT_FALSE(ChangeFolder(folder.PathOf("missing"), &error));
  EXPECT_EQ(error.path, folder.PathOf("missing"));
  EXPECT_EQ(CurrentFolder().size(), 3u);
}

// A file held is found; a search that could look at none of the files fails instead of saying
// that nobody holds them.
TEST(Win32FilesInUse, FindsHeldFilesAndFailsWhereItCouldLookAtNone) {
  koushin::testing::TempFolder folder;
  const std::string held = folder.Path() + "\\HELD.EXE", free = folder.Path() + "\\FREE.DLL";
  std::ofstream(folder.Host() / "HELD.EXE") << "held";
  std::ofstream(folder.Host() / "FREE.DLL") << "free";
  // Held without sharing, as a running program of the suite holds its own files.
  const HANDLE handle = CreateFileW((folder.Host() / "HELD.EXE").c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  // A device's name in a folder: it is there, but no open can look at it.
  const std::string device = folder.Path() + "\\CON";
  const struct Case {
    const char* what;
    std::vector<std::string> paths;
    bool searched;
    std::vector<std::string> files;
  } cases[] = {
      {"nothing there", {folder.Path() + "\\NONE.DLL", folder.Path()}, true, {}},
      {"a held file beside a free one", {free, held}, true, {held}},
      {"only a file it cannot look at", {device}, false, {}},
      {"one it cannot look at beside one it can", {device, free}, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FilesInUse found;
    Error error;
    EXPECT_EQ(FindFilesInUse(c.paths, &found, &error), c.searched);
    EXPECT_EQ(found.files, c.files);
    if (!c.searched) {
      EXPECT_EQ(error.path, device) << error.Describe();
    }
  }
  CloseHandle(handle);
}

}  // namespace
}  // namespace koushin::port
