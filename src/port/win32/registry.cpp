// The registry read below HKEY_LOCAL_MACHINE.
//
// The key is opened with KEY_READ, which a standard user is granted on HKEY_LOCAL_MACHINE (full
// access is refused there, and a lookup that asked for it would find nothing). The installed
// system is a 32-bit program, so its uninstall entry lives in the 32-bit view of the registry; the
// value is looked for there first (the only view a 32-bit build sees anyway), then in the 64-bit
// view, so that the 64-bit build finds what the shipped 32-bit one finds.
#include <windows.h>

#include <string>

#include "port/port.h"
#include "port/win32/handles.h"
#include "port/win32/wide_text.h"

namespace koushin::port {

namespace {

// Reads a string value from an open key: kFound, or kNoValue.
RegistryLookup ReadString(HKEY key, const std::wstring& name, std::string* value) {
  DWORD type = 0;
  std::wstring data(128, L'\0');
  for (;;) {
    DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    LONG status = RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(&data[0]), &bytes);
    if (status == ERROR_MORE_DATA && bytes < (1u << 24)) {
      data.assign(bytes / sizeof(wchar_t) + 1, L'\0');
      continue;
    }
    if (status != ERROR_SUCCESS) return RegistryLookup::kNoValue;
    data.resize(bytes / sizeof(wchar_t));
    break;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) {
    return RegistryLookup::kNoValue;
  }
  // The stored text may or may not end with its NUL; a multi-string yields its first string.
  std::size_t end = data.find(L'\0');
  if (end != std::wstring::npos) data.resize(end);
  if (!win32::WideToCp932(data, value)) {
    value->clear();
    return RegistryLookup::kNoValue;
  }
  return RegistryLookup::kFound;
}

}  // namespace

RegistryLookup RegistryReadString(const std::string& subKey, const std::string& valueName,
                                  std::string* value) {
  value->clear();
  std::wstring wideKey, wideName;
  if (!win32::Cp932ToWide(subKey, &wideKey)) return RegistryLookup::kNoKey;
  bool nameSpellable = win32::Cp932ToWide(valueName, &wideName);
  RegistryLookup result = RegistryLookup::kNoKey;
  static const REGSAM kViews[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
  for (REGSAM view : kViews) {
    win32::RegistryKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, wideKey.c_str(), 0, KEY_READ | view, key.Receive()) !=
        ERROR_SUCCESS) {
      continue;
    }
    result = RegistryLookup::kNoValue;
    if (nameSpellable && ReadString(key.Get(), wideName, value) == RegistryLookup::kFound) {
      return RegistryLookup::kFound;
    }
  }
  return result;
}

}  // namespace koushin::port
