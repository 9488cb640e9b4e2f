// Windows path strings in code page 932, taken apart the way the run-time library's _splitpath
// does, but stepping over double-byte characters.
#pragma once

#include <string>
#include <string_view>

namespace koushin::text {

struct PathParts {
  std::string drive;      // "C:" when the second byte is ':', else empty
  std::string directory;  // up to and including the last '\\' or '/'
  std::string name;       // file name without extension
  std::string extension;  // from the last '.' of the file name on, with the '.'
};

PathParts SplitPath(std::string_view path);

// The folder of the update media, from the program's own full path: drive and directory, ending
// with '\\'. A program at a drive root gives "D:\\" (never the bare "D:", which would make every
// media path relative to a current folder the destination step moves). UNC paths stay whole.
std::string SourceFolderFromProgramPath(std::string_view programPath);

}  // namespace koushin::text
