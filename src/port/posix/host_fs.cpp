// Replacing host files atomically, and the small helpers the file operations share.
#include "port/posix/host_fs.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "port/posix/dos_attributes.h"

namespace koushin::port::posix {

namespace {

std::string FolderOf(const std::string& hostPath) {
  const std::size_t slash = hostPath.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return hostPath.substr(0, slash);
}

mode_t CurrentUmask() {
  const mode_t mask = umask(022);
  umask(mask);
  return mask;
}

}  // namespace

bool Fail(Error* error, int hostCode, const std::string& path, const std::string& operation,
          const std::string& detail) {
  if (error != nullptr) {
    error->hostCode = hostCode;
    error->path = path;
    error->operation = operation;
    error->detail = detail.empty() ? std::string(strerror(hostCode)) : detail;
  }
  return false;
}

int CreateTemporaryBeside(const std::string& hostPath, std::string* temporaryPath) {
  std::string pattern = FolderOf(hostPath) + "/.koushin-XXXXXX";
  const int fd = mkostemp(&pattern[0], O_CLOEXEC);
  if (fd >= 0) *temporaryPath = pattern;
  return fd;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

void SyncFolderOf(const std::string& hostPath) {
  const int fd = open(FolderOf(hostPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

bool ReplaceHostFile(const std::string& hostPath, const std::string& bytes,
                     const std::string& windowsPath, Error* error) {
  struct stat old;
  const bool exists = stat(hostPath.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) return Fail(error, EISDIR, windowsPath, "replace");
  if (exists && IsReadOnly(old)) return Fail(error, EACCES, windowsPath, "replace", "read-only");

  std::string temporary;
  const int fd = CreateTemporaryBeside(hostPath, &temporary);
  if (fd < 0) return Fail(error, errno, windowsPath, "create temporary file for");
  const mode_t mode = exists ? (old.st_mode & 07777) : (0666 & ~CurrentUmask());
  int failure = 0;
  if (!WriteAll(fd, bytes.data(), bytes.size())) failure = errno;
  if (failure == 0 && fchmod(fd, mode) != 0) failure = errno;
  if (failure == 0 && exists) CopyDosAttrib(hostPath, fd);
  if (failure == 0 && fsync(fd) != 0) failure = errno;
  if (close(fd) != 0 && failure == 0) failure = errno;
  if (failure == 0 && rename(temporary.c_str(), hostPath.c_str()) != 0) failure = errno;
  if (failure != 0) {
    unlink(temporary.c_str());
    return Fail(error, failure, windowsPath, "write");
  }
  SyncFolderOf(hostPath);
  return true;
}

}  // namespace koushin::port::posix
