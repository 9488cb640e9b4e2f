// What the two registry file parsers share: UTF-16 text, lines, hex data, and the keys they add.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "port/posix/registry.h"

namespace koushin::port::posix::registry_text {

// Appends code point `c` to `out` as UTF-8.
void AppendUtf8(std::uint32_t c, std::string* out);
// UTF-16 code units to UTF-8; false on an unpaired surrogate.
bool Utf16ToUtf8(const std::vector<std::uint16_t>& units, std::string* out);
// The little-endian code units of `bytes` from `from` on.
std::vector<std::uint16_t> Utf16LeUnits(const std::string& bytes, std::size_t from);
// Lines without their "\n" or "\r\n".
std::vector<std::string> SplitLines(const std::string& text);
std::string TrimLeft(const std::string& text);
bool StartsWithNoCase(const std::string& text, const std::string& prefix);
// The value of a hexadecimal digit, or -1.
int HexDigit(char c);
// The bytes of "hex:01,02,..." data (after the colon); false on anything else.
bool ParseHexBytes(const std::string& text, std::string* bytes);
// Key path (code page 932) made a folded key with its parents added.
void AddKey(const std::string& cp932Path, RegistryData* data, std::string* folded);
// Converts text of the file's encoding (UTF-8 when `utf8`, else code page 932) to code page 932.
bool ToCp932(const std::string& text, bool utf8, std::string* cp932);

}  // namespace koushin::port::posix::registry_text
