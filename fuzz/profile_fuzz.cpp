// Fuzzes the profile engine: reads of every kind and size, and writes, over arbitrary file bytes.
// Input: one control byte, then four fields separated by 0x01 bytes (section, key, value, file).
// The control byte picks the read buffer size and which of section, key and value are null.
// Besides crashes it checks what must always hold: a read stores no more than the buffer holds and
// ends its text with a NUL and agrees with the whole-value read; a write of a plain key and
// value reads back as written, and leaves the value of a key in another section as it was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "port/posix/profile_engine.h"

namespace {

using koushin::port::posix::ProfileBuffer;
using koushin::port::posix::ReadProfileBuffer;
using koushin::port::posix::ReadProfileValue;
using koushin::port::posix::WriteProfile;

void Check(bool condition) {
  if (!condition) std::abort();
}

// A name or value the file can hold as written: one line, no blanks at its ends, no quotes around
// it, and nothing that would turn its line into a header or end a name early.
bool Plain(const std::string& text, bool isName) {
  if (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.back() == ' ' ||
                        text.back() == '\t' || text.front() == '"' || text.front() == '\'')) {
    return false;
  }
  bool loneLead = false;  // the text ends with a lead byte that would pair with what follows
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\r' || c == '\n' || c == 0) return false;
    if (isName && (c == '=' || c == '[' || c == ']')) return false;
    const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    if (lead && i + 1 < text.size()) {
      const auto trail = static_cast<unsigned char>(text[i + 1]);
      if (trail >= 0x40 && trail <= 0xFC && trail != 0x7F) {
        ++i;
        continue;
      }
    }
    loneLead = lead && i + 1 == text.size();
  }
  return !(isName && loneLead);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t control = data[0];
  std::vector<std::string> fields(1);
  for (std::size_t i = 1; i < size; ++i) {
    if (data[i] == 0x01 && fields.size() < 4) {
      fields.emplace_back();
    } else {
      fields.back().push_back(static_cast<char>(data[i]));
    }
  }
  fields.resize(4);
  const std::string& section = fields[0];
  const std::string& key = fields[1];
  const std::string& value = fields[2];
  const std::string& file = fields[3];
  const char* sectionArg = (control & 0x40) ? nullptr : section.c_str();
  const char* keyArg = (control & 0x80) ? nullptr : key.c_str();
  const char* valueArg = (control & 0x20) ? nullptr : value.c_str();
  const std::size_t bufferSize = control & 0x1F;

  const ProfileBuffer read =
      ReadProfileBuffer(&file, sectionArg, keyArg, value.c_str(), bufferSize);
  Check(read.bytes.size() <= bufferSize);
  if (bufferSize > 0) {
    Check(read.count < bufferSize);
    Check(read.bytes.size() > read.count && read.bytes[read.count] == '\0');
  }
  if (sectionArg && keyArg && bufferSize > 0) {
    // The whole-value read and the buffer read agree whenever the value fits.
    const std::string whole = ReadProfileValue(&file, sectionArg, keyArg, value.c_str());
    if (whole.size() < bufferSize) Check(read.bytes == whole + '\0' && read.count == whole.size());
  }
  ReadProfileBuffer(nullptr, sectionArg, keyArg, valueArg, bufferSize);

  std::string updated;
  const bool changed = WriteProfile(file, sectionArg, keyArg, valueArg, &updated);
  if (sectionArg == nullptr) Check(!changed);
  const std::string& after = changed ? updated : file;
  const bool plain = Plain(section, true) && Plain(key, true) && Plain(value, false);
  if (sectionArg && keyArg && valueArg && plain) {
    Check(ReadProfileValue(&after, section, key, "\x01") == value);
  }
  if (changed && sectionArg && keyArg && plain && section != "\x02") {
    // An unrelated key in the same file keeps its value.
    Check(ReadProfileValue(&file, "\x02", "k", "d") == ReadProfileValue(&after, "\x02", "k", "d"));
  }
  return 0;
}
