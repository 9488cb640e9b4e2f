// Decoders against archives made by a real archiver at test time (jlha, its command line and its
// library). The corpus of archives from many LHA tools is the conformance stage's
// (tests/archive/conformance.cpp).
#include "archive/lzh_decoder.h"

#include <gtest/gtest.h>

#include "archive/decode_helpers.h"
#include "archive/fixtures.h"

namespace koushin::archive {
namespace {

using testing::DecodeArchive;
using testing::ReadHostFile;

TEST(LzhDecoderTest, JlhaArchivesOfEveryLevelAndMethod) {
  const auto& files = testing::SourceFiles();
  for (int level = 0; level <= 3; ++level) {
    for (const char* method : testing::kMethods) {
      SCOPED_TRACE(std::to_string(level) + method);
      const auto archive = DecodeArchive(ReadHostFile(testing::ArchivePath(level, method)));
      ASSERT_TRUE(archive.Sound()) << archive.error;
      ASSERT_EQ(archive.members.size(), files.size());
      bool sawMethod = false;
      for (std::size_t i = 0; i < files.size(); ++i) {
        const auto& m = archive.members[i];
        EXPECT_EQ(m.header.level, level);
        // Names keep their case and their double-byte characters whole.
        EXPECT_EQ(m.header.path, std::vector<std::string>{files[i].cp932Name});
        EXPECT_TRUE(m.bytes == files[i].bytes) << files[i].utf8Name;
        sawMethod = sawMethod || m.header.method == std::string("-") + method + "-";
      }
      EXPECT_TRUE(sawMethod) << "jlha used another method throughout";
    }
  }
}

TEST(LzhDecoderTest, UnsupportedMethodsAreNamedNotSkipped) {
  NullSink sink;
  const std::string data = "xxxx";
  for (const char* method : {"-lh2-", "-lh3-", "-lk7-", "-pm0-", "-pm1-", "-pm2-", "-lhx-"}) {
    MemorySource source(data.data(), data.size());
    EXPECT_FALSE(IsSupportedMethod(method));
    EXPECT_EQ(DecodeMember(method, source, 4, 4, sink).status, DecodeStatus::kUnsupportedMethod);
  }
  // Stored data whose sizes disagree is refused before anything is written.
  MemorySource source(data.data(), data.size());
  StringSink out;
  EXPECT_EQ(DecodeMember("-lh0-", source, 4, 5, out).status, DecodeStatus::kLengthMismatch);
  EXPECT_TRUE(out.bytes.empty());
}

}  // namespace
}  // namespace koushin::archive
