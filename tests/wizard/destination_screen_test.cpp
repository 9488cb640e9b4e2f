#include "wizard/destination_screen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "port/port.h"
#include "support/temp_folder.h"
#include "wizard/screens.h"

namespace koushin::wizard {
namespace {

TEST(ParseUninstallString, Table) {
  // Values beyond the working fields are refused, not cut: 63 bytes after " -f" fit, 64 do not
  // (measured before the cut at " -"); 255 bytes of the whole value fit, 256 do not.
  const std::string fits63 = "U -fC:\\EST\\S.LOG -y" + std::string(63 - 15, 'x');
  const std::string fits255 = std::string(255 - 15, 'v') + " -fC:\\EST\\S.LOG";
  struct Case {
    std::string value;
    int result;
    std::string after;
  };
  // clang-format off
  const std::vector<Case> cases = {
      {"C:\\UNINST.EXE -fC:\\APPS\\EST\\SETUP.LOG -y", 1, "C:\\APPS\\EST\\"},
      {"C:\\UNINST.EXE", 0, "C:\\UNINST.EXE"},
      {"C:\\UNINST.EXE -FC:\\APPS\\X.LOG", 0, "C:\\UNINST.EXE -FC:\\APPS\\X.LOG"},
      // Quotes stay: no drive, and the directory begins with the quote.
      {"U.EXE -f\"C:\\APPS\\EST\\SETUP.LOG\"", 1, "\"C:\\APPS\\EST\\"},
      // A bare file name gives an empty folder.
      {"U.EXE -fSETUP.LOG", 1, ""},
      // The first " -f" counts; the remainder is cut at its first " -".
      {"U.EXE -fC:\\A -fD:\\B\\", 1, "C:\\"},
      {"U.EXE -fD:\\X\\Y.LOG -a -b", 1, "D:\\X\\"},
      // 表 (0x95 0x5C) ends in a byte that looks like '\\' but is no separator.
      {"U.EXE -fC:\\A\\\x95\x5c", 1, "C:\\A\\"},
      {"U.EXE -fC:\\\x83\x5c\x83\x74\x83\x67\\\x95\x5c\\S.LOG", 1, "C:\\\x83\x5c\x83\x74\x83\x67\\\x95\x5c\\"},
      {fits63, 1, "C:\\EST\\"}, {fits63 + "x", 0, fits63 + "x"},
      {fits255, 1, "C:\\EST\\"}, {"v" + fits255, 0, "v" + fits255},
  };
  // clang-format on
  for (const Case& c : cases) {
    std::string text = c.value;
    EXPECT_EQ(ParseUninstallString(text), c.result) << c.value;
    EXPECT_EQ(text, c.after) << c.value;
  }
}

TEST(FolderItemLess, SortsAsTheSortedListDoes) {
  std::vector<std::string> items = {"[beta]",   "[ab]",  "[\x83\x5c\x83\x74\x83\x67]",
                                    "[Alpha]",  "[..]",  "[abc]",
                                    "[_under]", "[2nd]", "[AB]"};
  std::sort(items.begin(), items.end(), FolderItemLess);
  const std::vector<std::string> expected = {"[..]",    "[2nd]",  "[_under]",
                                             "[AB]",    "[ab]",   "[abc]",
                                             "[Alpha]", "[beta]", "[\x83\x5c\x83\x74\x83\x67]"};
  EXPECT_EQ(items, expected);
}

class PortFixture : public ::testing::Test {
 protected:
  void Configure(std::map<char, std::string> drives, const std::string& registryFile = "") {
    port::Options options;
    options.drives = std::move(drives);
    options.registryFile = registryFile;
    port::Error error;
    ASSERT_TRUE(port::Configure(options, &error)) << error.Describe();
  }
  void TearDown() override { port::Configure(port::Options{}); }
  koushin::testing::TempFolder temp_;
};

using ListSubfoldersTest = PortFixture;

TEST_F(ListSubfoldersTest, DotDotFirstFoldersOnlyAndAtMostAThousandSlots) {
  for (int i = 0; i < 1005; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "d%04d", i);
    temp_.MakeFolder(std::string("many/") + name);
  }
  temp_.Write("many/file.txt", "x");
  temp_.MakeFolder("few/Sub");
  temp_.Write("few/a.txt", "x");
  temp_.MakeFolder("empty");
  // The temporary folder as a Windows path: through a drive mapped to it on POSIX, as the machine
  // names it on Windows.
#ifdef _WIN32
  const std::string root = temp_.Path();
#else
  Configure({{'T', temp_.Host().string()}});
  const std::string root = "T:";
#endif

  std::vector<std::string> table;
  EXPECT_EQ(ListSubfolders(root + "\\many\\*.*", &table), kFolderSlots);
  ASSERT_EQ(table.size(), 1000u);
  EXPECT_EQ(table[0], "..");
  EXPECT_EQ(std::count(table.begin(), table.end(), ".."), 1);
  EXPECT_EQ(std::count(table.begin(), table.end(), "file.txt"), 0);

  EXPECT_EQ(ListSubfolders(root + "\\few\\*.*", &table), 2);
  EXPECT_EQ(table, std::vector<std::string>({"..", "Sub"}));
  EXPECT_EQ(ListSubfolders(root + "\\empty\\*.*", &table), 1);
  EXPECT_EQ(ListSubfolders(root + "\\missing\\*.*", &table), 1);
  EXPECT_EQ(table, std::vector<std::string>({".."}));
}

// Browsing and the registry lookup need drives and a registry of the test's own, which only the
// POSIX port's set-up provides; on Windows they are the machine's own, so these cases are not
// built there.
#ifndef _WIN32
using DestinationBrowsing = PortFixture;

TEST_F(DestinationBrowsing, DrivesFoldersAndTheSavedDrive) {
  const std::string a(100, 'a'), b(100, 'b'), c(100, 'c');
  temp_.MakeFolder("c/EST");
  temp_.MakeFolder("c/" + a + "/" + b + "/" + c);
  temp_.MakeFolder("d/Program Files/Vendor");
  temp_.MakeFolder("d/Program Files/apps");
  temp_.MakeFolder("d/beta");
  temp_.MakeFolder("d/\x83\x5C\x83\x74\x83\x67");  // ソフト
  temp_.Write("d/readme.txt", "x");
  Configure({{'C', (temp_.Host() / "c").string()}, {'D', (temp_.Host() / "d").string()}});
  ASSERT_TRUE(port::ChangeFolder("C:\\EST"));

  DestinationScreen screen;
  screen.installFolder = "C:\\DEFAULT";
  screen.Open();
  EXPECT_EQ(screen.SavedDrive(), 3);
  EXPECT_EQ(port::CurrentFolder(), "C:\\");  // opening sets the current drive to its root
  EXPECT_EQ(screen.DriveItems(), std::vector<std::string>({"[-c-]", "[-d-]"}));
  EXPECT_EQ(screen.DriveSelection(), -1);
  EXPECT_TRUE(screen.FolderItems().empty());
  EXPECT_EQ(screen.FolderField(), "C:\\DEFAULT");

  // Nothing selected: nothing happens.
  screen.SelectFolder(0);
  EXPECT_EQ(screen.FolderField(), "C:\\DEFAULT");

  screen.SelectDrive(1);
  EXPECT_EQ(screen.FolderField(), "d:\\");
  EXPECT_EQ(port::CurrentDrive(), 4);
  EXPECT_EQ(screen.FolderItems(), std::vector<std::string>({"[..]", "[beta]", "[Program Files]",
                                                            "[\x83\x5c\x83\x74\x83\x67]"}));
  EXPECT_EQ(screen.FolderSelection(), -1);

  screen.SelectFolder(screen.FindFolderItem("[Program Files]"));
  EXPECT_EQ(screen.FolderField(), "D:\\Program Files");
  EXPECT_EQ(screen.FolderItems(), std::vector<std::string>({"[..]", "[apps]", "[Vendor]"}));

  screen.SelectFolder(screen.FindFolderItem("[..]"));
  EXPECT_EQ(screen.FolderField(), "D:\\");
  // [..] at the root keeps the root and lists it again.
  screen.SelectFolder(screen.FindFolderItem("[..]"));
  EXPECT_EQ(screen.FolderField(), "D:\\");
  EXPECT_EQ(screen.FolderItems().size(), 4u);

  // A folder that went away meanwhile: the change fails, the field shows the current folder.
  std::filesystem::remove_all(temp_.Host() / "d" / "beta");
  screen.SelectFolder(screen.FindFolderItem("[beta]"));
  EXPECT_EQ(screen.FolderField(), "D:\\");
  EXPECT_EQ(screen.FolderItems().size(), 3u);

  screen.SelectFolder(screen.FindFolderItem("[\x83\x5c\x83\x74\x83\x67]"));
  EXPECT_EQ(screen.FolderField(), "D:\\\x83\x5c\x83\x74\x83\x67");

  // Every way out makes the saved drive current again; D keeps the folder entered last.
  EXPECT_EQ(screen.Back(), kEndBack);
  EXPECT_EQ(screen.installFolder, "C:\\DEFAULT");
  EXPECT_EQ(port::CurrentDrive(), 3);
  ASSERT_TRUE(port::ChangeDrive(4));
  EXPECT_EQ(port::CurrentFolder(), "D:\\\x83\x5c\x83\x74\x83\x67");

  DestinationScreen again;
  again.installFolder = "C:\\DEFAULT";
  again.Open();
  EXPECT_EQ(again.SavedDrive(), 4);
  again.SetFolderField("typed, not tested");
  again.SelectDrive(0);
  EXPECT_EQ(again.FolderField(), "c:\\");
  // A current folder longer than the field leaves the field as it was, but is entered.
  again.SelectFolder(again.FindFolderItem("[" + a + "]"));
  again.SelectFolder(again.FindFolderItem("[" + b + "]"));
  const std::string twoLevels = "C:\\" + a + "\\" + b;  // 205 bytes: fits
  EXPECT_EQ(again.FolderField(), twoLevels);
  again.SelectFolder(again.FindFolderItem("[" + c + "]"));  // 306 bytes: does not
  EXPECT_EQ(again.FolderField(), twoLevels);
  EXPECT_EQ(port::CurrentFolder(), twoLevels + "\\" + c);
  EXPECT_EQ(again.FolderItems(), std::vector<std::string>({"[..]"}));
  EXPECT_EQ(again.Next(), kEndOk);
  EXPECT_EQ(again.installFolder, twoLevels);
  EXPECT_EQ(port::CurrentDrive(), 4);
}

using DestinationPrefill = PortFixture;

TEST_F(DestinationPrefill, SearchOrderAndTheFolderTaken) {
  const std::string prefix =
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  // The values as a .reg file spells them, every backslash doubled.
  const std::vector<std::pair<std::string, std::string>> values = {
      {"Found", R"(C:\\UNINST.EXE -fC:\\APPS\\EST\\SETUP.LOG -y)"},
      {"Root", R"(C:\\UNINST.EXE -fD:\\SETUP.LOG)"},
      {"NoFlag", R"(C:\\UNINST.EXE)"},
      {"BareName", R"(C:\\UNINST.EXE -fSETUP.LOG)"},
      {"TooLong", R"(C:\\UNINST.EXE -fC:\\)" + std::string(280, 'L') + R"(\\SETUP.LOG)"},
  };
  std::string reg = "REGEDIT4\r\n\r\n";
  for (const auto& [key, value] : values) {
    reg += "[" + prefix + key + "]\r\n\"UninstallString\"=\"" + value + "\"\r\n\r\n";
  }
  reg += "[" + prefix + "NoValue]\r\n\"DisplayName\"=\"x\"\r\n\r\n";
  temp_.Write("uninstall.reg", reg);
  Configure({{'C', temp_.Host().string()}}, (temp_.Host() / "uninstall.reg").string());

  struct Case {
    std::vector<std::string> keys;
    std::string field;
  };
  const std::vector<Case> cases = {
      {{"Missing", "Found"}, "C:\\APPS\\EST"},
      {{"found"}, "C:\\APPS\\EST"},
      {{"Root"}, "D:"},
      {{"Missing", "", "Found"}, "C:\\DEFAULT"},  // the list ends at the first empty name
      {{"NoValue", "Found"}, "C:\\DEFAULT"},      // the first key that opens ends the search
      {{"NoFlag", "Found"}, "C:\\DEFAULT"},
      {{"BareName"}, ""},
      {{"TooLong"}, "C:\\DEFAULT"},
      {{}, "C:\\DEFAULT"},
  };
  for (const Case& c : cases) {
    DestinationScreen screen;
    std::copy(c.keys.begin(), c.keys.end(), screen.uninstallKeys.begin());
    screen.installFolder = "C:\\DEFAULT";
    screen.Open();
    EXPECT_EQ(screen.FolderField(), c.field) << (c.keys.empty() ? "" : c.keys[0]);
    screen.Cancel();
  }
}

#endif  // !_WIN32

}  // namespace
}  // namespace koushin::wizard
