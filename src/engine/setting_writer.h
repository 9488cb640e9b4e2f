// INI writes of an update run, in one place so that each is logged and a dry run writes none.
#pragma once

#include <string>

#include "engine/run_context.h"

namespace koushin::engine {

// Writes [section] key = value into `file` (a Windows path) through the profile services, or in
// a dry run only reports it. The outcome is logged; a failed write is not an error of the run
// (the installed system keeps its old value), so nothing is returned.
void WriteSetting(RunContext& context, const std::string& section, const std::string& key,
                  const std::string& value, const std::string& file);

}  // namespace koushin::engine
