// The view of the main window is the wizard. It owns the update description, paints the update's
// background picture, and leads through the notice, destination and confirmation dialogs by
// commands it posts to itself (the step is the command waiting in the queue), then runs the update.
#pragma once

#include <memory>

#include "description/update_description.h"
#include "engine/support_log.h"
#include "window.h"
#include "wizard/sequencer.h"

namespace koushin::win32 {

class GuiOperator;

// The view is also the wizard's screens for the one driver (wizard/sequencer.h): each posted step
// command takes one step of the driver, which shows the step's dialog through the Show* functions.
class CWizardView : public Window, private wizard::Screens {
 public:
  CWizardView();
  ~CWizardView() override;

  // Creates the view as a child filling `rect` of the frame. Its creation loads info.txt and
  // posts the first wizard command.
  bool Create(HWND frame, const RECT& rect);
  const description::UpdateDescription& Record() const { return record_; }

 protected:
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  int OnCreate();
  // A step command: the driver takes the step, then the view does what comes next (posts the
  // next step's command or closes the frame).
  void OnWizardStep(int command);
  void OnDescriptionInvalid();
  void OnPaint();

  // wizard::Screens: the dialogs, run modally over the frame; the update with its operator.
  int ShowNotice(const wizard::NoticeScreen& screen) override;
  int ShowDestination(wizard::DestinationScreen& screen) override;
  int ShowConfirm(const wizard::ConfirmScreen& screen) override;
  int RunUpdate(description::UpdateDescription& record) override;
  void ShowScreenFailure(wizard::Step step) override;
  void Log(const std::string& line) override { log_.Add(line); }
  void CloseFrame();
  HWND Frame() const;

  description::UpdateDescription record_;
  wizard::Driver driver_{record_, *this};
  GuiOperator* runOperator_ = nullptr;  // set while UpdateRun works
  // What the person saw and did in this session, left in the installation by a run that wrote
  // to it.
  engine::SupportLog log_;
  std::string descriptionProblem_;  // why info.txt cannot be used (code page 932)
};

}  // namespace koushin::win32
