#include "engine/setting_writer.h"

#include "port/port.h"

namespace koushin::engine {

void WriteSetting(RunContext& context, const std::string& section, const std::string& key,
                  const std::string& value, const std::string& file) {
  const std::string what = "[" + section + "] " + key + "=" + value + " in " + file;
  if (context.dryRun) {
    context.op.Log("would write " + what);
    return;
  }
  port::Error error;
  if (port::ProfileWrite(section.c_str(), key.c_str(), value.c_str(), file, &error)) {
    context.op.Log("wrote " + what);
  } else {
    context.op.Log("could not write " + what + " (" + error.Describe() + ")");
  }
}

}  // namespace koushin::engine
