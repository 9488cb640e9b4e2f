// The run's log: one line per step, file, INI key and message, each with its time (UTC), in the
// --log file when one was asked for, and always in the support log the run may leave in the
// installation (engine/support_log.h).
#pragma once

#include <cstdio>
#include <string>

#include "engine/support_log.h"

namespace koushin::console {

class RunLog {
 public:
  RunLog() = default;
  ~RunLog();
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // Opens the file for adding to its end (a fleet's runs gather in one log), a host path in UTF-8
  // (through the port, so that on Windows a name outside the ANSI code page opens). False when it
  // cannot be written.
  bool Open(const std::string& utf8HostPath);
  bool IsOpen() const { return file_ != nullptr; }
  // Writes "2026-12-06T21:03:04.125Z <line>" to the --log file (when one is open); UTF-8 text.
  // The support log gets the line too.
  void Write(const std::string& utf8Line);
  // The same for a code page 932 line (the engine's).
  void WriteCp932(const std::string& cp932Line);
  engine::SupportLog& Support() { return support_; }

 private:
  void WriteFile(const std::string& utf8Line);

  // A C stream: C++ file streams would bring the run-time library's locale machinery into the
  // Windows program, too large for the media.
  std::FILE* file_ = nullptr;
  engine::SupportLog support_;
};

}  // namespace koushin::console
