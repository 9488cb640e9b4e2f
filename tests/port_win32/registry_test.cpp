// The registry read below HKEY_LOCAL_MACHINE. scripts/wine-env.sh adds the koushin-test keys to
// the Wine prefix (with reg.exe, in both registry views) before the suites run.
#include <gtest/gtest.h>

#include <string>

#include "port/port.h"
#include "text/cp932.h"

namespace koushin::port {
namespace {

const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

TEST(Win32Registry, ReadsStringValuesWithReadAccessOnly) {
  struct Case {
    std::string subKey;
    std::string valueName;
    RegistryLookup lookup;
    std::string value;
  };
  const Case cases[] = {
      // A key name in code page 932 (表), a value with ソフト in it.
      {kUninstall + "koushin-test-\x95\x5C", "UninstallString", RegistryLookup::kFound,
       "C:\\\x83\x5C\x83\x74\x83\x67\\setup.exe -fC:\\EST\\ -x"},
      // Key names match case-insensitively.
      {"software\\MICROSOFT\\windows\\currentversion\\uninstall\\KOUSHIN-TEST-\x95\x5C",
       "UninstallString", RegistryLookup::kFound,
       "C:\\\x83\x5C\x83\x74\x83\x67\\setup.exe -fC:\\EST\\ -x"},
      {kUninstall + "koushin-test-\x95\x5C", "Missing", RegistryLookup::kNoValue, ""},
      {kUninstall + "koushin-test-\x95\x5C", "Count", RegistryLookup::kNoValue, ""},  // a DWORD
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
}

TEST(Win32Registry, AgreesWithTheWindowsFolder) {
  std::string root;
  ASSERT_EQ(
      RegistryReadString("Software\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot", &root),
      RegistryLookup::kFound);
  EXPECT_EQ(text::ToUpper(root), text::ToUpper(WindowsFolder()));
}

}  // namespace
}  // namespace koushin::port
