// The parts of the port that are the same on every platform.
#include "port/port.h"

#include <cstdlib>
#include <string>

namespace koushin::port {

namespace {
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDifference = 11644473600LL;
constexpr std::int64_t kTicksPerSecond = 10000000LL;
}  // namespace

std::vector<std::string> Utf8TableToCp932(const char* const* utf8, std::size_t count,
                                          const char* fallback) {
  std::vector<std::string> texts(count);
  for (std::size_t i = 0; i < count; ++i) {
    if (!Utf8ToCp932(utf8[i], &texts[i])) texts[i] = fallback != nullptr ? fallback : utf8[i];
  }
  return texts;
}

std::string Error::Describe() const {
  std::string text = operation;
  if (!path.empty()) text += " " + Cp932ToUtf8Lossy(path);
  if (!detail.empty()) text += ": " + detail;
  return text;
}

bool ReadWholeFileUpTo(const std::string& path, std::size_t limit, std::string* bytes, Error* error,
                       bool* tooLarge) {
  bytes->clear();
  if (tooLarge != nullptr) *tooLarge = false;
  InputFile file;
  if (!file.Open(path, error)) return false;
  char buffer[65536];
  for (;;) {
    std::size_t got = 0;
    const std::size_t room = limit - bytes->size() + 1;  // one byte more tells a larger file
    if (!file.Read(buffer, room < sizeof buffer ? room : sizeof buffer, &got, error)) return false;
    if (got == 0) return true;
    bytes->append(buffer, got);
    if (bytes->size() > limit) {
      bytes->clear();
      if (tooLarge != nullptr) *tooLarge = true;
      if (error != nullptr) {
        *error = {27, path, "read", "larger than " + std::to_string(limit) + " bytes"};
      }
      return false;
    }
  }
}

FileTime FileTimeFromUnix(std::int64_t seconds, std::int64_t nanoseconds) {
  return (seconds + kEpochDifference) * kTicksPerSecond + nanoseconds / 100;
}

std::int64_t UnixFromFileTime(FileTime time) {
  std::int64_t seconds = time / kTicksPerSecond;
  if (time % kTicksPerSecond < 0) --seconds;
  return seconds - kEpochDifference;
}

#ifdef KOUSHIN_FAULT_INJECTION
namespace {
long faultFirst = 0;
long faultCount = 0;
long operationCount = 0;
}  // namespace

void SetInjectedFaults(long first, long count) {
  faultFirst = first;
  faultCount = count;
  operationCount = 0;
}

long ChangingOperationCount() { return operationCount; }

namespace {
OperationObserver observer = nullptr;
std::string source;
bool sourceSynced = false;
}  // namespace

void SetOperationObserver(OperationObserver next) { observer = next; }

void ObserveOperation(const char* operation, const std::string& path) {
  if (observer != nullptr) observer(operation, path, std::string());
}

void NoteOperationSource(const std::string& from, bool synced) {
  source = from;
  sourceSynced = synced;
}

bool FaultInjected(const std::string& path, const char* operation, Error* error) {
  // A test driving a whole program sets the faults through KOUSHIN_FAULTS="first[,count]".
  static const bool fromEnvironment = [] {
    const char* text = std::getenv("KOUSHIN_FAULTS");
    if (text != nullptr && *text != '\0') {
      char* end = nullptr;
      const long first = std::strtol(text, &end, 10);
      SetInjectedFaults(first, *end == ',' ? std::strtol(end + 1, nullptr, 10) : 1);
    }
    return true;
  }();
  (void)fromEnvironment;
  const std::string from = std::move(source);
  const bool synced = sourceSynced;
  source.clear();
  sourceSynced = false;
  if (observer != nullptr) observer(synced ? "rename synced" : operation, path, from);
  ++operationCount;
  if (faultFirst <= 0 || operationCount < faultFirst || operationCount - faultFirst >= faultCount) {
    return false;
  }
  if (error != nullptr) {
    error->hostCode = 5;  // EIO on POSIX, ERROR_ACCESS_DENIED on Windows: either means "failed"
    error->path = path;
    error->operation = operation;
    error->detail = "injected fault";
  }
  return true;
}
#endif

}  // namespace koushin::port

namespace koushin::port {

bool Sha256OfFile(const std::string& path, Sha256Digest* digest, Error* error) {
  InputFile file;
  if (!file.Open(path, error)) return false;
  // Large reads: the digest keeps pace with the disk only when the calls are few.
  std::vector<unsigned char> buffer(1 << 20);
  Sha256 sha;
  for (;;) {
    std::size_t got = 0;
    if (!file.Read(buffer.data(), buffer.size(), &got, error)) return false;
    if (got == 0) break;
    sha.Update(buffer.data(), got);
  }
  if (!sha.Finish(digest)) {
    if (error) {
      error->operation = "sha256";
      error->path = path;
      error->detail = "the platform's SHA-256 failed";
    }
    return false;
  }
  return true;
}

std::string HexDigest(const Sha256Digest& digest) {
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (std::uint8_t byte : digest) {
    text += kHex[byte >> 4];
    text += kHex[byte & 15];
  }
  return text;
}

}  // namespace koushin::port
