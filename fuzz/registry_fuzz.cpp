// Fuzzes the registry file parsers (regedit exports, Wine registry files) and the DOS attribute
// record reader: any bytes must parse or be refused without a fault.
#include <cstddef>
#include <cstdint>
#include <string>

#include "port/posix/dos_attributes.h"
#include "port/posix/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  koushin::port::posix::RegistryData registry;
  koushin::port::posix::ParseRegistryExport(bytes, &registry);
  koushin::port::posix::ParseWineRegistry(bytes, &registry);
  for (const auto& key : registry.keys) {
    koushin::port::posix::FoldRegistryName(key.first);
  }
  // The same bytes behind each header, so the line parsers see them whatever they start with.
  koushin::port::posix::ParseRegistryExport("REGEDIT4\r\n" + bytes, &registry);
  koushin::port::posix::ParseWineRegistry("WINE REGISTRY Version 2\n" + bytes, &registry);
  koushin::port::posix::ParseRegistryExport(std::string("\xff\xfeW\0", 4) + bytes, &registry);
  std::uint32_t attributes = 0;
  koushin::port::posix::ParseDosAttrib(bytes, &attributes);
  return 0;
}
