// The wizard without its windows: the sequencer's walk, the notice's caption, and the destination
// screen on real folders and a registry file.
#include "wizard/sequencer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "port/port.h"
#include "port/port_fixture.h"
#include "wizard/destination_screen.h"
#include "wizard/texts.h"

namespace koushin::wizard {
namespace {

TEST(NoticeCaption, NonZeroIntegerReadingKeepsTheMasterAdjustCaption) {
  const std::pair<const char*, bool> cases[] = {
      {"1", true},    {"2", true},  {"-1", true},  {" 1", true},   {"01", true},
      {"1abc", true}, {"0", false}, {"", false},   {"abc", false}, {"-0", false},
      {"0x1", false}, {" ", false}, {"+0", false},
  };
  for (const auto& [masterAdjust, masterCaption] : cases) {
    EXPECT_EQ(NoticeCaption(masterAdjust),
              masterCaption ? texts::CaptionMasterAdjust() : texts::CaptionUpdate())
        << "masterAdjust '" << masterAdjust << "'";
  }
}

struct Answer {
  int endCode;
  std::string folder = "";  // typed into the destination before its end
};

// The person at the screen, scripted: each screen takes the next answer (none left: -1). The walk
// names every screen shown, with the folder it was given.
class ScriptedScreens : public Screens {
 public:
  std::deque<Answer> answers;
  std::string walk;

  int ShowNotice(const NoticeScreen&) override { return Take("notice"); }
  int ShowDestination(DestinationScreen& screen) override {
    const int endCode = Take("destination " + screen.installFolder);
    // The typed folder is left in the screen whatever the answer, as a screen that keeps its
    // folder up to date while the person types would: only the sequencer decides what the
    // record takes, and a sequencer that took it on 戻る or Esc shows.
    screen.SetFolderField(typed_);
    screen.installFolder = typed_;
    return endCode;
  }
  int ShowConfirm(const ConfirmScreen& screen) override {
    return Take("confirm " + screen.installFolder);
  }
  int RunUpdate(description::UpdateDescription& record) override {
    return Take("run " + record.installFolder);
  }
  void ShowScreenFailure(Step) override { walk += "failure, "; }
  void Log(const std::string&) override {}

 private:
  int Take(const std::string& screen) {
    walk += screen + ", ";
    if (answers.empty()) return kEndFailed;
    const Answer answer = answers.front();
    answers.pop_front();
    typed_ = answer.folder;
    return answer.endCode;
  }
  std::string typed_;
};

TEST(RunWizard, WalksTheTableAsThePersonAnswers) {
  // The answers in the order the screens take them; the walk, then the result: its kind (0
  // cancelled, 1 update ended, 2 screen failed) and the step that failed; the record's folder.
  // clang-format off
  const std::tuple<std::deque<Answer>, std::string, std::string> cases[] = {
      {{{kEndCancel}}, "notice, 0 0", "C:\\DEFAULT"},
      // Next, Back (with another folder typed), Next, confirm's back, Esc, then Next to the run.
      {{{kEndOk}, {kEndOk, "C:\\FIRST"}, {kEndCancel}, {kEndBack, "C:\\DROPPED"}, {kEndOk},
        {kEndCancel, "C:\\ESCAPED"}, {kEndOk}, {kEndOk, "C:\\SECOND"}, {kEndOk}, {1}},
       "notice, destination C:\\DEFAULT, confirm C:\\FIRST, destination C:\\FIRST, notice, "
       "destination C:\\FIRST, notice, destination C:\\FIRST, confirm C:\\SECOND, "
       "run C:\\SECOND, 1 0",
       "C:\\SECOND"},
      // An end code no row names goes back a step, as 戻る does, and takes no folder.
      {{{kEndOk}, {7, "C:\\SEVEN"}, {kEndOk}, {kEndOk, "C:\\X"}, {kEndBack}, {kEndBack},
        {kEndCancel}},
       "notice, destination C:\\DEFAULT, notice, destination C:\\DEFAULT, confirm C:\\X, "
       "destination C:\\X, notice, 0 0",
       "C:\\X"},
      // A failed installation check: the destination again, with the folder the run was given.
      {{{kEndOk}, {kEndOk, "C:\\WRONG"}, {kEndOk}, {0}, {kEndOk, "C:\\EST"}, {kEndOk}, {1}},
       "notice, destination C:\\DEFAULT, confirm C:\\WRONG, run C:\\WRONG, "
       "destination C:\\WRONG, confirm C:\\EST, run C:\\EST, 1 0",
       "C:\\EST"},
      // A screen that cannot be shown ends the wizard with its message.
      {{}, "notice, failure, 2 0", "C:\\DEFAULT"},
      {{{kEndOk}}, "notice, destination C:\\DEFAULT, failure, 2 1", "C:\\DEFAULT"},
      {{{kEndOk}, {kEndOk, "C:\\EST"}},
       "notice, destination C:\\DEFAULT, confirm C:\\EST, failure, 2 2", "C:\\EST"},
  };
  // clang-format on
  for (const auto& [answers, walk, installFolder] : cases) {
    description::UpdateDescription record;
    record.installFolder = "C:\\DEFAULT";
    ScriptedScreens screens;
    screens.answers = answers;
    const WizardResult result = RunWizard(record, screens);
    EXPECT_EQ(screens.walk + std::to_string(result.kind) + " " +
                  std::to_string(static_cast<int>(result.failedStep)),
              walk);
    EXPECT_EQ(record.installFolder, installFolder) << walk;
  }
}

TEST(ParseUninstallString, Table) {
  // Values beyond the working fields are refused, not cut: 63 bytes after " -f" fit, 64 do not
  // (measured before the cut at " -"); 255 bytes of the whole value fit, 256 do not.
  const std::string fits63 = "U -fC:\\EST\\S.LOG -y" + std::string(63 - 15, 'x');
  const std::string fits255 = std::string(255 - 15, 'v') + " -fC:\\EST\\S.LOG";
  // clang-format off
  const std::tuple<std::string, int, std::string> cases[] = {  // value, result, value afterwards
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
  for (const auto& [value, result, after] : cases) {
    std::string text = value;
    EXPECT_EQ(ParseUninstallString(text), result) << value;
    EXPECT_EQ(text, after) << value;
  }
}

TEST(FolderItemLess, SortsAsTheSortedListDoes) {
  const std::string soft = "[\x83\x5c\x83\x74\x83\x67]";  // [ソフト]
  std::vector<std::string> items = {"[beta]", "[ab]",     soft,    "[Alpha]", "[..]",
                                    "[abc]",  "[_under]", "[2nd]", "[AB]"};
  std::sort(items.begin(), items.end(), FolderItemLess);
  EXPECT_EQ(items, (std::vector<std::string>{"[..]", "[2nd]", "[_under]", "[AB]", "[ab]", "[abc]",
                                             "[Alpha]", "[beta]", soft}));
}

// Drives C and D (folders c and d of the test's temporary folder) on POSIX; the machine's own on
// Windows.
using PortFixture = port::testing::PortTest;

using ListSubfoldersTest = PortFixture;

TEST_F(ListSubfoldersTest, DotDotFirstFoldersOnlyAndAtMostAThousandSlots) {
  for (int i = 0; i < 1005; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "d%04d", i);
    folder_.MakeFolder(std::string("many/") + name);
  }
  folder_.Write("many/file.txt", "x");
  folder_.MakeFolder("few/Sub");
  folder_.Write("few/a.txt", "x");
  folder_.MakeFolder("empty");
  // The temporary folder as a Windows path: through a drive mapped to it on POSIX, as the machine
  // names it on Windows.
  const std::string root = folder_.AsDrive('T');
  std::vector<std::string> table;
  EXPECT_EQ(ListSubfolders(root + "many\\*.*", &table), kFolderSlots);
  ASSERT_EQ(table.size(), 1000u);
  EXPECT_EQ(table[0], "..");
  EXPECT_EQ(std::count(table.begin(), table.end(), ".."), 1);
  EXPECT_EQ(std::count(table.begin(), table.end(), "file.txt"), 0);

  EXPECT_EQ(ListSubfolders(root + "few\\*.*", &table), 2);
  EXPECT_EQ(table, std::vector<std::string>({"..", "Sub"}));
  EXPECT_EQ(ListSubfolders(root + "empty\\*.*", &table), 1);
  EXPECT_EQ(ListSubfolders(root + "missing\\*.*", &table), 1);
  EXPECT_EQ(table, std::vector<std::string>({".."}));
}

// Browsing and the registry lookup need drives and a registry of the test's own, which only the
// POSIX port's set-up provides; on Windows they are the machine's own, so these cases are not
// built there.
#ifndef _WIN32
using DestinationBrowsing = PortFixture;

TEST_F(DestinationBrowsing, DrivesFoldersAndTheSavedDrive) {
  const std::string a(100, 'a'), b(100, 'b'), c(100, 'c');
  folder_.MakeFolder("c/EST");
  folder_.MakeFolder("c/" + a + "/" + b + "/" + c);
  folder_.MakeFolder("d/Program Files/Vendor");
  folder_.MakeFolder("d/Program Files/apps");
  folder_.MakeFolder("d/beta");
  folder_.MakeFolder("d/\x83\x5C\x83\x74\x83\x67");  // ソフト
  folder_.Write("d/readme.txt", "x");
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
  std::filesystem::remove_all(Host("d/beta"));
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
  folder_.Write("uninstall.reg", reg);
  port::Options options;
  options.registryFile = Host("uninstall.reg").string();
  folder_.AsDrive('C', options);

  // The keys searched, and the folder field they give.
  const std::pair<std::vector<std::string>, std::string> cases[] = {
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
  for (const auto& [keys, field] : cases) {
    DestinationScreen screen;
    std::copy(keys.begin(), keys.end(), screen.uninstallKeys.begin());
    screen.installFolder = "C:\\DEFAULT";
    screen.Open();
    EXPECT_EQ(screen.FolderField(), field) << (keys.empty() ? "" : keys[0]);
    screen.Cancel();
  }
}

#endif  // !_WIN32

}  // namespace
}  // namespace koushin::wizard
