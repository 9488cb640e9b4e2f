#include "wizard/sequencer.h"

#include <array>

#include "wizard/texts.h"

namespace koushin::wizard {

namespace {

// Rows of one step are looked up in order; each step ends with its kAnyOther row.
const std::array<Transition, 14> kTable = {{
    {Step::kNotice, kEndOk, false, Next::kShowDestination},
    {Step::kNotice, kEndFailed, false, Next::kCloseFailed},
    {Step::kNotice, kAnyOther, false, Next::kClose},
    {Step::kDestination, kEndOk, true, Next::kShowConfirm},
    {Step::kDestination, kEndBack, false, Next::kShowNotice},
    // Esc leaves the screen like "戻る": the wizard must go on from a screen, not stall.
    {Step::kDestination, kEndCancel, false, Next::kShowNotice},
    {Step::kDestination, kEndFailed, false, Next::kCloseFailed},
    {Step::kDestination, kAnyOther, false, Next::kShowNotice},
    {Step::kConfirm, kEndOk, false, Next::kRunUpdate},
    {Step::kConfirm, kEndCancel, false, Next::kShowDestination},
    {Step::kConfirm, kEndFailed, false, Next::kCloseFailed},
    {Step::kConfirm, kAnyOther, false, Next::kShowDestination},
    {Step::kUpdateRun, 1, false, Next::kClose},
    {Step::kUpdateRun, kAnyOther, false, Next::kShowDestination},
}};

}  // namespace

const Transition& FindTransition(Step step, int endCode) {
  for (const Transition& row : kTable) {
    if (row.step == step && (row.endCode == endCode || row.endCode == kAnyOther)) return row;
  }
  // Every step has a kAnyOther row, so this is not reached.
  return kTable.back();
}

int CommandFor(Next next) {
  switch (next) {
    case Next::kShowNotice:
      return kCommandNotice;
    case Next::kShowDestination:
      return kCommandDestination;
    case Next::kShowConfirm:
      return kCommandConfirm;
    default:
      return 0;
  }
}

Step StepForCommand(int command) {
  switch (command) {
    case kCommandNotice:
      return Step::kNotice;
    case kCommandDestination:
      return Step::kDestination;
    case kCommandConfirm:
      return Step::kConfirm;
    default:
      return Step::kUpdateRun;
  }
}

Next Driver::Decide(Step step, int endCode) {
  lastStep_ = step;
  const Transition& row = FindTransition(step, endCode);
  if (row.next == Next::kCloseFailed) screens_.ShowScreenFailure(step);
  return row.next;
}

Next Driver::Take(Step step) {
  // The log says what the person saw and chose, in the screens' own words.
  const auto log = [this](const std::string& line) { screens_.Log(line); };
  const auto failed = [&](const char* screen) {
    log(std::string(screen) + ": the screen could not be shown; the wizard ends");
  };
  switch (step) {
    case Step::kNotice: {
      const NoticeScreen screen = MakeNoticeScreen(record_);
      log("notice shown: " + screen.caption + ": " + screen.noticeText);
      const int endCode = screens_.ShowNotice(screen);
      if (endCode == kEndOk) {
        log("notice: " + texts::ButtonStart() + " pressed");
      } else if (endCode == kEndFailed) {
        failed("notice");
      } else {
        log("notice: " + texts::ButtonCancel() + " or Esc pressed; the wizard ends");
      }
      return Decide(step, endCode);
    }
    case Step::kDestination: {
      DestinationScreen screen;
      screen.uninstallKeys = record_.uninstallKeys;
      screen.destinationText = record_.destinationText;
      screen.installFolder = record_.installFolder;
      screen.destinationBitmap = record_.destinationBitmap;
      log("destination shown, starting from the folder " + record_.installFolder +
          " (an uninstall entry found in the registry takes its place)");
      const int endCode = screens_.ShowDestination(screen);
      const Transition& row = FindTransition(step, endCode);
      if (row.takeFolder) {
        record_.installFolder = screen.installFolder;
        log("destination: " + texts::ButtonNext() + " pressed with the folder " +
            record_.installFolder);
      } else if (endCode == kEndFailed) {
        failed("destination");
      } else {
        // Esc leaves as 戻る does; the folder chosen on the screen is dropped.
        log("destination: " + texts::ButtonBack() + " or Esc pressed; back to the notice, the " +
            "folder stays " + record_.installFolder);
      }
      return Decide(step, endCode);
    }
    case Step::kConfirm: {
      const ConfirmScreen screen = MakeConfirmScreen(record_);
      log("confirmation shown for " + screen.installFolder);
      const int endCode = screens_.ShowConfirm(screen);
      if (endCode == kEndFailed) {
        failed("confirmation");
        return Decide(step, endCode);
      }
      if (FindTransition(step, endCode).next != Next::kRunUpdate) {
        log("confirmation: " + texts::ButtonBack() + " or Esc pressed; back to the destination");
        return Decide(step, endCode);
      }
      log("confirmation: " + texts::ButtonUpdate() + " pressed for " + screen.installFolder);
      // The update runs inside the confirmation's step, with only the main window showing.
      return Take(Step::kUpdateRun);
    }
    case Step::kUpdateRun:
      break;
  }
  const Next next = Decide(Step::kUpdateRun, screens_.RunUpdate(record_));
  if (next == Next::kShowDestination) {
    log("the installation check failed; the destination is shown again");
  }
  return next;
}

WizardResult RunWizard(description::UpdateDescription& record, Screens& screens) {
  Driver driver(record, screens);
  Step step = Step::kNotice;
  for (;;) {
    const Next next = driver.Take(step);
    const int command = CommandFor(next);
    if (command != 0) {
      step = StepForCommand(command);
      continue;
    }
    WizardResult result;
    if (next == Next::kCloseFailed) {
      result.kind = WizardResult::kScreenFailed;
      result.failedStep = driver.LastStep();
    } else {
      result.kind = driver.LastStep() == Step::kUpdateRun ? WizardResult::kUpdateEnded
                                                          : WizardResult::kCancelled;
    }
    return result;
  }
}

}  // namespace koushin::wizard
