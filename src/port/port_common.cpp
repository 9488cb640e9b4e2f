// The parts of the port that are the same on every platform.
#include "port/port.h"

#include <cstdlib>
#include <string>

#include "text/cp932.h"

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

bool IsWindowsPath(const std::string& path) {
  return text::FindAtCharBoundary(path, "\\") != std::string::npos ||
         (path.size() >= 2 && path[1] == ':');
}

namespace {

// True for a Windows path that names the same folder whatever the current drive and folders are:
// "C:\\x", "C:/x", "\\\\server\\share".
bool IsFullWindowsPath(const std::string& path) {
  const auto isSeparator = [](char c) { return c == '\\' || c == '/'; };
  if (path.size() >= 3 && path[1] == ':' && isSeparator(path[2])) return true;
  return path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1]);
}

// The full path of a relative Windows folder ("upd\\", ".\\", "M:upd", "\\upd"), as the current
// drive and folders name it now; false when it cannot be entered. The current drive and the
// folders of the drives involved are put back as they were.
bool FullWindowsFolder(const std::string& path, std::string* full) {
  const int drive = CurrentDrive();
  const std::string before = CurrentFolder();
  std::string namedBefore;
  if (path.size() >= 2 && path[1] == ':') {
    const int named = (path[0] & ~0x20) - 'A' + 1;
    if (named != drive && ChangeDrive(named)) {
      namedBefore = CurrentFolder();
      ChangeDrive(drive);
    }
  }
  if (!ChangeFolder(path)) return false;
  *full = CurrentFolder();
  if (!namedBefore.empty()) ChangeFolder(namedBefore);
  if (!before.empty()) ChangeFolder(before);
  return !full->empty();
}

}  // namespace

bool ResolveFolder(const std::string& given, const std::string& programArgument,
                   std::string* sourceFolder, std::string* problem) {
  std::string folder = given;
  if (folder.empty()) {
    folder = ProgramFolderUtf8(programArgument);
  } else {
    std::string spelled;  // the test reads code page 932, as every test below does
    if (Utf8ToCp932(folder, &spelled) && !IsWindowsPath(spelled)) {
      folder = AbsoluteHostPath(folder);
    }
  }
  std::string cp932;
  if (!Utf8ToCp932(folder, &cp932)) {
    *problem = "更新ディスクのフォルダ名にシフトJIS で表せない文字があります: " + folder;
    return false;
  }
  // A bare drive "A:" keeps meaning its root, as the separator added below makes it.
  const bool bareDrive = cp932.size() == 2 && cp932[1] == ':';
  if (IsWindowsPath(cp932) && !IsFullWindowsPath(cp932) && !bareDrive) {
    std::string full;
    if (FullWindowsFolder(cp932, &full)) cp932 = full;
  }
  // The last byte may be the trail byte 0x5C of a double-byte character (ソ, 表), which is no
  // separator: "M:\ソ" still needs one.
  const std::size_t separator = text::FindLastSeparator(cp932);
  if (cp932.empty() || separator != cp932.size() - 1) {
    cp932 += IsWindowsPath(cp932) ? '\\' : '/';
  }
  *sourceFolder = cp932;
  return true;
}

}  // namespace koushin::port
