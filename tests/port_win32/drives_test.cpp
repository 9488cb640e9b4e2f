// Drives, per-drive current folders, files held open and the registry through the Win32 port,
// under Wine (drives C: and Z:). Wine's Restart Manager names nobody, so there each file is looked
// at by opening it without sharing. The registry is read below HKEY_LOCAL_MACHINE:
// scripts/wine-env.sh adds the koushin-test keys to the Wine prefix (with reg.exe, in both
// registry views) before the suites run.
#include <windows.h>

#include <gtest/gtest.h>

#include <sddl.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "port/port.h"
#include "support/require.h"
#include "support/temp_folder.h"
#include "text/cp932.h"

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
  // What, the paths, whether it could search, the held files found.
  using Paths = std::vector<std::string>;
  const std::tuple<const char*, Paths, bool, Paths> cases[] = {
      {"nothing there", {folder.Path() + "\\NONE.DLL", folder.Path()}, true, {}},
      {"a held file beside a free one", {free, held}, true, {held}},
      {"only a file it cannot look at", {device}, false, {}},
      {"one it cannot look at beside one it can", {device, free}, true, {}},
  };
  for (const auto& [what, paths, searched, files] : cases) {
    SCOPED_TRACE(what);
    FilesInUse found;
    Error error;
    EXPECT_EQ(FindFilesInUse(paths, &found, &error), searched);
    EXPECT_EQ(found.files, files);
    if (!searched) {
      EXPECT_EQ(error.path, device) << error.Describe();
    }
  }
  CloseHandle(handle);
}

const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

TEST(Win32Registry, ReadsStringValuesInBothViewsAndTheSystemRoot) {
  const std::string key = kUninstall + "koushin-test-\x95\x5C";  // a key name with 表 in it
  const std::string soft = "C:\\\x83\x5C\x83\x74\x83\x67\\setup.exe -fC:\\EST\\ -x";  // ソフト
  // Key, value name, the lookup's result and the value read.
  const std::tuple<std::string, std::string, RegistryLookup, std::string> cases[] = {
      {key, "UninstallString", RegistryLookup::kFound, soft},
      {"software\\MICROSOFT\\windows\\currentversion\\uninstall\\KOUSHIN-TEST-\x95\x5C",
       "UninstallString", RegistryLookup::kFound, soft},
      {key, "Missing", RegistryLookup::kNoValue, ""},
      {key, "Count", RegistryLookup::kNoValue, ""},  // a DWORD
      {kUninstall + "koushin-test-missing", "UninstallString", RegistryLookup::kNoKey, ""},
      // The installed system is a 32-bit program: its view wins over the 64-bit one.
      {kUninstall + "koushin-test-views", "UninstallString", RegistryLookup::kFound, "32"},
      {kUninstall + "koushin-test-only64", "UninstallString", RegistryLookup::kFound, "64"},
  };
  for (const auto& [subKey, valueName, lookup, wanted] : cases) {
    SCOPED_TRACE(Cp932ToUtf8Lossy(subKey) + " " + valueName);
    std::string value = "stale";
    EXPECT_EQ(RegistryReadString(subKey, valueName, &value), lookup);
    EXPECT_EQ(value, wanted);
  }
  std::string root;
  ASSERT_EQ(
      RegistryReadString("Software\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot", &root),
      RegistryLookup::kFound);
  EXPECT_EQ(text::ToUpper(root), text::ToUpper(WindowsFolder()));  // agrees with the port
}

// An uninstall entry whose key grants everyone reading and nothing more, as HKEY_LOCAL_MACHINE
// grants a standard user: a lookup that asked for more than reading would not find it.
TEST(Win32Registry, FindsAnEntryThatGrantsOnlyReading) {
  const std::string name = "koushin-test-readonly-" + std::to_string(GetCurrentProcessId());
  const std::wstring path = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
                            std::wstring(name.begin(), name.end());
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const wchar_t data[] = L"C:\\UNINST.EXE -fC:\\EST\\SETUP.LOG";
  RegSetValueExW(key, L"UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                 sizeof data);
  // Everyone (WD): KEY_READ, and DELETE so that the key can be removed afterwards.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"D:(A;;0x30019;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
  ASSERT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
  RegCloseKey(key);
  LocalFree(descriptor);
  // The lock must hold, or the case below proves nothing.
  HKEY writable = nullptr;
  EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                          &writable),
            ERROR_SUCCESS);
  if (writable != nullptr) RegCloseKey(writable);

  std::string value;
  EXPECT_EQ(RegistryReadString(kUninstall + name, "UninstallString", &value),
            RegistryLookup::kFound);
  EXPECT_EQ(value, "C:\\UNINST.EXE -fC:\\EST\\SETUP.LOG");
  EXPECT_EQ(RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), KEY_WOW64_64KEY, 0), ERROR_SUCCESS);
}

}  // namespace
}  // namespace koushin::port
