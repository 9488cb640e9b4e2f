#include <gtest/gtest.h>

#include "port/port.h"

namespace koushin::port {
namespace {

TEST(EncodingTest, ConvertsBothWaysAndRefusesWhatDoesNotConvert) {
  struct Case {
    std::string cp932;
    std::string utf8;
  };
  const Case cases[] = {
      {"C:\\EST\\a~", "C:\\EST\\a~"},                    // 0x5C and 0x7E stay ASCII
      {"\x83\x5c\x95\x5c", "\xe3\x82\xbd\xe8\xa1\xa8"},  // ソ表
      {"\xb1\xaf\xcc\xdf", "\xef\xbd\xb1\xef\xbd\xaf\xef\xbe\x8c\xef\xbe\x9f"},  // ｱｯﾌﾟ
      {"\x82\x60\x82\x81", "\xef\xbc\xa1\xef\xbd\x81"},                          // Ａａ
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_TRUE(Cp932ToUtf8(c.cp932, &out));
    EXPECT_EQ(out, c.utf8);
    EXPECT_TRUE(Utf8ToCp932(c.utf8, &out));
    EXPECT_EQ(out, c.cp932);
  }
  std::string out;
  EXPECT_FALSE(Cp932ToUtf8("ab\x83", &out));            // lead byte without its trail byte
  EXPECT_FALSE(Cp932ToUtf8("\x81\x20", &out));          // trail byte out of range
  EXPECT_FALSE(Utf8ToCp932("\xc3\xa9t\xc3", &out));     // truncated UTF-8
  EXPECT_FALSE(Utf8ToCp932("\xf0\x9f\x98\x80", &out));  // no code page 932 form
  EXPECT_EQ(Cp932ToUtf8Lossy("a\x83\x5c\x81\x20z"), "a\xe3\x82\xbd? z");
}

}  // namespace
}  // namespace koushin::port
