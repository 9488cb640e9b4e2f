#include "run_report.h"

#include <cstdio>

#include "port/port.h"

namespace koushin::console {

namespace {

const char* OutcomeName(engine::RunOutcome outcome) {
  switch (outcome) {
    case engine::RunOutcome::kUpdated:
      return "updated";
    case engine::RunOutcome::kCancelled:
      return "cancelled";
    case engine::RunOutcome::kCheckFailed:
      return "check failed";
    case engine::RunOutcome::kStoppedRestored:
      return "stopped and restored";
    case engine::RunOutcome::kStoppedNotRestored:
      return "stopped and not fully restored";
    case engine::RunOutcome::kRecovered:
      return "recovered";
    case engine::RunOutcome::kBusy:
      return "another update is running";
    case engine::RunOutcome::kJournalRefused:
      return "refused";
    case engine::RunOutcome::kPreflightRefused:
      return "a check before the first change failed";
    case engine::RunOutcome::kMediaRefused:
      return "media refused";
  }
  return "unknown";
}

const char* ChangeName(journal::RecordKind kind) {
  switch (kind) {
    case journal::RecordKind::kReplacedFile:
      return "replaced";
    case journal::RecordKind::kCreatedFile:
      return "created";
    case journal::RecordKind::kCreatedFolder:
      return "folder created";
    default:
      return "other";
  }
}

// A JSON string of a code page 932 text.
std::string Json(const std::string& cp932) {
  const std::string utf8 = port::Cp932ToUtf8Lossy(cp932);
  std::string out = "\"";
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

struct Counts {
  int replaced = 0, created = 0, folders = 0;
};

Counts Count(const engine::RunSummary& summary) {
  Counts counts;
  for (const journal::Change& change : summary.changes) {
    if (change.kind == journal::RecordKind::kReplacedFile) ++counts.replaced;
    if (change.kind == journal::RecordKind::kCreatedFile) ++counts.created;
    if (change.kind == journal::RecordKind::kCreatedFolder) ++counts.folders;
  }
  return counts;
}

}  // namespace

std::string SummaryText(const engine::RunSummary& summary, bool dryRun) {
  if (dryRun) {
    return "dry run: would write " + std::to_string(summary.iniKeysWritten) +
           " INI keys and convert " + std::to_string(summary.masterRecordsConverted) +
           " master records; the kept old files would take " + std::to_string(summary.keptBytes) +
           " bytes\n";
  }
  const Counts counts = Count(summary);
  std::string text =
      "changes: " + std::to_string(counts.replaced) + " files replaced, " +
      std::to_string(counts.created) + " created, " + std::to_string(counts.folders) +
      " folders created, " + std::to_string(summary.iniKeysWritten) + " INI keys written, " +
      std::to_string(summary.masterRecordsConverted) +
      " master records converted; old files kept: " + std::to_string(summary.keptBytes) +
      " bytes\n";
  if (summary.restored) {
    const journal::RestoreReport& r = summary.restore;
    text += "restored: " + std::to_string(r.filesPutBack) + " files put back, " +
            std::to_string(r.filesRemoved) + " files and " + std::to_string(r.foldersRemoved) +
            " folders removed";
    text += r.failed.empty() ? "\n" : ", " + std::to_string(r.failed.size()) + " not put back\n";
  }
  return text;
}

std::string ReportJson(engine::RunOutcome outcome, int exitStatus, bool dryRun,
                       const engine::RunSummary& summary) {
  const Counts counts = Count(summary);
  std::string json = "{\n";
  json += "  \"outcome\": \"" + std::string(OutcomeName(outcome)) + "\",\n";
  json += "  \"exitStatus\": " + std::to_string(exitStatus) + ",\n";
  json += "  \"dryRun\": " + std::string(dryRun ? "true" : "false") + ",\n";
  json += "  \"versionBefore\": " + Json(summary.versionBefore) + ",\n";
  json += "  \"versionAfter\": " + Json(summary.versionAfter) + ",\n";
  json += "  \"filesReplaced\": " + std::to_string(counts.replaced) + ",\n";
  json += "  \"filesCreated\": " + std::to_string(counts.created) + ",\n";
  json += "  \"foldersCreated\": " + std::to_string(counts.folders) + ",\n";
  json += "  \"iniKeysWritten\": " + std::to_string(summary.iniKeysWritten) + ",\n";
  json += "  \"masterRecordsConverted\": " + std::to_string(summary.masterRecordsConverted) + ",\n";
  json += "  \"keptBytes\": " + std::to_string(summary.keptBytes) + ",\n";
  json += "  \"changes\": [";
  for (std::size_t i = 0; i < summary.changes.size(); ++i) {
    const journal::Change& change = summary.changes[i];
    json += std::string(i == 0 ? "\n" : ",\n") + "    {\"change\": \"" + ChangeName(change.kind) +
            "\", \"path\": " + Json(change.path) + "}";
  }
  json += summary.changes.empty() ? "],\n" : "\n  ],\n";
  json += "  \"restored\": " + std::string(summary.restored ? "true" : "false") + ",\n";
  json += "  \"notRestored\": [";
  for (std::size_t i = 0; i < summary.restore.failed.size(); ++i) {
    json += (i == 0 ? "" : ", ") + Json(summary.restore.failed[i]);
  }
  json += "]\n}\n";
  return json;
}

bool WriteReportFile(const std::string& utf8Path, const std::string& bytes, std::string* problem) {
  std::string cp932;
  if (!port::Utf8ToCp932(port::AbsoluteHostPath(utf8Path), &cp932)) {
    *problem = "the report file name has characters outside code page 932";
    return false;
  }
  port::Error error;
  if (!port::WriteFileAtomically(cp932, bytes, &error)) {
    *problem = error.Describe();
    return false;
  }
  return true;
}

}  // namespace koushin::console
