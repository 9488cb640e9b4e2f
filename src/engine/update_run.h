// The update run: the one entry point the wizards call once the person has confirmed the
// installation folder. It checks the installation, plans the update (update_plan.h) and checks
// the plan before any change, then carries out the plan's steps (disk prompts, archives, plain
// files, the settings after the update, the material master conversions when asked), and says
// how it ended. A dry run stops once the plan is made and checked.
#pragma once

#include <memory>
#include <string>

#include "engine/run_context.h"

namespace koushin::engine {

// Result of UpdateRun, as the wizard uses it.
enum : int {
  kRunBackToDestination = 0,  // the installation check failed (its message was shown)
  kRunClose = 1,              // finished, cancelled, or failed with a message: close the program
};

// Runs the update as one transaction (see journal/journal.h): under the installation's lock, an
// unfinished earlier run put back first; on any failure, after its message, every change put
// back. Returns 0 when the installation check failed and nothing was written (the wizard shows
// the destination step again), 1 otherwise; how the run ended is in context.outcome and what it
// changed in context.summary. Never throws.
//
// A media file an entry needs that is missing, or an archive whose headers cannot be read, ends
// the run as kMediaRefused before anything changes from the disk it is on (from every disk, when
// the media are not read disk by disk).
//
// The version rule (see ReadInstalledVersion): media already installed end the run at once as
// kCurrent with their message, nothing written and the undo point left as it was; an
// installation newer than the media is refused as kCheckFailed (0) with a message naming both;
// context.reinstall applies media already installed again without the master conversions.
int UpdateRun(RunContext& context);

// The installation `folder` with its journal, which may also act on the master files the
// installation's settings place outside it (not yet locked).
std::unique_ptr<journal::Installation> OpenInstallation(const std::string& folder);

// Puts back an unfinished run in the installation `folder`, with its messages: kRecovered,
// kNothingToRecover, kStoppedNotRestored, kBusy, kJournalRefused.
RunOutcome RecoverInstallation(const std::string& folder, Operator& op,
                               journal::RestoreReport* report);
// Puts the installation back as it was before the last committed update. Unless `force`, it
// first checks that every file is as the update left it and refuses (naming them) otherwise.
// kUndone when done; kUndoRefused (nothing kept, files changed, an unfinished run waits: recovery
// first), kJournalRefused (a journal that cannot be read), kBusy or kStoppedNotRestored otherwise.
RunOutcome UndoLastUpdate(const std::string& folder, bool force, Operator& op,
                          journal::RestoreReport* report);

// Steps of the run, for the wizards' tests and the run itself.

// Creates the one folder at `path` when nothing exists there (its parent must exist). Returns
// whether the folder is there now; the run does not stop on false (the copy or extraction into it
// then fails with its own message).
bool CreateFolderIfMissing(journal::Transaction& transaction, const std::string& path);

}  // namespace koushin::engine
