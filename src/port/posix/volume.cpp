// The volume a path lies on: its identity, its free space, and whether it keeps hard links.
#include <errno.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "port/port.h"
#include "port/posix/host_fs.h"

namespace koushin::port {

using posix::Fail;

bool QueryVolume(const std::string& path, VolumeInfo* info, Error* error) {
  *info = VolumeInfo();
  std::string host;
  if (!posix::ResolveHostPath(path, &host, error)) return false;
  // A file or folder the run has yet to create lies on the volume of its nearest existing folder.
  struct stat status;
  while (stat(host.c_str(), &status) != 0) {
    while (host.size() > 1 && host.back() == '/') host.pop_back();
    const std::size_t slash = host.rfind('/');
    if ((errno != ENOENT && errno != ENOTDIR) || slash == std::string::npos) {
      return Fail(error, errno == 0 ? ENOENT : errno, path, "query volume of");
    }
    host.resize(slash == 0 ? 1 : slash);
  }
  struct statvfs volume;
  if (statvfs(host.c_str(), &volume) != 0) return Fail(error, errno, path, "query volume of");
  info->id = std::to_string(static_cast<unsigned long long>(status.st_dev));
  info->freeBytes =
      static_cast<std::uint64_t>(volume.f_bavail) * static_cast<std::uint64_t>(volume.f_frsize);
  // FAT file systems allow one name per file; every other file system here allows more.
  info->hardLinks = pathconf(host.c_str(), _PC_LINK_MAX) > 1;
  return true;
}

}  // namespace koushin::port
