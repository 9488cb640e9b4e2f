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

class CWizardView : public Window {
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
  void OnWizardNotice();
  void OnWizardDestination();
  void OnWizardConfirm();
  void OnDescriptionInvalid();
  void OnPaint();
  // Carries out what the step table says comes next.
  void Act(wizard::Next next);
  void RunUpdate();
  void CloseFrame();
  HWND Frame() const;

  description::UpdateDescription record_;
  wizard::Sequencer sequencer_{record_};
  GuiOperator* runOperator_ = nullptr;  // set while UpdateRun works
  // What the person saw and did in this session, left in the installation by a run that wrote
  // to it.
  engine::SupportLog log_;
  std::string descriptionProblem_;  // why info.txt cannot be used (code page 932)
};

}  // namespace koushin::win32
