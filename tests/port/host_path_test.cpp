// The POSIX port's drives and paths: drives from options or a Wine prefix, each drive's current
// folder, Windows paths resolved to host paths, and searches below them.
#include "port/posix/host_fs.h"

#include <errno.h>

#include "port_fixture.h"

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
  struct Case {
    std::string windows;
    std::string host;  // relative to the temporary root; "!" and the errno on failure
  };
  const Case cases[] = {
      {"C:\\EST\\SUB\\FILE.txt", "c/Est/Sub/file.TXT"},
      {"c:/est//sub\\\\file.txt", "c/Est/Sub/file.TXT"},
      {"C:\\EST\\..\\..\\..\\est\\.\\Sub", "c/Est/Sub"},  // never above the root
      {"C:\\", "c"},
      {"D:\\", "d"},
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
      {"C:", "c/Est/Sub"},
      {"D:", "d"},
      {"top\\X", "d/top/x"},
      {"\\top", "d/top"},
      {"..", "d"},
      {"Q:\\x", "!" + std::to_string(ENOENT)},  // no such drive
      {"\\\\server\\share\\x", "!" + std::to_string(ENOENT)},
      {"C:\\bad\x83", "!" + std::to_string(EILSEQ)},  // a lead byte alone
      {std::string("C:\\a\0b", 6), "!" + std::to_string(EINVAL)},
      {"", "!" + std::to_string(ENOENT)},
  };
  const std::string prefix = root_.string() + "/";
  for (const Case& c : cases) {
    std::string host;
    Error error;
    if (posix::ResolveHostPath(c.windows, &host, &error)) {
      EXPECT_EQ(host.compare(0, prefix.size(), prefix) == 0 ? host.substr(prefix.size()) : host,
                c.host)
          << c.windows;
    } else {
      EXPECT_EQ(error.path, c.windows);
      EXPECT_EQ("!" + std::to_string(error.hostCode), c.host) << c.windows;
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
  // Each step is a call and the state it leaves: current drive number and _getcwd text.
  struct Step {
    std::string chdir;  // "#n" for ChangeDrive(n)
    bool ok;
    int drive;
    std::string folder;
  };
  const Step steps[] = {
      {"\\", true, 3, "C:\\"},
      {"c:program files", true, 3, "C:\\Program Files"},
      {"EST", true, 3, "C:\\Program Files\\Est"},
      {"d:\\", true, 4, "D:\\"},  // a root also makes its drive current
      {"d:..", true, 4, "D:\\"},  // ".." at a root stays there
      {"d:m", true, 4, "D:\\M"},
      {"c:..", true, 3, "C:\\Program Files"},  // relative to c's own folder, and c is current
      {"#4", true, 4, "D:\\M"},
      {"#3", true, 3, "C:\\Program Files"},
      {"\\", true, 3, "C:\\"},
      {"c:nothere", false, 3, "C:\\"},
      {"c:file.txt", false, 3, "C:\\"},  // not a folder
      {"q:\\", false, 3, "C:\\"},
      {"#26", false, 3, "C:\\"},
      {"#0", false, 3, "C:\\"},
      {"#4", true, 4, "D:\\M"},  // the dialog's way out: only the drive is restored
  };
  for (const Step& step : steps) {
    bool ok;
    if (step.chdir[0] == '#') {
      ok = ChangeDrive(std::stoi(step.chdir.substr(1)));
    } else {
      Error error;
      ok = ChangeFolder(step.chdir, &error);
      if (!ok) {
        EXPECT_EQ(error.path, step.chdir);
      }
    }
    EXPECT_EQ(ok, step.ok) << step.chdir;
    EXPECT_EQ(CurrentDrive(), step.drive) << step.chdir;
    EXPECT_EQ(CurrentFolder(), step.folder) << step.chdir;
  }
}

TEST_F(DrivesTest, DriveListTypesWindowsFolderAndNoDrives) {
  EXPECT_EQ(AvailableDrives(), (std::vector<char>{'c', 'd'}));
  EXPECT_EQ(DriveTypeOf("D:\\"), 2);
  EXPECT_EQ(DriveTypeOf("d:"), 2);
  EXPECT_EQ(DriveTypeOf("c:\\x\\y"), 3);
  EXPECT_EQ(DriveTypeOf("\\x"), 3);  // the current drive, C
  EXPECT_EQ(DriveTypeOf("Q:\\"), 1);
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

}  // namespace
}  // namespace koushin::port::testing
