// The profile (INI) services of the POSIX port: the Windows path resolved to a host file, its
// bytes through the profile engine, and a changed file replaced atomically.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "port/port.h"
#include "port/posix/dos_attributes.h"
#include "port/posix/host_fs.h"
#include "port/posix/profile_engine.h"
#include "text/cp932.h"

namespace koushin::port {

namespace {

constexpr const char* kOperation = "write profile";

// Windows looks for a profile named without any folder ("win.ini") in the Windows folder.
std::string ProfilePath(const std::string& file) {
  const bool hasDrive = file.size() >= 2 && file[1] == ':';
  if (hasDrive || text::FindLastSeparator(file) != std::string::npos) return file;
  return WindowsFolder() + "\\" + file;
}

enum class Loaded { kFile, kMissing, kFailed };

// Reads the whole host file. kMissing when there is no such file; kFailed (errno set) when it is a
// folder or cannot be read.
Loaded LoadHostFile(const std::string& hostPath, std::string* bytes) {
  const int fd = open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? Loaded::kMissing : Loaded::kFailed;
  struct stat info;
  int cause = 0;
  if (fstat(fd, &info) != 0) {
    cause = errno;
  } else if (!S_ISREG(info.st_mode)) {
    cause = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
  }
  if (cause != 0) {
    close(fd);
    errno = cause;
    return Loaded::kFailed;
  }
  bytes->clear();
  char chunk[65536];
  for (;;) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int cause = errno;
      close(fd);
      errno = cause;
      return Loaded::kFailed;
    }
    if (got == 0) break;
    bytes->append(chunk, static_cast<std::size_t>(got));
  }
  close(fd);
  return Loaded::kFile;
}

// The file's bytes for reading; false when there is no file to read (missing, a folder, a path
// that does not resolve, or unreadable: Windows then gives the default).
bool LoadForReading(const std::string& file, std::string* bytes) {
  if (file.empty()) return false;
  std::string host;
  if (!posix::ResolveHostPath(ProfilePath(file), &host)) return false;
  return LoadHostFile(host, bytes) == Loaded::kFile;
}

}  // namespace

std::size_t ProfileReadBuffer(const char* section, const char* key, const char* defaultValue,
                              char* buffer, std::size_t size, const std::string& file) {
  std::string bytes;
  const bool exists = LoadForReading(file, &bytes);
  const posix::ProfileBuffer result =
      posix::ReadProfileBuffer(exists ? &bytes : nullptr, section, key, defaultValue, size);
  if (buffer != nullptr && !result.bytes.empty()) {
    std::memcpy(buffer, result.bytes.data(), result.bytes.size());
  }
  return result.count;
}

std::string ProfileRead(const std::string& section, const std::string& key,
                        const std::string& defaultValue, const std::string& file) {
  std::string bytes;
  const bool exists = LoadForReading(file, &bytes);
  return posix::ReadProfileValue(exists ? &bytes : nullptr, section, key, defaultValue);
}

bool ProfileWrite(const char* section, const char* key, const char* value, const std::string& file,
                  Error* error) {
  if (FaultInjected(file, "write profile", error)) return false;
  // As Windows: no section is "file not found" and creates nothing; no file name is "access
  // denied".
  if (section == nullptr) return posix::Fail(error, ENOENT, file, kOperation, "no section name");
  if (file.empty()) return posix::Fail(error, EACCES, file, kOperation, "no file name");
  const std::string path = ProfilePath(file);
  std::string host;
  if (!posix::ResolveHostPath(path, &host, error)) return false;

  std::string bytes;
  const Loaded loaded = LoadHostFile(host, &bytes);
  if (loaded == Loaded::kFailed) return posix::Fail(error, errno, path, kOperation);
  if (loaded == Loaded::kFile) {
    // A read-only file is refused even when the write would change nothing (our choice: Windows
    // opens the file for writing before it looks at the contents).
    struct stat info;
    if (stat(host.c_str(), &info) == 0 && posix::IsReadOnly(info)) {
      return posix::Fail(error, EACCES, path, kOperation, "read-only");
    }
  }

  std::string updated;
  if (posix::WriteProfile(bytes, section, key, value, &updated)) {
    return posix::ReplaceHostFile(host, updated, path, error);
  }
  // Nothing changes. A missing file is still created, empty, as Windows does for a deletion.
  if (loaded == Loaded::kMissing) return posix::ReplaceHostFile(host, std::string(), path, error);
  return true;
}

bool ProfileWriteTemporary(const std::vector<ProfileEntry>& entries, const std::string& file,
                           Error* error) {
  if (FaultInjected(file, "write profile", error)) return false;
  std::string host;
  if (!posix::ResolveHostPath(file, &host, error)) {
    return posix::Fail(error, ENOENT, file, kOperation);
  }
  std::string bytes;
  if (LoadHostFile(host, &bytes) != Loaded::kFile)
    return posix::Fail(error, errno, file, kOperation);
  for (const ProfileEntry& entry : entries) {
    std::string updated;
    if (posix::WriteProfile(bytes, entry.section.c_str(), entry.key.c_str(), entry.value.c_str(),
                            &updated)) {
      bytes.swap(updated);
    }
  }
  const int fd = open(host.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return posix::Fail(error, errno, file, kOperation);
  int failure = 0;
  if (!posix::WriteAll(fd, bytes.data(), bytes.size()) || fsync(fd) != 0) failure = errno;
  if (close(fd) != 0 && failure == 0) failure = errno;
  if (failure != 0) return posix::Fail(error, failure, file, kOperation);
  ObserveOperation("flush", file);
  return true;
}

}  // namespace koushin::port
