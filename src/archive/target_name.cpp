#include "archive/target_name.h"

#include "text/cp932.h"

namespace koushin::archive {

NameProblem CheckTargetName(const std::string& name) {
  if (name.empty()) return NameProblem::kEmpty;
  if (name == "." || name == "..") return NameProblem::kDots;
  static const std::string kForbidden = ":\\/<>\"|?*";
  for (std::size_t i = 0; i < name.size();) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if (text::IsLeadByte(byte)) {
      if (i + 1 >= name.size()) return NameProblem::kBrokenCharacter;
      const auto trail = static_cast<unsigned char>(name[i + 1]);
      if (trail < 0x40 || trail == 0x7F || trail > 0xFC) return NameProblem::kBrokenCharacter;
      i += 2;
      continue;
    }
    if (byte < 0x20 || byte == 0x7F ||
        kForbidden.find(static_cast<char>(byte)) != std::string::npos) {
      return NameProblem::kForbiddenChar;
    }
    ++i;
  }
  const char last = name.back();
  if (last == '.' || last == ' ') return NameProblem::kTrailingDotSpace;
  // The part before the first dot, blanks at its end ignored, names a device on Windows.
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  base = text::ToUpper(base);
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* device : kDevices) {
    if (base == device) return NameProblem::kDeviceName;
  }
  if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
      base[3] >= '1' && base[3] <= '9') {
    return NameProblem::kDeviceName;
  }
  return NameProblem::kNone;
}

}  // namespace koushin::archive
