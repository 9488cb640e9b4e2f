// The reader against damaged archives: damage is an error or a CRC failure, never a quiet early
// end and never different contents passed as sound.
#include "archive/lzh_reader.h"

#include <gtest/gtest.h>

#include <tuple>

#include "archive/decode_helpers.h"
#include "archive/fixtures.h"

namespace koushin::archive {
namespace {

using testing::DecodeArchive;
using testing::DecodedArchive;

// What damage must not change unnoticed: each member's path, method and bytes.
std::vector<std::tuple<std::vector<std::string>, std::string, std::string>> Essence(
    const DecodedArchive& archive) {
  std::vector<std::tuple<std::vector<std::string>, std::string, std::string>> out;
  for (const auto& m : archive.members) out.emplace_back(m.header.path, m.header.method, m.bytes);
  return out;
}

class DamageTest : public ::testing::TestWithParam<int> {};

// Flipped: every header byte of the first two members, and 16 bytes spread over each member's
// data. Some bits change nothing (a block length past the member's end, padding, a field no check
// covers); any that change names or contents must be caught. Cut: at every header byte, in the
// data, and between two members or before the end marker, where the members after the cut would
// otherwise be silently missing.
TEST_P(DamageTest, NeverPassesAsSound) {
  const std::string original = testing::ReadHostFile(testing::ArchivePath(GetParam(), "lh5"));
  const DecodedArchive good = DecodeArchive(original);
  ASSERT_TRUE(good.Sound());
  std::vector<std::uint64_t> headerStart, dataStart, dataEnd;  // of each member
  MemorySource source(original.data(), original.size());
  LzhReader reader(source);
  MemberHeader header;
  std::string error;
  while (reader.Next(&header, &error) == ReadStatus::kMember) {
    headerStart.push_back(reader.HeaderOffset());
    dataStart.push_back(reader.DataOffset());
    dataEnd.push_back(reader.DataOffset() + header.packedSize);
  }
  ASSERT_GE(headerStart.size(), 2u);
  std::vector<std::pair<std::uint64_t, char>> flips;  // offset, bits
  std::vector<std::uint64_t> cuts = {dataEnd.back()};
  for (std::size_t m = 0; m < dataStart.size(); ++m) {
    for (std::uint64_t at = headerStart[m]; at <= dataStart[m]; ++at) {
      if (m < 2 && at < dataStart[m]) flips.push_back({at, 0x55});
      cuts.push_back(at);
    }
    const std::uint64_t size = dataEnd[m] - dataStart[m];
    for (std::uint64_t step = 0; size >= 2 && step < 16; ++step) {
      flips.push_back({dataStart[m] + size * step / 16, 0x10});
    }
    cuts.push_back(dataStart[m] + 1);
    cuts.push_back(dataEnd[m] - 1);
  }
  int caughtHeader = 0, caughtData = 0;
  for (const auto& [at, bits] : flips) {
    std::string damaged = original;
    damaged[at] = static_cast<char>(damaged[at] ^ bits);
    const DecodedArchive result = DecodeArchive(damaged);
    if (!result.Sound()) {
      ++(bits == 0x55 ? caughtHeader : caughtData);
    } else {
      EXPECT_TRUE(Essence(good) == Essence(result)) << "byte " << at;
    }
  }
  EXPECT_GT(caughtHeader, 0);
  EXPECT_GT(caughtData, 40);
  for (std::uint64_t cut : cuts) {
    if (cut < original.size()) {
      EXPECT_FALSE(DecodeArchive(original.substr(0, cut)).Sound()) << "cut at " << cut;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, DamageTest, ::testing::Values(0, 1, 2));

TEST(LzhReaderTest, SplitsStoredPathsAtCharacterBoundaries) {
  struct Case {
    std::string stored;
    std::vector<std::string> parts;
  } cases[] = {
      {"a\\b\\c.txt", {"a", "b", "c.txt"}},
      {"a/b/c.txt", {"a", "b", "c.txt"}},
      {"a\377b\377c.txt", {"a", "b", "c.txt"}},                  // 0xFF separators
      {"\x83\x5C.txt", {"\x83\x5C.txt"}},                        // ソ.txt
      {"\x95\x5C\\\x94\x5C.txt", {"\x95\x5C", "\x94\x5C.txt"}},  // 表\能.txt
      {"DIR\\\x83\x5C\x83\x5C", {"DIR", "\x83\x5C\x83\x5C"}},    // ソソ
      {"UPPER.TXT", {"UPPER.TXT"}},                              // case kept
      {"\\abs\\x", {"abs", "x"}},
      {"../../x", {"..", "..", "x"}},
      {"dir/", {"dir"}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitStoredPath(c.stored), c.parts) << c.stored;
}

TEST(LzhReaderTest, ArchivesWithoutMembersAndGarbageAreErrors) {
  for (const std::string& bytes :
       {std::string(), std::string(1, '\0'), std::string("this is not an archive at all")}) {
    EXPECT_EQ(DecodeArchive(bytes).last, ReadStatus::kError) << bytes.size() << " bytes";
  }
}

}  // namespace
}  // namespace koushin::archive
