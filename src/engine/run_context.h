// What one update run works with: the record, the media folder, the person at the screen, and
// whether anything may be written.
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
  // A dry run works on a copy of the record, so the record is left exactly as it was.
  bool dryRun = false;
  // true: nobody is at the screen to close programs, so files in use end the run at once.
  bool unattended = false;
  // Set by the run when a check before its first change (space, read-only or files in use)
  // ended it, or, in a dry run, failed: nothing was changed.
  bool refused = false;
};

}  // namespace koushin::engine
