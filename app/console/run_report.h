// What a run did, as the console shows it at the end and as --report writes it (JSON) for the
// tools that update many machines at once. The report's fields are documented in
// docs/ja/admin.md and, as a JSON Schema, in docs/report.schema.json.
#pragma once

#include <string>

#include "engine/run_context.h"

namespace koushin::console {

// Everything the report says about one run. Texts are UTF-8 unless marked.
struct RunRecord {
  std::string program;  // "koushin"
  std::string version;  // "3.0.0"
  std::string host;
  std::string startedAt;  // ISO 8601, UTC
  std::string endedAt;
  std::string folder;   // the installation folder as given or chosen; empty when none
  std::string media;    // the media folder
  std::string outcome;  // OutcomeName, or "media invalid"
  int exitStatus = 0;
  std::string message;  // the last message shown
  bool dryRun = false;
  engine::RunSummary summary;  // code page 932 inside
  // --check-media: its findings as a JSON array (severity, disk, entry, line, text); empty (an
  // empty array in the report) for every other run.
  std::string findingsJson;
};

// The report's name of an outcome: a dry run that found nothing wrong is "planned".
std::string OutcomeName(engine::RunOutcome outcome, bool dryRun);

// A JSON string of a UTF-8 text (quotes, backslashes and control characters escaped).
std::string JsonUtf8(const std::string& utf8);

// The time now, ISO 8601 in UTC with seconds ("2026-12-07T14:03:04Z").
std::string UtcNow();

// The plan in Japanese for the terminal (UTF-8, lines ending in '\n'): the START variant and why,
// each file created or replaced with its size, each INI key with its old and new value, each
// master file with its records, and the space the kept files take.
std::string PlanText(const engine::UpdatePlan& plan);

// The end summary for the terminal (UTF-8, lines ending in '\n'). A dry run prints its plan and
// says what it would write and the space the kept files would take.
std::string SummaryText(const engine::RunSummary& summary, bool dryRun);

// The report as JSON (schema 1).
std::string ReportJson(const RunRecord& record);

// Checks, before the run, that the report can be written: its folder exists and a file can be
// made there (one is made and removed). False with `problem` otherwise.
bool CheckReportPath(const std::string& utf8Path, std::string* problem);

// Writes `bytes` to the host file `utf8Path` atomically (a temporary file beside it, flushed,
// renamed over it). False with `problem` when it cannot.
bool WriteReportFile(const std::string& utf8Path, const std::string& bytes, std::string* problem);

}  // namespace koushin::console
