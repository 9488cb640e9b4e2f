// The code page 932 text helpers: case, character boundaries, numbers, TABs, replacing, paths.
#include <climits>
#include <tuple>

#include <gtest/gtest.h>

#include "text/cp932.h"
#include "text/line_breaks.h"
#include "text/number.h"
#include "text/path.h"
#include "text/replace.h"

namespace koushin::text {
namespace {

// ソ 83 5C, 表 95 5C: trail byte '\'. ア 83 41: a trail byte that is a letter.
const std::string kSo = "\x83\x5C";
const std::string kHyo = "\x95\x5C";
const std::string kA = "\x83\x41";

TEST(Cp932Test, UpperCaseKeepsTrailBytes) {
  const std::pair<std::string, std::string> cases[] = {
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
  for (const auto& [in, out] : cases) EXPECT_EQ(ToUpper(in), out) << in;
}

// Separators and searched text count at character boundaries only, never in a trail byte.
TEST(Cp932Test, SearchesAtCharacterBoundaries) {
  EXPECT_FALSE(EndsWithBackslash("C:\\" + kSo) || EndsWithBackslash("C:\\" + kHyo) ||
               EndsWithBackslash(""));
  EXPECT_TRUE(EndsWithBackslash("C:\\" + kSo + "\\"));
  EXPECT_EQ(FindLastSeparator("C:\\" + kSo + "x"), 2u);
  EXPECT_EQ(FindLastSeparator("a/b\\" + kHyo), 3u);
  EXPECT_EQ(FindLastSeparator(kHyo), std::string::npos);
  // clang-format off
  const std::tuple<std::string, std::string, std::size_t> finds[] = {  // text, searched, found at
      {kA + "B", "A", std::string::npos}, {kA + "A", "A", 2}, {"xyz", "", 0}, {"", "", 0},
      {"abc", "bc", 1}, {kSo + "\\", "\\", 2}};
  // clang-format on
  for (const auto& [text, what, at] : finds) EXPECT_EQ(FindAtCharBoundary(text, what), at) << text;
}

TEST(NumberTest, ReadsLikeAtoi) {
  // clang-format off
  const std::pair<const char*, int> cases[] = {
      {"1", 1}, {" 1", 1}, {"\t-12x", -12}, {"+7", 7}, {"", 0}, {"A", 0}, {"-", 0}, {"1 2", 1},
      {"99", 99}, {"2147483647", INT_MAX}, {"2147483648", INT_MAX}, {"-2147483648", INT_MIN},
      {"-99999999999999999999", INT_MIN}, {"99999999999999999999999", INT_MAX}};
  // clang-format on
  for (const auto& [in, out] : cases) EXPECT_EQ(ParseInt(in), out) << in;
}

TEST(LineBreaksTest, TabsBecomeLineBreaks) {
  std::string many, manyOut;  // at most 100 TABs become line breaks
  for (int i = 0; i < 120; ++i) many += "\tx", manyOut += i < 100 ? "\r\n" : "";
  for (int i = 0; i < 20; ++i) manyOut += "\tx";
  std::pair<std::string, std::string> cases[] = {
      {"A\txB", "A\r\nB"}, {"A\t\tB", "A\r\nB"}, {"A\tBD", "A\r\nD"},
      {"A\t", "A\r"},      {"\t", "\r"},         {"", ""},
      {many, manyOut},
  };
  for (auto& [in, out] : cases) {
    ConvertTabsToLineBreaks(in);
    EXPECT_EQ(in, out);
  }
}

TEST(ReplaceTest, ReplacesEveryOccurrenceOnce) {
  struct Case {
    std::string buffer, pattern, replacement, out;
  } cases[] = {
      {"Suite 8.0S", "8.0S", "9.1", "Suite 9.1"},
      {"8.0S and 8.0S", "8.0S", "9.1", "9.1 and 9.1"},
      {"8.0S", "8.0S", "8.0S Plus", "8.0S Plus"},
      {"no version", "8.0S", "9.1", "no version"},
      {"", "8.0S", "9.1", ""},
      {"8.0S8.0S", "8.0S", "", ""},
      // A title of 120 bytes grows past any fixed buffer and is kept whole.
      {std::string(116, 'x') + "8.0S", "8.0S", "10.0 Long", std::string(116, 'x') + "10.0 Long"},
  };
  for (auto c : cases) EXPECT_EQ(ReplaceAllInPlace(c.buffer, c.pattern, c.replacement), c.out);
}

TEST(PathTest, SourceFolder) {
  const std::pair<std::string, std::string> cases[] = {
      {"D:\\KOUSHIN.EXE", "D:\\"},  // the root keeps its backslash
      {"D:\\UPD\\KOUSHIN.EXE", "D:\\UPD\\"},
      {"\\\\server\\share\\dir\\x.exe", "\\\\server\\share\\dir\\"},
      {"E:\\\x83\x5C\\x.exe", "E:\\\x83\x5C\\"},  // ソ folder
      {"E:\\UPD\\\x95\x5C.exe", "E:\\UPD\\"},     // 表.exe
      {"E:\\" + std::string(200, 'a') + "\\x.exe", "E:\\" + std::string(200, 'a') + "\\"},
  };
  for (const auto& [program, folder] : cases) {
    EXPECT_EQ(SourceFolderFromProgramPath(program), folder);
  }
}

// Paths as shown: the run's concatenations double a separator ("C:\\EST\\" + "\\ta1menu.ini").
TEST(PathTest, OneSeparator) {
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\EST\\\\ta1menu.ini", "C:\\EST\\ta1menu.ini"},
      {"C:\\EST\\\\MASTER\\1\\", "C:\\EST\\MASTER\\1\\"},
      {"C:\\EST\\/\\x", "C:\\EST\\x"},
      {"\\\\server\\share\\\\x", "\\\\server\\share\\x"},  // the UNC pair stays
      {"\\\\\\server", "\\\\server"},
      {"C:\\\x83\x5C\\x", "C:\\\x83\x5C\\x"},  // ソ then a separator: both stay
      {"/srv/c//EST", "/srv/c/EST"},
      {"", ""},
  };
  for (const auto& [path, shown] : cases) EXPECT_EQ(OneSeparator(path), shown) << path;
}

TEST(PathTest, SplitPath) {
  const std::pair<std::string, std::string> cases[] = {
      {"SUB\\FOO.DLL", "|SUB\\|FOO|.DLL"},
      {"C:\\APPS\\EST\\SETUP.LOG", "C:|\\APPS\\EST\\|SETUP|.LOG"},
      {"\"C:\\A\\B.LOG\"", "|\"C:\\A\\|B|.LOG\""},
      {"START", "||START|"},
      {"a.b.c", "||a.b|.c"},
  };
  for (const auto& [path, parts] : cases) {
    const PathParts p = SplitPath(path);
    EXPECT_EQ(p.drive + "|" + p.directory + "|" + p.name + "|" + p.extension, parts);
  }
}

}  // namespace
}  // namespace koushin::text
