// Files and folders: existence, folder creation, copy, delete, rename, whole-file reads and
// writes. Every replacement goes through a temporary file in the target's folder.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "port/port.h"
#include "port/posix/dos_attributes.h"
#include "port/posix/host_fs.h"
#include "port/posix/host_path.h"

namespace koushin::port {

using posix::Fail;

namespace {

// Closes a descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now, reporting the result.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || close(fd) == 0;
  }

 private:
  int fd_;
};

bool Resolve(const std::string& path, std::string* host, Error* error, const char* operation) {
  posix::ResolvedPath resolved;
  if (!posix::ResolveWindowsPath(path, &resolved, error, operation)) return false;
  *host = resolved.hostPath;
  return true;
}

bool ReadDescriptor(int fd, std::string* bytes) {
  bytes->clear();
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return true;
    bytes->append(buffer, static_cast<std::size_t>(got));
  }
}

}  // namespace

bool PathExists(const std::string& path) {
  std::string host;
  struct stat info;
  return Resolve(path, &host, nullptr, "test") && stat(host.c_str(), &info) == 0;
}

bool IsFolder(const std::string& path) {
  std::string host;
  struct stat info;
  return Resolve(path, &host, nullptr, "test") && stat(host.c_str(), &info) == 0 &&
         S_ISDIR(info.st_mode);
}

bool MakeFolder(const std::string& path, Error* error) {
  if (FaultInjected(path, "create folder", error)) return false;
  std::string host;
  if (!Resolve(path, &host, error, "create folder")) return false;
  if (mkdir(host.c_str(), 0777) != 0) return Fail(error, errno, path, "create folder");
  return true;
}

bool CopyFileReplacing(const std::string& from, const std::string& to, Error* error) {
  if (FaultInjected(to, "copy to", error)) return false;
  std::string hostFrom, hostTo;
  if (!Resolve(from, &hostFrom, error, "copy") || !Resolve(to, &hostTo, error, "copy to")) {
    return false;
  }
  Descriptor source(open(hostFrom.c_str(), O_RDONLY | O_CLOEXEC));
  if (source.get() < 0) return Fail(error, errno, from, "copy");
  struct stat info;
  if (fstat(source.get(), &info) != 0) return Fail(error, errno, from, "copy");
  if (S_ISDIR(info.st_mode)) return Fail(error, EISDIR, from, "copy");
  struct stat old;
  if (stat(hostTo.c_str(), &old) == 0) {
    if (S_ISDIR(old.st_mode)) return Fail(error, EISDIR, to, "copy to");
    // CopyFile refuses to overwrite a read-only file.
    if (posix::IsReadOnly(old)) return Fail(error, EACCES, to, "copy to", "read-only");
  }

  std::string temporary;
  const int fd = posix::CreateTemporaryBeside(hostTo, &temporary);
  if (fd < 0) return Fail(error, errno, to, "copy to");
  Descriptor target(fd);
  int failure = 0;
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(source.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      failure = errno;
      break;
    }
    if (got == 0) break;
    if (!posix::WriteAll(fd, buffer, static_cast<std::size_t>(got))) {
      failure = errno;
      break;
    }
  }
  // The copy keeps the source's mode (so read-only stays), attribute byte and last-write time.
  if (failure == 0 && fchmod(fd, info.st_mode & 07777) != 0) failure = errno;
  if (failure == 0) posix::CopyDosAttrib(hostFrom, fd);
  const struct timespec times[2] = {{0, UTIME_NOW}, info.st_mtim};
  if (failure == 0 && futimens(fd, times) != 0) failure = errno;
  if (failure == 0 && fsync(fd) != 0) failure = errno;
  if (!target.Close() && failure == 0) failure = errno;
  if (failure == 0 && rename(temporary.c_str(), hostTo.c_str()) != 0) failure = errno;
  if (failure != 0) {
    unlink(temporary.c_str());
    return Fail(error, failure, to, "copy to");
  }
  posix::SyncFolderOf(hostTo);
  return true;
}

bool RemoveFile(const std::string& path, Error* error) {
  if (FaultInjected(path, "delete", error)) return false;
  std::string host;
  if (!Resolve(path, &host, error, "delete")) return false;
  struct stat info;
  if (lstat(host.c_str(), &info) != 0) return Fail(error, errno, path, "delete");
  if (S_ISDIR(info.st_mode)) return Fail(error, EISDIR, path, "delete");
  // DeleteFile refuses a read-only file.
  if (!S_ISLNK(info.st_mode) && posix::IsReadOnly(info)) {
    return Fail(error, EACCES, path, "delete", "read-only");
  }
  if (unlink(host.c_str()) != 0) return Fail(error, errno, path, "delete");
  return true;
}

bool RemoveFolder(const std::string& path, Error* error) {
  if (FaultInjected(path, "remove folder", error)) return false;
  std::string host;
  if (!Resolve(path, &host, error, "remove folder")) return false;
  if (rmdir(host.c_str()) != 0) return Fail(error, errno, path, "remove folder");
  return true;
}

bool MakeHardLink(const std::string& existing, const std::string& link, Error* error) {
  NoteOperationSource(existing);
  if (FaultInjected(link, "link", error)) return false;
  std::string hostExisting, hostLink;
  if (!Resolve(existing, &hostExisting, error, "link") ||
      !Resolve(link, &hostLink, error, "link as")) {
    return false;
  }
  // linkat without AT_SYMLINK_FOLLOW links a symbolic link itself, never what it points to.
  // The folder is not synced here: the caller's next flush (the journal record that names the
  // link) commits it on a journaling file system, and a kept file found missing is reported by
  // the restore, never guessed at.
  if (linkat(AT_FDCWD, hostExisting.c_str(), AT_FDCWD, hostLink.c_str(), 0) != 0) {
    return Fail(error, errno, link, "link as");
  }
  return true;
}

bool IsLinkOrMountPoint(const std::string& path) {
  posix::ResolvedPath resolved;
  if (!posix::ResolveWindowsPath(path, &resolved, nullptr, "test")) return true;
  std::string host = resolved.hostPath;
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  struct stat info;
  if (lstat(host.c_str(), &info) != 0) return errno != ENOENT && errno != ENOTDIR;
  if (S_ISLNK(info.st_mode)) return true;
  if (!S_ISDIR(info.st_mode) || host == "/") return false;
  const std::size_t cut = host.find_last_of('/');
  const std::string parent = cut == 0 ? "/" : host.substr(0, cut);
  struct stat above;
  return stat(parent.c_str(), &above) != 0 || above.st_dev != info.st_dev;
}

bool RenameReplacing(const std::string& from, const std::string& to, Error* error,
                     bool syncFolder) {
  NoteOperationSource(from, syncFolder);
  if (FaultInjected(to, "rename to", error)) return false;
  std::string hostFrom;
  posix::ResolvedPath target;
  if (!Resolve(from, &hostFrom, error, "rename") ||
      !posix::ResolveWindowsPath(to, &target, error, "rename to")) {
    return false;
  }
  std::string hostTo = target.hostPath;
  if (hostTo == hostFrom && hostTo.back() != '/' && !target.names.empty() &&
      target.givenName != target.names.back()) {
    // The names differ in letter case only: the file takes the new spelling, as on Windows.
    hostTo = hostTo.substr(0, hostTo.size() - target.names.back().size()) + target.givenName;
  }
  struct stat info;
  if (lstat(hostFrom.c_str(), &info) != 0) return Fail(error, errno, from, "rename");
  struct stat old;
  if (hostTo != hostFrom && lstat(hostTo.c_str(), &old) == 0 && old.st_ino != info.st_ino) {
    if (S_ISDIR(old.st_mode)) return Fail(error, EISDIR, to, "rename to");
    // MoveFileEx refuses to replace a read-only file.
    if (posix::IsReadOnly(old)) return Fail(error, EACCES, to, "rename to", "read-only");
  }
  if (rename(hostFrom.c_str(), hostTo.c_str()) != 0) return Fail(error, errno, to, "rename to");
  if (syncFolder) posix::SyncFolderOf(hostTo);
  return true;
}

bool SyncFolder(const std::string& folder, Error* error) {
  if (FaultInjected(folder, "flush", error)) return false;
  std::string host;
  if (!Resolve(folder, &host, error, "flush")) return false;
  Descriptor fd(open(host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0 || fsync(fd.get()) != 0) return Fail(error, errno, folder, "flush");
  return true;
}

bool ReadWholeFile(const std::string& path, std::string* bytes, Error* error) {
  bytes->clear();
  std::string host;
  if (!Resolve(path, &host, error, "read")) return false;
  Descriptor fd(open(host.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return Fail(error, errno, path, "read");
  struct stat info;
  if (fstat(fd.get(), &info) != 0) return Fail(error, errno, path, "read");
  if (S_ISDIR(info.st_mode)) return Fail(error, EISDIR, path, "read");
  if (!ReadDescriptor(fd.get(), bytes)) {
    const int failure = errno;
    bytes->clear();
    return Fail(error, failure, path, "read");
  }
  return true;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes, Error* error) {
  if (FaultInjected(path, "write", error)) return false;
  std::string host;
  if (!Resolve(path, &host, error, "write")) return false;
  struct stat old;
  if (stat(host.c_str(), &old) == 0 && !S_ISDIR(old.st_mode) && posix::IsReadOnly(old)) {
    return Fail(error, EACCES, path, "write", "read-only");
  }
  Descriptor fd(open(host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (fd.get() < 0) return Fail(error, errno, path, "write");
  if (!posix::WriteAll(fd.get(), bytes.data(), bytes.size()) || fsync(fd.get()) != 0 ||
      !fd.Close()) {
    return Fail(error, errno, path, "write");
  }
  return true;
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes, Error* error) {
  if (FaultInjected(path, "write", error)) return false;
  std::string host;
  if (!Resolve(path, &host, error, "write")) return false;
  return posix::ReplaceHostFile(host, bytes, path, error);
}

}  // namespace koushin::port
