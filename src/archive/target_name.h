// The check every member name passes before a file of that name is written into the target
// folder: one plain Windows file name, nothing that could reach outside the folder or name a
// device.
#pragma once

#include <string>

namespace koushin::archive {

enum class NameProblem {
  kNone,
  kEmpty,             // "" (a folder entry's trailing separator, or no name stored)
  kDots,              // "." or ".."
  kForbiddenChar,     // a control character, or one of : \ / < > " | ? * at a character start
  kTrailingDotSpace,  // Windows would drop them and write another name
  kDeviceName,  // CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$, CLOCK$ (with any extension)
  kBrokenCharacter,  // a lead byte with no trail byte
};

// Checks one file name (code page 932). Trail bytes of double-byte characters (ソ 0x83 0x5C)
// are not taken for the characters they equal.
NameProblem CheckTargetName(const std::string& name);

}  // namespace koushin::archive
