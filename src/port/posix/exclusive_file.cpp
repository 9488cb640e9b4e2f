// A file opened without sharing. POSIX has no share modes; an exclusive open-file-description
// lock (F_OFD_SETLK) over the whole file stands in for one. It keeps out every other
// ExclusiveFile, in this process or another, and every program that takes fcntl or OFD locks
// on the file; it does not keep out programs that open the file without locking (most Linux
// programs, and Windows programs under Wine, whose share modes live inside the wineserver), nor
// does their open keep us out. A file opened for reading only takes a read lock, which another
// reader's read lock does not conflict with.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "port/port.h"
#include "port/posix/dos_attributes.h"
#include "port/posix/host_fs.h"

namespace koushin::port {

using posix::Fail;

ExclusiveFile::ExclusiveFile() : handle_(-1) {}

ExclusiveFile::~ExclusiveFile() { Close(); }

bool ExclusiveFile::Open(const std::string& path, bool writable, Error* error) {
  Close();
  std::string host;
  if (!posix::ResolveHostPath(path, &host, error)) return false;
  const int fd = open(host.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) return Fail(error, errno, path, "open");
  struct stat info;
  int failure = 0;
  if (fstat(fd, &info) != 0) {
    failure = errno;
  } else if (writable && posix::IsReadOnly(info)) {
    failure = EACCES;  // Windows refuses write access to a read-only file, also to the owner
  }
  struct flock lock = {};
  lock.l_type = writable ? F_WRLCK : F_RDLCK;
  lock.l_whence = SEEK_SET;
  if (failure == 0 && fcntl(fd, F_OFD_SETLK, &lock) != 0) {
    failure = (errno == EAGAIN || errno == EACCES) ? EBUSY : errno;
  }
  if (failure != 0) {
    close(fd);
    return Fail(error, failure, path, "open",
                failure == EBUSY ? "in use by another program" : std::string());
  }
  handle_ = fd;
  path_ = path;
  return true;
}

bool HeldByAnother(const Error& error) { return error.hostCode == EBUSY; }

bool ExclusiveFile::ReadAll(std::string* bytes, Error* error) {
  bytes->clear();
  if (handle_ < 0) return Fail(error, EBADF, path_, "read");
  const int fd = static_cast<int>(handle_);
  std::size_t offset = 0;
  char buffer[65536];
  for (;;) {
    const ssize_t got = pread(fd, buffer, sizeof buffer, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int failure = errno;
      bytes->clear();
      return Fail(error, failure, path_, "read");
    }
    if (got == 0) return true;
    bytes->append(buffer, static_cast<std::size_t>(got));
    offset += static_cast<std::size_t>(got);
  }
}

bool ExclusiveFile::LastWriteTime(FileTime* time, Error* error) {
  struct stat info;
  if (handle_ < 0) return Fail(error, EBADF, path_, "read time of");
  if (fstat(static_cast<int>(handle_), &info) != 0)
    return Fail(error, errno, path_, "read time of");
  *time = FileTimeFromUnix(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
  return true;
}

void ExclusiveFile::Close() {
  if (handle_ >= 0) close(static_cast<int>(handle_));  // closing drops the lock
  handle_ = -1;
  path_.clear();
}

bool ExclusiveFile::IsOpen() const { return handle_ >= 0; }

}  // namespace koushin::port
