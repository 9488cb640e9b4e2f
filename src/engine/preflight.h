// The checks an update run makes before it changes anything, so that a run that could not finish
// is not begun: the installation's volume has room for the new files and the old ones kept
// beside them, no file to be replaced is read-only, and no running program holds one open.
#pragma once

#include <string>

#include "engine/run_context.h"

namespace koushin::engine {

// Checks the files that the plan's steps from `first` on write (the members of each archive as
// its headers list them, the plain files, the INI files, the master files) and, with
// `withSettings`, the files of its settings.
//
// Every check's result goes to the log. A read-only file or too little space shows its message
// and ends the run. Files in use ask the person to close the programs named: OK checks again,
// Cancel ends the run with the cancel message; unattended, the message is shown and the run
// ends. Returns true when the run may go on, false when it must end (nothing has been changed);
// `context.refused` is set when a check failed and the person did not cancel. A dry run shows
// each failure, sets `context.refused` and goes on (true).
bool CheckBeforeChanges(RunContext& context, const UpdatePlan& plan, std::size_t first,
                        bool withSettings);

}  // namespace koushin::engine
