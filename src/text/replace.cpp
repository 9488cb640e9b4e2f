#include "text/replace.h"

namespace koushin::text {

std::string& ReplaceAllInPlace(std::string& buffer, std::string_view pattern,
                               std::string_view replacement) {
  if (pattern.empty()) return buffer;
  std::size_t pos = 0;
  while ((pos = buffer.find(pattern.data(), pos, pattern.size())) != std::string::npos) {
    buffer.replace(pos, pattern.size(), replacement.data(), replacement.size());
    pos += replacement.size();
  }
  return buffer;
}

}  // namespace koushin::text
