#include "engine/setting_writer.h"

#include "journal/journal.h"
#include "port/port.h"

namespace koushin::engine {

bool WriteSetting(RunContext& context, const std::string& section, const std::string& key,
                  const std::string& value, const std::string& file) {
  const std::string what = "[" + section + "] " + key + "=" + value + " in " + file;
  if (context.dryRun) {
    context.op.Log("would write " + what);
    ++context.summary.iniKeysWritten;
    return true;
  }
  port::Error error;
  port::FileStatus old;
  const bool exists = port::ReadFileStatus(file, &old);
  bool written = false;
  if (exists && (old.attributes & port::kAttrReadOnly)) {
    error = {13, file, "write profile", "read-only"};  // as the profile services refuse it
  } else {
    // The INI file's old bytes go into a temporary file, the key is written there, and the
    // temporary file, with the old attribute byte, replaces the INI file in one step.
    written = journal::ReplaceFile(
        file,
        [&](port::OutputFile& out, const std::string& temporary, port::Error* e) {
          if (exists ? !journal::CopyInto(file, out, e) : !out.Finish(e)) return false;
          if (!port::ProfileWriteTemporary(section.c_str(), key.c_str(), value.c_str(), temporary,
                                           e)) {
            return false;
          }
          port::FileStatus status;
          status.attributes = exists ? old.attributes : 0;
          return status.attributes == 0 || port::WriteFileStatus(temporary, status, e);
        },
        &error);
  }
  if (written) {
    ++context.summary.iniKeysWritten;
    context.op.Log("wrote " + what);
  } else {
    context.op.Log("could not write " + what + " (" + error.Describe() + ")");
  }
  return written;
}

}  // namespace koushin::engine
