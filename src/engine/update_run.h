// The update run: the one entry point the wizards call once the person has confirmed the
// installation folder. It checks the installation, walks the entries of the update description
// (disk prompts, archives, plain files), writes the settings after the update, runs the material
// master conversions when asked, and says how it ended.
#pragma once

#include <string>

#include "description/update_description.h"
#include "engine/operator.h"

namespace koushin::engine {

// Everything one run works with. The caller owns all of it and keeps it alive during the call.
struct RunContext {
  // The loaded info.txt. The run reads installFolder and the entries, and changes the record as
  // the wizard expects: systemIniName (auto-detection), systemIndex, and the variant suffix of a
  // START entry's file name (START3). A second run with the same record sees those changes.
  description::UpdateDescription& record;
  // The folder of the update media, ending with '\\' (or a bare drive such as "A:"); every media
  // path is sourceFolder + a file name. Code page 932.
  std::string sourceFolder;
  // The person at the screen: messages, wait state, progress, log.
  Operator& op;
  // true: check the installation, walk the entries and report every planned step through `op`
  // (Log), check every archive's CRCs, and write nothing at all. Disk prompts are still shown.
  bool dryRun = false;
};

// Result of UpdateRun, as the wizard uses it.
enum : int {
  kRunBackToDestination = 0,  // the installation check failed (its message was shown)
  kRunClose = 1,              // finished, cancelled, or failed with a message: close the program
};

// Runs the update. Returns 0 when the installation check failed and nothing was written (the
// wizard shows the destination step again), 1 otherwise: success (after the final message), a
// cancelled disk prompt, or a failure that was reported to the person. Never throws.
int UpdateRun(RunContext& context);

}  // namespace koushin::engine
