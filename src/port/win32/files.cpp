// Files and folders on the Windows API: existence, folders, copies and renames that never tear
// the target, whole-file reads and writes. Every replacement goes through a temporary file in the
// target's folder.
#include <windows.h>

#include <algorithm>
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
using win32::kSettableAttributes;
using win32::ReadAllFrom;
using win32::WidePath;

// Creates an empty, uniquely named temporary file in the folder of `target`, so that renaming it
// over the target stays on one volume and is atomic.
bool MakeTempFileBeside(const std::wstring& target, std::wstring* temp, DWORD* code) {
  DWORD needed = GetFullPathNameW(target.c_str(), 0, nullptr, nullptr);
  if (needed == 0) {
    *code = GetLastError();
    return false;
  }
  std::wstring full(needed, L'\0');
  DWORD length = GetFullPathNameW(target.c_str(), needed, &full[0], nullptr);
  if (length == 0 || length >= needed) {
    *code = length == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
    return false;
  }
  full.resize(length);
  std::size_t slash = full.find_last_of(L"\\/");
  if (slash == std::wstring::npos) {
    *code = ERROR_INVALID_NAME;
    return false;
  }
  std::wstring folder = full.substr(0, slash + 1);
  wchar_t name[MAX_PATH + 1];
  if (GetTempFileNameW(folder.c_str(), L"kst", 0, name) == 0) {
    // A missing folder is said as the copy itself would say it, not as "not a directory".
    *code = GetLastError();
    if (*code == ERROR_DIRECTORY) *code = ERROR_PATH_NOT_FOUND;
    return false;
  }
  *temp = name;
  return true;
}

// Deletes a temporary file, read-only or not; used on the way out of a failed replace.
void DiscardTemp(const std::wstring& temp) {
  SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(temp.c_str());
}

bool WriteAllTo(HANDLE file, const std::string& bytes, DWORD* code) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      *code = GetLastError();
      if (*code == 0) *code = ERROR_WRITE_FAULT;
      return false;
    }
    done += written;
  }
  if (!FlushFileBuffers(file)) {
    *code = GetLastError();
    return false;
  }
  return true;
}

// Moves a finished temporary file over the target; the target must not be read-only, as for
// CopyFile and for any write over a read-only file on Windows.
bool MoveOver(const std::wstring& temp, const std::wstring& target, DWORD* code) {
  if (!MoveFileExW(temp.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    *code = GetLastError();
    return false;
  }
  return true;
}

}  // namespace

bool PathExists(const std::string& path) {
  std::wstring wide;
  return win32::Cp932ToWide(path, &wide) && AttributesOf(wide) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::string& path) {
  std::wstring wide;
  if (!win32::Cp932ToWide(path, &wide)) return false;
  DWORD attributes = AttributesOf(wide);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeFolder(const std::string& path, Error* error) {
  if (FaultInjected(path, "create folder", error)) return false;
  std::wstring wide;
  if (!WidePath(path, &wide, "make folder", error)) return false;
  if (!CreateDirectoryW(wide.c_str(), nullptr)) {
    return Fail(error, GetLastError(), "make folder", path);
  }
  return true;
}

bool CopyFileReplacing(const std::string& from, const std::string& to, Error* error) {
  if (FaultInjected(to, "copy to", error)) return false;
  std::wstring source, target;
  if (!WidePath(from, &source, "copy", error) || !WidePath(to, &target, "copy", error)) {
    return false;
  }
  WIN32_FILE_ATTRIBUTE_DATA sourceData;
  if (!GetFileAttributesExW(source.c_str(), GetFileExInfoStandard, &sourceData)) {
    return Fail(error, GetLastError(), "copy", from);
  }
  if (sourceData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    return Fail(error, ERROR_ACCESS_DENIED, "copy", from);
  }
  // CopyFile refuses to replace a read-only or hidden file, or a folder.
  DWORD targetAttributes = AttributesOf(target);
  if (targetAttributes != INVALID_FILE_ATTRIBUTES &&
      (targetAttributes &
       (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY))) {
    return Fail(error, ERROR_ACCESS_DENIED, "copy", to);
  }
  std::wstring temp;
  DWORD code = 0;
  if (!MakeTempFileBeside(target, &temp, &code)) return Fail(error, code, "copy", to);
  if (!CopyFileW(source.c_str(), temp.c_str(), FALSE)) {
    code = GetLastError();
    DiscardTemp(temp);
    return Fail(error, code, "copy", from);
  }
  // CopyFile does not flush; reopen the copy to push it to the disk, then give it the source's
  // last-write time and attribute byte, as CopyFile does on Windows (Wine's CopyFile drops the
  // read-only bit, so the attributes are set here from the source).
  SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
  {
    FileHandle file(CreateFileW(temp.c_str(), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid() || !FlushFileBuffers(file.Get()) ||
        !SetFileTime(file.Get(), nullptr, nullptr, &sourceData.ftLastWriteTime)) {
      code = GetLastError();
      file.Reset();
      DiscardTemp(temp);
      return Fail(error, code, "copy", to);
    }
  }
  DWORD kept = sourceData.dwFileAttributes & kSettableAttributes;
  SetFileAttributesW(temp.c_str(), kept == 0 ? FILE_ATTRIBUTE_NORMAL : kept);
  if (!MoveOver(temp, target, &code)) {
    DiscardTemp(temp);
    return Fail(error, code, "copy", to);
  }
  return true;
}

bool RemoveFile(const std::string& path, Error* error) {
  if (FaultInjected(path, "delete", error)) return false;
  std::wstring wide;
  if (!WidePath(path, &wide, "remove", error)) return false;
  // Windows refuses to delete a read-only file; Wine does not, so the rule is kept here.
  DWORD attributes = AttributesOf(wide);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
      !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return Fail(error, ERROR_ACCESS_DENIED, "remove", path);
  }
  if (!DeleteFileW(wide.c_str())) return Fail(error, GetLastError(), "remove", path);
  return true;
}

bool RemoveFolder(const std::string& path, Error* error) {
  if (FaultInjected(path, "remove folder", error)) return false;
  std::wstring wide;
  if (!WidePath(path, &wide, "remove folder", error)) return false;
  if (!RemoveDirectoryW(wide.c_str())) return Fail(error, GetLastError(), "remove folder", path);
  return true;
}

bool MakeHardLink(const std::string& existing, const std::string& link, Error* error) {
  NoteOperationSource(existing);
  if (FaultInjected(link, "link", error)) return false;
  std::wstring wideExisting, wideLink;
  if (!WidePath(existing, &wideExisting, "link", error) ||
      !WidePath(link, &wideLink, "link", error)) {
    return false;
  }
  if (!CreateHardLinkW(wideLink.c_str(), wideExisting.c_str(), nullptr)) {
    return Fail(error, GetLastError(), "link", link);
  }
  return true;
}

bool IsLinkOrMountPoint(const std::string& path) {
  std::wstring wide;
  if (!WidePath(path, &wide, "test", nullptr)) return true;
  while (wide.size() > 3 && (wide.back() == L'\\' || wide.back() == L'/')) wide.pop_back();
  const DWORD attributes = AttributesOf(wide);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = GetLastError();
    return code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND;
  }
  // Junctions, volume mount points and symbolic links are all reparse points.
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool RenameReplacing(const std::string& from, const std::string& to, Error* error, bool) {
  // MoveOver writes the rename through, so it is lasting when this returns, synced or not.
  NoteOperationSource(from, true);
  if (FaultInjected(to, "rename to", error)) return false;
  std::wstring source, target;
  if (!WidePath(from, &source, "rename", error) || !WidePath(to, &target, "rename", error)) {
    return false;
  }
  // Windows refuses to replace a read-only file; Wine does not, so the rule is kept here.
  DWORD targetAttributes = AttributesOf(target);
  if (targetAttributes != INVALID_FILE_ATTRIBUTES && (targetAttributes & FILE_ATTRIBUTE_READONLY)) {
    return Fail(error, ERROR_ACCESS_DENIED, "rename", to);
  }
  DWORD code = 0;
  if (!MoveOver(source, target, &code)) return Fail(error, code, "rename", to);
  return true;
}

bool SyncFolder(const std::string& folder, Error* error) {
  // MoveFileEx writes each rename through (MOVEFILE_WRITE_THROUGH); there is nothing left to do.
  return !FaultInjected(folder, "flush", error);
}

bool ReadWholeFile(const std::string& path, std::string* bytes, Error* error) {
  bytes->clear();
  std::wstring wide;
  if (!WidePath(path, &wide, "read", error)) return false;
  FileHandle file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) return Fail(error, GetLastError(), "read", path);
  DWORD code = 0;
  if (!ReadAllFrom(file.Get(), bytes, &code)) {
    bytes->clear();
    return Fail(error, code, "read", path);
  }
  return true;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes, Error* error) {
  if (FaultInjected(path, "write", error)) return false;
  std::wstring wide;
  if (!WidePath(path, &wide, "write", error)) return false;
  // Windows refuses to write over a read-only file; Wine does not, so the rule is kept here.
  const DWORD attributes = AttributesOf(wide);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    return Fail(error, ERROR_ACCESS_DENIED, "write", path);
  }
  FileHandle file(CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) return Fail(error, GetLastError(), "write", path);
  DWORD code = 0;
  if (!WriteAllTo(file.Get(), bytes, &code)) return Fail(error, code, "write", path);
  if (!file.Reset()) return Fail(error, GetLastError(), "write", path);
  return true;
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes, Error* error) {
  if (FaultInjected(path, "write", error)) return false;
  std::wstring target;
  if (!WidePath(path, &target, "write", error)) return false;
  DWORD targetAttributes = AttributesOf(target);
  if (targetAttributes != INVALID_FILE_ATTRIBUTES &&
      (targetAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
    return Fail(error, ERROR_ACCESS_DENIED, "write", path);
  }
  std::wstring temp;
  DWORD code = 0;
  if (!MakeTempFileBeside(target, &temp, &code)) return Fail(error, code, "write", path);
  {
    FileHandle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid() || !WriteAllTo(file.Get(), bytes, &code) || !file.Reset()) {
      if (code == 0) code = GetLastError();
      file.Reset();
      DiscardTemp(temp);
      return Fail(error, code, "write", path);
    }
  }
  // The new file keeps the attribute byte of the one it replaces.
  if (targetAttributes != INVALID_FILE_ATTRIBUTES) {
    DWORD kept = targetAttributes & kSettableAttributes;
    SetFileAttributesW(temp.c_str(), kept == 0 ? FILE_ATTRIBUTE_NORMAL : kept);
  }
  if (!MoveOver(temp, target, &code)) {
    DiscardTemp(temp);
    return Fail(error, code, "write", path);
  }
  return true;
}

}  // namespace koushin::port
