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

// The path as a person should read it: a run of separators ('\\' or '/') between two parts
// becomes the first of them. The run builds its paths by plain concatenation ("C:\\EST\\" +
// "\\bmp\\"), which Windows accepts but reads badly in a message or a report. The two
// separators that begin a UNC path stay, and a 0x5C trail byte (ソ, 表) is no separator.
std::string OneSeparator(std::string_view path);

}  // namespace koushin::text
