// The wizard's sequence: notice, destination, confirmation, update, as a state table, and the one
// driver that walks it.
//
// Both front ends go through the Driver: the console calls RunWizard, which takes step after step
// in a loop; the Windows view keeps its message loop, posts the step commands (101, 102, 103) to
// itself and takes one step in each command's handler. What a step shows, what it logs, what the
// record takes and what comes next is decided here once.
#pragma once

#include <string>

#include "description/update_description.h"
#include "wizard/destination_screen.h"
#include "wizard/screens.h"

namespace koushin::wizard {

// Step commands, as posted by the Windows view to itself.
constexpr int kCommandNotice = 101;
constexpr int kCommandDestination = 102;
constexpr int kCommandConfirm = 103;

enum class Step { kNotice, kDestination, kConfirm, kUpdateRun };

// What the front end does after a step.
enum class Next {
  kShowNotice,       // post 101
  kShowDestination,  // post 102
  kShowConfirm,      // post 103
  kRunUpdate,        // run the update now (the Driver does so itself)
  kClose,            // close the main window: the program ends
  kCloseFailed,      // the screen could not be shown: it was said (ShowScreenFailure), end
};

// One row of the table. `endCode` kAnyOther matches every code that no row of the same step
// names. For kUpdateRun the "end code" is UpdateRun's result.
constexpr int kAnyOther = 0x7fffffff;
struct Transition {
  Step step;
  int endCode;
  bool takeFolder;  // the destination screen's folder becomes the record's installFolder
  Next next;
};

// The row for a step and an end code, from this table:
//   notice       1 -> destination;  -1 -> close with message;  other (2, Esc) -> close
//   destination  1 -> take folder, confirmation;  1008 and 2 (Esc) -> notice (folder dropped);
//                -1 -> close with message;  other -> notice
//   confirmation 1 -> run the update;  2 (戻る, Esc) -> destination;  -1 -> close with message;
//                other -> destination
//   update run   1 -> close;  other (0: the installation check failed) -> destination
const Transition& FindTransition(Step step, int endCode);

// The command a Next posts (101, 102, 103), or 0 for the others.
int CommandFor(Next next);
// The step a command starts; kUpdateRun for a number that is no step command.
Step StepForCommand(int command);

// The front end's screens. Each Show* shows its screen modally and returns its end code.
class Screens {
 public:
  virtual ~Screens() = default;
  virtual int ShowNotice(const NoticeScreen& screen) = 0;
  // The screen comes with its inputs set from the record; the implementation calls Open() when
  // the screen appears and leaves the folder field's text in screen.installFolder.
  virtual int ShowDestination(DestinationScreen& screen) = 0;
  virtual int ShowConfirm(const ConfirmScreen& screen) = 0;
  // UpdateRun on the record: 1 when the program is to end, another value to choose again.
  virtual int RunUpdate(description::UpdateDescription& record) = 0;
  // A screen could not be shown (end code -1); the wizard ends after this.
  virtual void ShowScreenFailure(Step step) = 0;
  // One line (code page 932) for the run's log: what was shown and what the person chose.
  virtual void Log(const std::string& line) = 0;
};

// Holds the record for the whole session and takes the steps. The record persists across steps:
// every screen gets the record's current values.
class Driver {
 public:
  Driver(description::UpdateDescription& record, Screens& screens)
      : record_(record), screens_(screens) {}

  // Shows the screen of `step` (notice, destination or confirmation), logs it and the person's
  // answer, and acts on the answer as the table says; after the confirmation's 更新 it runs the
  // update at once (the step kUpdateRun, which Take also runs alone) and acts on its result.
  // Returns what comes next: a screen to show, kClose or kCloseFailed (never kRunUpdate).
  Next Take(Step step);
  // The step that decided the last Next: the update run when Take ran it.
  Step LastStep() const { return lastStep_; }

 private:
  Next Decide(Step step, int endCode);

  description::UpdateDescription& record_;
  Screens& screens_;
  Step lastStep_ = Step::kNotice;
};

struct WizardResult {
  enum Kind {
    kCancelled,     // closed at the notice
    kUpdateEnded,   // RunUpdate returned 1
    kScreenFailed,  // a screen returned -1
  };
  Kind kind = kCancelled;
  Step failedStep = Step::kNotice;  // for kScreenFailed
};

// Takes the Driver's steps from the notice until it closes.
WizardResult RunWizard(description::UpdateDescription& record, Screens& screens);

}  // namespace koushin::wizard
