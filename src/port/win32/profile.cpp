// The profile (INI) services through the kernel's own GetPrivateProfileStringW and
// WritePrivateProfileStringW.
//
// Which code page the text goes through: the kernel reads and writes a profile file without a
// byte-order mark in the ANSI code page, whatever we pass it. So section names, keys and values
// are converted with the code page the kernel will use for the file's bytes, and the results are
// converted back with it: on a machine whose ANSI code page is 932 that is code page 932; on one
// whose ANSI code page is a single-byte code page that carries every byte through unchanged (1252
// and its kind) it is that code page, so the bytes of the file reach the caller exactly as they
// are stored, and the code page 932 rules (double-byte characters) are applied to those bytes
// here. Converting with 932 on such a machine would turn every Japanese value into nonsense.
// The file name, by contrast, is a path, converted from code page 932 like every other path.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "port/port.h"
#include "port/win32/wide_text.h"
#include "text/cp932.h"

namespace koushin::port {

namespace {

// True when every byte 0x01-0xFF decodes to one UTF-16 unit and encodes back to itself.
bool CarriesEveryByte(UINT codePage) {
  CPINFO info;
  if (!GetCPInfo(codePage, &info) || info.MaxCharSize != 1) return false;
  for (int value = 1; value < 256; ++value) {
    char byte = static_cast<char>(value);
    wchar_t wide = 0;
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, &byte, 1, &wide, 1) != 1) {
      return false;
    }
    char back = 0;
    BOOL usedDefault = FALSE;
    if (WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, &wide, 1, &back, 1, nullptr,
                            &usedDefault) != 1 ||
        usedDefault || back != byte) {
      return false;
    }
  }
  return true;
}

// The code page the kernel's profile functions use for the bytes of a file (see above). On a
// machine with another multi-byte ANSI code page no choice keeps the bytes; 932 keeps at least
// the ASCII names and values right.
UINT ProfileCodePage() {
  static const UINT codePage = [] {
    UINT ansi = GetACP();
    if (ansi == win32::kCodePage932 || CarriesEveryByte(ansi)) return ansi;
    return win32::kCodePage932;
  }();
  return codePage;
}

// As the A functions convert: what does not convert becomes the code page's default character.
std::wstring ToProfileText(const char* bytes) {
  std::wstring wide;
  int length = static_cast<int>(std::strlen(bytes));
  if (length == 0) return wide;
  int needed = MultiByteToWideChar(ProfileCodePage(), 0, bytes, length, nullptr, 0);
  if (needed <= 0) return wide;
  wide.resize(static_cast<std::size_t>(needed));
  MultiByteToWideChar(ProfileCodePage(), 0, bytes, length, &wide[0], needed);
  return wide;
}

std::string FromProfileText(const std::wstring& wide) {
  std::string bytes;
  if (wide.empty()) return bytes;
  int length = static_cast<int>(wide.size());
  int needed =
      WideCharToMultiByte(ProfileCodePage(), 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return bytes;
  bytes.resize(static_cast<std::size_t>(needed));
  WideCharToMultiByte(ProfileCodePage(), 0, wide.data(), length, &bytes[0], needed, nullptr,
                      nullptr);
  return bytes;
}

// The optional arguments of the profile calls: null stays null.
struct OptionalText {
  explicit OptionalText(const char* bytes) : present(bytes != nullptr) {
    if (present) text = ToProfileText(bytes);
  }
  const wchar_t* Get() const { return present ? text.c_str() : nullptr; }
  bool present;
  std::wstring text;
};

// Calls GetPrivateProfileStringW with a buffer that grows until the whole answer fits. A list of
// names comes back as the names, each followed by its NUL, without the final extra NUL.
std::wstring ReadThroughKernel(const OptionalText& section, const OptionalText& key,
                               const OptionalText& defaultValue, const std::wstring& file) {
  const bool list = !section.present || !key.present;
  DWORD capacity = 1024;
  for (;;) {
    std::wstring buffer(capacity, L'\0');
    DWORD got = GetPrivateProfileStringW(section.Get(), key.Get(), defaultValue.Get(), &buffer[0],
                                         capacity, file.c_str());
    // A full buffer means the answer may have been cut: the kernel returns capacity - 1 for a cut
    // value and capacity - 2 for a cut list.
    DWORD cutAt = list ? capacity - 2 : capacity - 1;
    if (got < cutAt || capacity >= (1u << 26)) {
      buffer.resize(got);
      return buffer;
    }
    capacity *= 4;
  }
}

// Backs `length` off to a character boundary of `bytes`, so that a cut never keeps the lead byte
// of a double-byte character without its trail byte.
std::size_t BoundaryAtOrBefore(const std::string& bytes, std::size_t length) {
  if (length >= bytes.size()) return bytes.size();
  while (length > 0 && !text::IsCharBoundary(bytes, length)) --length;
  return length;
}

}  // namespace

std::size_t ProfileReadBuffer(const char* section, const char* key, const char* defaultValue,
                              char* buffer, std::size_t size, const std::string& file) {
  if (buffer == nullptr || size == 0) return 0;
  std::wstring wideFile;
  OptionalText sectionText(section), keyText(key), defaultText(defaultValue);
  const bool list = section == nullptr || key == nullptr;
  std::wstring answer;
  if (win32::Cp932ToWide(file, &wideFile)) {
    answer = ReadThroughKernel(sectionText, keyText, defaultText, wideFile);
  } else if (!list) {
    // A file name that cannot be spelled names no file: the answer for a missing file.
    answer = defaultText.text;
    while (!answer.empty() && answer.back() == L' ') answer.pop_back();
  }
  std::string bytes = FromProfileText(answer);
  if (!list) {
    std::size_t length = BoundaryAtOrBefore(bytes, std::min(bytes.size(), size - 1));
    std::memcpy(buffer, bytes.data(), length);
    buffer[length] = '\0';
    return length;
  }
  // A list: each name with its NUL, then one more NUL.
  if (bytes.size() + 1 <= size) {
    std::memcpy(buffer, bytes.data(), bytes.size());
    buffer[bytes.size()] = '\0';
    if (bytes.empty() && size >= 2) buffer[1] = '\0';
    return bytes.size();
  }
  if (size < 2) {
    buffer[0] = '\0';
    return 0;
  }
  // Cut: as many bytes as leave room for two NULs; the count is size - 2, as Windows reports it.
  std::size_t length = BoundaryAtOrBefore(bytes, size - 2);
  std::memcpy(buffer, bytes.data(), length);
  std::memset(buffer + length, 0, size - length);
  return size - 2;
}

std::string ProfileRead(const std::string& section, const std::string& key,
                        const std::string& defaultValue, const std::string& file) {
  OptionalText sectionText(section.c_str()), keyText(key.c_str()),
      defaultText(defaultValue.c_str());
  std::wstring wideFile;
  if (!win32::Cp932ToWide(file, &wideFile)) {
    std::string result = defaultValue;
    while (!result.empty() && result.back() == ' ') result.pop_back();
    return result;
  }
  return FromProfileText(ReadThroughKernel(sectionText, keyText, defaultText, wideFile));
}

bool ProfileWrite(const char* section, const char* key, const char* value, const std::string& file,
                  Error* error) {
  if (FaultInjected(file, "write profile", error)) return false;
  std::wstring wideFile;
  if (!win32::WidePath(file, &wideFile, "write profile", error)) return false;
  OptionalText sectionText(section), keyText(key), valueText(value);
  if (!WritePrivateProfileStringW(sectionText.Get(), keyText.Get(), valueText.Get(),
                                  wideFile.c_str())) {
    DWORD code = GetLastError();
    return win32::Fail(error, code != 0 ? code : ERROR_WRITE_FAULT, "write profile", file);
  }
  return true;
}

// The kernel rewrites the file in place; the flush pushes it to the disk before the rename.
bool ProfileWriteTemporary(const std::vector<ProfileEntry>& entries, const std::string& file,
                           Error* error) {
  for (const ProfileEntry& entry : entries) {
    if (!ProfileWrite(entry.section.c_str(), entry.key.c_str(), entry.value.c_str(), file, error)) {
      return false;
    }
  }
  std::wstring wideFile;
  if (!win32::WidePath(file, &wideFile, "write profile", error)) return false;
  HANDLE handle = CreateFileW(wideFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return win32::Fail(error, GetLastError(), "flush", file);
  const bool flushed = FlushFileBuffers(handle) != 0;
  const DWORD code = GetLastError();
  CloseHandle(handle);
  if (!flushed) return win32::Fail(error, code, "flush", file);
  ObserveOperation("flush", file);
  return true;
}

}  // namespace koushin::port
