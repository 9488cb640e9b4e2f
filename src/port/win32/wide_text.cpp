// Conversions between code page 932 and UTF-16, and error descriptions, for the Win32 port.
#include "port/win32/wide_text.h"

#include <climits>

namespace koushin::port::win32 {

bool MultiByteToWide(UINT codePage, const std::string& bytes, std::wstring* wide) {
  wide->clear();
  if (bytes.empty()) return true;
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) return false;
  int length = static_cast<int>(bytes.size());
  int needed =
      MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
  if (needed <= 0) return false;
  std::wstring result(static_cast<std::size_t>(needed), L'\0');
  if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length, &result[0],
                          needed) != needed) {
    return false;
  }
  *wide = std::move(result);
  return true;
}

bool WideToMultiByte(UINT codePage, const std::wstring& wide, std::string* bytes) {
  bytes->clear();
  if (wide.empty()) return true;
  if (wide.size() > static_cast<std::size_t>(INT_MAX)) return false;
  int length = static_cast<int>(wide.size());
  // UTF-8 takes neither the best-fit flag nor the used-default report; it has its own strict flag.
  bool utf8 = codePage == CP_UTF8;
  DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* usedDefaultOut = utf8 ? nullptr : &usedDefault;
  int needed = WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, nullptr,
                                   usedDefaultOut);
  if (needed <= 0 || usedDefault) return false;
  std::string result(static_cast<std::size_t>(needed), '\0');
  if (WideCharToMultiByte(codePage, flags, wide.data(), length, &result[0], needed, nullptr,
                          usedDefaultOut) != needed ||
      usedDefault) {
    return false;
  }
  // Some code pages map an unrepresentable character to a look-alike without reporting the
  // default character; only a conversion that comes back unchanged counts.
  if (!utf8) {
    std::wstring back;
    if (!MultiByteToWide(codePage, result, &back) || back != wide) return false;
  }
  *bytes = std::move(result);
  return true;
}

std::string WideToUtf8Lossy(const std::wstring& wide) {
  if (wide.empty() || wide.size() > static_cast<std::size_t>(INT_MAX)) return std::string();
  int length = static_cast<int>(wide.size());
  int needed = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string();
  std::string result(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, &result[0], needed, nullptr, nullptr);
  return result;
}

bool Fail(Error* error, DWORD code, const char* operation, const std::string& path) {
  if (error == nullptr) return false;
  error->hostCode = static_cast<int>(code);
  error->operation = operation;
  error->path = path;
  error->detail.clear();
  wchar_t* message = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&message),
      0, nullptr);
  if (length == 0) {
    length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPWSTR>(&message), 0, nullptr);
  }
  if (length > 0 && message != nullptr) {
    std::wstring text(message, length);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                             text.back() == L'.')) {
      text.pop_back();
    }
    error->detail = WideToUtf8Lossy(text);
  }
  if (message != nullptr) LocalFree(message);
  if (error->detail.empty()) error->detail = "Windows error " + std::to_string(code);
  return false;
}

bool WidePath(const std::string& path, std::wstring* wide, const char* operation, Error* error) {
  if (Cp932ToWide(path, wide)) return true;
  return Fail(error, ERROR_NO_UNICODE_TRANSLATION, operation, path);
}

}  // namespace koushin::port::win32
