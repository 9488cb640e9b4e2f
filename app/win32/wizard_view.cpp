#include "wizard_view.h"

#include "../../res/resource.h"
#include "bitmap_file_painter.h"
#include "confirm_dialog.h"
#include "destination_dialog.h"
#include "gdi.h"
#include "engine/messages.h"
#include "engine/update_run.h"
#include "gui_operator.h"
#include "port/port.h"
#include "notice_dialog.h"
#include "wide_text.h"
#include "wizard/texts.h"
#include "wizard_app.h"

namespace koushin::win32 {

namespace {
// The view posts the driver's step commands under the resource ids of the same numbers.
static_assert(ID_WIZARD_NOTICE == wizard::kCommandNotice &&
              ID_WIZARD_DESTINATION == wizard::kCommandDestination &&
              ID_WIZARD_CONFIRM == wizard::kCommandConfirm);
constexpr wchar_t kViewClass[] = L"KoushinWizardView";
// The program as its log names it (the version of res/koushin.rc).
constexpr char kProgram[] = "koushin 3.0.0 (Windows)";
}  // namespace

CWizardView::CWizardView() = default;
CWizardView::~CWizardView() = default;

bool CWizardView::Create(HWND frame, const RECT& rect) {
  if (!RegisterClassOnce(kViewClass, nullptr, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1))) {
    return false;
  }
  return CreateOf(kViewClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, rect.left, rect.top,
                  rect.right - rect.left, rect.bottom - rect.top, frame, nullptr);
}

HWND CWizardView::Frame() const { return GetParent(Handle()); }

void CWizardView::CloseFrame() { PostMessageW(Frame(), WM_CLOSE, 0, 0); }

int CWizardView::OnCreate() {
  // An info.txt that is missing, unreadable or cannot be used (cut short, too many entries, a
  // column too long) is said and ends the program: an empty or half-read record would pass the
  // installation check on any installation and write its settings.
  const description::LoadResult loaded =
      description::LoadUpdateDescription(SourceFolder(), &record_);
  if (loaded.status == description::LoadStatus::kRead) {
    PostCommand(ID_WIZARD_NOTICE);
  } else {
    descriptionProblem_ = loaded.status == description::LoadStatus::kInvalid
                              ? wizard::texts::DescriptionInvalid(loaded.line)
                              : wizard::texts::DescriptionUnreadable();
    PostCommand(ID_DESCRIPTION_INVALID);
  }
  return 0;
}

void CWizardView::OnDescriptionInvalid() {
  MessageBoxW(Handle(), WideFromCp932(descriptionProblem_).c_str(),
              WideFromCp932(engine::messages::CaptionError()).c_str(), MB_OK);
  CloseFrame();
}

void CWizardView::OnWizardStep(int command) {
  const wizard::Next next = driver_.Take(wizard::StepForCommand(command));
  if (wizard::CommandFor(next) != 0) {
    PostCommand(wizard::CommandFor(next));
  } else {
    // kClose, or kCloseFailed after the failure was said.
    CloseFrame();
  }
}

int CWizardView::ShowNotice(const wizard::NoticeScreen& screen) {
  NoticeDialog dialog;
  dialog.masterAdjust = screen.masterAdjust;
  dialog.noticeText = screen.noticeText;
  dialog.noticeBitmap = screen.noticeBitmap;
  return static_cast<int>(dialog.DoModal(Frame()));
}

int CWizardView::ShowDestination(wizard::DestinationScreen& screen) {
  DestinationDialog dialog;
  // The uninstall keys, text, folder and bitmap, from the record; the folder back after.
  static_cast<wizard::DestinationScreen&>(dialog) = screen;
  const INT_PTR code = dialog.DoModal(Frame());
  screen = dialog;
  return static_cast<int>(code);
}

int CWizardView::ShowConfirm(const wizard::ConfirmScreen& screen) {
  ConfirmDialog dialog;
  dialog.installFolder = screen.installFolder;
  dialog.confirmBitmap = screen.confirmBitmap;
  return static_cast<int>(dialog.DoModal(Frame()));
}

void CWizardView::ShowScreenFailure(wizard::Step) {
  // A dialog that cannot be shown would leave a bare main window: say so; the wizard then ends.
  MessageBoxW(Handle(), WideFromCp932(wizard::texts::ScreenFailed()).c_str(),
              WideFromCp932(engine::messages::CaptionError()).c_str(), MB_OK);
}

int CWizardView::RunUpdate(description::UpdateDescription& record) {
  GuiOperator runOperator(Handle(), log_);
  runOperator_ = &runOperator;
  engine::RunContext context{record, SourceFolder(), runOperator};
  log_.Add("update run: " + record.installFolder);
  // A failed run has shown its message and returns 1: the program ends.
  const int result = engine::UpdateRun(context);
  runOperator_ = nullptr;
  log_.Add(engine::OutcomeText(context.outcome));
  // A run that wrote to the installation leaves the session's log in it, for support; one that
  // wrote nothing leaves the installation as it was.
  if (engine::RunWroteToInstallation(context.outcome, context.summary, false)) {
    log_.SetHead(
        engine::SupportLogHead(kProgram, SourceFolder(), record.installFolder, context.summary));
    std::string path;
    port::Error error;
    if (!log_.Keep(record.installFolder, &path, &error)) {
      OutputDebugStringA(("cannot keep the log: " + error.Describe() + "\n").c_str());
    }
  }
  return result;
}

void CWizardView::OnPaint() {
  const PaintContext paint(Handle());
  RECT client{};
  GetClientRect(Handle(), &client);
  // When the picture cannot be read the view keeps its plain background.
  BitmapFilePainter(paint.Get(), client, SourceFolder() + record_.viewBitmap, SRCCOPY);
}

LRESULT CWizardView::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate();
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_SETCURSOR:
      if (runOperator_ != nullptr && runOperator_->Waiting()) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case ID_WIZARD_NOTICE:
        case ID_WIZARD_DESTINATION:
        case ID_WIZARD_CONFIRM:
          OnWizardStep(LOWORD(wParam));
          return 0;
        case ID_DESCRIPTION_INVALID:
          OnDescriptionInvalid();
          return 0;
        default:
          break;
      }
      break;
    default:
      break;
  }
  return Default(message, wParam, lParam);
}

}  // namespace koushin::win32
