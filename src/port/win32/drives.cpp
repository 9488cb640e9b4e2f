// Drives, per-drive current folders, drive types and the Windows folder, on the Windows API.
//
// Windows keeps one current folder per process; the current folder of every other drive lives in
// the hidden environment variables "=C:", "=D:", ... that the run-time library's _chdir and
// _chdrive maintain and that GetFullPathName consults for "D:" and "D:name". We record them
// ourselves after every change, so the behaviour does not depend on which run-time library the
// program is linked with (msvcrt, ucrt, or Wine's).
#include <direct.h>
#include <windows.h>

#include <string>
#include <vector>

#include "port/port.h"
#include "port/win32/wide_text.h"

namespace koushin::port {

namespace {

// Stores the process's current folder as its drive's remembered folder.
void RememberCurrentFolder() {
  wchar_t buffer[MAX_PATH + 1];
  DWORD length = GetCurrentDirectoryW(MAX_PATH + 1, buffer);
  if (length < 2 || length > MAX_PATH || buffer[1] != L':') return;  // UNC or failure
  wchar_t name[] = L"=A:";
  wchar_t letter = buffer[0];
  if (letter >= L'a' && letter <= L'z') letter = static_cast<wchar_t>(letter - L'a' + L'A');
  name[1] = letter;
  SetEnvironmentVariableW(name, buffer);
}

// The root ("X:\\" or "\\\\server\\share\\") of the drive a path lies on; empty for a path on
// the current drive.
std::wstring RootOf(const std::wstring& path) {
  if (path.size() >= 2 && path[1] == L':') return path.substr(0, 2) + L"\\";
  bool unc = path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') &&
             (path[1] == L'\\' || path[1] == L'/');
  if (!unc) return std::wstring();
  // \\server\share\ : the fourth separator ends the root.
  std::size_t separators = 2;
  std::wstring root = L"\\\\";
  for (std::size_t i = 2; i < path.size(); ++i) {
    wchar_t ch = path[i];
    if (ch == L'\\' || ch == L'/') {
      root += L'\\';
      if (++separators == 4) return root;
    } else {
      root += ch;
    }
  }
  return root + L'\\';
}

}  // namespace

bool Configure(const Options&, Error*) { return true; }

int CurrentDrive() { return _getdrive(); }

bool ChangeDrive(int number) {
  if (number < 1 || number > 26) return false;
  RememberCurrentFolder();
  if (_chdrive(number) != 0) return false;
  RememberCurrentFolder();
  return true;
}

bool ChangeFolder(const std::string& path, Error* error) {
  std::wstring wide;
  if (!win32::WidePath(path, &wide, "change folder", error)) return false;
  RememberCurrentFolder();
  if (_wchdir(wide.c_str()) != 0) {
    DWORD code = GetLastError();
    return win32::Fail(error, code != 0 ? code : ERROR_PATH_NOT_FOUND, "change folder", path);
  }
  RememberCurrentFolder();
  return true;
}

std::string CurrentFolder() {
  wchar_t* folder = _wgetcwd(nullptr, 0);
  if (folder == nullptr) return std::string();
  std::wstring wide(folder);
  free(folder);
  std::string result;
  if (!win32::WideToCp932(wide, &result)) return std::string();
  return result;
}

std::vector<char> AvailableDrives() {
  std::vector<char> drives;
  DWORD mask = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (mask & (1u << i)) drives.push_back(static_cast<char>('a' + i));
  }
  return drives;
}

int DriveTypeOf(const std::string& path) {
  std::wstring wide;
  if (!win32::Cp932ToWide(path, &wide)) return DRIVE_NO_ROOT_DIR;
  std::wstring root = RootOf(wide);
  return static_cast<int>(GetDriveTypeW(root.empty() ? nullptr : root.c_str()));
}

std::string WindowsFolder() {
  std::wstring buffer(MAX_PATH + 1, L'\0');
  UINT length = GetWindowsDirectoryW(&buffer[0], static_cast<UINT>(buffer.size()));
  if (length > buffer.size()) {
    buffer.assign(length + 1, L'\0');
    length = GetWindowsDirectoryW(&buffer[0], static_cast<UINT>(buffer.size()));
  }
  if (length == 0 || length > buffer.size()) return std::string();
  buffer.resize(length);
  if (buffer.size() > 3 && buffer.back() == L'\\') buffer.pop_back();
  std::string result;
  if (!win32::WideToCp932(buffer, &result)) return std::string();
  return result;
}

}  // namespace koushin::port
