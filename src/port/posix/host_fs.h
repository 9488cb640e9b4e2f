// Internals of the POSIX port shared between its modules: resolving Windows paths to host paths
// and replacing host files atomically.
#pragma once

#include <cstddef>
#include <string>

#include "port/port.h"

namespace koushin::port::posix {

// Resolves a Windows path (code page 932) to a host path (UTF-8): the drive through the drive
// map, a drive-relative path through that drive's current folder, '\\' and '/' as separators,
// "." and ".." (never above the drive's root), and every component matched case-insensitively
// against the host folder's entries (the exact spelling first, else the first in sorted order; a
// component with no match is kept as given, so new files get the given spelling).
//
// Details: a path that begins with '/' is a host path; its components are matched the same way
// (so "/srv/est" + "\\TAMIRO1.INI" finds tamiro1.ini). A path that begins with two separators
// ("\\\\server\\share") is a network path, which this port does not have: an error. A trailing
// separator is kept as a trailing '/', so a file named with one does not exist, as on Windows.
// Trailing dots and blanks of a component are dropped, as Windows drops them. A name that does not
// convert from code page 932, or a NUL byte, is an error (EILSEQ, EINVAL).
bool ResolveHostPath(const std::string& path, std::string* hostPath, Error* error = nullptr);

// Writes `bytes` to a temporary file in the folder of `hostPath`, flushes it, gives it the mode
// (and DOS attribute byte) of the file it replaces, and renames it over `hostPath`. On failure the
// old file is untouched and no temporary file stays. `windowsPath` names the file in errors.
// An existing target whose read-only attribute is set is refused (EACCES), as Windows refuses
// to write such a file; a new file gets mode 0666 less the umask.
bool ReplaceHostFile(const std::string& hostPath, const std::string& bytes,
                     const std::string& windowsPath, Error* error = nullptr);

// Creates an empty temporary file (mode 0600) in the folder of `hostPath` and returns its
// descriptor, or -1 with errno set.
int CreateTemporaryBeside(const std::string& hostPath, std::string* temporaryPath);

// Writes all of `size` bytes, retrying after interruptions; false with errno set.
bool WriteAll(int fd, const char* data, std::size_t size);

// Flushes the folder of `hostPath`, so that a rename in it is on the disk.
void SyncFolderOf(const std::string& hostPath);

// Fills `error` (when given) and returns false. An empty `detail` takes strerror(hostCode).
bool Fail(Error* error, int hostCode, const std::string& path, const std::string& operation,
          const std::string& detail = std::string());

}  // namespace koushin::port::posix
