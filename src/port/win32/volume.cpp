// The volume a path lies on: its root as its identity, the free space this program may use, and
// whether it keeps hard links.
#include <windows.h>

#include <string>

#include "port/port.h"
#include "port/win32/handles.h"
#include "port/win32/wide_text.h"

namespace koushin::port {

namespace {

std::wstring FullPath(const std::wstring& path) {
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
  if (length == 0 || length >= needed) return path;
  full.resize(length);
  return full;
}

}  // namespace

bool QueryVolume(const std::string& path, VolumeInfo* info, Error* error) {
  *info = VolumeInfo();
  std::wstring wide;
  if (!win32::WidePath(path, &wide, "query volume of", error)) return false;
  // A file or folder the run has yet to create lies on the volume of its nearest existing folder.
  std::wstring existing = FullPath(wide);
  while (GetFileAttributesW(existing.c_str()) == INVALID_FILE_ATTRIBUTES) {
    while (existing.size() > 3 && (existing.back() == L'\\' || existing.back() == L'/')) {
      existing.pop_back();
    }
    const std::size_t cut = existing.find_last_of(L"\\/");
    if (cut == std::wstring::npos || existing.size() <= 3) {
      return win32::Fail(error, GetLastError(), "query volume of", path);
    }
    existing.resize(cut + 1);
  }
  wchar_t root[MAX_PATH + 1] = {};
  if (!GetVolumePathNameW(existing.c_str(), root, MAX_PATH)) {
    return win32::Fail(error, GetLastError(), "query volume of", path);
  }
  ULARGE_INTEGER freeToCaller{}, total{}, totalFree{};
  if (!GetDiskFreeSpaceExW(root, &freeToCaller, &total, &totalFree)) {
    return win32::Fail(error, GetLastError(), "query free space of", path);
  }
  // Asked through a handle, so that only the file system's flags are read, not its label.
  DWORD flags = 0;
  win32::FileHandle folder(CreateFileW(existing.c_str(), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                       nullptr));
  if (!folder.IsValid() || !GetVolumeInformationByHandleW(folder.Get(), nullptr, 0, nullptr,
                                                          nullptr, &flags, nullptr, 0)) {
    flags = 0;
  }
  CharUpperW(root);
  info->id = win32::WideToUtf8Lossy(root);
  info->freeBytes = freeToCaller.QuadPart;
  info->hardLinks = (flags & FILE_SUPPORTS_HARD_LINKS) != 0;
  return true;
}

}  // namespace koushin::port
