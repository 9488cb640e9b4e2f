// What one update run works with: the record, the media folder, the person at the screen, and
// whether anything may be written.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "description/update_description.h"
#include "engine/media_list.h"
#include "engine/operator.h"
#include "engine/update_plan.h"
#include "journal/journal.h"

namespace koushin::engine {

// How a run ended. The front ends map it to their messages and exit statuses; new ways to end
// go at the end.
enum class RunOutcome {
  kUpdated,             // every step done and committed (a dry run that found nothing wrong)
  kCancelled,           // a disk prompt was cancelled; every change was put back
  kCheckFailed,         // the installation check failed; nothing was written
  kStoppedRestored,     // a step failed; every change was put back
  kStoppedNotRestored,  // a step failed and some changes could not be put back (journal kept)
  kRecovered,           // an unfinished earlier run was put back (recovery on its own)
  kBusy,                // another run holds the installation; nothing was written
  kJournalRefused,      // a journal that cannot be read, or an undo refused; nothing was done
  kPreflightRefused,    // a check before the first change (space, read-only, files in use)
                        // failed: nothing was changed, or every change was put back
  kCurrent,             // the installation already has the media's version: nothing was done
  kNothingToRecover,    // recovery found no unfinished run
  kUndone,              // the last committed update was put back
  kUndoRefused,         // nothing to undo, files changed since, or an unfinished run waits
  kMediaRefused,        // a disk failed its file list or signature: nothing was changed from
                        // it (a later disk: every change was put back)
};

// A file that kept the run from starting, for the report.
struct BlockingFile {
  std::string path;       // code page 932
  bool readOnly = false;  // else in use
  std::string program;    // the program holding it, when the platform names one
};

// What a run changed, for the end summary and the report. A dry run's counts are its plan's.
struct RunSummary {
  std::vector<journal::Change> changes;  // in the order they were made
  int iniKeysWritten = 0;
  int masterRecordsConverted = 0;
  std::uint64_t keptBytes = 0;  // the old bytes kept (a dry run: what they would take)
  // What the run planned to do (as far as its disks were read); a dry run's whole report.
  UpdatePlan plan;
  journal::RestoreReport restore;
  bool restored = false;      // a restore ran
  std::string versionBefore;  // [SYSTEM] Version of the system's INI file before and after
  std::string versionAfter;
  std::string versionTarget;                // the media's version (info.txt)
  std::vector<BlockingFile> blockingFiles;  // what the last check before changes found
};

// Everything one run works with. The caller owns all of it and keeps it alive during the call.
struct RunContext {
  RunContext(description::UpdateDescription& record, std::string sourceFolder, Operator& op,
             bool dryRun = false, bool unattended = false)
      : record(record),
        sourceFolder(std::move(sourceFolder)),
        op(op),
        dryRun(dryRun),
        unattended(unattended) {}

  // The loaded info.txt. The run reads installFolder and the entries, and changes the record as
  // the wizard expects: systemIniName (auto-detection), systemIndex, and the variant suffix of a
  // START entry's file name (START3). A second run with the same record sees those changes.
  description::UpdateDescription& record;
  // The folder of the update media, always ending with '\\' (a drive root is "A:\\", never the
  // bare "A:"); every media path is sourceFolder + a file name. Code page 932.
  std::string sourceFolder;
  // The person at the screen: messages, wait state, progress, log.
  Operator& op;
  // true: check the installation, plan the whole update (disk prompts are still shown), check
  // the plan and every archive's CRCs, log the plan and leave it in summary.plan, and write
  // nothing at all. A dry run works on a copy of the record, which is left exactly as it was.
  bool dryRun = false;
  // false: no journal (the bench's switch). The run's changes are kept in memory: a failed run
  // is still put back, but nothing survives a crash.
  bool useJournal = true;

  // Filled by the run.
  RunOutcome outcome = RunOutcome::kUpdated;
  RunSummary summary;
  // true: nobody is at the screen to close programs, so files in use end the run at once.
  bool unattended = false;
  // true: media whose version is already installed are applied again (a repair): the files and
  // settings are written, the master conversions are not run a second time.
  bool reinstall = false;
  // Set by the run: false when the master conversions must not run (a repair of media already
  // installed: each conversion run cuts another byte from some records).
  bool convertMasters = true;
  // Public keys trusted besides those in the installation's .koushin\trusted\ (the console's
  // --trusted-key). With any key known, every disk must be signed by one of them.
  std::vector<TrustedKey> trustedKeys;
  // Set by the run from its plan: the bytes of the files the entries write, for the progress
  // over the whole run; each later disk adds its entries'.
  std::uint64_t plannedBytes = 0;
  // Set by the run when a check before its first change (space, read-only or files in use)
  // ended it, or, in a dry run, failed: nothing was changed.
  bool refused = false;
};

// What the planner reads for this run, with `folder` the working folder the installation check
// left.
PlanInput MakePlanInput(const RunContext& context, const std::string& folder);

}  // namespace koushin::engine
