#include "wide_text.h"

#include <windows.h>

namespace koushin::win32 {

namespace {
constexpr UINT kCodePage932 = 932;
}

std::wstring WideFromCp932(std::string_view cp932) {
  if (cp932.empty()) return std::wstring();
  const int size = static_cast<int>(cp932.size());
  const int count = MultiByteToWideChar(kCodePage932, 0, cp932.data(), size, nullptr, 0);
  if (count <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(count), L'\0');
  MultiByteToWideChar(kCodePage932, 0, cp932.data(), size, wide.data(), count);
  return wide;
}

std::string Cp932FromWide(std::wstring_view wide) {
  if (wide.empty()) return std::string();
  const int size = static_cast<int>(wide.size());
  const int count =
      WideCharToMultiByte(kCodePage932, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (count <= 0) return std::string();
  std::string bytes(static_cast<std::size_t>(count), '\0');
  WideCharToMultiByte(kCodePage932, 0, wide.data(), size, bytes.data(), count, nullptr, nullptr);
  return bytes;
}

}  // namespace koushin::win32
