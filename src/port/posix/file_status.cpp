// File status (times, size, attribute byte), as CFile::GetStatus and SetStatus have it.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "port/port.h"
#include "port/posix/dos_attributes.h"
#include "port/posix/host_fs.h"

namespace koushin::port {

using posix::Fail;

namespace {

FileTime FromTimespec(const struct timespec& time) {
  return FileTimeFromUnix(time.tv_sec, time.tv_nsec);
}

struct timespec ToTimespec(FileTime time) {
  const std::int64_t seconds = UnixFromFileTime(time);
  std::int64_t ticks = time - FileTimeFromUnix(seconds);
  struct timespec result;
  result.tv_sec = static_cast<time_t>(seconds);
  result.tv_nsec = static_cast<long>(ticks * 100);
  return result;
}

}  // namespace

bool ReadFileStatus(const std::string& path, FileStatus* status, Error* error) {
  *status = FileStatus();
  std::string host;
  if (!posix::ResolveHostPath(path, &host, error)) return false;
  struct stat info;
  if (stat(host.c_str(), &info) != 0) return Fail(error, errno, path, "read status of");
  status->lastWriteTime = FromTimespec(info.st_mtim);
  status->lastAccessTime = FromTimespec(info.st_atim);
  // The creation time where the file system records one, else the last-write time.
  status->creationTime = status->lastWriteTime;
  struct statx extended;
  if (statx(AT_FDCWD, host.c_str(), 0, STATX_BTIME, &extended) == 0 &&
      (extended.stx_mask & STATX_BTIME) != 0) {
    status->creationTime = FileTimeFromUnix(extended.stx_btime.tv_sec, extended.stx_btime.tv_nsec);
  }
  status->size = S_ISDIR(info.st_mode) ? 0 : static_cast<std::uint64_t>(info.st_size);
  status->attributes = posix::ReadDosAttributes(host, info);
  return true;
}

// The creation time cannot be set on Linux; it is left as it is.
bool WriteFileStatus(const std::string& path, const FileStatus& status, Error* error) {
  if (FaultInjected(path, "write status of", error)) return false;
  std::string host;
  if (!posix::ResolveHostPath(path, &host, error)) return false;
  struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
  if (status.lastAccessTime != 0) times[0] = ToTimespec(status.lastAccessTime);
  if (status.lastWriteTime != 0) times[1] = ToTimespec(status.lastWriteTime);
  if (utimensat(AT_FDCWD, host.c_str(), times, 0) != 0) {
    return Fail(error, errno, path, "write status of");
  }
  if (!posix::WriteDosAttributes(host, status.attributes)) {
    return Fail(error, errno, path, "write attributes of");
  }
  return true;
}

}  // namespace koushin::port
