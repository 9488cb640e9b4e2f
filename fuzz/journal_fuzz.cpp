// libFuzzer target for the journal reader: any bytes, read as a journal file, are read or refused,
// never guessed at. What is read writes back to bytes that read as the same records, and the
// check of where the records may act (Reach) decides on each of them without fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "journal/journal.h"
#include "journal/journal_file.h"

namespace {

using namespace koushin::journal;

bool Same(const Record& a, const Record& b) {
  if (a.kind != b.kind || a.path != b.path || a.kept != b.kept ||
      a.status.creationTime != b.status.creationTime ||
      a.status.lastWriteTime != b.status.lastWriteTime ||
      a.status.lastAccessTime != b.status.lastAccessTime || a.status.size != b.status.size ||
      a.status.attributes != b.status.attributes || a.files.size() != b.files.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.files.size(); ++i) {
    if (a.files[i].path != b.files[i].path || a.files[i].exists != b.files[i].exists ||
        a.files[i].size != b.files[i].size || a.files[i].hash != b.files[i].hash) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<Record> records;
  std::string why;
  if (ParseJournal(bytes, &records, &why) == ParseResult::kDamaged) {
    if (why.empty()) std::abort();  // a refusal says why
    return 0;
  }
  std::string again = Signature();
  for (const Record& record : records) again += EncodeRecord(record);
  std::vector<Record> reread;
  if (ParseJournal(again, &reread, &why) != ParseResult::kRead || reread.size() != records.size()) {
    std::abort();
  }
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (!Same(records[i], reread[i])) std::abort();
  }
  // Drive paths do not resolve here (no drives are set up), so each path that passes the checks
  // by name is looked at no further; host paths are looked at with lstat only.
  Reach reach;
  reach.root = "C:\\EST\\";
  reach.outside = {{"C:\\M\\1\\", "C:\\M\\21\\"},
                   "zai??"
                   "?-3.mst"};
  for (std::size_t i = 0; i < records.size(); ++i) {
    const std::string refused = reach.Refusal(records[i], i == 0);
    (void)refused;
  }
  return 0;
}
