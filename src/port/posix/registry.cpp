// Read-only registry from a regedit export or a Wine registry file.
#include "port/posix/registry.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "port/port.h"
#include "text/cp932.h"

namespace koushin::port::posix {

namespace {

RegistryData& Installed() {
  static RegistryData data;
  return data;
}

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

// ---- regedit exports -------------------------------------------------------------------------

// Reads a quoted text starting at `pos` (on the opening quote) with the escapes \\ and \";
// `dbcs` steps over double-byte characters. Leaves `pos` after the closing quote.
bool ReadExportString(const std::string& line, std::size_t* pos, bool dbcs, std::string* out) {
  out->clear();
  std::size_t i = *pos + 1;
  while (i < line.size()) {
    const std::size_t length = dbcs ? text::CharLength(line, i) : 1;
    if (length == 2) {
      out->append(line, i, 2);
      i += 2;
      continue;
    }
    const char c = line[i];
    if (c == '"') {
      *pos = i + 1;
      return true;
    }
    if (c == '\\' && i + 1 < line.size()) {
      // Only \\ and \" are written; any other escaped character stands for itself.
      *out += line[i + 1];
      i += 2;
      continue;
    }
    *out += c;
    ++i;
  }
  return false;
}

bool ParseExportText(const std::string& text, bool utf8, RegistryData* data) {
  const bool dbcs = !utf8;
  std::vector<std::string> lines = SplitLines(text);
  bool inMachine = false;
  std::string key;
  for (std::size_t index = 1; index < lines.size(); ++index) {
    std::string line = TrimLeft(lines[index]);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      // The key path runs to the last single-byte ']'.
      std::size_t close = std::string::npos;
      for (std::size_t i = 0; i < line.size();) {
        const std::size_t length = dbcs ? text::CharLength(line, i) : 1;
        if (length == 1 && line[i] == ']') close = i;
        i += length;
      }
      inMachine = false;
      if (close == std::string::npos || line.size() < 2 || line[1] == '-') continue;
      const std::string path = line.substr(1, close - 1);
      const std::string hive = "HKEY_LOCAL_MACHINE";
      if (!StartsWithNoCase(path, hive) ||
          (path.size() > hive.size() && path[hive.size()] != '\\')) {
        continue;
      }
      std::string cp932;
      if (!ToCp932(path.substr(hive.size()), utf8, &cp932)) continue;
      AddKey(cp932, data, &key);
      inMachine = true;
      continue;
    }
    if (!inMachine) continue;
    std::string name;
    std::size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else if (line[0] == '"') {
      if (!ReadExportString(line, &pos, dbcs, &name)) continue;
    } else {
      continue;
    }
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    if (pos >= line.size() || line[pos] != '=') continue;
    ++pos;
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    std::string folded;
    std::string cp932Name;
    if (!ToCp932(name, utf8, &cp932Name)) continue;
    folded = text::ToUpper(cp932Name);
    auto& values = data->keys[key];
    const std::string rest = line.substr(pos);
    if (rest == "-") {
      values.erase(folded);
      continue;
    }
    RegistryValue value;
    if (!rest.empty() && rest[0] == '"') {
      std::string textValue;
      std::size_t valuePos = pos;
      if (ReadExportString(line, &valuePos, dbcs, &textValue)) {
        value.isString = ToCp932(textValue, utf8, &value.text);
      }
    } else if (StartsWithNoCase(rest, "hex(2):") || StartsWithNoCase(rest, "hex(1):")) {
      // Hexadecimal data continues over lines that end with '\\'.
      std::string hex = rest.substr(7);
      while (!hex.empty() && hex.back() == '\\' && index + 1 < lines.size()) {
        hex.pop_back();
        hex += TrimLeft(lines[++index]);
      }
      std::string bytes;
      if (ParseHexBytes(hex, &bytes)) {
        if (utf8) {
          std::vector<std::uint16_t> units = Utf16LeUnits(bytes, 0);
          while (!units.empty() && units.back() == 0) units.pop_back();
          std::string textValue;
          value.isString = Utf16ToUtf8(units, &textValue) && ToCp932(textValue, true, &value.text);
        } else {
          while (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
          value.text = bytes;
          value.isString = true;
        }
      }
    }
    values[folded] = value;
  }
  return true;
}

// ---- Wine registry files ---------------------------------------------------------------------

// Reads a Wine-escaped text up to the unescaped `end` character, as UTF-8: \\ \" \[ \] and other
// characters stand for themselves, \a \b \e \f \n \r \t \v are control characters, \xHHHH (one to
// four hex digits) a UTF-16 code unit, \ooo (up to three octal digits) a code unit. Raw bytes
// are taken as UTF-8.
bool ReadWineString(const std::string& line, std::size_t* pos, char end, std::string* out) {
  std::vector<std::uint16_t> units;
  std::string pendingUtf8;
  std::size_t i = *pos;
  auto flushUnits = [&]() {
    std::string utf8;
    if (!Utf16ToUtf8(units, &utf8)) return false;
    *out += utf8;
    units.clear();
    return true;
  };
  out->clear();
  while (i < line.size()) {
    const char c = line[i];
    if (c == end) {
      *pos = i + 1;
      return flushUnits();
    }
    if (c != '\\' || i + 1 >= line.size()) {
      if (!flushUnits()) return false;
      *out += c;
      ++i;
      continue;
    }
    const char next = line[i + 1];
    i += 2;
    std::uint32_t unit = 0;
    switch (next) {
      case 'a':
        unit = 7;
        break;
      case 'b':
        unit = 8;
        break;
      case 'e':
        unit = 27;
        break;
      case 'f':
        unit = 12;
        break;
      case 'n':
        unit = 10;
        break;
      case 'r':
        unit = 13;
        break;
      case 't':
        unit = 9;
        break;
      case 'v':
        unit = 11;
        break;
      case 'x': {
        int digits = 0;
        while (digits < 4 && i < line.size() && HexDigit(line[i]) >= 0) {
          unit = unit * 16 + static_cast<std::uint32_t>(HexDigit(line[i]));
          ++i;
          ++digits;
        }
        if (digits == 0) return false;
        break;
      }
      default:
        if (next >= '0' && next <= '7') {
          unit = static_cast<std::uint32_t>(next - '0');
          for (int digits = 1; digits < 3 && i < line.size() && line[i] >= '0' && line[i] <= '7';
               ++digits, ++i) {
            unit = unit * 8 + static_cast<std::uint32_t>(line[i] - '0');
          }
        } else {
          unit = static_cast<unsigned char>(next);
          if (unit >= 0x80) {  // an escaped raw byte: keep it as it is
            if (!flushUnits()) return false;
            *out += next;
            continue;
          }
        }
    }
    units.push_back(static_cast<std::uint16_t>(unit));
  }
  return false;
}

}  // namespace

std::string FoldRegistryName(const std::string& cp932) {
  const std::string upper = text::ToUpper(cp932);
  std::string out;
  for (std::size_t i = 0; i < upper.size();) {
    const std::size_t length = text::CharLength(upper, i);
    const bool separator = length == 1 && upper[i] == '\\';
    if (!(separator && (out.empty() || out.back() == '\\'))) out.append(upper, i, length);
    i += length;
  }
  if (text::EndsWithBackslash(out)) out.pop_back();
  return out;
}

bool ParseRegistryExport(const std::string& bytes, RegistryData* data) {
  *data = RegistryData();
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::string utf8;
    if (!Utf16ToUtf8(Utf16LeUnits(bytes, 2), &utf8)) return false;
    if (SplitLines(utf8).empty() || SplitLines(utf8)[0] != "Windows Registry Editor Version 5.00") {
      return false;
    }
    return ParseExportText(utf8, true, data);
  }
  const std::vector<std::string> lines = SplitLines(bytes.substr(0, bytes.find('\n') + 1));
  if (lines.empty()) return false;
  if (lines[0] == "REGEDIT4") return ParseExportText(bytes, false, data);
  // Version 5 saved as UTF-8 (with or without its signature).
  std::string first = lines[0];
  if (first.compare(0, 3, "\xEF\xBB\xBF") == 0) first = first.substr(3);
  if (first == "Windows Registry Editor Version 5.00") {
    const std::size_t skip = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    return ParseExportText(bytes.substr(skip), true, data);
  }
  return false;
}

bool ParseWineRegistry(const std::string& bytes, RegistryData* data) {
  *data = RegistryData();
  const std::vector<std::string> lines = SplitLines(bytes);
  if (lines.empty() || lines[0] != "WINE REGISTRY Version 2") return false;
  bool inKey = false;
  std::string key;
  for (std::size_t index = 1; index < lines.size(); ++index) {
    const std::string line = TrimLeft(lines[index]);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    std::size_t pos = 1;
    if (line[0] == '[') {
      std::string path, cp932;
      inKey = ReadWineString(line, &pos, ']', &path) && Utf8ToCp932(path, &cp932);
      if (inKey) AddKey(cp932, data, &key);
      continue;
    }
    if (!inKey) continue;
    std::string name;
    if (line[0] == '@') {
      pos = 1;
    } else if (line[0] == '"') {
      if (!ReadWineString(line, &pos, '"', &name)) continue;
    } else {
      continue;
    }
    if (pos >= line.size() || line[pos] != '=') continue;
    ++pos;
    std::string cp932Name;
    if (!Utf8ToCp932(name, &cp932Name)) continue;
    RegistryValue value;
    std::size_t textStart = std::string::npos;
    if (line.compare(pos, 1, "\"") == 0) {
      textStart = pos + 1;
    } else if (line.compare(pos, 8, "str(2):\"") == 0) {
      textStart = pos + 8;
    }
    if (textStart != std::string::npos) {
      std::string utf8;
      value.isString =
          ReadWineString(line, &textStart, '"', &utf8) && Utf8ToCp932(utf8, &value.text);
      if (!value.isString) value.text.clear();
    }
    data->keys[key][text::ToUpper(cp932Name)] = value;
  }
  return true;
}

bool ParseRegistryFile(const std::string& bytes, RegistryData* data) {
  if (bytes.compare(0, 23, "WINE REGISTRY Version 2") == 0) return ParseWineRegistry(bytes, data);
  return ParseRegistryExport(bytes, data);
}

void InstallRegistry(RegistryData data) { Installed() = std::move(data); }

}  // namespace koushin::port::posix

namespace koushin::port {

RegistryLookup RegistryReadString(const std::string& subKey, const std::string& valueName,
                                  std::string* value) {
  value->clear();
  const auto& keys = posix::Installed().keys;
  const auto key = keys.find(posix::FoldRegistryName(subKey));
  if (key == keys.end()) return RegistryLookup::kNoKey;
  const auto found = key->second.find(text::ToUpper(valueName));
  if (found == key->second.end() || !found->second.isString) return RegistryLookup::kNoValue;
  *value = found->second.text;
  return RegistryLookup::kFound;
}

}  // namespace koushin::port
