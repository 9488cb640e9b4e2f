// A file opened without sharing (share mode 0), so that no other program writes it meanwhile.
#include <windows.h>

#include <cstdint>
#include <string>

#include "port/port.h"
#include "port/win32/host_fs.h"
#include "port/win32/wide_text.h"

namespace koushin::port {

using win32::Fail;
using win32::FromFiletime;
using win32::ReadAllFrom;
using win32::WidePath;

ExclusiveFile::ExclusiveFile() : handle_(reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE)) {}

ExclusiveFile::~ExclusiveFile() { Close(); }

bool ExclusiveFile::Open(const std::string& path, bool writable, Error* error) {
  Close();
  std::wstring wide;
  if (!WidePath(path, &wide, "open", error)) return false;
  // Windows refuses write access to a read-only file; Wine does not, so the rule is kept here.
  const DWORD attributes = win32::AttributesOf(wide);
  if (writable && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    return Fail(error, ERROR_ACCESS_DENIED, "open", path);
  }
  DWORD access = GENERIC_READ | (writable ? GENERIC_WRITE : 0);
  HANDLE file = CreateFileW(wide.c_str(), access, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Fail(error, GetLastError(), "open", path);
  handle_ = reinterpret_cast<std::intptr_t>(file);
  path_ = path;
  return true;
}

bool HeldByAnother(const Error& error) {
  return error.hostCode == ERROR_SHARING_VIOLATION || error.hostCode == ERROR_LOCK_VIOLATION;
}

bool ExclusiveFile::ReadAll(std::string* bytes, Error* error) {
  bytes->clear();
  if (!IsOpen()) return Fail(error, ERROR_INVALID_HANDLE, "read", path_);
  HANDLE file = reinterpret_cast<HANDLE>(handle_);
  LARGE_INTEGER start;
  start.QuadPart = 0;
  DWORD code = 0;
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) {
    return Fail(error, GetLastError(), "read", path_);
  }
  if (!ReadAllFrom(file, bytes, &code)) {
    bytes->clear();
    return Fail(error, code, "read", path_);
  }
  return true;
}

bool ExclusiveFile::LastWriteTime(FileTime* time, Error* error) {
  if (!IsOpen()) return Fail(error, ERROR_INVALID_HANDLE, "file time", path_);
  FILETIME write;
  if (!GetFileTime(reinterpret_cast<HANDLE>(handle_), nullptr, nullptr, &write)) {
    return Fail(error, GetLastError(), "file time", path_);
  }
  *time = FromFiletime(write);
  return true;
}

void ExclusiveFile::Close() {
  if (IsOpen()) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
}

bool ExclusiveFile::IsOpen() const {
  return handle_ != reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE) && handle_ != 0;
}

}  // namespace koushin::port
