// The wizard's sequence: notice, destination, confirmation, update, as a state table.
//
// The Windows front end posts the step commands (101, 102, 103) to its view and, in each
// handler, builds the step's screen from the record with the Make* functions, shows it and asks
// the Sequencer what comes next. The console runs the same table in a loop with RunWizard.
#pragma once

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
  kRunUpdate,        // call UpdateRun now, then OnUpdateRunEnded
  kClose,            // close the main window: the program ends
  kCloseFailed,      // the screen could not be shown: tell the user (texts::ScreenFailed()), end
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

// Holds the record for the whole run and applies the table. The record persists across steps:
// every screen gets the record's current values.
class Sequencer {
 public:
  explicit Sequencer(description::UpdateDescription& record) : record_(record) {}

  NoticeScreen MakeNotice() const { return MakeNoticeScreen(record_); }
  // A fresh destination screen with its inputs set (uninstall keys, text, folder, bitmap); the
  // front end calls Open() when the screen appears.
  DestinationScreen MakeDestination() const;
  ConfirmScreen MakeConfirm() const { return MakeConfirmScreen(record_); }

  Next OnNoticeEnded(int endCode);
  // On kEndOk copies screen.installFolder into the record.
  Next OnDestinationEnded(int endCode, const DestinationScreen& screen);
  Next OnConfirmEnded(int endCode);
  Next OnUpdateRunEnded(int updateRunResult);

  description::UpdateDescription& Record() { return record_; }

 private:
  description::UpdateDescription& record_;
};

// The front end's screens, for RunWizard. Each Show* returns the screen's end code.
class Screens {
 public:
  virtual ~Screens() = default;
  virtual int ShowNotice(const NoticeScreen& screen) = 0;
  // The screen comes from MakeDestination; the implementation calls Open() and then acts on it.
  virtual int ShowDestination(DestinationScreen& screen) = 0;
  virtual int ShowConfirm(const ConfirmScreen& screen) = 0;
  // UpdateRun on the record: 1 when the program is to end, another value to choose again.
  virtual int RunUpdate(description::UpdateDescription& record) = 0;
  // A screen could not be shown (end code -1); the wizard ends after this.
  virtual void ShowScreenFailure(Step step) = 0;
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

// Runs the table from the notice until it closes.
WizardResult RunWizard(description::UpdateDescription& record, Screens& screens);

}  // namespace koushin::wizard
