// The process and the host on Windows: arguments from the wide command line, host paths through
// the wide API, the program's folder, host files and the console. Host paths here are UTF-8 and
// go to the system as UTF-16, never through the ANSI code page.
#include <windows.h>

#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "port/port.h"
#include "port/win32/wide_text.h"

namespace koushin::port {

namespace {

using win32::MultiByteToWide;
using win32::WideToMultiByte;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool Utf8ToWide(const std::string& utf8, std::wstring* wide) {
  return MultiByteToWide(CP_UTF8, utf8, wide);
}

// Strict where it can be; an unpaired surrogate (which no file name on the media has) becomes
// U+FFFD rather than losing the whole text.
std::string WideToUtf8(const std::wstring& wide) {
  std::string utf8;
  return WideToMultiByte(CP_UTF8, wide, &utf8) ? utf8 : win32::WideToUtf8Lossy(wide);
}

// "C:\\x" or "\\\\server\\share": a root name and a root folder.
bool IsAbsolute(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':' && IsSeparator(path[2])) return true;
  if (path.size() < 3 || !IsSeparator(path[0]) || !IsSeparator(path[1]) || IsSeparator(path[2])) {
    return false;
  }
  return path.find_first_of("\\/", 2) != std::string::npos;
}

// The full path of a wide path as the system resolves it; false when it does not resolve.
bool FullWidePath(const std::wstring& wide, std::wstring* full) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buffer.size()), &buffer[0], nullptr);
    if (length == 0) return false;
    if (length < buffer.size()) {
      buffer.resize(length);
      break;
    }
    buffer.assign(length, L'\0');  // too small: `length` counts the terminating null
  }
  *full = std::move(buffer);
  return true;
}

// The full path of a UTF-8 host path; false when it is empty, not UTF-8 or does not resolve.
bool FullPath(const std::string& utf8Path, std::string* full) {
  if (utf8Path.empty()) return false;
  if (IsAbsolute(utf8Path)) return *full = utf8Path, true;
  std::string path = utf8Path;
  // "\\\\\\x" is a rooted path on the current drive, not a network one: keep one separator.
  if (IsSeparator(path[0])) {
    const std::size_t first = path.find_first_not_of("\\/");
    path.erase(0, (first == std::string::npos ? path.size() : first) - 1);
  }
  std::wstring wide;
  std::wstring wideFull;
  if (!Utf8ToWide(path, &wide) || !FullWidePath(wide, &wideFull)) return false;
  *full = WideToUtf8(wideFull);
  return true;
}

// The path of the running program file, or empty.
std::wstring ModulePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    const DWORD length = GetModuleFileNameW(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::wstring();
    // A full buffer means the name was cut short: try a larger one.
    if (length < buffer.size()) return buffer.substr(0, length);
    buffer.assign(buffer.size() * 2, L'\0');
  }
  return std::wstring();
}

// The folder part of a full path; a root keeps its separator.
std::string FolderOf(const std::string& program) {
  const std::size_t separator = program.find_last_of("\\/");
  if (separator == std::string::npos) return std::string();
  std::size_t end = separator;
  while (end > 0 && IsSeparator(program[end - 1])) --end;
  const bool atRoot = end == 0 || (end == 2 && program[1] == ':');
  return program.substr(0, atRoot ? separator + 1 : end);
}

}  // namespace

std::vector<std::string> ProgramArgumentsUtf8(int argc, char** argv) {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide != nullptr) {
    for (int i = 0; i < count; ++i) arguments.push_back(WideToUtf8(wide[i]));
    LocalFree(wide);
    return arguments;
  }
  // The run-time library's argv is in the ANSI code page.
  for (int i = 0; i < argc && argv != nullptr && argv[i] != nullptr; ++i) {
    std::wstring text;
    MultiByteToWide(CP_ACP, argv[i], &text);
    arguments.push_back(WideToUtf8(text));
  }
  return arguments;
}

std::string AbsoluteHostPath(const std::string& utf8Path) {
  std::string full;
  return FullPath(utf8Path, &full) ? full : utf8Path;
}

std::string HostNameUtf8() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  std::string utf8;
  if (!GetComputerNameW(name, &size) || !WideToMultiByte(CP_UTF8, std::wstring(name, size), &utf8)) {
    return std::string();
  }
  return utf8;
}

std::string ProgramFolderUtf8(const std::string& programArgument) {
  std::string program;
  const std::wstring module = ModulePath();
  if (!module.empty()) {
    program = WideToUtf8(module);
  } else if (!FullPath(programArgument, &program)) {
    return std::string();
  }
  return FolderOf(program);
}

std::FILE* OpenHostFile(const std::string& utf8Path, const char* mode) {
  std::wstring widePath;
  std::wstring wideMode;
  if (utf8Path.empty() || !Utf8ToWide(utf8Path, &widePath) ||
      !MultiByteToWide(CP_UTF8, mode, &wideMode)) {
    return nullptr;
  }
  return _wfopen(widePath.c_str(), wideMode.c_str());
}

bool IsTerminal(std::FILE* stream) {
  if (stream == nullptr) return false;
  const int fd = _fileno(stream);
  if (fd < 0) return false;
  // The null device is a character device too; only a console has a console mode.
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

void UseUtf8Console() {
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
}

}  // namespace koushin::port
