#include "port/posix/profile_engine.h"

#include <cerrno>
#include <optional>
#include <tuple>
#include <vector>

#include "port/port_fixture.h"
#include "support/source_file.h"
#include "text/replace.h"

namespace koushin::port::posix {
namespace {

using namespace std::string_literals;  // "a\0b"s keeps its NUL

// ー 81 5B, ソ 83 5C, ゾ 83 5D: trail bytes '[', '\', ']'. テ 83 65 and ウ 83 45 differ only in a
// trail byte that is an ASCII letter.
const std::string kBar = "\x81\x5B";
const std::string kSo = "\x83\x5C";
const std::string kZo = "\x83\x5D";

// Section, key, default, buffer size, the count returned and what the buffer holds afterwards.
using ReadCase =
    std::tuple<const char*, const char*, const char*, std::size_t, std::size_t, std::string>;

// Windows' answers on fixture A, with every line end CR LF, CR or LF. Lists keep duplicates and
// leave out empty names, keys starting with ';' and lines that are no header; keys come from the
// first section of a name only. A section list and its final NUL must fit with a byte to spare, as
// Windows cuts it. Our choice where Windows is not known: a cut never leaves half a double-byte
// character.
TEST(ProfileEngineTest, ReadsAsWindowsDoes) {
  const std::string a =
      "[section1]\r\nname1=val1\r\nname2=\"val2\"\r\nname3\r\nname4=a\r\n[section2]\r\n";
  std::string aCr = a, aLf = a;
  text::ReplaceAllInPlace(aCr, "\r\n", "\r");
  text::ReplaceAllInPlace(aLf, "\r\n", "\n");
  const std::vector<ReadCase> fixtureA = {
      {nullptr, "name1", "default", 260, 18, "section1\0section2\0\0"s},
      {"", "name1", "default", 260, 7, "default\0"s},
      {"notasection", "name1", "default", 260, 7, "default\0"s},
      {"", "name1", nullptr, 260, 0, "\0"s},
      {"", "name1", "default  ", 260, 7, "default\0"s},
      {"", "name1", "one two  ", 260, 7, "one two\0"s},
      {"section1", nullptr, "default", 260, 18, "name1\0name2\0name4\0\0"s},
      {"section1", "", "default", 260, 7, "default\0"s},
      {"section1", "notakey", "default", 260, 7, "default\0"s},
      {"section1", "name1", "default", 0, 0, ""},
      {"section1", "name1", "default", 4, 3, "val\0"s},
      {"section1", "name1", "default", 5, 4, "val1\0"s},
      {"section1", "name4", "default", 260, 1, "a\0"s},
      {"section1", "name4", "default", 1, 0, "\0"s},
      {"section1", "name2", "default", 260, 4, "val2\0"s},
      {"section1", "NaMe1", "default", 260, 4, "val1\0"s},
      {"SECTION1", "name1", "default", 260, 4, "val1\0"s},
      {"section2", "DoesntExist", "", 260, 0, "\0"s},
      {nullptr, "name1", "default", 16, 14, "section1\0secti\0\0"s},
      {"section1", nullptr, "default", 16, 14, "name1\0name2\0na\0\0"s},
      // Our choices: a line without '=' is not found; a default cut like a value.
      {"section1", "name3", "default", 260, 7, "default\0"s},
      {"notasection", "name1", "default", 4, 3, "def\0"s},
      {"section2", nullptr, "default", 260, 7, "default\0"s},
      {"notasection", nullptr, "default", 260, 7, "default\0"s},
      {nullptr, nullptr, "default", 2, 0, "\0\0"s},
      {nullptr, nullptr, "default", 1, 0, "\0"s},
  };
  const std::string lists = "[ Dup ]\r\na=1\r\n;c=2\r\n=3\r\nA=4\r\n[x\r\n[]\r\n[dup]\r\nd=5\r\n";
  const std::string noSections = "key=value\r\n", onlyEntries = "[s]\r\nname3\r\n[t]\r\n";
  const std::string names = "[ section1 ]\r\n[section2]\r\n[section3]\r\n";
  const std::string cut = "[a" + kSo + "]\r\n[b]\r\n[s]\r\nk=a" + kSo + "b\r\n";
  const std::pair<const std::string*, std::vector<ReadCase>> files[] = {
      {&a, fixtureA},
      {&aCr, fixtureA},
      {&aLf, fixtureA},
      {nullptr,
       {{"section1", "name1", "default", 260, 7, "default\0"s},
        {"section1", "name1", "default  ", 5, 4, "defa\0"s},
        {nullptr, "name1", "default", 260, 0, "\0"s},
        {"section1", nullptr, nullptr, 260, 0, "\0"s},
        {"section1", nullptr, "default", 260, 7, "default\0"s},
        {"s", "k", "tab\t", 260, 4, "tab\t\0"s}}},  // only spaces are dropped
      {&lists,
       {{nullptr, nullptr, "def", 260, 8, "Dup\0dup\0\0"s},
        {"dup", nullptr, "def", 260, 4, "a\0A\0\0"s}}},
      {&noSections, {{nullptr, nullptr, "default", 260, 0, "\0"s}}},
      {&onlyEntries, {{"s", nullptr, "default", 260, 7, "default\0"s}}},
      {&names,
       {{nullptr, nullptr, "", 29, 27, "section1\0section2\0section3\0\0"s},
        {nullptr, nullptr, "", 28, 26, "section1\0section2\0section3\0\0"s},
        {nullptr, nullptr, "", 27, 25, "section1\0section2\0section\0\0"s},
        {nullptr, nullptr, "", 11, 9, "section1\0\0\0"s}}},
      {&cut,
       {{"s", "k", "", 5, 4, "a" + kSo + "b" + "\0"s},
        {"s", "k", "", 4, 3, "a" + kSo + "\0"s},
        {"s", "k", "", 3, 1, "a\0"s},
        {"s", "nokey", kSo.c_str(), 2, 0, "\0"s},
        {nullptr, nullptr, "", 4, 2, "a\0\0\0"s},
        {nullptr, nullptr, "", 5, 3, "a" + kSo + "\0\0"s}}},
  };
  for (const auto& [file, cases] : files) {
    for (const auto& [section, key, defaultValue, size, count, bytes] : cases) {
      const ProfileBuffer got = ReadProfileBuffer(file, section, key, defaultValue, size);
      SCOPED_TRACE((file ? ::testing::PrintToString(*file) : "missing") + " G(" +
                   (section ? section : "NULL") + ", " + (key ? key : "NULL") +
                   ", n=" + std::to_string(size) + ")");
      EXPECT_EQ(got.count, count);
      EXPECT_EQ(got.bytes, bytes);
    }
  }
}

// Names and values found, in code page 932 too: trail bytes that look like syntax, case folding.
TEST(ProfileEngineTest, FindsNamesAndValues) {
  const struct {
    std::string file, section, key;
    std::string expected;  // "<default>" when the default comes back
  } cases[] = {
      {"[ section1 ]\r\n  key  =  value  \r\n", "section1", "key", "value"},
      {"[s]\r\n\tkey\t=\tvalue\t\r\n", "s", "key", "value"},
      {"[s]\r\n=val_no_key\r\n", "s", "", "val_no_key"},
      {"\r\nkey=val_no_section\r\n[]\r\nkey=val_e_section\r\n[s]\r\n=val_no_key\r\n[t]\r\n", "",
       "key", "val_e_section"},
      {"key=before\r\n[s]\r\n", "s", "key", "<default>"},
      {"[s]\r\na=1\r\na=2\r\n", "s", "a", "1"},
      // Our choice: only the first section of a name is searched.
      {"[s]\r\na=1\r\n[t]\r\n[S]\r\na=2\r\nb=3\r\n", "s", "a", "1"},
      {"[s]\r\na=1\r\n[t]\r\n[S]\r\na=2\r\nb=3\r\n", "s", "b", "<default>"},
      {"[s]\r\nk='x'\r\n", "s", "k", "x"},
      {"[s]\r\nk=\"x'\r\n", "s", "k", "\"x'"},
      {"[s]\r\nk=\"\r\n", "s", "k", "\""},
      {"[s]\r\nk=\"\"\r\n", "s", "k", ""},
      {"[s]\r\nk = \" a b \" \r\n", "s", "k", " a b "},
      {"[s]\r\nk=a=b\r\n", "s", "k", "a=b"},
      {"[s]\r\nk\r\nk=2\r\n", "s", "k", "2"},
      {"[s] trailing ; text\r\nk=1\r\n", "s", "k", "1"},
      {"[a]b]\r\nk=1\r\n", "a", "k", "1"},      // our choice: the first ']' ends the name
      {"[s]\r\n[t\r\nk=1\r\n", "s", "k", "1"},  // a '[' line without ']' is no header
      {"[s]\r\n[t=2\r\n", "s", "[t", "2"},
      {"[s]\r\n[t\r\nk=1\r\n", "t", "k", "<default>"},
      {"[s]\r\n;k=1\r\n", "s", ";k", "1"},  // ';' means nothing to reading
      {"[s]\r\n;k=1\r\n", "s", "k", "<default>"},
      {"[s]\r\nk=1", "s", "k", "1"},
      {"[s]\nk=1\r\n\r\n[t]\rk=2", "t", "k", "2"},
      {"[s]\r\nk=a\0b\r\n"s, "s", "k", "a\0b"s},
      {"[" + kBar + "]\r\nk=1\r\n", kBar, "k", "1"},
      {"[" + kSo + "]\r\nk=2\r\n", kSo, "k", "2"},
      {"[" + kZo + "]\r\nk=3\r\n", kZo, "k", "3"},
      {"[ " + kZo + kZo + " ]\r\n" + kZo + "=" + kZo + "\r\n", kZo + kZo, kZo, kZo},
      {"[s]\r\n" + kSo + "=" + kSo + "\r\n", "s", kSo, kSo},
      {"[s]\r\n" + kBar + "[x]=v\r\n", "s", kBar + "[x]", "v"},  // not a header
      {"[s]\r\nk\x83=v\r\n", "s", "k\x83", "v"},                 // a lone lead byte before '='
      {"[\x82\x60]\r\nk=4\r\n", "\x82\x81", "k", "4"},           // Ａ matches ａ (our choice)
      {"[\x83\x9F]\r\nk=5\r\n", "\x83\xBF", "k", "5"},           // Α matches α (our choice)
      {"[\x84\x4F]\r\nk=6\r\n", "\x84\x80", "k", "6"},           // Cyrillic О matches о
      {"[\x83\x65]\r\nk=7\r\n", "\x83\x45", "k", "<default>"},   // テ is not ウ
      {"[\x83\x65]\r\nk=7\r\n", "\x83\x65", "k", "7"},
      {"[\xB1]\r\nk=8\r\n", "\xB1", "k", "8"},          // half-width katakana is single-byte
      {"[\x81\x5D]\r\nk=9\r\n", "\x81\x5D", "k", "9"},  // 0x81 is a lead byte: ‐ ends in ']'
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadProfileValue(&c.file, c.section, c.key, "<default>"), c.expected)
        << ::testing::PrintToString(c.file) << " [" << ::testing::PrintToString(c.section) << "] "
        << ::testing::PrintToString(c.key);
  }
}

// Section, key, value, the whole file afterwards (where checked) and whether the write changes it.
using WriteStep =
    std::tuple<const char*, const char*, const char*, std::optional<std::string>, bool>;

// Applies the steps in turn; returns the file at the end.
std::string ExpectWrites(std::string file, const std::vector<WriteStep>& steps) {
  for (const auto& [section, key, value, expected, changes] : steps) {
    std::string updated = "untouched";
    const bool changed = WriteProfile(file, section, key, value, &updated);
    SCOPED_TRACE(std::string("W(") + (section ? section : "NULL") + ", " + (key ? key : "NULL") +
                 ", " + (value ? value : "NULL") + ")");
    EXPECT_EQ(changed, changes);
    if (!changed) EXPECT_EQ(updated, "untouched");  // a write that changes nothing gives nothing
    file = changed ? updated : file;
    EXPECT_EQ(file, expected.value_or(file));
  }
  return file;
}

TEST(ProfileEngineTest, WritesAsWindowsDoes) {
  const std::string k1 = "key1=string1\r\n", k2 = "key2=string2\r\n", k3 = "key3=string3\r\n";
  const std::string a1 = "[App1]\r\n", a2 = "[App2]\r\nkey4=string4\r\n";
  const std::string a3 = "[App3]\r\nkey5=string5\r\n", built = a1 + k1 + k2 + k3 + a2 + a3;
  ExpectWrites("", {
                       {"App1", "key1", "string1", a1 + k1, true},
                       {"App1", "key2", "string2", a1 + k1 + k2, true},
                       {"App1", "key3", "string3", a1 + k1 + k2 + k3, true},
                       {"App2", "key4", "string4", a1 + k1 + k2 + k3 + a2, true},
                       {"App3", "key5", "string5", built, true},
                       {"App1", "key2", nullptr, a1 + k1 + k3 + a2 + a3, true},
                       {"App1", "key2", nullptr, a1 + k1 + k3 + a2 + a3, false},
                       {"App1", nullptr, "string1", a2 + a3, true},
                       {"App2", nullptr, nullptr, a3, true},
                       {"App3", "key5", nullptr, "[App3]\r\n", true},
                       {"App3", "key5", nullptr, "[App3]\r\n", false},
                       {"App3", nullptr, nullptr, "", true},
                   });
  ExpectWrites("", {{"App", "key", "", "[App]\r\nkey=\r\n", true}});
  ExpectWrites("", {{"App", "key", nullptr, "", false}, {"App", nullptr, "x", "", false}});
  ExpectWrites(built, {{nullptr, "key", "string", built, false}});
  ExpectWrites("Data \0 before \0 first \0 section"s,
               {{"section1", "key1", "string1",
                 "Data \0 before \0 first \0 section\r\n[section1]\r\nkey1=string1\r\n"s, true}});
  // Writes that find what they change in files Windows would edit in place.
  ExpectWrites("[s]\r\nk=1\r\n",
               {{"s", "k", "1", "[s]\r\nk=1\r\n", false}, {"S", "K", "2", "[s]\r\nk=2\r\n", true}});
  // Already the value as read: left alone with its spacing and quotes.
  ExpectWrites("[s]\n  k = \"v\"  \n", {{"s", "k", "v", "[s]\n  k = \"v\"  \n", false},
                                        {"s", "k", "w", "[s]\nk=w\n", true}});
  ExpectWrites("[s]\r\nk=1", {{"s", "k", "2", "[s]\r\nk=2", true},
                              {"s", "j", "3", "[s]\r\nk=2\r\nj=3\r\n", true}});
  ExpectWrites("[s]", {{"s", "k", "v", "[s]\r\nk=v\r\n", true}});
  ExpectWrites("[s]\r\nk=1\r\n\r\n; about t\r\n[t]\r\n",
               {{"s", "j", "2", "[s]\r\nk=1\r\nj=2\r\n\r\n; about t\r\n[t]\r\n", true},
                {"s", nullptr, nullptr, "\r\n; about t\r\n[t]\r\n", true}});
  ExpectWrites("[s]\r\n; only a comment\r\n",
               {{"s", "k", "v", "[s]\r\nk=v\r\n; only a comment\r\n", true}});
  ExpectWrites("[s]\r\nname3\r\n", {{"s", "name3", "x", "[s]\r\nname3\r\nname3=x\r\n", true}});
  ExpectWrites("[s]\r\nk=1\r\n[s]\r\nk=2\r\n",
               {{"s", "k", "3", "[s]\r\nk=3\r\n[s]\r\nk=2\r\n", true},
                {"s", nullptr, nullptr, "[s]\r\nk=2\r\n", true}});
  ExpectWrites("x", {{"s", "k", "v", "x\r\n[s]\r\nk=v\r\n", true}});
  ExpectWrites("x\r", {{"s", "k", "v", "x\r[s]\r\nk=v\r\n", true}});
  ExpectWrites("[" + kSo + "]\r\n" + kZo + "=1\r\n",
               {{kSo.c_str(), kZo.c_str(), kBar.c_str(),
                 "[" + kSo + "]\r\n" + kZo + "=" + kBar + "\r\n", true}});
}

// Whole files: a hand-kept settings file with comments, blank lines, LF line ends, spacing, a NUL
// byte and code page 932 names, through a sequence of writes; compared with golden files.
TEST(ProfileEngineTest, GoldenFiles) {
  const std::vector<WriteStep> steps = {
      {"Paths", "DATA", "D:\\EST\\DATA", std::nullopt, true},
      {"Paths", "NEW", "1", std::nullopt, true},
      {"\x83\x5C\x83\x74\x83\x67", "\x95\x5C\x8E\xA6", "\x82\xCD\x82\xA2", std::nullopt, true},
      {"Empty", "k", "v", std::nullopt, true},
      {"Gone", nullptr, nullptr, std::nullopt, true},
      {"Paths", "OLD", nullptr, std::nullopt, true},
      {"Same", "k", "v", std::nullopt, false},
      {"New", "a", "b", std::nullopt, true},
  };
  const std::string data = koushin::testing::SourceFilePath("tests/profile/data") + "/";
  std::string before, after;
  ASSERT_TRUE(ReadWholeFile(data + "settings.ini", &before));
  ASSERT_TRUE(ReadWholeFile(data + "settings.after.ini", &after));
  EXPECT_EQ(ExpectWrites(before, steps), after);
}

}  // namespace
}  // namespace koushin::port::posix

// The profile services of the POSIX port on real files in a temporary folder mapped as drive C.
namespace koushin::port::testing {
namespace {

using ProfileTest = PortTest;

TEST_F(ProfileTest, ReadsAndWritesThroughWindowsPaths) {
  fs::create_directories(Host("c/EST"));
  fs::create_directories(Host("c/WINDOWS"));
  // A missing file, a missing folder, no name and a folder read as the default, creating nothing.
  for (const char* file : {"C:\\EST\\none.ini", "C:\\NOFOLDER\\x.ini", "", "C:\\EST"}) {
    EXPECT_EQ(ProfileRead("s", "k", "def  ", file), "def") << file;
  }
  EXPECT_TRUE(Listing("c/EST").empty());
  Error error;
  ASSERT_TRUE(ProfileWrite("App", "key", "value", "C:\\EST\\Tamiro1.ini", &error))
      << error.Describe();
  EXPECT_EQ(folder_.Read("c/EST/Tamiro1.ini"), "[App]\r\nkey=value\r\n");
  // Case-insensitive file names, '/' separators, and host paths all reach the same file.
  EXPECT_EQ(ProfileRead("app", "KEY", "d", "c:/est/TAMIRO1.INI"), "value");
  EXPECT_EQ(ProfileRead("App", "key", "d", HostCp932("c/EST/tamiro1.ini")), "value");
  // A name without a folder is looked for in the Windows folder, as on Windows.
  ASSERT_TRUE(ProfileWrite("s", "k", "v", "koushin.ini", &error)) << error.Describe();
  EXPECT_EQ(folder_.Read("c/WINDOWS/koushin.ini"), "[s]\r\nk=v\r\n");
  EXPECT_EQ(ProfileRead("s", "k", "d", "KOUSHIN.INI"), "v");
}

TEST_F(ProfileTest, FailsAsWindowsDoes) {
  fs::create_directories(Host("c/EST"));
  // Section, key, value, file, the host code (0: written), and the bytes of EST/new.ini
  // afterwards (null: no such file).
  const std::tuple<const char*, const char*, const char*, std::string, int, const char*> cases[] = {
      {nullptr, "key", "string", "C:\\EST\\new.ini", ENOENT, nullptr},
      {"App", "key", "string", "", EACCES, nullptr},
      {"App", "key", "string", "C:\\NOFOLDER\\new.ini", ENOENT, nullptr},
      {"App", "key", nullptr, "C:\\EST\\new.ini", 0, ""},
      {"App", nullptr, "x", "C:\\EST\\new.ini", 0, ""},
      {"App", "key", "", "C:\\EST\\new.ini", 0, "[App]\r\nkey=\r\n"},
  };
  for (const auto& [section, key, value, file, code, created] : cases) {
    fs::remove(Host("c/EST/new.ini"));
    Error error;
    const bool ok = ProfileWrite(section, key, value, file, &error);
    EXPECT_EQ(std::pair(ok, ok ? 0 : error.hostCode), std::pair(code == 0, code)) << file;
    EXPECT_EQ(fs::exists(Host("c/EST/new.ini")), created != nullptr) << file;
    EXPECT_EQ(folder_.Read("c/EST/new.ini"), created ? created : "");
    EXPECT_EQ(Listing("c/EST").size(), created ? 1u : 0u) << "a temporary file was left";
  }
}

// A changed file is replaced whole (a new file renamed over the old) and keeps its permissions
// and DOS attributes; an unchanged one is not touched at all; a read-only one is refused and kept.
TEST_F(ProfileTest, ReplacesAtomicallyKeepingModeAndAttributesAndRefusesReadOnly) {
  MakeFile("c/EST/ro.ini", "[s]\r\nk=v\r\n");
  fs::permissions(Host("c/EST/ro.ini"), fs::perms::owner_read | fs::perms::group_read);
  Error error;
  EXPECT_FALSE(ProfileWrite("s", "k", "w", "C:\\EST\\ro.ini", &error));
  EXPECT_EQ(error.hostCode, EACCES);
  EXPECT_FALSE(ProfileWrite("s", "k", "v", "C:\\EST\\ro.ini", &error));  // even a no-op
  EXPECT_EQ(folder_.Read("c/EST/ro.ini"), "[s]\r\nk=v\r\n");

  const std::string path = "C:\\EST\\keep.ini";
  MakeFile("c/EST/keep.ini", "; settings\n[s]\nk=1\n");
  fs::permissions(Host("c/EST/keep.ini"),
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  FileStatus status;
  ASSERT_TRUE(ReadFileStatus(path, &status));
  status.attributes = kAttrArchive | kAttrHidden;
  status.lastWriteTime = FileTimeFromUnix(1000000000);
  ASSERT_TRUE(WriteFileStatus(path, status));
  ASSERT_TRUE(ReadFileStatus(path, &status));
  const std::uint8_t attributes = status.attributes;

  ASSERT_TRUE(ProfileWrite("s", "k", "1", path));
  ASSERT_TRUE(ReadFileStatus(path, &status));
  EXPECT_EQ(status.lastWriteTime, FileTimeFromUnix(1000000000)) << "an unchanged file was written";

  ASSERT_TRUE(ProfileWrite("s", "k", "2", path));
  EXPECT_EQ(folder_.Read("c/EST/keep.ini"), "; settings\n[s]\nk=2\n");
  EXPECT_EQ(fs::status(Host("c/EST/keep.ini")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(ReadFileStatus(path, &status));
  EXPECT_EQ(status.attributes, attributes);
  EXPECT_NE(status.lastWriteTime, FileTimeFromUnix(1000000000));
  EXPECT_EQ(Listing("c/EST"), (std::vector<std::string>{"keep.ini", "ro.ini"}));
}

}  // namespace
}  // namespace koushin::port::testing
