#include "text/cp932.h"

namespace koushin::text {

bool IsLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

std::size_t CharLength(std::string_view text, std::size_t pos) {
  if (pos + 1 < text.size() && IsLeadByte(static_cast<unsigned char>(text[pos]))) return 2;
  return 1;
}

bool IsCharBoundary(std::string_view text, std::size_t pos) {
  std::size_t i = 0;
  while (i < pos && i < text.size()) i += CharLength(text, i);
  return i == pos;
}

std::string ToUpper(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size();) {
    const std::size_t len = CharLength(out, i);
    const auto lead = static_cast<unsigned char>(out[i]);
    if (len == 1) {
      if (lead >= 'a' && lead <= 'z') out[i] = static_cast<char>(lead - 'a' + 'A');
    } else {
      const auto trail = static_cast<unsigned char>(out[i + 1]);
      if (lead == 0x82 && trail >= 0x81 && trail <= 0x9A) {
        out[i + 1] = static_cast<char>(trail - 0x21);  // full-width Latin
      } else if (lead == 0x83 && trail >= 0xBF && trail <= 0xD6) {
        out[i + 1] = static_cast<char>(trail - 0x20);  // Greek
      } else if (lead == 0x84 && trail >= 0x70 && trail <= 0x7E) {
        out[i + 1] = static_cast<char>(trail - 0x30);  // Cyrillic a..n (0x7F is no trail byte)
      } else if (lead == 0x84 && trail >= 0x80 && trail <= 0x91) {
        out[i + 1] = static_cast<char>(trail - 0x31);  // Cyrillic o..ya
      }
    }
    i += len;
  }
  return out;
}

bool EndsWithBackslash(std::string_view text) {
  bool last = false;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t len = CharLength(text, i);
    last = (len == 1 && text[i] == '\\');
    i += len;
  }
  return last;
}

std::size_t FindLastSeparator(std::string_view text) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t len = CharLength(text, i);
    if (len == 1 && (text[i] == '\\' || text[i] == '/')) found = i;
    i += len;
  }
  return found;
}

std::size_t FindAtCharBoundary(std::string_view haystack, std::string_view needle,
                               std::size_t from) {
  std::size_t i = 0;
  while (i < from && i < haystack.size()) i += CharLength(haystack, i);
  if (i < from) return std::string_view::npos;
  for (;;) {
    if (haystack.size() - i >= needle.size() && haystack.compare(i, needle.size(), needle) == 0) {
      return i;
    }
    if (i >= haystack.size()) return std::string_view::npos;
    i += CharLength(haystack, i);
  }
}

}  // namespace koushin::text
