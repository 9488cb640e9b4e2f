// UTF-16 text, lines and hex data of registry files.
#include "port/posix/registry_text.h"

#include <utility>

#include "port/port.h"
#include "text/cp932.h"

namespace koushin::port::posix::registry_text {

// Appends code point `c` to `out` as UTF-8.
void AppendUtf8(std::uint32_t c, std::string* out) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | (c >> 6));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += static_cast<char>(0xE0 | (c >> 12));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (c >> 18));
    *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// UTF-16 code units to UTF-8; false on an unpaired surrogate.
bool Utf16ToUtf8(const std::vector<std::uint16_t>& units, std::string* out) {
  out->clear();
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::uint32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
    AppendUtf8(c, out);
  }
  return true;
}

std::vector<std::uint16_t> Utf16LeUnits(const std::string& bytes, std::size_t from) {
  std::vector<std::uint16_t> units;
  for (std::size_t i = from; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[i]) |
                                               (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return units;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

std::string TrimLeft(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  return first == std::string::npos ? std::string() : text.substr(first);
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char a = text[i], b = prefix[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
    if (a != b) return false;
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes of "hex:01,02,..." data (after the colon); false on anything else.
bool ParseHexBytes(const std::string& text, std::string* bytes) {
  bytes->clear();
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == ',')) ++i;
    if (i >= text.size()) break;
    const int high = HexDigit(text[i]);
    const int low = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
    if (high < 0 || low < 0) return false;
    *bytes += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return true;
}

// Key path (code page 932 or UTF-8 per `dbcs`) made a folded key with its parents added.
void AddKey(const std::string& cp932Path, RegistryData* data, std::string* folded) {
  *folded = FoldRegistryName(cp932Path);
  std::size_t i = 0;
  while (i < folded->size()) {
    const std::size_t length = text::CharLength(*folded, i);
    if (length == 1 && (*folded)[i] == '\\') data->keys[folded->substr(0, i)];
    i += length;
  }
  data->keys[*folded];
}

// Converts text of the file's encoding to code page 932.
bool ToCp932(const std::string& text, bool utf8, std::string* cp932) {
  if (!utf8) {
    *cp932 = text;
    return true;
  }
  return Utf8ToCp932(text, cp932);
}

}  // namespace koushin::port::posix::registry_text
