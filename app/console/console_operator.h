// The person at the screen, as the engine sees them, in a terminal: messages with their caption,
// OK/Cancel questions as prompts (or answered alone in unattended mode), the progress line and
// the log. It also notes how a run ended, for the exit status.
#pragma once

#include <string>

#include "engine/operator.h"
#include "run_log.h"
#include "terminal.h"

namespace koushin::console {

enum class RunOutcome {
  kNotRun,
  kUpdated,      // the final message was shown (of a real or a dry run)
  kCancelled,    // a disk prompt was cancelled
  kCheckFailed,  // the installation check failed; nothing was written
  kFailed,       // the run stopped on an error after it began
  kRefused,      // a check before the first change failed; nothing was written
};

class ConsoleOperator : public engine::Operator {
 public:
  // `unattended`: questions are answered without asking. OK is answered to an OK/Cancel question
  // unless the very same question comes back at once, which means the run could not go on with
  // OK (a disk prompt whose file is still missing); that second time the answer is Cancel.
  ConsoleOperator(Terminal& terminal, RunLog& log, bool unattended);

  engine::Answer ShowMessage(const std::string& text, const std::string& caption,
                             engine::Buttons buttons) override;
  void BeginWait() override;
  void EndWait() override;
  void ReportProgress(const engine::Progress& progress) override;
  void Log(const std::string& line) override;

  // Brackets one UpdateRun; FinishRun takes its result.
  void StartRun();
  void FinishRun(int updateRunResult, bool refused);
  RunOutcome Outcome() const { return outcome_; }

 private:
  engine::Answer AskOkCancel();

  Terminal& terminal_;
  RunLog& log_;
  bool unattended_;
  int waitDepth_ = 0;
  std::string lastQuestion_;  // the last OK/Cancel question answered OK with nothing since
  bool doneSeen_ = false;
  bool cancelSeen_ = false;
  RunOutcome outcome_ = RunOutcome::kNotRun;
};

}  // namespace koushin::console
