// The texts the archive library writes for the person at the screen: fixed texts in code page
// 932 with the archive, the member and a detail filled in, cut to the room a message has.
#pragma once

#include <cstddef>
#include <string>

#include "archive/lzh_decoder.h"
#include "archive/target_name.h"

namespace koushin::archive {

inline constexpr std::size_t kMaxMessage = 255;

// The texts the library writes for the user, in UTF-8 here and converted to code page 932 once.
// %A is the archive, %M the member, %D a detail.
enum class Text {
  kArchiveNotFound,
  kTargetNotFound,
  kArchiveDamaged,
  kArchiveUnreadable,
  kUnsupportedMethod,
  kMemberCrc,
  kMemberCorrupt,
  kMemberBadName,
  kMemberLink,
  kWriteFailed,
  kReplaceFailed,
  kOutOfMemory,
};

// A message of at most `limit` bytes: the whole archive path when it fits, else only its name,
// and cut at a character boundary as a last resort.
std::string Compose(Text text, const std::string& archive, const std::string& member,
                    const std::string& detail, std::size_t limit);
// Bytes that would upset a terminal or a message box become '?'.
std::string Printable(const std::string& name);
// What is wrong with a member's name, as the person's message says it.
std::string NameProblemText(NameProblem problem);
// What the decoder found, as the person's message says it.
std::string DecodeStatusText(DecodeStatus status);

}  // namespace koushin::archive
