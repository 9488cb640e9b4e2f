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

bool Cp932FromWideExactly(std::wstring_view wide, std::string* cp932) {
  cp932->clear();
  if (wide.empty()) return true;
  const int size = static_cast<int>(wide.size());
  BOOL usedDefault = FALSE;
  const int count = WideCharToMultiByte(kCodePage932, WC_NO_BEST_FIT_CHARS, wide.data(), size,
                                        nullptr, 0, nullptr, &usedDefault);
  if (count <= 0 || usedDefault) return false;
  cp932->assign(static_cast<std::size_t>(count), '\0');
  usedDefault = FALSE;
  const int written = WideCharToMultiByte(kCodePage932, WC_NO_BEST_FIT_CHARS, wide.data(), size,
                                          cp932->data(), count, nullptr, &usedDefault);
  return written == count && !usedDefault;
}

}  // namespace koushin::win32
