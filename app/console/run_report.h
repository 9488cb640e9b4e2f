// What a run changed, as the console shows it at the end and as --report writes it (JSON) for the
// tools that update many machines at once.
#pragma once

#include <string>

#include "engine/run_context.h"

namespace koushin::console {

// The end summary for the terminal (UTF-8, lines ending in '\n'). A dry run says what it would
// write and the space the kept files would take.
std::string SummaryText(const engine::RunSummary& summary, bool dryRun);

// The report: outcome, exit status, versions before and after, each change, and the restore.
std::string ReportJson(engine::RunOutcome outcome, int exitStatus, bool dryRun,
                       const engine::RunSummary& summary);

// Writes `bytes` to the host file `utf8Path` atomically (a temporary file beside it, flushed,
// renamed over it). False with `problem` when it cannot.
bool WriteReportFile(const std::string& utf8Path, const std::string& bytes, std::string* problem);

}  // namespace koushin::console
