// Internals of the Win32 port shared between its file modules: times and attribute bytes as the
// port reports them, and whole-handle reads.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "port/port.h"

namespace koushin::port::win32 {

// The bits SetFileAttributes accepts from an attribute byte.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// A FILETIME as the port's FileTime, the same 100-nanosecond count.
inline FileTime FromFiletime(const FILETIME& time) {
  return static_cast<FileTime>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                               time.dwLowDateTime);
}

// The attributes of an existing file, or INVALID_FILE_ATTRIBUTES.
inline DWORD AttributesOf(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

// Reads from the handle's position to the end; on failure `code` holds the error.
bool ReadAllFrom(HANDLE file, std::string* bytes, DWORD* code);

}  // namespace koushin::port::win32
