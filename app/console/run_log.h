// The --log file: one line per step, file, INI key and message, each with its time (UTC).
#pragma once

#include <fstream>
#include <string>

namespace koushin::console {

class RunLog {
 public:
  // Opens (truncates) the file. False when it cannot be written.
  bool Open(const std::string& hostPath);
  bool IsOpen() const { return file_.is_open(); }
  // Writes "2026-12-06T21:03:04.125Z <line>"; UTF-8 text. Does nothing when no file is open.
  void Write(const std::string& utf8Line);
  // The same for a code page 932 line (the engine's).
  void WriteCp932(const std::string& cp932Line);

 private:
  std::ofstream file_;
};

}  // namespace koushin::console
