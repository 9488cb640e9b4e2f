// The main window: bare (style exactly WS_VISIBLE), maximized, without a menu, titled with the
// first line of info.txt. It holds the wizard's view.
#pragma once

#include <memory>
#include <string>

#include "window.h"

namespace koushin::win32 {

class CWizardView;

class CMainFrame : public Window {
 public:
  CMainFrame();
  ~CMainFrame() override;

  // Creates the frame and, inside it, the view. False when either fails.
  bool Create();
  CWizardView* View() const { return view_.get(); }

 protected:
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  int OnCreate();
  // Command 104: the first line of SourceFolder + "info.txt" becomes the title.
  void OnLoadTitle();

  std::unique_ptr<CWizardView> view_;
};

// The first line of an info.txt file's bytes, without its line break (text-mode reading: CR LF
// or LF ends the line, a byte 26 ends the file).
std::string FirstLine(const std::string& bytes);

}  // namespace koushin::win32
