#include "run_log.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "port/port.h"
#include "terminal.h"

namespace koushin::console {

namespace {

std::string TimeStamp() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  // One thread only: std::gmtime's shared result is safe here.
  const std::tm utc = *std::gmtime(&seconds);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(millis));
  return text;
}

}  // namespace

RunLog::~RunLog() {
  if (file_ != nullptr) std::fclose(file_);
}

bool RunLog::Open(const std::string& utf8HostPath) {
  if (file_ != nullptr) std::fclose(file_);
  file_ = port::OpenHostFile(utf8HostPath, "ab");
  return file_ != nullptr;
}

void RunLog::Write(const std::string& utf8Line) {
  // The support log is code page 932, as every text file of the installation; a host path
  // beyond it keeps its ASCII and shows '?' for the rest.
  std::string cp932;
  if (!port::Utf8ToCp932(utf8Line, &cp932)) {
    cp932.clear();
    for (unsigned char c : utf8Line) {
      if (c < 0x80) {
        cp932 += static_cast<char>(c);
      } else if (c >= 0xC0) {
        cp932 += '?';
      }
    }
  }
  support_.Add(cp932);
  WriteFile(utf8Line);
}

void RunLog::WriteFile(const std::string& utf8Line) {
  if (file_ == nullptr) return;
  // One log line per call: line breaks inside a message are shown as " / ".
  std::string line;
  for (char c : utf8Line) {
    if (c == '\n') {
      line += " / ";
    } else if (c != '\r') {
      line += c;
    }
  }
  line = TimeStamp() + ' ' + line + '\n';
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fflush(file_);
}

void RunLog::WriteCp932(const std::string& cp932Line) {
  support_.Add(cp932Line);
  WriteFile(ForTerminal(cp932Line));
}

}  // namespace koushin::console
