// The application: start-up, the media folder, the document, frame and view, the message loop.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace koushin::win32 {

class CMainFrame;
class CWizardDoc;

// The folder of the update media: drive and directory of the running program, ending with '\\'
// (code page 932). Empty until CWizardApp::InitInstance has run; never changed afterwards.
const std::string& SourceFolder();

class CWizardApp {
 public:
  CWizardApp();
  ~CWizardApp();

  // Computes SourceFolder and creates the document, the main frame and its view (whose creation
  // posts the first wizard command). FALSE when the windows cannot be created.
  BOOL InitInstance();
  // The message loop; returns the exit code once the main frame is closed.
  int Run();
  // Shows the about box modally over the main frame.
  void OnAppAbout();

  CMainFrame* MainFrame() const { return frame_.get(); }

 private:
  std::unique_ptr<CWizardDoc> document_;
  std::unique_ptr<CMainFrame> frame_;
};

// The one application object, for the frame's command routing.
CWizardApp* TheApp();

}  // namespace koushin::win32
