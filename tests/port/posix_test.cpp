// The POSIX port's own part: drives from options or a Wine prefix, each drive's current folder,
// Windows paths resolved to host paths and searches below them, the attribute byte kept in an
// extended attribute and the permission bits, and the registry read from an exported file.
#include <errno.h>
#include <sys/xattr.h>

#include <random>
#include <tuple>

#include "port/posix/dos_attributes.h"
#include "port/posix/host_fs.h"
#include "port/posix/registry.h"
#include "port_fixture.h"
#include "support/require.h"

namespace koushin::port::testing {
namespace {

using HostPathTest = PortTest;

TEST_F(HostPathTest, ResolvesDrivesSeparatorsDotsCaseAndEachDrivesCurrentFolder) {
  const std::string soft = kSo + "\x83\x74\x83\x67" + kHyo;  // ソフト表 in code page 932
  const std::string softUtf8 = kSoUtf8 + "\xe3\x83\x95\xe3\x83\x88" + kHyoUtf8;
  MakeFile("c/Est/Sub/file.TXT");
  MakeFile("c/" + softUtf8 + "/data.ini");
  fs::create_directories(Host("c/\xef\xbc\xa1\xef\xbc\xa2\xef\xbc\xa3"));  // ＡＢＣ
  for (const char* name : {"abc", "ABC", "aBc"}) MakeFile(std::string("c/case/") + name);
  MakeFile("d/top/x");
  ASSERT_TRUE(ChangeFolder("c:\\est\\SUB"));
  ASSERT_TRUE(ChangeFolder("d:\\"));  // D becomes current; C keeps its folder
  // A Windows path, and its host path below the temporary root ("!" and the errno on failure).
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\EST\\SUB\\FILE.txt", "c/Est/Sub/file.TXT"},
      {"c:/est//sub\\\\file.txt", "c/Est/Sub/file.TXT"},
      {"C:\\EST\\..\\..\\..\\est\\.\\Sub", "c/Est/Sub"},  // never above the root
      {"C:\\", "c"}, {"D:\\", "d"},
      {"C:\\Est\\", "c/Est/"},          // a trailing separator stays
      {"C:\\est.\\sub ", "c/Est/Sub"},  // trailing dots and blanks are ignored
      {"C:\\" + soft + "\\DATA.INI", "c/" + softUtf8 + "/data.ini"},
      {"C:\\" + soft + "\\..\\" + soft + "\\new.ini", "c/" + softUtf8 + "/new.ini"},
      {"C:\\\x82\x81\x82\x82\x82\x83",
       "c/\xef\xbc\xa1\xef\xbc\xa2\xef\xbc\xa3"},  // ａｂｃ -> ＡＢＣ
      {"C:\\New\\Thing.txt", "c/New/Thing.txt"},   // no match: as given
      {"C:\\case\\aBc", "c/case/aBc"},             // the exact spelling wins
      {"C:\\case\\ABc", "c/case/ABC"},             // else the first in sorted order
      {"c:\\Est\\Sub\\FILE.TXT\\", "c/Est/Sub/file.TXT/"},
      {HostCp932("C/EST\\sub"), "c/Est/Sub"},  // host path, matched the same way
      {"c:file.txt", "c/Est/Sub/file.TXT"},    // relative to each drive's own folder
      {"C:..\\sub\\.\\FILE.TXT", "c/Est/Sub/file.TXT"},
      {"c:..\\..\\..\\..", "c"},
      {"C:", "c/Est/Sub"}, {"D:", "d"}, {"top\\X", "d/top/x"}, {"\\top", "d/top"}, {"..", "d"},
      {"Q:\\x", "!" + std::to_string(ENOENT)},  // no such drive
      {"\\\\server\\share\\x", "!" + std::to_string(ENOENT)},
      {"C:\\bad\x83", "!" + std::to_string(EILSEQ)},  // a lead byte alone
      {std::string("C:\\a\0b", 6), "!" + std::to_string(EINVAL)},
      {"", "!" + std::to_string(ENOENT)},
  };
  // clang-format on
  const std::string prefix = root_.string() + "/";
  for (const auto& [windows, wanted] : cases) {
    std::string host;
    Error error;
    if (posix::ResolveHostPath(windows, &host, &error)) {
      EXPECT_EQ(host.compare(0, prefix.size(), prefix) == 0 ? host.substr(prefix.size()) : host,
                wanted)
          << windows;
    } else {
      EXPECT_EQ(error.path, windows);
      EXPECT_EQ("!" + std::to_string(error.hostCode), wanted) << windows;
    }
  }
}

using Names = std::vector<std::string>;

// "name/" for a folder.
Names Find(const std::string& pattern) {
  std::vector<FoundEntry> entries;
  EXPECT_TRUE(FindEntries(pattern, &entries)) << pattern;
  Names names;
  for (const FoundEntry& entry : entries) names.push_back(entry.name + (entry.isFolder ? "/" : ""));
  return names;
}

// The POSIX port's own part of a search (drive roots, drive-relative patterns, Windows' rules for
// "*." and ".*", the sorted order); the rest is in the port contract.
TEST_F(HostPathTest, SearchesMatchPatternsCaseInsensitivelyAndSort) {
  for (const std::string& name :
       Names{"zai001-3.mst", "ZAI002-3.MST", "README", ".hidden", kSoUtf8 + kHyoUtf8 + ".txt"}) {
    MakeFile("c/m/" + name);
  }
  fs::create_directories(Host("c/m/Sub"));
  fs::create_directories(Host("c/Top"));
  const Names all = {"./",   "../",          ".hidden",      "README",
                     "Sub/", "ZAI002-3.MST", "zai001-3.mst", kSo + kHyo + ".txt"};
  EXPECT_EQ(Find("c:\\m\\*.*"), all);
  EXPECT_EQ(Find("C:\\*.*"), (Names{"Top/", "m/"}));  // no "." and ".." at a drive root
  EXPECT_EQ(Find("C:\\m\\*."), (Names{"./", "../", "README", "Sub/"}));
  EXPECT_EQ(Find("C:\\m\\readme.*"), (Names{"README"}));
  EXPECT_EQ(Find("c:m\\SUB"), (Names{"Sub/"}));

  ASSERT_TRUE(ChangeFolder("C:\\M"));
  EXPECT_EQ(Find("c:.\\*.*"), all);
  EXPECT_EQ(Find("zai0?\?-3.MST"), (Names{"ZAI002-3.MST", "zai001-3.mst"}));
  ASSERT_TRUE(ChangeFolder("C:\\"));
  EXPECT_EQ(Find("c:.\\*.*"), (Names{"Top/", "m/"}));
}

using DrivesTest = PortTest;

TEST_F(DrivesTest, CurrentFoldersBehaveLikeTheRunTimeLibrary) {
  fs::create_directories(Host("c/Program Files/Est"));
  fs::create_directories(Host("d/M"));
  MakeFile("c/file.txt");
  // Each step is a call ("#n" for ChangeDrive(n)), its result and the state it leaves: current
  // drive number and _getcwd text.
  // clang-format off
  const std::tuple<std::string, bool, int, std::string> steps[] = {
      {"\\", true, 3, "C:\\"},
      {"c:program files", true, 3, "C:\\Program Files"},
      {"EST", true, 3, "C:\\Program Files\\Est"},
      {"d:\\", true, 4, "D:\\"},  // a root also makes its drive current
      {"d:..", true, 4, "D:\\"},  // ".." at a root stays there
      {"d:m", true, 4, "D:\\M"},
      {"c:..", true, 3, "C:\\Program Files"},  // relative to c's own folder, and c is current
      {"#4", true, 4, "D:\\M"}, {"#3", true, 3, "C:\\Program Files"}, {"\\", true, 3, "C:\\"},
      {"c:nothere", false, 3, "C:\\"}, {"c:file.txt", false, 3, "C:\\"},  // not a folder
      {"q:\\", false, 3, "C:\\"}, {"#26", false, 3, "C:\\"}, {"#0", false, 3, "C:\\"},
      {"#4", true, 4, "D:\\M"},  // the dialog's way out: only the drive is restored
  };
  // clang-format on
  for (const auto& [chdir, ok, drive, folder] : steps) {
    Error error;
    const bool done =
        chdir[0] == '#' ? ChangeDrive(std::stoi(chdir.substr(1))) : ChangeFolder(chdir, &error);
    EXPECT_EQ(done, ok) << chdir;
    if (!done && chdir[0] != '#') {
      EXPECT_EQ(error.path, chdir);
    }
    EXPECT_EQ(CurrentDrive(), drive) << chdir;
    EXPECT_EQ(CurrentFolder(), folder) << chdir;
  }
}

TEST_F(DrivesTest, DriveListTypesWindowsFolderAndNoDrives) {
  EXPECT_EQ(AvailableDrives(), (std::vector<char>{'c', 'd'}));
  // "\\x" is on the current drive, C.
  for (const auto& [path, type] :
       {std::pair{"D:\\", 2}, {"d:", 2}, {"c:\\x\\y", 3}, {"\\x", 3}, {"Q:\\", 1}})
    EXPECT_EQ(DriveTypeOf(path), type) << path;
  EXPECT_EQ(WindowsFolder(), "C:\\WINDOWS");

  Options options;
  options.drives['E'] = Host("d").string();
  options.windowsFolder = "E:\\WIN";
  ASSERT_TRUE(Configure(options));
  EXPECT_EQ(AvailableDrives(), (std::vector<char>{'e'}));
  EXPECT_EQ(CurrentDrive(), 5);  // no C: the first drive
  EXPECT_EQ(WindowsFolder(), "E:\\WIN");

  Error error;
  options.drives['F'] = Host("missing").string();
  EXPECT_FALSE(Configure(options, &error));
  EXPECT_EQ(error.hostCode, ENOENT);
  EXPECT_EQ(AvailableDrives(), (std::vector<char>{'e'}));  // a failed call changes nothing

  // Without drives, host and relative paths still work.
  ASSERT_TRUE(Configure(Options()));
  EXPECT_EQ(CurrentDrive(), 0);
  EXPECT_TRUE(AvailableDrives().empty());
  EXPECT_EQ(DriveTypeOf("C:\\"), 1);
  EXPECT_FALSE(PathExists("C:\\"));
  MakeFile("c/f.txt");
  EXPECT_TRUE(PathExists(HostCp932("C/F.TXT")));
  std::string host;
  ASSERT_TRUE(posix::ResolveHostPath("a\\..\\b", &host));
  EXPECT_EQ(host, (fs::current_path() / "b").string());
}

TEST_F(DrivesTest, WinePrefixGivesDrivesRegistryAndWindowsFolder) {
  const fs::path prefix = Host("prefix");
  fs::create_directories(prefix / "drive_c/windows/System32");
  fs::create_directories(prefix / "dosdevices");
  fs::create_directory_symlink("../drive_c", prefix / "dosdevices/c:");
  fs::create_directory_symlink(Host("d"), prefix / "dosdevices/a:");
  fs::create_directory_symlink("/", prefix / "dosdevices/z:");
  fs::create_directory_symlink("../nowhere", prefix / "dosdevices/y:");  // dangling: no drive
  fs::create_directory_symlink(Host("d"), prefix / "dosdevices/d::");    // a raw device: no drive
  fs::copy_file(fs::path(KOUSHIN_SOURCE_DIR) / "tests/port/data/system.reg", prefix / "system.reg");

  Options options;
  options.winePrefix = prefix.string();
  Error error;
  ASSERT_TRUE(Configure(options, &error)) << error.Describe();
  EXPECT_EQ(AvailableDrives(), (std::vector<char>{'a', 'c', 'z'}));
  EXPECT_EQ(CurrentDrive(), 3);
  EXPECT_EQ(WindowsFolder(), "C:\\windows");
  EXPECT_EQ(DriveTypeOf("a:\\"), 2);  // "floppy" in the prefix's registry
  EXPECT_EQ(DriveTypeOf("c:\\"), 3);
  std::string host;
  ASSERT_TRUE(posix::ResolveHostPath("C:\\WINDOWS\\system32", &host));
  EXPECT_EQ(host, (prefix / "drive_c/windows/System32").string());
  ASSERT_TRUE(posix::ResolveHostPath("z:\\TMP", &host));
  EXPECT_EQ(host, "/tmp");
}

using FileStatusTest = PortTest;

TEST_F(FileStatusTest, AttributeBytesRoundTripThroughXattrAndPermissionBits) {
  MakeFile("c/f.txt", "12345");
  fs::create_directories(Host("c/Dir"));
  // Path, attributes written, attributes read back, the extended attribute stored.
  const std::tuple<std::string, std::uint8_t, std::uint8_t, std::string> cases[] = {
      {"C:\\F.TXT", kAttrReadOnly | kAttrArchive, kAttrReadOnly | kAttrArchive, "0x21"},
      {"C:\\f.txt", kAttrHidden | kAttrSystem, kAttrHidden | kAttrSystem, "0x6"},
      {"C:\\f.txt", 0, 0, "0x0"},
      {"C:\\dir", kAttrHidden, kAttrHidden | kAttrDirectory, "0x12"},
      {"C:\\dir", kAttrReadOnly, kAttrReadOnly | kAttrDirectory, "0x11"},
      {"C:\\dir", 0, kAttrDirectory, "0x10"},
  };
  for (const auto& [path, written, read, stored] : cases) {
    FileStatus status;  // times of 0 are left as they are
    status.attributes = written;
    Error error;
    ASSERT_TRUE(WriteFileStatus(path, status, &error)) << error.Describe();
    ASSERT_TRUE(ReadFileStatus(path, &status));
    EXPECT_EQ(status.attributes, read) << path << " " << int(written);
    const bool folder = path == "C:\\dir";
    const fs::path host = folder ? Host("c/Dir") : Host("c/f.txt");
    const auto perms = fs::status(host).permissions();
    const bool writable = (perms & fs::perms::owner_write) != fs::perms::none;
    EXPECT_EQ(writable, folder || (written & kAttrReadOnly) == 0) << path;  // folders keep it
    if (!folder && (written & kAttrReadOnly) != 0) {
      EXPECT_EQ(perms & fs::perms::others_write, fs::perms::none);
    }
    char bytes[64];
    const ssize_t got = getxattr(host.c_str(), "user.DOSATTRIB", bytes, sizeof bytes);
    EXPECT_EQ(std::string(bytes, got < 0 ? 0 : got), stored) << path;
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
  // clang-format off
  const std::tuple<std::string, bool, std::uint32_t> cases[] = {  // value, read, attributes
      {"0x21", true, 0x21}, {std::string("0x2\0", 4), true, 0x2}, {"0X10", true, 0x10},
      {"0x", false, 0}, {"junk", false, 0}, {"", false, 0},
      // Samba's binary record, version 4: empty text, version, switch, flags 0x11, attrib 0x21.
      {std::string("\0\0\4\0\4\0\0\0\x11\0\0\0\x21\0\0\0\0\0\0\0\0\0\0\0", 24), true, 0x21},
      // Version 3 with "0x20" text in front.
      {std::string("0x20\0\0\3\0\3\0\0\0\1\0\0\0\x22\0\0\0", 20), true, 0x20},
      {std::string("\0\0\5\0\5\0\0\0\0\0\0\0\x21\0\0\0", 16), false, 0},  // attrib not valid
      {std::string("\0\0\4\0\3\0\0\0\1\0\0\0", 12), false, 0},            // switch mismatch
      {std::string("\0\0\4\0\4\0\0\0\1\0", 10), false, 0},                // truncated
  };
  // clang-format on
  for (const auto& [value, ok, wanted] : cases) {
    std::uint32_t attributes = 0;
    EXPECT_EQ(posix::ParseDosAttrib(value, &attributes), ok) << value;
    EXPECT_EQ(attributes, wanted) << value;
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

const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::string kHyokeisan = "\x95\x5c\x8c\x76\x8e\x5a";  // 表計算: a key name

class RegistryTest : public PortTest {
 protected:
  // Key, value name, the lookup's result and the value read.
  using Lookup = std::tuple<std::string, std::string, RegistryLookup, std::string>;
  // Makes `bytes` the registry file and checks every lookup of `cases`.
  void Check(const std::string& bytes, const std::vector<Lookup>& cases) {
    std::ofstream(Host("export.reg"), std::ios::binary) << bytes;
    Options options;
    options.registryFile = Host("export.reg").string();
    Error error;
    ASSERT_TRUE(Configure(options, &error)) << error.Describe();
    for (const auto& [key, name, result, wanted] : cases) {
      std::string value = "stale";
      EXPECT_EQ(RegistryReadString(key, name, &value), result) << key << " " << name;
      EXPECT_EQ(value, wanted) << key << " " << name;
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
