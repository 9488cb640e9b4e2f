// Resolution of Windows paths (code page 932) to host paths, with what the drive calls and the
// directory search need to know beyond the host path itself.
#pragma once

#include <string>
#include <vector>

#include "port/port.h"

namespace koushin::port::posix {

struct ResolvedPath {
  std::string hostPath;  // UTF-8; ends with '/' when the Windows path ended with a separator
  char drive = 0;        // upper-case letter, 0 for a host path or one without drives
  std::vector<std::string> names;  // the components below the root, host spelling (UTF-8)
  bool isRoot = false;             // the path names a drive's root (or the host's '/')
  std::string givenName;           // the last component as written (UTF-8), before matching
};

// Resolves `path` as described for ResolveHostPath (host_fs.h). `operation` names the caller's
// operation in the Error.
bool ResolveWindowsPath(const std::string& path, ResolvedPath* resolved, Error* error,
                        const char* operation);

// The form two names are compared in: ASCII letters and the full-width Latin letters
// (U+FF41-U+FF5A) upper-cased, everything else as it is.
std::string FoldName(const std::string& utf8);

// Joins a host folder and a name with one '/'.
std::string JoinHostPath(const std::string& folder, const std::string& name);

// Splits a Windows path (code page 932) at its single-byte '\\' and '/' separators, stepping over
// double-byte characters; empty pieces are dropped.
std::vector<std::string> SplitWindowsPath(const std::string& path);

}  // namespace koushin::port::posix
