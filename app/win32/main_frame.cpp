#include "main_frame.h"

#include "../../res/resource.h"
#include "description/update_description.h"
#include "port/port.h"
#include "wide_text.h"
#include "wizard_app.h"
#include "wizard_view.h"

namespace koushin::win32 {

namespace {
constexpr wchar_t kFrameClass[] = L"KoushinMainFrame";
}

std::string FirstLine(const std::string& bytes) {
  std::size_t end = bytes.find_first_of(std::string("\n\x1a", 2));
  std::string line = bytes.substr(0, end);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

CMainFrame::CMainFrame() = default;
CMainFrame::~CMainFrame() = default;

bool CMainFrame::Create() {
  const HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
  if (!RegisterClassOnce(kFrameClass, icon, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1))) {
    return false;
  }
  wchar_t name[64] = L"koushin";
  LoadStringW(GetModuleHandleW(nullptr), IDS_PROGRAM_NAME, name, 64);
  // Exactly WS_VISIBLE: no sizing border, no system menu, no minimize or maximize box. As an
  // overlapped window it still has a title bar for the title.
  return CreateOf(kFrameClass, name, WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                  CW_USEDEFAULT, nullptr, nullptr);
}

int CMainFrame::OnCreate() {
  view_ = std::make_unique<CWizardView>();
  RECT client{};
  GetClientRect(Handle(), &client);
  if (!view_->Create(Handle(), client)) {
    view_.reset();
    return -1;
  }
  SetMenu(Handle(), nullptr);
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  GetWindowPlacement(Handle(), &placement);
  placement.length = sizeof placement;
  placement.showCmd = SW_SHOWMAXIMIZED;
  placement.ptMaxPosition = POINT{0, 0};
  SetWindowPlacement(Handle(), &placement);
  PostCommand(ID_LOAD_TITLE);
  return 0;
}

void CMainFrame::OnLoadTitle() {
  std::string bytes;
  std::string title;
  if (port::ReadWholeFileUpTo(SourceFolder() + "info.txt", description::kMaxDescriptionBytes,
                              &bytes)) {
    title = FirstLine(bytes);
  }
  SetWindowTextW(Handle(), WideFromCp932(title).c_str());
}

LRESULT CMainFrame::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate();
    case WM_SIZE:
      if (view_ && view_->Handle() != nullptr) {
        MoveWindow(view_->Handle(), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      }
      return 0;
    case WM_SETFOCUS:
      if (view_ && view_->Handle() != nullptr) SetFocus(view_->Handle());
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == ID_LOAD_TITLE) {
        OnLoadTitle();
        return 0;
      }
      if (LOWORD(wParam) == ID_APP_ABOUT && TheApp() != nullptr) {
        TheApp()->OnAppAbout();
        return 0;
      }
      break;
    case WM_CLOSE:
      // The document never changes, so nothing is asked.
      DestroyWindow(Handle());
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return Default(message, wParam, lParam);
}

}  // namespace koushin::win32
