#include "wizard_app.h"

#include <commctrl.h>

#include <vector>

#include "about_dialog.h"
#include "engine/messages.h"
#include "main_frame.h"
#include "text/path.h"
#include "wide_text.h"
#include "wizard/texts.h"
#include "wizard_doc.h"

namespace koushin::win32 {

namespace {
std::string sourceFolder;
CWizardApp* theApp = nullptr;

// The program's own full path, in code page 932; false when it cannot be had or has a character
// that code page 932 lacks (every media path is built on it, and a '?' or a look-alike in its
// place would name another folder).
bool ProgramPath(std::string* path) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD got = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (got == 0) return false;
    if (got < buffer.size()) {
      return Cp932FromWideExactly(std::wstring_view(buffer.data(), got), path);
    }
    buffer.resize(buffer.size() * 2);
  }
}
}  // namespace

const std::string& SourceFolder() { return sourceFolder; }

CWizardApp* TheApp() { return theApp; }

CWizardApp::CWizardApp() { theApp = this; }

CWizardApp::~CWizardApp() {
  frame_.reset();
  if (theApp == this) theApp = nullptr;
}

BOOL CWizardApp::InitInstance() {
  // An empty removable drive chosen in the drive list is listed as its root and [..]; the
  // system's own "no disk" box would stop the wizard behind its back.
  SetErrorMode(SEM_FAILCRITICALERRORS);

  // The visual style's controls, the progress bar among them.
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);

  std::string programPath;
  if (!ProgramPath(&programPath)) {
    MessageBoxW(nullptr, WideFromCp932(wizard::texts::ProgramFolderUnusable()).c_str(),
                WideFromCp932(engine::messages::CaptionError()).c_str(), MB_OK);
    return FALSE;
  }
  sourceFolder = text::SourceFolderFromProgramPath(programPath);

  document_ = std::make_unique<CWizardDoc>();
  if (!document_->OnNewDocument()) return FALSE;
  frame_ = std::make_unique<CMainFrame>();
  if (!frame_->Create()) {
    frame_.reset();
    return FALSE;
  }
  ShowWindow(frame_->Handle(), SW_SHOW);
  UpdateWindow(frame_->Handle());
  return TRUE;
}

int CWizardApp::Run() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

void CWizardApp::OnAppAbout() {
  AboutDialog about;
  about.DoModal(frame_ ? frame_->Handle() : nullptr);
}

}  // namespace koushin::win32
