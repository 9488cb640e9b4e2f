// regedit exports: REGEDIT4 in code page 932, and version 5 in UTF-16LE (or UTF-8).
#include <string>
#include <vector>

#include "port/port.h"
#include "port/posix/registry.h"
#include "port/posix/registry_text.h"
#include "text/cp932.h"

namespace koushin::port::posix {
namespace {

using namespace registry_text;

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

}  // namespace

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

}  // namespace koushin::port::posix
