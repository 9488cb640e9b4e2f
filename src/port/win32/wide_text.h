// Conversions between the port's code page 932 byte strings and the UTF-16 of the wide-character
// Windows API, done with code page 932 named explicitly, so that they do not depend on the ANSI
// code page of the machine; and the filling of port::Error from a Win32 error code.
#pragma once

#include <windows.h>

#include <string>

#include "port/port.h"

namespace koushin::port::win32 {

constexpr UINT kCodePage932 = 932;

// Strict conversions: a byte sequence (or a UTF-16 character) that code page `codePage` cannot
// represent gives false and leaves nothing half-converted behind. No best-fit substitutes.
bool MultiByteToWide(UINT codePage, const std::string& bytes, std::wstring* wide);
bool WideToMultiByte(UINT codePage, const std::wstring& wide, std::string* bytes);

inline bool Cp932ToWide(const std::string& cp932, std::wstring* wide) {
  return MultiByteToWide(kCodePage932, cp932, wide);
}
inline bool WideToCp932(const std::wstring& wide, std::string* cp932) {
  return WideToMultiByte(kCodePage932, wide, cp932);
}

// UTF-16 to UTF-8 for logs and messages; unpaired surrogates become U+FFFD.
std::string WideToUtf8Lossy(const std::wstring& wide);

// Fills `error` (when not null) with the code, the operation, the Windows path and the system's
// own description of the code. Returns false so that callers can `return Fail(...)`.
bool Fail(Error* error, DWORD code, const char* operation, const std::string& path);

// Converts a path for the wide API; on failure fills `error` with ERROR_NO_UNICODE_TRANSLATION.
bool WidePath(const std::string& path, std::wstring* wide, const char* operation, Error* error);

}  // namespace koushin::port::win32
