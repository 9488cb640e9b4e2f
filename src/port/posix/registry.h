// The registry of the POSIX port: read-only keys and values below HKEY_LOCAL_MACHINE, parsed
// from a regedit export or from a Wine prefix's system.reg. The parsers are pure functions over
// the file's bytes, so that they can be fuzzed.
#pragma once

#include <map>
#include <string>

namespace koushin::port::posix {

struct RegistryValue {
  bool isString = false;  // REG_SZ or REG_EXPAND_SZ whose text converts to code page 932
  std::string text;       // code page 932, without the terminating NUL
};

// Keys below HKEY_LOCAL_MACHINE, by their folded path ("SOFTWARE\\MICROSOFT\\..."); values by
// their folded name ("" is the default value). Every parent of a key is a key too.
struct RegistryData {
  std::map<std::string, std::map<std::string, RegistryValue>> keys;
};

// Folds a key path or value name (code page 932) for lookup: letters upper-cased as Windows
// compares them (ASCII and full-width Latin), runs of '\\' reduced to one, and leading and
// trailing '\\' dropped.
std::string FoldRegistryName(const std::string& cp932);

// A regedit export: "REGEDIT4" (code page 932) or "Windows Registry Editor Version 5.00"
// (UTF-16LE with BOM). Keys outside HKEY_LOCAL_MACHINE are skipped. False when the bytes are
// neither.
bool ParseRegistryExport(const std::string& bytes, RegistryData* data);

// A Wine registry file ("WINE REGISTRY Version 2"), whose keys are relative to the hive it holds
// (system.reg holds HKEY_LOCAL_MACHINE). False when the bytes are not one.
bool ParseWineRegistry(const std::string& bytes, RegistryData* data);

// Either of the above, by the file's first line.
bool ParseRegistryFile(const std::string& bytes, RegistryData* data);

// Makes `data` the registry RegistryReadString reads.
void InstallRegistry(RegistryData data);

}  // namespace koushin::port::posix
