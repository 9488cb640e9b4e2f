#include "port/posix/registry.h"

#include <errno.h>

#include "port_fixture.h"

namespace koushin::port::testing {
namespace {

const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::string kHyokeisan = "\x95\x5c\x8c\x76\x8e\x5a";  // 表計算: a key name

class RegistryTest : public PortTest {
 protected:
  struct Lookup {
    std::string key, name;
    RegistryLookup result;
    std::string value;
  };
  // Makes `bytes` the registry file and checks every lookup of `cases`.
  void Check(const std::string& bytes, const std::vector<Lookup>& cases) {
    std::ofstream(Host("export.reg"), std::ios::binary) << bytes;
    Options options;
    options.registryFile = Host("export.reg").string();
    Error error;
    ASSERT_TRUE(Configure(options, &error)) << error.Describe();
    for (const Lookup& c : cases) {
      std::string value = "stale";
      EXPECT_EQ(RegistryReadString(c.key, c.name, &value), c.result) << c.key << " " << c.name;
      EXPECT_EQ(value, c.value) << c.key << " " << c.name;
    }
  }
};

TEST_F(RegistryTest, ReadsRegedit4InCodePage932) {
  // ソ and 表 in a value, whose trail bytes are '\\'.
  const std::string key = kUninstall + kHyokeisan;
  const std::string uninstall = "C:\\WINDOWS\\UNINST.EXE -fC:\\\x83\x5c\x95\x5c\\SETUP.LOG";
  Check("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\" + key +
            "]\r\n"
            "\"UninstallString\"=\"C:\\\\WINDOWS\\\\UNINST.EXE "
            "-fC:\\\\\x83\x5c\x95\x5c\\\\SETUP.LOG\"\r\n"
            "\"Quoted\"=\"say \\\"\x83\x5c\\\"\"\r\n"
            "\"Count\"=dword:00000001\r\n"
            "\"Expand\"=hex(2):25,77,69,6e,64,69,72,25,\\\r\n  00\r\n"
            "@=\"default\"\r\n"
            "\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n\"UninstallString\"=\"user\"\r\n",
        {
            {key, "UninstallString", RegistryLookup::kFound, uninstall},
            {"software\\MICROSOFT\\windows\\currentversion\\uninstall\\" + kHyokeisan + "\\",
             "uninstallstring", RegistryLookup::kFound, uninstall},
            {key, "Quoted", RegistryLookup::kFound, "say \"\x83\x5c\""},
            {key, "Expand", RegistryLookup::kFound, "%windir%"},
            {key, "", RegistryLookup::kFound, "default"},
            {key, "Count", RegistryLookup::kNoValue, ""},
            {key, "Missing", RegistryLookup::kNoValue, ""},
            {kUninstall, "UninstallString", RegistryLookup::kNoValue, ""},  // a parent key opens
            {kUninstall + "Other", "UninstallString", RegistryLookup::kNoKey, ""},
            {"Software\\Other", "UninstallString", RegistryLookup::kNoKey, ""},  // another hive
        });
}

TEST_F(RegistryTest, ReadsVersion5InUtf16) {
  const std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
      u"\u8868\u8a08\u7b97]\r\n"  // 表計算
      u"\"UninstallString\"=\"C:\\\\UNINST.EXE -fC:\\\\\u30bd\\\\SETUP.LOG\"\r\n"
      u"\"Expand\"=hex(2):25,00,53,00,79,00,73,00,\\\r\n  00,00\r\n"
      u"\"Emoji\"=\"\U0001F600\"\r\n"  // no code page 932 form
      u"\"Deleted\"=\"x\"\r\n\"Deleted\"=-\r\n";
  std::string bytes = "\xff\xfe";  // UTF-16LE with BOM, as regedit writes version 5 exports
  for (char16_t unit : text) bytes += {static_cast<char>(unit), static_cast<char>(unit >> 8)};
  const std::string key = kUninstall + kHyokeisan;
  Check(bytes, {
                   {key, "UninstallString", RegistryLookup::kFound,
                    "C:\\UNINST.EXE -fC:\\\x83\x5c\\SETUP.LOG"},
                   {key, "Expand", RegistryLookup::kFound, "%Sys"},
                   {key, "Emoji", RegistryLookup::kNoValue, ""},
                   {key, "Deleted", RegistryLookup::kNoValue, ""},
               });
}

TEST_F(RegistryTest, ReadsWineSystemRegAndRefusesWhatIsNoRegistryFile) {
  const std::string bytes =
      koushin::testing::HostBytes(fs::path(KOUSHIN_SOURCE_DIR) / "tests/port/data/system.reg");
  const std::string forms = "Software\\Koushin\\Forms";
  Check(bytes,
        {
            {kUninstall + "ESTIMATE 3", "UninstallString", RegistryLookup::kFound,
             "C:\\WINDOWS\\UNINST.EXE -fC:\\APPS\\\x83\x5c\x83\x74\x83\x67\x95\x5c\\SETUP.LOG -y"},
            {kUninstall + "Estimate 3", "DisplayName", RegistryLookup::kFound, "\x8c\xa9\x90\xcf"},
            {kUninstall + "Estimate 3", "Version", RegistryLookup::kNoValue, ""},
            {forms, "Expand", RegistryLookup::kFound, "%SystemRoot%\\x\"q"},
            {forms, "Escapes", RegistryLookup::kFound, "tab\there\x95\x5czA"},
            {forms, "Multi", RegistryLookup::kNoValue, ""},
            {forms, "Bin", RegistryLookup::kNoValue, ""},
            {forms, "", RegistryLookup::kFound, "default value"},
            {forms, "Emoji", RegistryLookup::kNoValue, ""},
            {"software\\wine\\drives", "D:", RegistryLookup::kFound, "cdrom"},
            {"Software\\Koushin\\Missing", "x", RegistryLookup::kNoKey, ""},
        });

  std::ofstream(Host("bad.reg")) << "[HKEY_LOCAL_MACHINE\\X]\n";
  for (const auto& [file, code] : {std::pair{"bad.reg", EINVAL}, {"none.reg", ENOENT}}) {
    Options options;
    options.registryFile = Host(file).string();
    Error error;
    EXPECT_FALSE(Configure(options, &error)) << file;
    EXPECT_EQ(error.hostCode, code) << file;
  }
}

}  // namespace
}  // namespace koushin::port::testing
