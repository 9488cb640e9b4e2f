// File status (times, size, attribute byte), as CFile::GetStatus and SetStatus have it.
#include <windows.h>

#include <cstdint>
#include <string>

#include "port/port.h"
#include "port/win32/handles.h"
#include "port/win32/host_fs.h"
#include "port/win32/wide_text.h"

namespace koushin::port {

namespace {

using win32::AttributesOf;
using win32::Fail;
using win32::FileHandle;
using win32::FromFiletime;
using win32::kSettableAttributes;
using win32::WidePath;

// The attribute bits the port reports: read-only, hidden, system, volume, directory, archive.
// FILE_ATTRIBUTE_NORMAL (0x80, "no other bit") is left out so that both ports agree.
constexpr DWORD kReportedAttributes = 0x3F;

FILETIME ToFiletime(FileTime time) {
  FILETIME result;
  auto value = static_cast<std::uint64_t>(time);
  result.dwLowDateTime = static_cast<DWORD>(value & 0xFFFFFFFFu);
  result.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return result;
}

}  // namespace

bool ReadFileStatus(const std::string& path, FileStatus* status, Error* error) {
  std::wstring wide;
  if (!WidePath(path, &wide, "status", error)) return false;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) {
    return Fail(error, GetLastError(), "status", path);
  }
  status->creationTime = FromFiletime(data.ftCreationTime);
  status->lastWriteTime = FromFiletime(data.ftLastWriteTime);
  status->lastAccessTime = FromFiletime(data.ftLastAccessTime);
  status->size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  status->attributes = static_cast<std::uint8_t>(data.dwFileAttributes & kReportedAttributes);
  return true;
}

bool WriteFileStatus(const std::string& path, const FileStatus& status, Error* error) {
  if (FaultInjected(path, "write status of", error)) return false;
  std::wstring wide;
  if (!WidePath(path, &wide, "set status", error)) return false;
  DWORD current = AttributesOf(wide);
  if (current == INVALID_FILE_ATTRIBUTES) return Fail(error, GetLastError(), "set status", path);
  DWORD wanted = status.attributes & kSettableAttributes;
  // Times first, on a file that is not read-only at that moment; the attribute byte last.
  if (current & FILE_ATTRIBUTE_READONLY) {
    SetFileAttributesW(wide.c_str(), (current & kSettableAttributes) & ~FILE_ATTRIBUTE_READONLY);
  }
  if (status.creationTime != 0 || status.lastAccessTime != 0 || status.lastWriteTime != 0) {
    FileHandle file(CreateFileW(wide.c_str(), FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    FILETIME creation = ToFiletime(status.creationTime);
    FILETIME access = ToFiletime(status.lastAccessTime);
    FILETIME write = ToFiletime(status.lastWriteTime);
    if (!file.IsValid() || !SetFileTime(file.Get(), status.creationTime != 0 ? &creation : nullptr,
                                        status.lastAccessTime != 0 ? &access : nullptr,
                                        status.lastWriteTime != 0 ? &write : nullptr)) {
      DWORD code = GetLastError();
      file.Reset();
      SetFileAttributesW(wide.c_str(), current & kSettableAttributes);
      return Fail(error, code, "set status", path);
    }
  }
  if (!SetFileAttributesW(wide.c_str(), wanted == 0 ? FILE_ATTRIBUTE_NORMAL : wanted)) {
    return Fail(error, GetLastError(), "set status", path);
  }
  return true;
}

}  // namespace koushin::port
