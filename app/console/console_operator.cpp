#include "console_operator.h"

#include "engine/messages.h"
#include "engine/update_run.h"

namespace koushin::console {

ConsoleOperator::ConsoleOperator(Terminal& terminal, RunLog& log, bool unattended)
    : terminal_(terminal), log_(log), unattended_(unattended) {}

engine::Answer ConsoleOperator::ShowMessage(const std::string& text, const std::string& caption,
                                            engine::Buttons buttons) {
  const std::string shown = "[" + ForTerminal(caption) + "] " + ForTerminal(text);
  lastMessage_ = ForTerminal(text);
  terminal_.ShowUtf8(shown + "\n");
  if (buttons == engine::Buttons::kOk) {
    lastQuestion_.clear();
    log_.Write("message " + shown);
    return engine::Answer::kOk;
  }

  engine::Answer answer;
  if (unattended_) {
    answer = text == lastQuestion_ ? engine::Answer::kCancel : engine::Answer::kOk;
    terminal_.ShowUtf8(answer == engine::Answer::kOk
                           ? "  （自動応答: OK）\n"
                           : "  （自動応答: キャンセル。同じ確認がもう一度出たため）\n");
  } else {
    answer = AskOkCancel();
  }
  lastQuestion_ = answer == engine::Answer::kOk ? text : std::string();
  log_.Write("question " + shown + " -> " + (answer == engine::Answer::kOk ? "OK" : "Cancel"));
  return answer;
}

engine::Answer ConsoleOperator::AskOkCancel() {
  for (;;) {
    std::string line;
    if (!terminal_.Ask("  1) OK  2) キャンセル  [1]: ", &line)) return engine::Answer::kCancel;
    if (line.empty() || line == "1" || line == "ok" || line == "OK" || line == "y") {
      return engine::Answer::kOk;
    }
    if (line == "2" || line == "cancel" || line == "c" || line == "n") {
      return engine::Answer::kCancel;
    }
    terminal_.ShowUtf8("  1 か 2 で答えてください。\n");
  }
}

void ConsoleOperator::BeginWait() { ++waitDepth_; }

void ConsoleOperator::EndWait() {
  if (waitDepth_ > 0 && --waitDepth_ == 0) terminal_.ClearProgress();
}

void ConsoleOperator::ReportProgress(const engine::Progress& progress) {
  lastQuestion_.clear();
  terminal_.Progress(progress);
}

void ConsoleOperator::Log(const std::string& line) { log_.WriteCp932(line); }

void ConsoleOperator::StartRun() {
  lastQuestion_.clear();
  ran_ = false;
}

void ConsoleOperator::FinishRun(const engine::RunContext& context) {
  ran_ = true;
  outcome_ = context.outcome;
  summary_ = context.summary;
  terminal_.ClearProgress();
}

}  // namespace koushin::console
