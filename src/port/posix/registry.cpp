// Read-only registry from a regedit export or a Wine registry file.
#include "port/posix/registry.h"

#include <utility>

#include "port/port.h"
#include "text/cp932.h"

namespace koushin::port::posix {

namespace {

RegistryData& Installed() {
  static RegistryData data;
  return data;
}

}  // namespace

std::string FoldRegistryName(const std::string& cp932) {
  const std::string upper = text::ToUpper(cp932);
  std::string out;
  for (std::size_t i = 0; i < upper.size();) {
    const std::size_t length = text::CharLength(upper, i);
    const bool separator = length == 1 && upper[i] == '\\';
    if (!(separator && (out.empty() || out.back() == '\\'))) out.append(upper, i, length);
    i += length;
  }
  if (text::EndsWithBackslash(out)) out.pop_back();
  return out;
}

bool ParseRegistryFile(const std::string& bytes, RegistryData* data) {
  if (bytes.compare(0, 23, "WINE REGISTRY Version 2") == 0) return ParseWineRegistry(bytes, data);
  return ParseRegistryExport(bytes, data);
}

void InstallRegistry(RegistryData data) { Installed() = std::move(data); }

}  // namespace koushin::port::posix

namespace koushin::port {

RegistryLookup RegistryReadString(const std::string& subKey, const std::string& valueName,
                                  std::string* value) {
  value->clear();
  const auto& keys = posix::Installed().keys;
  const auto key = keys.find(posix::FoldRegistryName(subKey));
  if (key == keys.end()) return RegistryLookup::kNoKey;
  const auto found = key->second.find(text::ToUpper(valueName));
  if (found == key->second.end() || !found->second.isString) return RegistryLookup::kNoValue;
  *value = found->second.text;
  return RegistryLookup::kFound;
}

}  // namespace koushin::port
