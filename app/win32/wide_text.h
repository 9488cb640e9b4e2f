// Conversion between code page 932 byte strings and the wide (UTF-16) text the Windows API takes.
// The conversion is explicit so that the wizard works the same on a Windows whose ANSI code page
// is not 932.
#pragma once

#include <string>
#include <string_view>

namespace koushin::win32 {

// Code page 932 bytes to UTF-16. Bytes that do not convert become the code page's default
// character, so a broken name still shows as far as it can.
std::wstring WideFromCp932(std::string_view cp932);

// UTF-16 to code page 932. Characters the code page lacks become '?'.
std::string Cp932FromWide(std::wstring_view wide);

// UTF-16 to code page 932 exactly: false when a character has no code page 932 form (no '?' and
// no look-alike stands in for it), so that a path never silently names another file.
bool Cp932FromWideExactly(std::wstring_view wide, std::string* cp932);

}  // namespace koushin::win32
