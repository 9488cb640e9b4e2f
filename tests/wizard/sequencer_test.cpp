#include "wizard/sequencer.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>

#include "wizard/texts.h"

namespace koushin::wizard {
namespace {

TEST(NoticeCaption, NonZeroIntegerReadingKeepsTheMasterAdjustCaption) {
  const std::pair<const char*, bool> cases[] = {
      {"1", true},    {"2", true},  {"-1", true}, {" 1", true},   {"01", true},
      {"1abc", true}, {"0", false}, {"", false},  {"abc", false}, {"-0", false},
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
  struct Case {
    std::deque<Answer> answers;  // in the order the screens take them
    std::string walk;  // then the result: its kind (0 cancelled, 1 update ended, 2 screen failed)
                       // and the step that failed
    std::string installFolder;  // the record's at the end
  };
  const Case cases[] = {
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
       "notice, destination C:\\DEFAULT, confirm C:\\EST, failure, 2 2",
       "C:\\EST"},
  };
  for (const Case& c : cases) {
    description::UpdateDescription record;
    record.installFolder = "C:\\DEFAULT";
    ScriptedScreens screens;
    screens.answers = c.answers;
    const WizardResult result = RunWizard(record, screens);
    EXPECT_EQ(screens.walk + std::to_string(result.kind) + " " +
                  std::to_string(static_cast<int>(result.failedStep)),
              c.walk);
    EXPECT_EQ(record.installFolder, c.installFolder) << c.walk;
  }
}

}  // namespace
}  // namespace koushin::wizard
