// The person at the screen, as the engine sees them, in a terminal: messages with their caption,
// OK/Cancel questions as prompts (or answered alone in unattended mode), the progress line and
// the log. It also notes how a run ended, for the exit status.
#pragma once

#include <string>

#include "engine/operator.h"
#include "engine/run_context.h"
#include "run_log.h"
#include "terminal.h"

namespace koushin::console {

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

  // Brackets one UpdateRun; FinishRun takes how it ended and what it changed.
  void StartRun();
  void FinishRun(const engine::RunContext& context);
  // Whether a run ended, and how the last one did.
  bool Ran() const { return ran_; }
  engine::RunOutcome Outcome() const { return outcome_; }
  const engine::RunSummary& Summary() const { return summary_; }
  // The last message shown (UTF-8), for the report.
  const std::string& LastMessage() const { return lastMessage_; }

 private:
  engine::Answer AskOkCancel();

  Terminal& terminal_;
  RunLog& log_;
  bool unattended_;
  int waitDepth_ = 0;
  std::string lastQuestion_;  // the last OK/Cancel question answered OK with nothing since
  bool ran_ = false;
  engine::RunOutcome outcome_ = engine::RunOutcome::kUpdated;
  engine::RunSummary summary_;
  std::string lastMessage_;
};

}  // namespace koushin::console
