// Host paths given on the command line (UTF-8), made absolute before the port sees them, so that
// they do not depend on the current folder that the destination step moves.
#pragma once

#include <string>

namespace koushin::console {

// The path made absolute against the process's working folder; an absolute path stays as given,
// and so does a path that cannot be resolved.
std::string AbsoluteHostPath(const std::string& utf8Path);

// The folder the running program lies in (UTF-8, no trailing separator but at a root); `argv0`
// is the fallback when the system cannot name the program file. Empty when neither works.
std::string ProgramFolder(const char* argv0);

}  // namespace koushin::console
