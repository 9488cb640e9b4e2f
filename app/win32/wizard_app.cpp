#include "wizard_app.h"

#include <commctrl.h>

#include <vector>

#include "about_dialog.h"
#include "main_frame.h"
#include "text/path.h"
#include "wide_text.h"
#include "wizard_doc.h"

namespace koushin::win32 {

namespace {
std::string sourceFolder;
CWizardApp* theApp = nullptr;

// The program's own full path, in code page 932.
std::string ProgramPath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD got = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (got == 0) return std::string();
    if (got < buffer.size()) return Cp932FromWide(std::wstring_view(buffer.data(), got));
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
  // The visual style's controls, the progress bar among them.
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);

  sourceFolder = text::SourceFolderFromProgramPath(ProgramPath());

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
