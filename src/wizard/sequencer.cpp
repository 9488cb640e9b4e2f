#include "wizard/sequencer.h"

#include <array>

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

DestinationScreen Sequencer::MakeDestination() const {
  DestinationScreen screen;
  screen.uninstallKeys = record_.uninstallKeys;
  screen.destinationText = record_.destinationText;
  screen.installFolder = record_.installFolder;
  screen.destinationBitmap = record_.destinationBitmap;
  return screen;
}

Next Sequencer::OnNoticeEnded(int endCode) { return FindTransition(Step::kNotice, endCode).next; }

Next Sequencer::OnDestinationEnded(int endCode, const DestinationScreen& screen) {
  const Transition& row = FindTransition(Step::kDestination, endCode);
  if (row.takeFolder) record_.installFolder = screen.installFolder;
  return row.next;
}

Next Sequencer::OnConfirmEnded(int endCode) { return FindTransition(Step::kConfirm, endCode).next; }

Next Sequencer::OnUpdateRunEnded(int updateRunResult) {
  return FindTransition(Step::kUpdateRun, updateRunResult).next;
}

WizardResult RunWizard(description::UpdateDescription& record, Screens& screens) {
  Sequencer sequencer(record);
  Step step = Step::kNotice;
  for (;;) {
    Next next = Next::kClose;
    switch (step) {
      case Step::kNotice:
        next = sequencer.OnNoticeEnded(screens.ShowNotice(sequencer.MakeNotice()));
        break;
      case Step::kDestination: {
        DestinationScreen screen = sequencer.MakeDestination();
        const int endCode = screens.ShowDestination(screen);
        next = sequencer.OnDestinationEnded(endCode, screen);
        break;
      }
      case Step::kConfirm:
        next = sequencer.OnConfirmEnded(screens.ShowConfirm(sequencer.MakeConfirm()));
        break;
      case Step::kUpdateRun:
        next = sequencer.OnUpdateRunEnded(screens.RunUpdate(record));
        break;
    }
    switch (next) {
      case Next::kShowNotice:
        step = Step::kNotice;
        break;
      case Next::kShowDestination:
        step = Step::kDestination;
        break;
      case Next::kShowConfirm:
        step = Step::kConfirm;
        break;
      case Next::kRunUpdate:
        step = Step::kUpdateRun;
        break;
      case Next::kClose: {
        WizardResult result;
        result.kind =
            step == Step::kUpdateRun ? WizardResult::kUpdateEnded : WizardResult::kCancelled;
        return result;
      }
      case Next::kCloseFailed: {
        screens.ShowScreenFailure(step);
        WizardResult result;
        result.kind = WizardResult::kScreenFailed;
        result.failedStep = step;
        return result;
      }
    }
  }
}

}  // namespace koushin::wizard
