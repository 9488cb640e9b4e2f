// Feeds arbitrary bytes to the info.txt parser and checks the record it leaves.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "description/update_description.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace koushin::description;
  UpdateDescription record;
  const LoadResult result =
      ParseUpdateDescription(std::string(reinterpret_cast<const char*>(data), size), &record);
  if (record.entries.size() > static_cast<std::size_t>(kMaxEntries)) std::abort();
  // A refused file names a line and leaves no entry to act on.
  if (result.status == LoadStatus::kInvalid && (result.line < 1 || !record.entries.empty())) {
    std::abort();
  }
  for (const UpdateEntry& entry : record.entries) {
    if (entry.fileName.size() > kMaxEntryColumn || entry.targetSubfolder.size() > kMaxEntryColumn) {
      std::abort();
    }
  }
  return 0;
}
