#include "port/posix/registry.h"

#include "port_fixture.h"

namespace koushin::port::testing {
namespace {

const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// UTF-16LE with BOM, as regedit writes version 5 exports; `utf8` uses LF line ends.
std::string Utf16Export(const std::string& utf8) {
  std::string bytes = "\xff\xfe";
  auto unit = [&](std::uint32_t u) {
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>(u >> 8);
  };
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    std::uint32_t c;
    if (b < 0x80) {
      c = b, i += 1;
    } else if (b < 0xE0) {
      c = ((b & 0x1F) << 6) | (utf8[i + 1] & 0x3F), i += 2;
    } else {
      c = ((b & 0x0F) << 12) | ((utf8[i + 1] & 0x3F) << 6) | (utf8[i + 2] & 0x3F), i += 3;
    }
    if (c == '\n') unit('\r');
    unit(c);
  }
  return bytes;
}

class RegistryTest : public PortTest {
 protected:
  // Makes `bytes` the registry file and checks every lookup of `cases`.
  struct Lookup {
    std::string key, name;
    RegistryLookup result;
    std::string value;
  };
  void Check(const std::string& bytes, const std::vector<Lookup>& cases) {
    std::ofstream(Host("export.reg"), std::ios::binary) << bytes;
    Options options;
    options.drives['C'] = Host("c").string();
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
  // 表計算 as a key name; ソ and 表 in a value, whose trail bytes are '\\'.
  const std::string hyokeisan = "\x95\x5c\x8c\x76\x8e\x5a";
  const std::string text =
      "REGEDIT4\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
      hyokeisan +
      "]\r\n"
      "\"UninstallString\"=\"C:\\\\WINDOWS\\\\UNINST.EXE -fC:\\\\" +
      kSo + kHyo +
      "\\\\SETUP.LOG\"\r\n"
      "\"Quoted\"=\"say \\\"" +
      kSo +
      "\\\"\"\r\n"
      "\"Count\"=dword:00000001\r\n"
      "\"Expand\"=hex(2):25,77,69,6e,64,69,72,25,\\\r\n  00\r\n"
      "@=\"default\"\r\n"
      "\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n\"UninstallString\"=\"user\"\r\n";
  Check(text,
        {
            {kUninstall + hyokeisan, "UninstallString", RegistryLookup::kFound,
             "C:\\WINDOWS\\UNINST.EXE -fC:\\" + kSo + kHyo + "\\SETUP.LOG"},
            {"software\\MICROSOFT\\windows\\currentversion\\uninstall\\" + hyokeisan + "\\",
             "uninstallstring", RegistryLookup::kFound,
             "C:\\WINDOWS\\UNINST.EXE -fC:\\" + kSo + kHyo + "\\SETUP.LOG"},
            {kUninstall + hyokeisan, "Quoted", RegistryLookup::kFound, "say \"" + kSo + "\""},
            {kUninstall + hyokeisan, "Expand", RegistryLookup::kFound, "%windir%"},
            {kUninstall + hyokeisan, "", RegistryLookup::kFound, "default"},
            {kUninstall + hyokeisan, "Count", RegistryLookup::kNoValue, ""},
            {kUninstall + hyokeisan, "Missing", RegistryLookup::kNoValue, ""},
            {kUninstall, "UninstallString", RegistryLookup::kNoValue, ""},  // a parent key opens
            {kUninstall + "Other", "UninstallString", RegistryLookup::kNoKey, ""},
            {"Software\\Other", "UninstallString", RegistryLookup::kNoKey, ""},  // another hive
        });
}

TEST_F(RegistryTest, ReadsVersion5InUtf16) {
  const std::string text =
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
      "\xe8\xa1\xa8\xe8\xa8\x88\xe7\xae\x97]\n"  // 表計算
      "\"UninstallString\"=\"C:\\\\UNINST.EXE -fC:\\\\\xe3\x82\xbd\\\\SETUP.LOG\"\n"
      "\"Expand\"=hex(2):25,00,53,00,79,00,73,00,\\\n  00,00\n"
      "\"Emoji\"=\"\xf0\x9f\x98\x80\"\n"  // no code page 932 form
      "\"Deleted\"=\"x\"\n\"Deleted\"=-\n";
  const std::string key = kUninstall + "\x95\x5c\x8c\x76\x8e\x5a";
  Check(Utf16Export(text), {
                               {key, "UninstallString", RegistryLookup::kFound,
                                "C:\\UNINST.EXE -fC:\\" + kSo + "\\SETUP.LOG"},
                               {key, "Expand", RegistryLookup::kFound, "%Sys"},
                               {key, "Emoji", RegistryLookup::kNoValue, ""},
                               {key, "Deleted", RegistryLookup::kNoValue, ""},
                           });
}

TEST_F(RegistryTest, ReadsWineSystemReg) {
  std::ifstream in(fs::path(KOUSHIN_SOURCE_DIR) / "tests/port/data/system.reg", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string forms = "Software\\Koushin\\Forms";
  Check(bytes,
        {
            {kUninstall + "ESTIMATE 3", "UninstallString", RegistryLookup::kFound,
             "C:\\WINDOWS\\UNINST.EXE -fC:\\APPS\\" + kSo + "\x83\x74\x83\x67" + kHyo +
                 "\\SETUP.LOG -y"},
            {kUninstall + "Estimate 3", "DisplayName", RegistryLookup::kFound, "\x8c\xa9\x90\xcf"},
            {kUninstall + "Estimate 3", "Version", RegistryLookup::kNoValue, ""},
            {forms, "Expand", RegistryLookup::kFound, "%SystemRoot%\\x\"q"},
            {forms, "Escapes", RegistryLookup::kFound, "tab\there" + kHyo + "zA"},
            {forms, "Multi", RegistryLookup::kNoValue, ""},
            {forms, "Bin", RegistryLookup::kNoValue, ""},
            {forms, "", RegistryLookup::kFound, "default value"},
            {forms, "Emoji", RegistryLookup::kNoValue, ""},
            {"software\\wine\\drives", "D:", RegistryLookup::kFound, "cdrom"},
            {"Software\\Koushin\\Missing", "x", RegistryLookup::kNoKey, ""},
        });
}

TEST_F(RegistryTest, RefusesWhatIsNoRegistryFile) {
  std::ofstream(Host("bad.reg")) << "[HKEY_LOCAL_MACHINE\\X]\n";
  Options options;
  options.registryFile = Host("bad.reg").string();
  Error error;
  EXPECT_FALSE(Configure(options, &error));
  EXPECT_EQ(error.hostCode, EINVAL);
  options.registryFile = Host("none.reg").string();
  EXPECT_FALSE(Configure(options, &error));
  EXPECT_EQ(error.hostCode, ENOENT);
}

}  // namespace
}  // namespace koushin::port::testing
