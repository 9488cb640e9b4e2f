// The person at the screen during an update run, for the GUI: message boxes owned by the view,
// the hourglass, a progress bar with the current file over the view's background, and the log the
// run leaves for support.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "engine/operator.h"
#include "engine/support_log.h"
#include "gdi.h"
#include "window.h"

namespace koushin::win32 {

class GuiOperator : public engine::Operator {
 public:
  // `log`: the session's support log (engine/support_log.h), which gets every message shown and
  // every line of the engine's log.
  GuiOperator(HWND view, engine::SupportLog& log) : view_(view), log_(log) {}
  ~GuiOperator() override;

  // MessageBoxW owned by the view, OK or OK/Cancel, no icon; texts converted from code page 932.
  engine::Answer ShowMessage(const std::string& text, const std::string& caption,
                             engine::Buttons buttons) override;
  void BeginWait() override;
  void EndWait() override;
  // Shows (on the first report) and updates the progress bar (over the run's bytes) and the label:
  // entry n of m and the file being written, as it is named in the installation.
  void ReportProgress(const engine::Progress& progress) override;
  // To the support log, and to the debugger.
  void Log(const std::string& line) override;

  // True while the hourglass is to show; the view answers WM_SETCURSOR with it.
  bool Waiting() const { return waitDepth_ > 0; }

 private:
  void CreateProgressControls();
  void DestroyProgressControls();

  HWND view_;
  engine::SupportLog& log_;
  HWND progressBar_ = nullptr;
  HWND fileLabel_ = nullptr;
  std::string file_;  // the file the label names (code page 932)
  GdiObject<HFONT> labelFont_;
  std::optional<WaitCursor> waitCursor_;  // while waitDepth_ > 0
  int waitDepth_ = 0;
};

}  // namespace koushin::win32
