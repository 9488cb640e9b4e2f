// The journal file read back after a crash: a torn last record is a change never begun and is
// left out; anything damaged before the end is refused, never guessed at.
#include "journal/journal_file.h"

#include <gtest/gtest.h>

namespace koushin::journal {
namespace {

TEST(ParseJournal, TornTailIsLeftOutAndDamageIsRefused) {
  Record begin, replaced, commit;
  begin.path = "C:\\EST\\";
  replaced.kind = RecordKind::kReplacedFile;
  replaced.path = "C:\\EST\\\x95\x5C.ini";  // 表.ini: a trail byte 0x5C
  replaced.kept = "k1";
  replaced.status.lastWriteTime = 132000000000000000;
  replaced.status.attributes = 0x21;
  commit.kind = RecordKind::kCommit;
  commit.files.push_back({"C:\\EST\\a", true, 3, 0x0102030405060708});
  const std::string head = Signature() + EncodeRecord(begin);
  const std::string whole = head + EncodeRecord(replaced) + EncodeRecord(commit);

  std::vector<Record> records;
  std::string why;
  // Cut anywhere, at the file's end or inside its zeroed room: every record wholly written is
  // read, the torn one is not.
  for (std::size_t room : {0, 64}) {
    for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
      SCOPED_TRACE(std::to_string(cut) + " bytes, then zeros: " + std::to_string(room));
      const std::string bytes = whole.substr(0, cut) + std::string(room, '\0');
      ASSERT_EQ(ParseJournal(bytes, &records, &why), ParseResult::kRead);
      const std::size_t expected = cut < head.size()                                   ? 0
                                   : cut < head.size() + EncodeRecord(replaced).size() ? 1
                                   : cut < whole.size()                                ? 2
                                                                                       : 3;
      ASSERT_EQ(records.size(), expected);
    }
  }
  ASSERT_EQ(records[1].path, replaced.path);
  EXPECT_EQ(EncodeRecord(records[1]), EncodeRecord(replaced));  // every field read back
  EXPECT_EQ(EncodeRecord(records[2]), EncodeRecord(commit));

  struct Case {
    const char* why;
    std::size_t at;  // the byte changed
  };
  const Case damaged[] = {
      {"signature", 3},
      {"first record's payload", Signature().size() + 13},
      {"second record's length", head.size()},
  };
  for (const Case& c : damaged) {
    SCOPED_TRACE(c.why);
    std::string bytes = whole;
    bytes[c.at] = static_cast<char>(bytes[c.at] ^ 0x40);
    EXPECT_EQ(ParseJournal(bytes, &records, &why), ParseResult::kDamaged);
  }
}

}  // namespace
}  // namespace koushin::journal
