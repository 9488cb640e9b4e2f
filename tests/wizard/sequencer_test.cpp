#include "wizard/sequencer.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace koushin::wizard {
namespace {

// The commands the Windows view posts to itself; RunWizard below walks the table.
TEST(CommandFor, TheStepCommands) {
  EXPECT_EQ(CommandFor(Next::kShowNotice), 101);
  EXPECT_EQ(CommandFor(Next::kShowDestination), 102);
  EXPECT_EQ(CommandFor(Next::kShowConfirm), 103);
  EXPECT_EQ(CommandFor(Next::kClose), 0);
}

// The person at the screen, scripted: each screen pops its answer; the destination screen's
// answer may also carry the folder typed before "次へ". Records what every screen was given.
class ScriptedScreens : public Screens {
 public:
  struct DestinationAnswer {
    int endCode;
    std::string folder;  // put into the field before a "次へ"
  };
  std::deque<int> noticeAnswers;
  std::deque<DestinationAnswer> destinationAnswers;
  std::deque<int> confirmAnswers;
  std::deque<int> runResults;

  std::vector<std::string> shown;               // "notice", "destination", ...
  std::vector<std::string> destinationFolders;  // installFolder as each destination got it
  std::vector<std::string> confirmFolders;
  std::vector<std::string> runFolders;

  int ShowNotice(const NoticeScreen&) override {
    shown.push_back("notice");
    return Pop(noticeAnswers);
  }
  int ShowDestination(DestinationScreen& screen) override {
    shown.push_back("destination");
    destinationFolders.push_back(screen.installFolder);
    if (destinationAnswers.empty()) return kEndFailed;
    const DestinationAnswer answer = destinationAnswers.front();
    destinationAnswers.pop_front();
    // The typed folder is left in the screen whatever the answer, as a screen that keeps its
    // folder up to date while the person types would: only the sequencer decides what the
    // record takes, and a sequencer that took it on 戻る or Esc shows.
    screen.SetFolderField(answer.folder);
    screen.installFolder = answer.folder;
    return answer.endCode;
  }
  int ShowConfirm(const ConfirmScreen& screen) override {
    shown.push_back("confirm");
    confirmFolders.push_back(screen.installFolder);
    return Pop(confirmAnswers);
  }
  int RunUpdate(description::UpdateDescription& record) override {
    shown.push_back("run");
    runFolders.push_back(record.installFolder);
    record.systemIniName = "tamiro1.ini";  // what a run leaves in the record
    return Pop(runResults);
  }
  void ShowScreenFailure(Step) override { shown.push_back("failure"); }

 private:
  static int Pop(std::deque<int>& answers) {
    if (answers.empty()) return kEndFailed;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

using Shown = std::vector<std::string>;

TEST(RunWizard, CancelAtTheNoticeShowsNothingElse) {
  description::UpdateDescription record;
  ScriptedScreens screens;
  screens.noticeAnswers = {kEndCancel};
  const WizardResult result = RunWizard(record, screens);
  EXPECT_EQ(result.kind, WizardResult::kCancelled);
  EXPECT_EQ(screens.shown, Shown({"notice"}));
}

TEST(RunWizard, BackDropsTheFolderAndConfirmBackKeepsIt) {
  description::UpdateDescription record;
  record.installFolder = "C:\\DEFAULT";
  ScriptedScreens screens;
  screens.noticeAnswers = {kEndOk, kEndOk, kEndOk};
  // Next, Back (with another folder typed), Next, confirm's back, Esc, then Next to the run.
  screens.destinationAnswers = {{kEndOk, "C:\\FIRST"},
                                {kEndBack, "C:\\DROPPED"},
                                {kEndCancel, "C:\\ESCAPED"},
                                {kEndOk, "C:\\SECOND"}};
  screens.confirmAnswers = {kEndCancel, kEndOk};
  screens.runResults = {1};
  const WizardResult result = RunWizard(record, screens);
  EXPECT_EQ(result.kind, WizardResult::kUpdateEnded);
  EXPECT_EQ(screens.shown, Shown({"notice", "destination", "confirm", "destination", "notice",
                                  "destination", "notice", "destination", "confirm", "run"}));
  EXPECT_EQ(screens.destinationFolders,
            Shown({"C:\\DEFAULT", "C:\\FIRST", "C:\\FIRST", "C:\\FIRST"}));
  EXPECT_EQ(screens.confirmFolders, Shown({"C:\\FIRST", "C:\\SECOND"}));
  EXPECT_EQ(record.installFolder, "C:\\SECOND");
}

// An end code no row names goes back a step, as 戻る does, and takes no folder.
TEST(RunWizard, AnyOtherEndCodeGoesBackAStep) {
  description::UpdateDescription record;
  ScriptedScreens screens;
  screens.noticeAnswers = {kEndOk, kEndOk, kEndCancel};
  screens.destinationAnswers = {{7, "C:\\SEVEN"}, {kEndOk, "C:\\X"}, {kEndBack, ""}};
  screens.confirmAnswers = {kEndBack};
  EXPECT_EQ(RunWizard(record, screens).kind, WizardResult::kCancelled);
  EXPECT_EQ(screens.shown, Shown({"notice", "destination", "notice", "destination", "confirm",
                                  "destination", "notice"}));
  EXPECT_EQ(record.installFolder, "C:\\X");
}

TEST(RunWizard, FailedCheckShowsTheDestinationAgainWithTheRecordAsTheRunLeftIt) {
  description::UpdateDescription record;
  record.systemIniName = "NULL";
  ScriptedScreens screens;
  screens.noticeAnswers = {kEndOk};
  screens.destinationAnswers = {{kEndOk, "C:\\WRONG"}, {kEndOk, "C:\\EST"}};
  screens.confirmAnswers = {kEndOk, kEndOk};
  screens.runResults = {0, 1};
  const WizardResult result = RunWizard(record, screens);
  EXPECT_EQ(result.kind, WizardResult::kUpdateEnded);
  EXPECT_EQ(screens.shown,
            Shown({"notice", "destination", "confirm", "run", "destination", "confirm", "run"}));
  EXPECT_EQ(screens.runFolders, Shown({"C:\\WRONG", "C:\\EST"}));
  EXPECT_EQ(screens.destinationFolders, Shown({"", "C:\\WRONG"}));
  EXPECT_EQ(record.systemIniName, "tamiro1.ini");
}

TEST(RunWizard, AScreenThatCannotBeShownEndsWithItsMessage) {
  for (Step failing : {Step::kNotice, Step::kDestination, Step::kConfirm}) {
    description::UpdateDescription record;
    ScriptedScreens screens;  // an empty script answers -1
    if (failing != Step::kNotice) screens.noticeAnswers = {kEndOk};
    if (failing == Step::kConfirm) screens.destinationAnswers = {{kEndOk, "C:\\EST"}};
    const WizardResult result = RunWizard(record, screens);
    EXPECT_EQ(result.kind, WizardResult::kScreenFailed);
    EXPECT_EQ(result.failedStep, failing);
    EXPECT_EQ(screens.shown.back(), "failure");
  }
}

}  // namespace
}  // namespace koushin::wizard
