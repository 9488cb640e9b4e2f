// The log a run leaves in the installation for the support desk: one file per run in the
// installation's .koushin\logs\ folder, named by the run's start time, the last kSupportLogsKept
// kept. The GUI and the console fill it alike; the console's --log is a separate, optional copy.
//
// Only a run that changed the installation (or changed and put it back) leaves its log there: a
// run that by its promise writes nothing (a dry run, media already installed, a check that refused
// before the first change) leaves the installation byte for byte as it was, so a fleet's second
// run finds nothing written. Such runs tell the person what to do in their message.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/run_context.h"
#include "port/port.h"

namespace koushin::engine {

constexpr int kSupportLogsKept = 20;
// Below the installation folder; kept apart from the journal's own folders.
extern const char kSupportLogFolder[];  // ".koushin\\logs\\"

class SupportLog {
 public:
  // The run starts now: its start time names the file.
  SupportLog();

  // One line (code page 932), stamped with the time it was added. Line breaks inside are kept
  // as " / ", so that every line of the file is one event.
  void Add(const std::string& cp932Line);
  // The head of the file, written before every added line: program and version, media, folder,
  // versions. Set it (again) when these are known; the last one set is written.
  void SetHead(const std::vector<std::string>& cp932Lines) { head_ = cp932Lines; }

  // "20261207T150102Z.log": the start time in UTC.
  const std::string& FileName() const { return fileName_; }
  // The file's bytes: the head, then the lines, CR LF after each.
  std::string Text() const;

  // Writes the file into `installFolder`'s .koushin\logs\ (made when missing; never over another
  // run's log) and removes the oldest of our logs beyond kSupportLogsKept. The path written in
  // `*path`. False with `error` when it cannot be written; the run's outcome does not change.
  bool Keep(const std::string& installFolder, std::string* path, port::Error* error) const;

 private:
  std::string fileName_;
  std::vector<std::string> head_;
  std::vector<std::string> lines_;
};

// Whether a run wrote to the installation (a real run that changed files, or changed them and put
// them back, or a recovery or undo that ran): the runs that leave a log in it.
bool RunWroteToInstallation(RunOutcome outcome, const RunSummary& summary, bool dryRun);

// The head lines every front end writes: program with version, media, installation folder, the
// installed version before and after and the media's version.
std::vector<std::string> SupportLogHead(const std::string& program, const std::string& media,
                                        const std::string& folder, const RunSummary& summary);

// The outcome as the log's last line says it, in words support reads (Japanese).
std::string OutcomeText(RunOutcome outcome);

}  // namespace koushin::engine
