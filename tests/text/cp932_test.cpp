#include "text/cp932.h"

#include <gtest/gtest.h>

namespace koushin::text {
namespace {

// ソ 83 5C, 表 95 5C: trail byte '\'. ア 83 41: a trail byte that is a letter.
const std::string kSo = "\x83\x5C";
const std::string kHyo = "\x95\x5C";
const std::string kA = "\x83\x41";

TEST(Cp932Test, UpperCaseKeepsTrailBytes) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"tamiro1.ini", "TAMIRO1.INI"},
      {"\x83\x65st", "\x83\x65ST"},              // テ must not become ウ (83 45)
      {"\x82\x81\x82\x9A", "\x82\x60\x82\x79"},  // full-width ａ ｚ -> Ａ Ｚ
      {"\x82\x80\x82\x9B", "\x82\x80\x82\x9B"},  // neighbours unchanged
      {"\xB1\xB2x", "\xB1\xB2X"},                // half-width katakana unchanged
      {"a\x82", "A\x82"},                        // lone lead byte at the end
      {kSo + "a", kSo + "A"},
      {"\x83\x61x", "\x83\x61X"},                                // trail byte 'a' stays
      {"\x82\x82\x81", "\x82\x61\x81"},                          // ｂ then a lone lead byte
      {"\x93\x82\x82\x81", "\x93\x82\x82\x60"},                  // trail byte 0x82, then ａ
      {"\x83\xBF\x83\xD6\x83\x9F", "\x83\x9F\x83\xB6\x83\x9F"},  // Greek α ω Α
      {"\x84\x70\x84\x76\x84\x7E\x84\x80\x84\x91",               // Cyrillic а ё н о я
       "\x84\x40\x84\x46\x84\x4E\x84\x4F\x84\x60"},
  };
  for (const auto& c : cases) EXPECT_EQ(ToUpper(c.in), c.out) << c.in;
}

// Separators and searched text count at character boundaries only, never in a trail byte.
TEST(Cp932Test, SearchesAtCharacterBoundaries) {
  EXPECT_FALSE(EndsWithBackslash("C:\\" + kSo));
  EXPECT_FALSE(EndsWithBackslash("C:\\" + kHyo));
  EXPECT_TRUE(EndsWithBackslash("C:\\" + kSo + "\\"));
  EXPECT_FALSE(EndsWithBackslash(""));
  EXPECT_EQ(FindLastSeparator("C:\\" + kSo + "x"), 2u);
  EXPECT_EQ(FindLastSeparator("a/b\\" + kHyo), 3u);
  EXPECT_EQ(FindLastSeparator(kHyo), std::string::npos);
  EXPECT_EQ(FindAtCharBoundary(kA + "B", "A"), std::string::npos);
  EXPECT_EQ(FindAtCharBoundary(kA + "A", "A"), 2u);
  EXPECT_EQ(FindAtCharBoundary("xyz", ""), 0u);
  EXPECT_EQ(FindAtCharBoundary("", ""), 0u);
  EXPECT_EQ(FindAtCharBoundary("abc", "bc"), 1u);
  EXPECT_EQ(FindAtCharBoundary(kSo + "\\", "\\"), 2u);
}

}  // namespace
}  // namespace koushin::text
