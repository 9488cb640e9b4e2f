#include "engine/support_log.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "journal/journal.h"
#include "text/cp932.h"

namespace koushin::engine {

const char kSupportLogFolder[] = ".koushin\\logs\\";

namespace {

// The UTC time now: "2026-12-07 15:01:02.125" (`stamp`) and "20261207T150102Z" (`name`).
void Now(std::string* stamp, std::string* name) {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  // One thread only: std::gmtime's shared result is safe here.
  const std::tm utc = *std::gmtime(&seconds);
  char text[64];
  if (stamp != nullptr) {
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(millis));
    *stamp = text;
  }
  if (name != nullptr) {
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    *name = text;
  }
}

// True for a name this log gives its files ("20261207T150102Z.log", "20261207T150102Z_2.log"):
// pruning removes nothing else, whatever else someone put into the folder.
bool IsSupportLogName(const std::string& name) {
  if (name.size() < 20 || name.compare(name.size() - 4, 4, ".log") != 0) return false;
  for (int i = 0; i < 16; ++i) {
    const char c = name[i];
    const bool fits = i == 8 ? c == 'T' : i == 15 ? c == 'Z' : c >= '0' && c <= '9';
    if (!fits) return false;
  }
  return name.size() == 20 || name[16] == '_';
}

}  // namespace

SupportLog::SupportLog() {
  Now(nullptr, &fileName_);
  fileName_ += ".log";
}

void SupportLog::Add(const std::string& cp932Line) {
  std::string stamp;
  Now(&stamp, nullptr);
  std::string line = stamp + "  ";
  // Bytes below 0x40 are never trail bytes in code page 932: CR and LF are safe to look for.
  for (std::size_t i = 0; i < cp932Line.size(); ++i) {
    const char c = cp932Line[i];
    if (c == '\r') continue;
    line += c == '\n' ? std::string(" / ") : std::string(1, c);
  }
  lines_.push_back(line);
}

std::string SupportLog::Text() const {
  std::string text;
  for (const std::string& line : head_) text += line + "\r\n";
  text += "\r\n";
  for (const std::string& line : lines_) text += line + "\r\n";
  return text;
}

bool SupportLog::Keep(const std::string& installFolder, std::string* path,
                      port::Error* error) const {
  std::string root = installFolder;
  if (root.empty()) return false;
  if (!text::EndsWithBackslash(root)) root += '\\';
  const std::string journalFolder = root + journal::kJournalFolderName;
  const std::string folder = root + kSupportLogFolder;
  const std::string logsFolder = folder.substr(0, folder.size() - 1);
  if (!port::IsFolder(journalFolder) && !port::MakeFolder(journalFolder, error)) return false;
  if (!port::IsFolder(logsFolder) && !port::MakeFolder(logsFolder, error)) return false;
  // Two runs in the same second get names of their own: a log is never written over.
  const std::string stem = fileName_.substr(0, fileName_.size() - 4);
  std::string name = fileName_;
  for (int n = 2; port::PathExists(folder + name); ++n) {
    if (n > 99) return false;
    name = stem + "_" + std::to_string(n) + ".log";
  }
  *path = folder + name;
  if (!port::WriteFileAtomically(*path, Text(), error)) return false;

  std::vector<port::FoundEntry> entries;
  port::FindEntries(folder + "*.log", &entries);
  std::vector<std::string> logs;
  for (const port::FoundEntry& entry : entries) {
    if (!entry.isFolder && IsSupportLogName(entry.name)) logs.push_back(entry.name);
  }
  // The names sort as the runs started ("_2" after the plain name of the same second).
  std::sort(logs.begin(), logs.end());
  for (std::size_t i = 0; i + kSupportLogsKept < logs.size(); ++i) {
    port::RemoveFile(folder + logs[i]);
  }
  return true;
}

bool RunWroteToInstallation(RunOutcome outcome, const RunSummary& summary, bool dryRun) {
  if (dryRun) return false;
  switch (outcome) {
    case RunOutcome::kUpdated:
    case RunOutcome::kStoppedRestored:
    case RunOutcome::kStoppedNotRestored:
    case RunOutcome::kRecovered:
    case RunOutcome::kUndone:
      return true;
    default:
      return summary.restored;
  }
}

std::vector<std::string> SupportLogHead(const std::string& program, const std::string& media,
                                        const std::string& folder, const RunSummary& summary) {
  const auto shown = [](const std::string& version) {
    return version.empty() ? std::string("(none)") : version;
  };
  return {program,
          "media:            " + media,
          "installation:     " + folder,
          "version before:   " + shown(summary.versionBefore),
          "version on media: " + shown(summary.versionTarget),
          "version after:    " + shown(summary.versionAfter)};
}

std::string OutcomeText(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::kUpdated:
      return "outcome: updated; every step was done and committed";
    case RunOutcome::kCancelled:
      return "outcome: cancelled at a disk prompt; every change was put back";
    case RunOutcome::kCheckFailed:
      return "outcome: the installation check failed; nothing was written";
    case RunOutcome::kStoppedRestored:
      return "outcome: a step failed; every change was put back";
    case RunOutcome::kStoppedNotRestored:
      return "outcome: a step failed and some changes could not be put back; the journal is kept "
             "for a recovery";
    case RunOutcome::kRecovered:
      return "outcome: an unfinished earlier run was put back";
    case RunOutcome::kBusy:
      return "outcome: another run holds the installation; nothing was written";
    case RunOutcome::kJournalRefused:
      return "outcome: the journal of an earlier run cannot be read; nothing was done";
    case RunOutcome::kPreflightRefused:
      return "outcome: refused before the first change (space, read-only or files in use)";
    case RunOutcome::kCurrent:
      return "outcome: the media's version is already installed; nothing was done";
    case RunOutcome::kNothingToRecover:
      return "outcome: no unfinished run to put back";
    case RunOutcome::kUndone:
      return "outcome: the last update was put back";
    case RunOutcome::kUndoRefused:
      return "outcome: undo refused; nothing was done";
    case RunOutcome::kMediaRefused:
      return "outcome: a disk failed its file list or signature; nothing was changed from it";
  }
  return "outcome: unknown";
}

}  // namespace koushin::engine
