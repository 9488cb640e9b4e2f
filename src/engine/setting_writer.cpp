#include "engine/setting_writer.h"

#include "journal/journal.h"
#include "port/port.h"

namespace koushin::engine {

namespace {

std::string Describe(const Setting& setting) {
  return "[" + setting.section + "] " + setting.key + "=" + setting.value + " in " + setting.file;
}

}  // namespace

bool WriteSettings(RunContext& context, journal::Transaction& transaction,
                   const std::vector<Setting>& settings, std::string* failedFile) {
  // The writes of each file, in order, and the files in the order first named.
  std::vector<std::string> files;
  std::vector<std::vector<port::ProfileEntry>> entries;
  for (const Setting& setting : settings) {
    std::size_t i = 0;
    while (i < files.size() && files[i] != setting.file) ++i;
    if (i == files.size()) {
      files.push_back(setting.file);
      entries.emplace_back();
    }
    entries[i].push_back({setting.section, setting.key, setting.value});
  }
  port::Error error;
  std::size_t failed = 0;
  std::vector<journal::Filler> fills;
  bool refused = false;
  for (std::size_t i = 0; i < files.size() && !refused; ++i) {
    const std::string& file = files[i];
    port::FileStatus old;
    const bool exists = port::ReadFileStatus(file, &old);
    if (exists && (old.attributes & port::kAttrReadOnly)) {
      error = {13, file, "write profile", "read-only"};  // as the profile services refuse it
      failed = i;
      refused = true;
      break;
    }
    // The INI file's old bytes go into a temporary file, the keys are written there with one
    // flush, and the temporary file, with the old attribute byte, replaces the INI file.
    fills.push_back([&, i, file, exists, old](port::OutputFile& out, const std::string& temporary,
                                              port::Error* e) {
      std::string bytes;
      if (exists &&
          (!port::ReadWholeFile(file, &bytes, e) || !out.Write(bytes.data(), bytes.size(), e))) {
        return false;
      }
      out.Close();
      if (!port::ProfileWriteTemporary(entries[i], temporary, e)) return false;
      port::FileStatus status;
      status.attributes = exists ? old.attributes : 0;
      return status.attributes == 0 || port::WriteFileStatus(temporary, status, e);
    });
  }
  const bool written =
      !refused && journal::ReplaceFiles(transaction, files, fills, &failed, &error);
  for (const Setting& setting : settings) {
    if (written) {
      ++context.summary.iniKeysWritten;
      context.op.Log("wrote " + Describe(setting));
    } else if (setting.file == files[failed]) {
      context.op.Log("could not write " + Describe(setting) + " (" + error.Describe() + ")");
    }
  }
  if (!written && failedFile != nullptr) *failedFile = files[failed];
  return written;
}

bool WriteSetting(RunContext& context, journal::Transaction& transaction,
                  const std::string& section, const std::string& key, const std::string& value,
                  const std::string& file) {
  return WriteSettings(context, transaction, {{section, key, value, file}});
}

}  // namespace koushin::engine
