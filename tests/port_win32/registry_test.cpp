// The registry read below HKEY_LOCAL_MACHINE. scripts/wine-env.sh adds the koushin-test keys to
// the Wine prefix (with reg.exe, in both registry views) before the suites run.
#include <windows.h>

#include <gtest/gtest.h>

#include <sddl.h>

#include <string>

#include "port/port.h"
#include "text/cp932.h"

namespace koushin::port {
namespace {

const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

TEST(Win32Registry, ReadsStringValuesInBothViewsAndTheSystemRoot) {
  struct Case {
    std::string subKey;
    std::string valueName;
    RegistryLookup lookup;
    std::string value;
  };
  const std::string key = kUninstall + "koushin-test-\x95\x5C";  // a key name with 表 in it
  const std::string soft = "C:\\\x83\x5C\x83\x74\x83\x67\\setup.exe -fC:\\EST\\ -x";  // ソフト
  const Case cases[] = {
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
  for (const Case& c : cases) {
    SCOPED_TRACE(Cp932ToUtf8Lossy(c.subKey) + " " + c.valueName);
    std::string value = "stale";
    EXPECT_EQ(RegistryReadString(c.subKey, c.valueName, &value), c.lookup);
    EXPECT_EQ(value, c.value);
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
