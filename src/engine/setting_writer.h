// INI writes of an update run, in one place so that each is logged and a dry run writes none.
#pragma once

#include <string>

#include "engine/run_context.h"

namespace koushin::engine {

// Writes [section] key = value into `file` (a Windows path) through the profile services, or in
// a dry run only reports it. The file is rewritten as a whole through a temporary file of the
// run's transaction. Returns false when it could not be written (logged); the run then stops.
bool WriteSetting(RunContext& context, const std::string& section, const std::string& key,
                  const std::string& value, const std::string& file);

}  // namespace koushin::engine
