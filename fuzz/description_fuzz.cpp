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
  if (record.entryCount < 0 || record.entryCount > kMaxEntries) std::abort();
  // A refused file names a line and leaves no entry to act on.
  if (result.status == LoadStatus::kInvalid && (result.line < 1 || record.entryCount != 0)) {
    std::abort();
  }
  for (int i = 0; i < record.entryCount; ++i) {
    if (record.entryFileNames[i].size() > kMaxEntryColumn ||
        record.entryTargetSubfolders[i].size() > kMaxEntryColumn) {
      std::abort();
    }
  }
  return 0;
}
