#include "host_paths.h"

#ifdef _WIN32
// Three kernel calls, declared here so that the console front end does not pull in <windows.h>.
// C++ streams and <filesystem> are kept out of the Windows build: they bring the run-time
// library's locale machinery, which alone would not fit the program on a floppy disk.
extern "C" __declspec(dllimport) int __stdcall MultiByteToWideChar(unsigned int codePage,
                                                                   unsigned long flags,
                                                                   const char* text, int size,
                                                                   wchar_t* wide, int wideSize);
extern "C" __declspec(dllimport) int __stdcall WideCharToMultiByte(
    unsigned int codePage, unsigned long flags, const wchar_t* wide, int wideSize, char* text,
    int size, const char* defaultChar, int* usedDefault);
extern "C" __declspec(dllimport) unsigned long __stdcall GetFullPathNameW(const wchar_t* name,
                                                                          unsigned long size,
                                                                          wchar_t* buffer,
                                                                          wchar_t** filePart);
#else
#include <filesystem>
#include <system_error>
#endif

namespace koushin::console {

#ifdef _WIN32

namespace {

constexpr unsigned int kUtf8CodePage = 65001;
constexpr unsigned long kInvalidCharsAreErrors = 0x08;  // MB_ERR_INVALID_CHARS

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool ToWide(const std::string& utf8, std::wstring* wide) {
  if (utf8.empty()) return wide->clear(), true;
  const int size = static_cast<int>(utf8.size());
  const int length =
      MultiByteToWideChar(kUtf8CodePage, kInvalidCharsAreErrors, utf8.data(), size, nullptr, 0);
  if (length <= 0) return false;
  wide->assign(static_cast<std::size_t>(length), L'\0');
  return MultiByteToWideChar(kUtf8CodePage, kInvalidCharsAreErrors, utf8.data(), size, &(*wide)[0],
                             length) == length;
}

bool ToUtf8(const std::wstring& wide, std::string* utf8) {
  if (wide.empty()) return utf8->clear(), true;
  const int size = static_cast<int>(wide.size());
  const int length =
      WideCharToMultiByte(kUtf8CodePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return false;
  utf8->assign(static_cast<std::size_t>(length), '\0');
  return WideCharToMultiByte(kUtf8CodePage, 0, wide.data(), size, &(*utf8)[0], length, nullptr,
                             nullptr) == length;
}

// "C:\\x" or "\\\\server\\share": a root name and a root folder.
bool IsAbsolute(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':' && IsSeparator(path[2])) return true;
  if (path.size() < 3 || !IsSeparator(path[0]) || !IsSeparator(path[1]) || IsSeparator(path[2])) {
    return false;
  }
  return path.find_first_of("\\/", 2) != std::string::npos;
}

// The full path as the system resolves it (current drive and folder, "." and ".."); false when
// the path is empty, is not UTF-8 or does not resolve.
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
  if (!ToWide(path, &wide)) return false;
  std::wstring buffer(1024, L'\0');
  unsigned long length = 0;
  for (;;) {
    length = GetFullPathNameW(wide.c_str(), static_cast<unsigned long>(buffer.size()), &buffer[0],
                              nullptr);
    if (length == 0) return false;
    if (length < buffer.size()) break;
    buffer.assign(length, L'\0');  // too small: `length` counts the terminating null
  }
  buffer.resize(length);
  return ToUtf8(buffer, full);
}

}  // namespace

std::string AbsoluteHostPath(const std::string& utf8Path) {
  std::string full;
  return FullPath(utf8Path, &full) ? full : utf8Path;
}

std::string ProgramFolder(const char* argv0) {
  std::string program;
  if (argv0 == nullptr || !FullPath(argv0, &program)) return std::string();
  const std::size_t separator = program.find_last_of("\\/");
  if (separator == std::string::npos) return std::string();
  std::size_t end = separator;
  while (end > 0 && IsSeparator(program[end - 1])) --end;
  // At a root ("C:\\", "\\\\server\\share\\"... ) the separator stays.
  const bool atRoot = end == 0 || (end == 2 && program[1] == ':');
  return program.substr(0, atRoot ? separator + 1 : end);
}

#else

std::string AbsoluteHostPath(const std::string& utf8Path) {
  if (utf8Path.empty()) return utf8Path;
  std::error_code error;
  const std::filesystem::path absolute =
      std::filesystem::absolute(std::filesystem::u8path(utf8Path), error);
  return error ? utf8Path : absolute.u8string();
}

std::string ProgramFolder(const char* argv0) {
  std::error_code error;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) program = std::filesystem::absolute(argv0, error);
  return program.parent_path().u8string();
}

#endif

}  // namespace koushin::console
