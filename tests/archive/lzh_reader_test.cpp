// The reader and decoders: against archives made by a real archiver at test time (jlha, its
// command line and its library), and against damaged archives, where damage is an error or a CRC
// failure, never a quiet early end and never different contents passed as sound. The corpus of
// archives from many LHA tools is the conformance stage's (tests/archive/conformance.cpp).
#include "archive/lzh_reader.h"

#include <gtest/gtest.h>

#include <tuple>

#include "archive/crc16.h"
#include "archive/fixtures.h"
#include "archive/target_name.h"

namespace koushin::archive {
namespace {

using testing::DecodeArchive;
using testing::DecodedArchive;
using testing::ReadHostFile;

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
  // An end mark alone, and bytes that are no archive at all.
  for (const std::string& junk : {std::string(1, '\0'), std::string("not an archive at all")}) {
    EXPECT_EQ(DecodeArchive(junk).last, ReadStatus::kError) << junk;
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, DamageTest, ::testing::Values(0, 1, 2));

TEST(LzhReaderTest, SplitsStoredPathsAtCharacterBoundaries) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
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
  for (const auto& [stored, parts] : cases) EXPECT_EQ(SplitStoredPath(stored), parts) << stored;
}

// Names a member may be written under: nothing that could escape the folder or name a device.
TEST(TargetNameTest, RefusesWhatCouldEscapeOrNameADevice) {
  using P = NameProblem;
  const std::pair<std::string, NameProblem> cases[] = {
      {"tamiro1.ini", P::kNone},
      {"UPPER.TXT", P::kNone},
      {"a[1].txt", P::kNone},
      {".hidden", P::kNone},
      {"COM0", P::kNone},
      {"CONSOLE", P::kNone},
      {"\x83\x5C.txt", P::kNone},      // ソ.txt: its 0x5C is a trail byte
      {"\x95\x5C\x94\x5C", P::kNone},  // 表能
      {"\x83\x40.txt", P::kNone},      // ァ.txt: 0x40 is the lowest trail byte
      {"", P::kEmpty},
      {".", P::kDots},
      {"..", P::kDots},
      {"c:evil", P::kForbiddenChar},
      {"a\\b", P::kForbiddenChar},
      {"a/b", P::kForbiddenChar},
      {"link|target", P::kForbiddenChar},
      {"a?b", P::kForbiddenChar},
      {"a\x7F", P::kForbiddenChar},
      {"tmp\x1B]2;malicious", P::kForbiddenChar},  // terminal escape
      {std::string("a\0b", 3), P::kForbiddenChar},
      {"name.", P::kTrailingDotSpace},
      {"name ", P::kTrailingDotSpace},
      {"CON", P::kDeviceName},
      {"con.txt", P::kDeviceName},
      {"Nul", P::kDeviceName},
      {"aux .log", P::kDeviceName},
      {"COM1", P::kDeviceName},
      {"lpt9.dat", P::kDeviceName},
      {"CONOUT$", P::kDeviceName},
      {"\x83", P::kBrokenCharacter},  // a lead byte alone
  };
  for (const auto& [name, problem] : cases) EXPECT_EQ(CheckTargetName(name), problem) << name;
}

// Stored data whose sizes disagree is refused before anything is written (the extraction
// tests name the methods we do not decode).
TEST(LzhDecoderTest, StoredSizesMustAgree) {
  const std::string data = "xxxx";
  MemorySource source(data.data(), data.size());
  StringSink out;
  EXPECT_EQ(DecodeMember("-lh0-", source, 4, 5, out).status, DecodeStatus::kLengthMismatch);
  EXPECT_TRUE(out.bytes.empty());
}

TEST(Crc16Test, KnownValues) {
  // CRC-16 with the reflected polynomial 0xA001 and initial value 0 ("CRC-16/ARC").
  const std::string check = "123456789";
  EXPECT_EQ(UpdateCrc16(0, reinterpret_cast<const std::uint8_t*>(check.data()), check.size()),
            0xBB3D);
  EXPECT_EQ(UpdateCrc16(0, nullptr, 0), 0);
  // Folding eight bytes at a time agrees with one byte at a time, for every length and split
  // (pieces of 64 bytes and more take the carry-less multiply where the CPU has it).
  std::string data(300, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 37 + 11);
  const auto* p = reinterpret_cast<const std::uint8_t*>(data.data());
  for (std::size_t split = 0; split <= data.size(); ++split) {
    std::uint16_t bytewise = 0;
    for (std::size_t i = 0; i < data.size(); ++i) bytewise = UpdateCrc16(bytewise, p + i, 1);
    EXPECT_EQ(UpdateCrc16(UpdateCrc16(0, p, split), p + split, data.size() - split), bytewise);
  }
}

}  // namespace
}  // namespace koushin::archive
