// Round trips of our LZH writer: one archive per method and header level holding inputs chosen to
// stress the encoder (nothing, one byte, runs, noise, text, window-sized and larger inputs, skewed
// byte counts, a header whose size has a zero low byte, a name with 0x5C trail bytes). Each must
// come back byte for byte through our reader and decoder, lhasa, bsdtar and jlha.
#include "archive/lzh_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "archive/fixtures.h"
#include "port/port.h"
#include "support/temp_folder.h"

namespace koushin::archive {
namespace {

namespace fs = std::filesystem;

struct Input {
  std::string name;  // code page 932
  std::string bytes;
  bool shrinks;  // compressed rather than stored
};

std::string Noise(std::size_t size, unsigned seed) {
  std::string out(size, '\0');
  for (char& c : out) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return out;
}

// Byte i appears fib(i) times, shuffled: an optimal code for it is deeper than 16 bits.
std::string Skewed() {
  std::string out;
  unsigned a = 1, b = 1;
  for (int i = 0; i < 22; ++i, std::swap(a, b), b += a) out.append(a, static_cast<char>('A' + i));
  unsigned x = 5;
  for (std::size_t i = out.size() - 1; i > 0; --i) {
    x = x * 1664525u + 1013904223u;
    std::swap(out[i], out[x % (i + 1)]);
  }
  return out;
}

const std::vector<Input>& Inputs() {
  // Beyond the largest window: text repeated 70 KiB apart with noise between.
  static const std::string far =
      testing::Text(5000, 9) + Noise(70000, 3) + testing::Text(5000, 9) + testing::Text(90000, 4);
  static const std::vector<Input> inputs = {
      {"empty.txt", "", false},
      {"one.bin", "x", false},
      {"runs.txt", std::string(150000, 'a') + std::string(70000, 'b'), true},
      {"noise.bin", Noise(100000, 1), false},
      {"\x83\x5C\x95\x5C\x94\x5C.txt", testing::Text(150000, 2), true},  // ソ表能.txt
      {"far.bin", far, true},
      {"w8192.txt", testing::Text(8192, 5), true},
      {"w32768.txt", testing::Text(32768, 6), true},
      {"w65537.txt", testing::Text(65537, 7), true},
      {"skewed.txt", Skewed(), true},
      // 34 + 222 = 256 header bytes at level 2: the size's low byte would be the end mark.
      {std::string(218, 'N') + ".txt", "pad", false},
  };
  return inputs;
}

std::string Pack(const WriterOptions& options) {
  StringArchiveSink sink;
  LzhWriter writer(sink, options);
  for (const Input& in : Inputs()) {
    MemberInput m;
    m.name = in.name;
    m.unixTime = 1764579600;
    m.size = in.bytes.size();
    m.open = [&in] { return std::make_unique<MemorySource>(in.bytes.data(), in.bytes.size()); };
    MemberOutcome outcome;
    std::string error;
    EXPECT_TRUE(writer.Add(m, &outcome, &error)) << in.name << ": " << error;
    EXPECT_EQ(outcome.method, in.shrinks ? options.method : "-lh0-") << in.name;
  }
  std::string error;
  EXPECT_TRUE(writer.Finish(nullptr, &error)) << error;
  return sink.bytes;
}

TEST(LzhWriterTest, EveryArchiveComesBackThroughEveryReader) {
  for (const char* method : {"-lh5-", "-lh6-", "-lh7-"}) {
    for (int level : {1, 2}) {
      const std::string label = std::string(method) + " level " + std::to_string(level);
      const std::string archive = Pack({method, level});

      // Ours.
      const auto ours = testing::DecodeArchive(archive);
      EXPECT_TRUE(ours.Sound()) << label << ": " << ours.error;
      ASSERT_EQ(ours.members.size(), Inputs().size()) << label;
      for (std::size_t i = 0; i < Inputs().size(); ++i) {
        EXPECT_EQ(ours.members[i].header.level, level);
        EXPECT_EQ(ours.members[i].header.JoinedPath(), Inputs()[i].name) << label;
        EXPECT_TRUE(ours.members[i].bytes == Inputs()[i].bytes) << label << " " << Inputs()[i].name;
      }

      // The peers, each by its own name in a folder of its own with the archive as ../test.lzh;
      // all but lhasa write names in UTF-8, as the locale given to them says.
      koushin::testing::TempFolder folder;
      folder.Write("test.lzh", archive);
      const std::tuple<const char*, const char*, bool> peers[] = {
          {"lhasa", "lhasa xq ../test.lzh", false},
          {"bsdtar", "LC_ALL=C.UTF-8 bsdtar --options hdrcharset=CP932 -xf ../test.lzh", true},
          {"jlha",
           "LC_ALL=C.UTF-8 java -Dlha.encoding=MS932 -Dfile.encoding=UTF-8 -jar "
           "/usr/share/java/jlhafrontend.jar x ../test.lzh",
           true},
      };
      for (const auto& [peer, run, utf8Names] : peers) {
        const fs::path dir = folder.Host() / peer;
        fs::create_directory(dir);
        const std::string command = "cd '" + dir.string() + "' && " + run + " >/dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << label << " " << peer;
        for (const Input& in : Inputs()) {
          std::string name = in.name;
          if (utf8Names) port::Cp932ToUtf8(in.name, &name);
          // lhasa knows no code page: in a level-1 name it takes every 0x5C byte, trail bytes
          // included, for a folder separator. The bytes still come back whole.
          if (level == 1 && !utf8Names) std::replace(name.begin(), name.end(), '\\', '/');
          EXPECT_TRUE(testing::ReadHostFile((dir / name).string()) == in.bytes)
              << label << " " << peer << " " << in.name;
        }
      }
    }
  }
}

TEST(LzhWriterTest, RefusesTwoMembersLandingOnOneFile) {
  StringArchiveSink sink;
  LzhWriter writer(sink, WriterOptions());
  const std::string bytes = "same";
  MemberInput m;
  m.size = bytes.size();
  m.open = [&] { return std::make_unique<MemorySource>(bytes.data(), bytes.size()); };
  std::string error;
  m.name = "\203\134a.txt";  // ソa.txt, then ソA.TXT
  EXPECT_TRUE(writer.Add(m, nullptr, &error)) << error;
  m.name = "\203\134A.TXT";
  EXPECT_FALSE(writer.Add(m, nullptr, &error));
  EXPECT_NE(error.find("already"), std::string::npos) << error;
}

}  // namespace
}  // namespace koushin::archive
