#include "gui_operator.h"

#include <commctrl.h>

#include "wide_text.h"

namespace koushin::win32 {

namespace {
// Size of the progress panel in pixels, centred near the bottom of the view.
constexpr int kPanelWidth = 480;
constexpr int kBarHeight = 20;
constexpr int kLabelHeight = 22;
constexpr int kBarRange = 1000;

// Lets the controls draw now: the run works on this thread and returns to the message loop only
// when it is over, so paint messages are dispatched here.
void FlushPaint(HWND window) {
  MSG message;
  while (PeekMessageW(&message, window, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageW(&message);
  UpdateWindow(window);
}
}  // namespace

GuiOperator::~GuiOperator() { DestroyProgressControls(); }

engine::Answer GuiOperator::ShowMessage(const std::string& text, const std::string& caption,
                                        engine::Buttons buttons) {
  const UINT type = buttons == engine::Buttons::kOkCancel ? MB_OKCANCEL : MB_OK;
  // The progress stays behind the message, so that a disk prompt or the final message shows how
  // far the run has come.
  // The hourglass would stay over the message box; the arrow comes back after it.
  const HCURSOR cursor = SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  const int answer =
      MessageBoxW(view_, WideFromCp932(text).c_str(), WideFromCp932(caption).c_str(), type);
  SetCursor(cursor);
  const std::string shown = "message [" + caption + "] " + text;
  if (buttons == engine::Buttons::kOk) {
    log_.Add(shown);
    return engine::Answer::kOk;
  }
  log_.Add(shown + (answer == IDOK ? " -> OK" : " -> Cancel"));
  return answer == IDOK ? engine::Answer::kOk : engine::Answer::kCancel;
}

void GuiOperator::BeginWait() {
  if (waitDepth_++ == 0) waitCursor_.emplace();
}

void GuiOperator::EndWait() {
  if (waitDepth_ > 0) --waitDepth_;
  if (waitDepth_ == 0) {
    waitCursor_.reset();
    DestroyProgressControls();
  }
}

void GuiOperator::ReportProgress(const engine::Progress& progress) {
  if (progressBar_ == nullptr) CreateProgressControls();
  if (progressBar_ == nullptr) return;
  // The bar runs over the bytes of the whole run; while their total is unknown, over the entries
  // (whole entries done plus the share of the current one). Work reported without an entry count
  // (the master conversions) comes after the entries: the bar is full.
  long long position = kBarRange;
  if (progress.entryCount > 0 && progress.runBytesTotal > 0) {
    position = static_cast<long long>(static_cast<double>(progress.runBytesDone) * kBarRange /
                                      static_cast<double>(progress.runBytesTotal));
  } else if (progress.entryCount > 0) {
    double done = progress.entry > 0 ? progress.entry - 1 : 0;
    if (progress.bytesTotal > 0) {
      done += static_cast<double>(progress.bytesDone) / static_cast<double>(progress.bytesTotal);
    }
    position = static_cast<long long>(done * kBarRange / progress.entryCount);
  }
  if (position > kBarRange) position = kBarRange;
  SendMessageW(progressBar_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  // "3/6  C:\EST\bmp\LAYER2L.BMP": the entry and the file being written as installed; the
  // start of an entry keeps the last file's name until its first file is written.
  if (!progress.file.empty()) file_ = progress.file;
  if (progress.entryCount > 0) {
    const std::string label =
        std::to_string(progress.entry) + "/" + std::to_string(progress.entryCount) + "  " + file_;
    SetWindowTextW(fileLabel_, WideFromCp932(label).c_str());
  }
  FlushPaint(progressBar_);
  FlushPaint(fileLabel_);
}

void GuiOperator::Log(const std::string& line) {
  log_.Add(line);
  OutputDebugStringW((WideFromCp932(line) + L"\n").c_str());
}

void GuiOperator::CreateProgressControls() {
  RECT client{};
  GetClientRect(view_, &client);
  const int width = client.right < kPanelWidth + 40 ? client.right - 40 : kPanelWidth;
  const int left = (client.right - width) / 2;
  const int top = client.bottom - 120;
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  fileLabel_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP, left,
                               top, width, kLabelHeight, view_, nullptr, instance, nullptr);
  progressBar_ =
      CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE | WS_BORDER, left,
                      top + kLabelHeight + 4, width, kBarHeight, view_, nullptr, instance, nullptr);
  if (progressBar_ != nullptr) SendMessageW(progressBar_, PBM_SETRANGE32, 0, kBarRange);
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    labelFont_.Reset(CreateFontIndirectW(&metrics.lfMessageFont));
    if (fileLabel_ != nullptr && labelFont_.Get() != nullptr) {
      SendMessageW(fileLabel_, WM_SETFONT, reinterpret_cast<WPARAM>(labelFont_.Get()), TRUE);
    }
  }
}

void GuiOperator::DestroyProgressControls() {
  if (progressBar_ != nullptr) DestroyWindow(progressBar_);
  if (fileLabel_ != nullptr) DestroyWindow(fileLabel_);
  labelFont_.Reset();  // after the label that used it
  progressBar_ = nullptr;
  fileLabel_ = nullptr;
}

}  // namespace koushin::win32
