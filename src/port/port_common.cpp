// The parts of the port that are the same on every platform.
#include "port/port.h"

namespace koushin::port {

namespace {
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDifference = 11644473600LL;
constexpr std::int64_t kTicksPerSecond = 10000000LL;
}  // namespace

std::string Error::Describe() const {
  std::string text = operation;
  if (!path.empty()) text += " " + Cp932ToUtf8Lossy(path);
  if (!detail.empty()) text += ": " + detail;
  return text;
}

FileTime FileTimeFromUnix(std::int64_t seconds, std::int64_t nanoseconds) {
  return (seconds + kEpochDifference) * kTicksPerSecond + nanoseconds / 100;
}

std::int64_t UnixFromFileTime(FileTime time) {
  std::int64_t seconds = time / kTicksPerSecond;
  if (time % kTicksPerSecond < 0) --seconds;
  return seconds - kEpochDifference;
}

}  // namespace koushin::port
