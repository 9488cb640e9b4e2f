// Wine registry files ("WINE REGISTRY Version 2"), as a prefix's system.reg holds them.
#include <string>
#include <vector>

#include "port/port.h"
#include "port/posix/registry.h"
#include "port/posix/registry_text.h"
#include "text/cp932.h"

namespace koushin::port::posix {
namespace {

using namespace registry_text;

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

}  // namespace koushin::port::posix
