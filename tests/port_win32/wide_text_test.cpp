// Code page 932 conversions of the Win32 port. They name code page 932 explicitly, so the same
// table holds whatever the ANSI code page is (the suite runs under Wine with 932 and with 1252).
#include <gtest/gtest.h>

#include <string>

#include "port/port.h"

namespace koushin::port {
namespace {

TEST(Win32Text, ConvertsCodePage932BothWaysAndRefusesWhatDoesNotConvert) {
  enum Outcome { kBothWays, kOnlyFromUtf8Fails, kOnlyToUtf8Fails };
  struct Case {
    std::string cp932;
    std::string utf8;
    Outcome outcome;
  };
  const Case cases[] = {
      {"", "", kBothWays},
      {"abc\\", "abc\\", kBothWays},
      {"\x83\x5C", "\xE3\x82\xBD", kBothWays},                      // ソ, trail byte '\\'
      {"\x95\x5C\x94\x5C", "\xE8\xA1\xA8\xE8\x83\xBD", kBothWays},  // 表能
      {"\x81\x5B\x83\x5D", "\xE3\x83\xBC\xE3\x82\xBE", kBothWays},  // ーゾ: '[' ']' trails
      {"\xB1", "\xEF\xBD\xB1", kBothWays},                          // half-width ｱ
      {"a\x83", "", kOnlyToUtf8Fails},                              // lone lead byte
      {"\x83\x5C\x83", "", kOnlyToUtf8Fails},
      {"", "\xC3\xA9", kOnlyFromUtf8Fails},          // é: no best-fit 'e'
      {"", "\xF0\x9F\x98\x80", kOnlyFromUtf8Fails},  // outside the code page
      {"", "\xFF\xFE", kOnlyFromUtf8Fails},          // not UTF-8
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.cp932) + " / " + ::testing::PrintToString(c.utf8));
    std::string out = "junk";
    if (c.outcome == kOnlyToUtf8Fails) {
      EXPECT_FALSE(Cp932ToUtf8(c.cp932, &out));
    } else if (c.outcome == kOnlyFromUtf8Fails) {
      EXPECT_FALSE(Utf8ToCp932(c.utf8, &out));
    } else {
      EXPECT_TRUE(Cp932ToUtf8(c.cp932, &out));
      EXPECT_EQ(out, c.utf8);
      EXPECT_TRUE(Utf8ToCp932(c.utf8, &out));
      EXPECT_EQ(out, c.cp932);
    }
  }
}

TEST(Win32Text, LossyConversionReplacesOnlyTheBadCharacter) {
  EXPECT_EQ(Cp932ToUtf8Lossy("\x83\x5C"), "\xE3\x82\xBD");
  EXPECT_EQ(Cp932ToUtf8Lossy("\x83\x5C"
                             "a\x83"),
            "\xE3\x82\xBD"
            "a?");
}

TEST(Win32Text, ErrorDescriptionNamesThePathInUtf8) {
  Error error;
  EXPECT_FALSE(RemoveFile("C:\\koushin-no-such-folder\\\x95\x5C.txt", &error));
  EXPECT_TRUE(error.hostCode == 2 || error.hostCode == 3) << error.hostCode;
  EXPECT_EQ(error.path, "C:\\koushin-no-such-folder\\\x95\x5C.txt");
  EXPECT_NE(error.Describe().find("\xE8\xA1\xA8.txt"), std::string::npos) << error.Describe();
}

}  // namespace
}  // namespace koushin::port
