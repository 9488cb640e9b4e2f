// Code page 932 <-> UTF-8 through UTF-16, with both code pages named explicitly, so that the
// machine's ANSI code page plays no part.
#include <windows.h>

#include <string>

#include "port/port.h"
#include "port/win32/wide_text.h"
#include "text/cp932.h"

namespace koushin::port {

bool Cp932ToUtf8(const std::string& cp932, std::string* utf8) {
  std::wstring wide;
  utf8->clear();
  return win32::Cp932ToWide(cp932, &wide) && win32::WideToMultiByte(CP_UTF8, wide, utf8);
}

bool Utf8ToCp932(const std::string& utf8, std::string* cp932) {
  std::wstring wide;
  cp932->clear();
  return win32::MultiByteToWide(CP_UTF8, utf8, &wide) && win32::WideToCp932(wide, cp932);
}

std::string Cp932ToUtf8Lossy(const std::string& cp932) {
  std::string utf8;
  if (Cp932ToUtf8(cp932, &utf8)) return utf8;
  // Character by character; a character that does not convert becomes '?', and only its first
  // byte is dropped, so that an ASCII byte after a stray lead byte survives (as on POSIX).
  utf8.clear();
  for (std::size_t pos = 0; pos < cp932.size();) {
    const std::size_t length = text::CharLength(cp932, pos);
    std::string piece;
    if (Cp932ToUtf8(cp932.substr(pos, length), &piece)) {
      utf8 += piece;
      pos += length;
    } else {
      utf8 += '?';
      ++pos;
    }
  }
  return utf8;
}

}  // namespace koushin::port
