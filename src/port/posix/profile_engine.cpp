#include "port/posix/profile_engine.h"

#include <vector>

namespace koushin::port::posix {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool IsTrail(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

// Length (1 or 2) of the character at `pos`: a lead byte counts as double only with a trail byte.
std::size_t CharLen(std::string_view text, std::size_t pos) {
  if (pos + 1 < text.size() && IsLead(static_cast<unsigned char>(text[pos])) &&
      IsTrail(static_cast<unsigned char>(text[pos + 1]))) {
    return 2;
  }
  return 1;
}

// The longest prefix of `text` that holds at most `limit` bytes and ends at a character boundary.
std::size_t CutAtBoundary(std::string_view text, std::size_t limit) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t len = CharLen(text, pos);
    if (pos + len > limit) break;
    pos += len;
  }
  return pos;
}

// Position of the first single-byte `ch` in `text`, or npos.
std::size_t FindSingle(std::string_view text, char ch) {
  for (std::size_t pos = 0; pos < text.size(); pos += CharLen(text, pos)) {
    if (text[pos] == ch && CharLen(text, pos) == 1) return pos;
  }
  return std::string_view::npos;
}

std::string_view TrimBlanks(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size() && IsBlank(text[begin])) ++begin;
  // Blanks are never trail bytes, but a lone lead byte may stand before them; walking forward
  // keeps the end at a character boundary all the same.
  std::size_t end = begin;
  for (std::size_t pos = begin; pos < text.size();) {
    const std::size_t len = CharLen(text, pos);
    if (len == 2 || !IsBlank(text[pos])) end = pos + len;
    pos += len;
  }
  return text.substr(begin, end - begin);
}

// One character folded to upper case (see the header for which letters fold). `out` receives
// the folded bytes.
void FoldChar(std::string_view text, std::size_t pos, std::size_t len, std::string* out) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (len == 1) {
    out->push_back(lead >= 'a' && lead <= 'z' ? static_cast<char>(lead - 'a' + 'A') : text[pos]);
    return;
  }
  auto trail = static_cast<unsigned char>(text[pos + 1]);
  if (lead == 0x82 && trail >= 0x81 && trail <= 0x9A) {
    trail -= 0x21;  // full-width ａ-ｚ (8281-829A) -> Ａ-Ｚ (8260-8279)
  } else if (lead == 0x83 && trail >= 0xBF && trail <= 0xD6) {
    trail -= 0x20;  // Greek α-ω (83BF-83D6) -> Α-Ω (839F-83B6)
  } else if (lead == 0x84 && trail >= 0x70 && trail <= 0x7E) {
    trail -= 0x30;  // Cyrillic а-н (8470-847E) -> А-Н (8440-844E)
  } else if (lead == 0x84 && trail >= 0x80 && trail <= 0x91) {
    trail -= 0x31;  // Cyrillic о-я (8480-8491) -> О-Я (844F-8460); 847F is unused
  }
  out->push_back(static_cast<char>(lead));
  out->push_back(static_cast<char>(trail));
}

std::string Fold(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t len = CharLen(text, pos);
    FoldChar(text, pos, len, &out);
    pos += len;
  }
  return out;
}

enum class LineKind { kNone, kBlank, kHeader, kComment, kEntry };

struct Line {
  std::size_t begin = 0;  // first byte
  std::size_t end = 0;    // one past the last byte before the line end
  std::size_t next = 0;   // one past the line end (== end for a last line without one)
  LineKind kind = LineKind::kNone;
  std::string_view name;   // header: the section name; key: the key name
  std::string_view value;  // key: the value, trimmed, quotes still on
  bool isKey = false;      // an entry with '='
};

void Classify(std::string_view text, Line* line) {
  const std::string_view body = TrimBlanks(text);
  if (body.empty()) {
    line->kind = LineKind::kBlank;
    return;
  }
  if (body[0] == '[') {
    const std::string_view inner = body.substr(1);
    const std::size_t close = FindSingle(inner, ']');
    if (close != std::string_view::npos) {
      line->kind = LineKind::kHeader;
      line->name = TrimBlanks(inner.substr(0, close));
      return;
    }
    // No ']': not a header but an ordinary line, as Wine reads it (Windows is not known).
  }
  line->kind = body[0] == ';' ? LineKind::kComment : LineKind::kEntry;
  const std::size_t equals = FindSingle(body, '=');
  if (equals != std::string_view::npos) {
    line->isKey = true;
    line->name = TrimBlanks(body.substr(0, equals));
    line->value = TrimBlanks(body.substr(equals + 1));
  }
}

std::vector<Line> SplitLines(std::string_view file) {
  std::vector<Line> lines;
  std::size_t pos = 0;
  while (pos < file.size()) {
    Line line;
    line.begin = pos;
    while (pos < file.size() && file[pos] != '\r' && file[pos] != '\n') ++pos;
    line.end = pos;
    if (pos < file.size()) {
      if (file[pos] == '\r' && pos + 1 < file.size() && file[pos + 1] == '\n') ++pos;
      ++pos;
    }
    line.next = pos;
    Classify(file.substr(line.begin, line.end - line.begin), &line);
    lines.push_back(line);
  }
  return lines;
}

// The value as read: without matching quotes around it.
std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// The lines [header, end) of the first section called `section`; header == npos when none.
struct SectionSpan {
  std::size_t header = std::string_view::npos;
  std::size_t end = 0;
};

SectionSpan FindSection(const std::vector<Line>& lines, std::string_view section) {
  SectionSpan span;
  const std::string wanted = Fold(section);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind == LineKind::kHeader && Fold(lines[i].name) == wanted) {
      span.header = i;
      span.end = i + 1;
      while (span.end < lines.size() && lines[span.end].kind != LineKind::kHeader) ++span.end;
      break;
    }
  }
  return span;
}

// Index of the first key line called `key` in the section, or npos.
std::size_t FindKey(const std::vector<Line>& lines, const SectionSpan& span, std::string_view key) {
  if (span.header == std::string_view::npos) return std::string_view::npos;
  const std::string wanted = Fold(key);
  for (std::size_t i = span.header + 1; i < span.end; ++i) {
    if (lines[i].isKey && Fold(lines[i].name) == wanted) return i;
  }
  return std::string_view::npos;
}

// The line after which the section's entries end: its last entry, or its header.
std::size_t LastEntry(const std::vector<Line>& lines, const SectionSpan& span) {
  std::size_t last = span.header;
  for (std::size_t i = span.header + 1; i < span.end; ++i) {
    if (lines[i].kind == LineKind::kEntry) last = i;
  }
  return last;
}

// Stores a string the way the profile functions do: cut to size-1 bytes at a character boundary
// and ended by a NUL.
ProfileBuffer StringResult(std::string_view text, std::size_t size) {
  ProfileBuffer result;
  if (size == 0) return result;
  result.count = CutAtBoundary(text, size - 1);
  result.bytes.assign(text.substr(0, result.count));
  result.bytes.push_back('\0');
  return result;
}

// Stores a list of names, each ending with a NUL, ended by one more NUL.
ProfileBuffer ListResult(const std::vector<std::string_view>& names, std::size_t size) {
  ProfileBuffer result;
  if (size == 0) return result;
  std::string list;
  for (std::string_view name : names) {
    list.append(name);
    list.push_back('\0');
  }
  if (list.empty()) {
    result.bytes.assign(1, '\0');  // a single NUL, as Windows and Wine give it
    return result;
  }
  if (list.size() + 2 <= size) {
    result.count = list.size();
    result.bytes = list;
    result.bytes.push_back('\0');
    return result;
  }
  if (size < 2) {
    result.bytes.assign(size, '\0');
    return result;
  }
  // Cut after size-2 bytes, never inside a double-byte character (names never hold NUL bytes
  // that matter here: a NUL is a single-byte character like any other).
  result.count = size - 2;
  const std::size_t keep = CutAtBoundary(list, result.count);
  result.bytes = list.substr(0, keep);
  result.bytes.resize(size, '\0');
  return result;
}

}  // namespace

std::string TrimDefault(std::string_view defaultValue) {
  std::size_t end = defaultValue.size();
  while (end > 0 && defaultValue[end - 1] == ' ') --end;
  // A space is never a trail byte, so this cannot cut a double-byte character.
  return std::string(defaultValue.substr(0, end));
}

ProfileBuffer ReadProfileBuffer(const std::string* file, const char* section, const char* key,
                                const char* defaultValue, std::size_t size) {
  const std::string fallback = TrimDefault(defaultValue ? defaultValue : "");
  const std::vector<Line> lines = SplitLines(file ? *file : std::string_view());
  if (section == nullptr) {
    std::vector<std::string_view> names;
    for (const Line& line : lines) {
      if (line.kind == LineKind::kHeader && !line.name.empty()) names.push_back(line.name);
    }
    return ListResult(names, size);
  }
  if (file == nullptr) return StringResult(fallback, size);

  const SectionSpan span = FindSection(lines, section);
  if (span.header == std::string_view::npos) return StringResult(fallback, size);
  if (key == nullptr) {
    std::vector<std::string_view> names;
    for (std::size_t i = span.header + 1; i < span.end; ++i) {
      const Line& line = lines[i];
      if (line.isKey && !line.name.empty() && line.name[0] != ';') names.push_back(line.name);
    }
    // A section without keys gives the default, as Wine does (and, we take it, Windows).
    if (names.empty()) return StringResult(fallback, size);
    return ListResult(names, size);
  }
  const std::size_t found = FindKey(lines, span, key);
  if (found == std::string_view::npos) return StringResult(fallback, size);
  return StringResult(Unquote(lines[found].value), size);
}

std::string ReadProfileValue(const std::string* file, std::string_view section,
                             std::string_view key, std::string_view defaultValue) {
  if (file != nullptr) {
    const std::vector<Line> lines = SplitLines(*file);
    const std::size_t found = FindKey(lines, FindSection(lines, section), key);
    if (found != std::string_view::npos) return std::string(Unquote(lines[found].value));
  }
  return TrimDefault(defaultValue);
}

bool WriteProfile(std::string_view file, const char* section, const char* key, const char* value,
                  std::string* updated) {
  if (section == nullptr) return false;
  const std::vector<Line> lines = SplitLines(file);
  const SectionSpan span = FindSection(lines, section);
  std::string out;

  if (span.header == std::string_view::npos) {
    if (key == nullptr || value == nullptr) return false;  // nothing to delete
    out.assign(file);
    if (!out.empty() && out.back() != '\r' && out.back() != '\n') out.append(kLineEnd);
    out.append("[").append(section).append("]").append(kLineEnd);
    out.append(key).append("=").append(value).append(kLineEnd);
    *updated = std::move(out);
    return true;
  }

  if (key == nullptr) {
    const Line& first = lines[span.header];
    const Line& last = lines[LastEntry(lines, span)];
    out.assign(file.substr(0, first.begin));
    out.append(file.substr(last.next));
    *updated = std::move(out);
    return true;
  }

  const std::size_t found = FindKey(lines, span, key);
  if (value == nullptr) {
    if (found == std::string_view::npos) return false;
    out.assign(file.substr(0, lines[found].begin));
    out.append(file.substr(lines[found].next));
    *updated = std::move(out);
    return true;
  }

  if (found != std::string_view::npos) {
    const Line& line = lines[found];
    if (Unquote(line.value) == value) return false;
    out.assign(file.substr(0, line.begin));
    out.append(line.name).append("=").append(value);
    out.append(file.substr(line.end));
  } else {
    const Line& anchor = lines[LastEntry(lines, span)];
    out.assign(file.substr(0, anchor.next));
    if (anchor.next == anchor.end) out.append(kLineEnd);  // the file's last line had no end
    out.append(key).append("=").append(value).append(kLineEnd);
    out.append(file.substr(anchor.next));
  }
  if (out == file) return false;
  *updated = std::move(out);
  return true;
}

}  // namespace koushin::port::posix
