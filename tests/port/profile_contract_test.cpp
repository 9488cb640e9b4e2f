// The profile contract of both ports (the kernel's own functions on Windows, our engine on POSIX):
// code page 932 sections, keys and values reach the file as code page 932 bytes and come back
// unchanged (on Windows under ANSI code page 932 and 1252 alike), and buffer reads cut as the
// kernel cuts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "port/port.h"
#include "support/temp_folder.h"

namespace koushin::port {
namespace {

using koushin::testing::TempFolder;

// 表 (section), ソ and ゾ (keys), 能力ア and ー (values): trail bytes '\\', ']' and '['.
const std::string kSection = "\x95\x5C";
const std::string kKey1 = "\x83\x5C";
const std::string kKey2 = "\x83\x5D";
const std::string kValue1 = "\x94\x5C\x97\xCD\x83\x41";
const std::string kValue2 = "\x81\x5B";

TEST(PortProfile, WritesCodePage932BytesAndReadsThemBack) {
  TempFolder folder;
  folder.MakeFolder(kKey1);
  std::string file = folder.PathOf(kKey1 + "\\" + kSection + ".ini");
  Error error;
  ASSERT_TRUE(ProfileWrite(kSection.c_str(), kKey1.c_str(), kValue1.c_str(), file, &error))
      << error.Describe();
  ASSERT_TRUE(ProfileWrite(kSection.c_str(), kKey2.c_str(), kValue2.c_str(), file));
  ASSERT_TRUE(ProfileWrite("SYSTEM", "Version", "3.10", file));
  EXPECT_EQ(folder.Read(kKey1 + "\\" + kSection + ".ini"),
            "[" + kSection + "]\r\n" + kKey1 + "=" + kValue1 + "\r\n" + kKey2 + "=" + kValue2 +
                "\r\n[SYSTEM]\r\nVersion=3.10\r\n");

  EXPECT_EQ(ProfileRead(kSection, kKey1, "", file), kValue1);
  EXPECT_EQ(ProfileRead(kSection, kKey2, "", file), kValue2);
  EXPECT_EQ(ProfileRead("system", "VERSION", "", file), "3.10");
  EXPECT_EQ(ProfileRead(kSection, "none", "\x8A\xF9\x92\xE8  ", file), "\x8A\xF9\x92\xE8");

  char buffer[260];
  std::size_t got = ProfileReadBuffer(kSection.c_str(), nullptr, "", buffer, sizeof buffer, file);
  EXPECT_EQ(std::string(buffer, got + 1), kKey1 + '\0' + kKey2 + '\0' + '\0');
  got = ProfileReadBuffer(nullptr, nullptr, "", buffer, sizeof buffer, file);
  EXPECT_EQ(std::string(buffer, got + 1), kSection + '\0' + "SYSTEM" + '\0' + '\0');

  // Deleting a key, then a section.
  ASSERT_TRUE(ProfileWrite(kSection.c_str(), kKey1.c_str(), nullptr, file));
  EXPECT_EQ(ProfileRead(kSection, kKey1, "gone", file), "gone");
  EXPECT_EQ(ProfileRead(kSection, kKey2, "", file), kValue2);
  ASSERT_TRUE(ProfileWrite(kSection.c_str(), nullptr, nullptr, file));
  EXPECT_EQ(folder.Read(kKey1 + "\\" + kSection + ".ini"), "[SYSTEM]\r\nVersion=3.10\r\n");

  EXPECT_FALSE(ProfileWrite("S", "k", "v", folder.PathOf("missing\\a.ini"), &error));
  EXPECT_EQ(error.path, folder.PathOf("missing\\a.ini"));
}

TEST(PortProfile, BufferReadCountsBytesNeverSplitsACharacterAndReadsAnyLength) {
  TempFolder folder;
  std::string file = folder.PathOf("a.ini");
  // アイ is 83 41 83 43; the keys list as k 00 83 5C 00 83 5D 00.
  folder.Write("a.ini", "[s]\r\nk=\x83\x41\x83\x43\r\n\x83\x5C=1\r\n\x83\x5D=2\r\n");
  struct Case {
    const char* key;
    std::size_t size;
    std::size_t returned;
    std::string buffer;  // the bytes up to the returned count, and what follows it
  };
  const Case cases[] = {
      {"k", 1, 0, std::string(1, '\0')},
      {"k", 2, 0, std::string(1, '\0')},  // one byte would be half of ア
      {"k", 3, 2, std::string("\x83\x41\0", 3)},
      {"k", 4, 2, std::string("\x83\x41\0", 3)},
      {"k", 5, 4, std::string("\x83\x41\x83\x43\0", 5)},
      {"k", 260, 4, std::string("\x83\x41\x83\x43\0", 5)},
      {"none", 260, 7, std::string("default\0", 8)},
      {"none", 4, 3, std::string("def\0", 4)},
      {nullptr, 260, 8, std::string("k\0\x83\x5C\0\x83\x5D\0\0", 9)},
      // A cut list ends with two NULs and counts size - 2; ゾ is not split.
      {nullptr, 8, 6, std::string("k\0\x83\x5C\0\0\0\0", 8)},
      {nullptr, 6, 4, std::string("k\0\x83\x5C\0\0", 6)},
      {nullptr, 2, 0, std::string("\0\0", 2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key ? c.key : "(null)") + " size " + std::to_string(c.size));
    char buffer[300];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(ProfileReadBuffer("s", c.key, "default  ", buffer, c.size, file), c.returned);
    EXPECT_EQ(std::string(buffer, c.buffer.size()), c.buffer);
  }
  char untouched[4] = {'k', 'u', 'm', 0};
  EXPECT_EQ(ProfileReadBuffer("s", "k", "d", untouched, 0, file), 0u);
  EXPECT_STREQ(untouched, "kum");
  EXPECT_EQ(ProfileReadBuffer("s", "k", "default", untouched, 4, folder.PathOf("none.ini")), 3u);
  EXPECT_STREQ(untouched, "def");

  // A value of any length is read whole.
  std::string value;
  for (int i = 0; i < 3000; ++i) value += "\x95\x5C";
  ASSERT_TRUE(ProfileWrite("s", "long", (value + "end").c_str(), file));
  EXPECT_EQ(ProfileRead("s", "long", "", file), value + "end");
  EXPECT_EQ(ProfileReadBuffer("s", "long", "", untouched, sizeof untouched, file), 2u);
  EXPECT_EQ(std::string(untouched), "\x95\x5C");
}

}  // namespace
}  // namespace koushin::port
