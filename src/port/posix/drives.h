// The model of Windows drives on a POSIX host: which host folder each drive letter stands for,
// each drive's own current folder, and the process's current drive. Configure (drives.cpp) sets
// it up; path resolution and the drive calls of port.h read it.
//
// Without any Configure call there are no drives: CurrentDrive() is 0, paths with a drive
// letter fail, paths that begin with '/' are host paths, and relative paths resolve against the
// host process's working folder.
#pragma once

#include <string>
#include <vector>

namespace koushin::port::posix {

struct DriveState {
  std::string hostRoot;                    // host folder (UTF-8) the drive's root stands for
  std::vector<std::string> currentFolder;  // components below the root, code page 932
  int type = 3;                            // GetDriveType's number
};

// The drive with upper-case letter `letter`, or null when it is not mapped.
DriveState* FindDrive(char letter);
// Upper-case letter of the current drive, or 0 when no drive is mapped.
char CurrentDriveLetter();
void SetCurrentDriveLetter(char letter);

}  // namespace koushin::port::posix
