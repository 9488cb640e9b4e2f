// Streaming reads and writes of single files (InputFile, OutputFile) over file descriptors.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "port/port.h"
#include "port/posix/host_fs.h"

namespace koushin::port {

using posix::Fail;

InputFile::InputFile() : handle_(-1) {}
InputFile::~InputFile() { Close(); }

bool InputFile::Open(const std::string& path, Error* error) {
  Close();
  std::string host;
  if (!posix::ResolveHostPath(path, &host, error)) return false;
  const int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Fail(error, errno, path, "open");
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int code = S_ISDIR(st.st_mode) ? EISDIR : errno;
    close(fd);
    return Fail(error, code, path, "open");
  }
  handle_ = fd;
  path_ = path;
  return true;
}

bool InputFile::Read(void* buffer, std::size_t size, std::size_t* got, Error* error) {
  *got = 0;
  if (handle_ < 0) return Fail(error, EBADF, path_, "read");
  for (;;) {
    const ssize_t n = read(static_cast<int>(handle_), buffer, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail(error, errno, path_, "read");
    }
    *got = static_cast<std::size_t>(n);
    return true;
  }
}

void InputFile::Close() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
  handle_ = -1;
}

bool InputFile::IsOpen() const { return handle_ >= 0; }

OutputFile::OutputFile() : handle_(-1) {}
OutputFile::~OutputFile() { Close(); }

bool OutputFile::Create(const std::string& path, Error* error) {
  if (FaultInjected(path, "create", error)) return false;
  Close();
  std::string host;
  if (!posix::ResolveHostPath(path, &host, error)) return false;
  const int fd = open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) return Fail(error, errno, path, "create");
  handle_ = fd;
  path_ = path;
  return true;
}

bool OutputFile::Write(const void* data, std::size_t size, Error* error) {
  if (FaultInjected(path_, "write", error)) return false;
  if (handle_ < 0) return Fail(error, EBADF, path_, "write");
  const int fd = static_cast<int>(handle_);
  if (!posix::WriteAll(fd, static_cast<const char*>(data), size)) {
    return Fail(error, errno, path_, "write");
  }
#ifdef __linux__
  // A large file goes to the disk as it grows, each few megabytes started and not waited for, so
  // that the flush that finishes it waits for the last piece only. Nothing lasts any sooner.
  constexpr off_t kWritebackStep = 4 << 20;
  const off_t end = lseek(fd, 0, SEEK_CUR);
  if (end > 0 && end / kWritebackStep != (end - static_cast<off_t>(size)) / kWritebackStep) {
    sync_file_range(fd, 0, end, SYNC_FILE_RANGE_WRITE);
  }
#endif
  return true;
}

bool OutputFile::Flush(Error* error) {
  if (FaultInjected(path_, "flush", error)) return false;
  if (handle_ < 0) return Fail(error, EBADF, path_, "flush");
  if (fdatasync(static_cast<int>(handle_)) != 0) return Fail(error, errno, path_, "flush");
  return true;
}

bool OutputFile::Reserve(std::size_t size, Error* error) {
  if (FaultInjected(path_, "write", error)) return false;
  if (handle_ < 0) return Fail(error, EBADF, path_, "write");
  const int fd = static_cast<int>(handle_);
  const off_t at = lseek(fd, 0, SEEK_CUR);
  const std::string zeros(size, '\0');
  if (at < 0 || !posix::WriteAll(fd, zeros.data(), zeros.size()) || fsync(fd) != 0 ||
      lseek(fd, at, SEEK_SET) != at) {
    return Fail(error, errno, path_, "write");
  }
  ObserveOperation("flush", path_);
  return true;
}

bool OutputFile::Finish(Error* error) {
  if (FaultInjected(path_, "flush", error)) return false;
  if (handle_ < 0) return Fail(error, EBADF, path_, "write");
  const int fd = static_cast<int>(handle_);
  handle_ = -1;
  if (fsync(fd) != 0) {
    const int code = errno;
    close(fd);
    return Fail(error, code, path_, "flush");
  }
  if (close(fd) != 0) return Fail(error, errno, path_, "close");
  return true;
}

void OutputFile::Close() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
  handle_ = -1;
}

bool OutputFile::IsOpen() const { return handle_ >= 0; }

}  // namespace koushin::port
