#include <errno.h>

#include "port/posix/host_fs.h"
#include "port_fixture.h"

namespace koushin::port::testing {
namespace {

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
