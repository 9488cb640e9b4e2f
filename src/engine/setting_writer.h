// INI writes of an update run, in one place so that each is logged.
#pragma once

#include <string>
#include <vector>

#include "engine/run_context.h"

namespace koushin::engine {

// One [section] key = value for `file` (a Windows path).
struct Setting {
  std::string section;
  std::string key;
  std::string value;
  std::string file;
};

// Writes the settings in order through the profile services. Each file is rewritten once, as a
// whole, through a temporary file of `transaction`, and all the files are put in place together.
// Returns false, with the file in `failedFile` (may be null), when one could not be written
// (logged); none of them is then changed, or the run's restore puts it back, and the run stops.
bool WriteSettings(RunContext& context, journal::Transaction& transaction,
                   const std::vector<Setting>& settings, std::string* failedFile = nullptr);
bool WriteSetting(RunContext& context, journal::Transaction& transaction,
                  const std::string& section, const std::string& key, const std::string& value,
                  const std::string& file);

}  // namespace koushin::engine
