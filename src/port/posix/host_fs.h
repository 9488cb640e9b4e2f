// Internals of the POSIX port shared between its modules: resolving Windows paths to host paths
// and replacing host files atomically.
#pragma once

#include <string>

#include "port/port.h"

namespace koushin::port::posix {

// Resolves a Windows path (code page 932) to a host path (UTF-8): the drive through the drive
// map, a drive-relative path through that drive's current folder, '\\' and '/' as separators,
// "." and ".." (never above the drive's root), and every component matched case-insensitively
// against the host folder's entries (the exact spelling first, else the first in sorted order; a
// component with no match is kept as given, so new files get the given spelling).
bool ResolveHostPath(const std::string& path, std::string* hostPath, Error* error = nullptr);

// Writes `bytes` to a temporary file in the folder of `hostPath`, flushes it, gives it the mode
// (and DOS attribute byte) of the file it replaces, and renames it over `hostPath`. On failure the
// old file is untouched and no temporary file stays. `windowsPath` names the file in errors.
bool ReplaceHostFile(const std::string& hostPath, const std::string& bytes,
                     const std::string& windowsPath, Error* error = nullptr);

}  // namespace koushin::port::posix
