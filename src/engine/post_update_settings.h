// The last phase of an update run: the settings the installed system needs after the update,
// and the material master conversions when the description asks for them.
#pragma once

#include <string>

#include "engine/run_context.h"

namespace koushin::engine {

// In this order, the settings written together with one rewrite of each file: [SYSTEM] GENGOU
// into the system's INI file; [SYSTEM] TITLE with every "8.0S" replaced by newVersion (only when
// newVersion is not empty; the value is read and written whole); [HISTORY] start and end keys
// into kov3.ini; the category flags of categoryCode (1-6) into the system's INI file; then, with
// masterAdjust 1, both master conversions, file by file; every write through `transaction`. The
// settings are planned anew (context.summary.plan.settings) from the files as the entries left
// them; a repair (context.convertMasters false) converts only master files the run wrote. The
// run's commit and final message follow as steps of their own. `folder` is the
// working folder as the installation check left it. Returns 1, or 0 after the message of the
// first file or conversion that failed (the failure of an update run, which then puts its
// changes back).
int WritePostUpdateSettings(RunContext& context, journal::Transaction& transaction,
                            const std::string& folder);

}  // namespace koushin::engine
