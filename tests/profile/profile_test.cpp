// The profile services of the POSIX port on real files in a temporary folder mapped as drive C.
#include <cerrno>
#include <string>
#include <vector>

#include "port/port_fixture.h"

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
  EXPECT_EQ(Contents("c/EST/Tamiro1.ini"), "[App]\r\nkey=value\r\n");
  // Case-insensitive file names, '/' separators, and host paths all reach the same file.
  EXPECT_EQ(ProfileRead("app", "KEY", "d", "c:/est/TAMIRO1.INI"), "value");
  EXPECT_EQ(ProfileRead("App", "key", "d", HostCp932("c/EST/tamiro1.ini")), "value");
  // A name without a folder is looked for in the Windows folder, as on Windows.
  ASSERT_TRUE(ProfileWrite("s", "k", "v", "koushin.ini", &error)) << error.Describe();
  EXPECT_EQ(Contents("c/WINDOWS/koushin.ini"), "[s]\r\nk=v\r\n");
  EXPECT_EQ(ProfileRead("s", "k", "d", "KOUSHIN.INI"), "v");
}

TEST_F(ProfileTest, FailsAsWindowsDoes) {
  fs::create_directories(Host("c/EST"));
  struct Case {
    const char* section;
    const char* key;
    const char* value;
    std::string file;
    bool ok;
    int hostCode;
    const char* created;  // bytes of EST/new.ini afterwards; null: no such file
  } cases[] = {
      {nullptr, "key", "string", "C:\\EST\\new.ini", false, ENOENT, nullptr},
      {"App", "key", "string", "", false, EACCES, nullptr},
      {"App", "key", "string", "C:\\NOFOLDER\\new.ini", false, ENOENT, nullptr},
      {"App", "key", nullptr, "C:\\EST\\new.ini", true, 0, ""},
      {"App", nullptr, "x", "C:\\EST\\new.ini", true, 0, ""},
      {"App", "key", "", "C:\\EST\\new.ini", true, 0, "[App]\r\nkey=\r\n"},
  };
  for (const Case& c : cases) {
    fs::remove(Host("c/EST/new.ini"));
    Error error;
    EXPECT_EQ(ProfileWrite(c.section, c.key, c.value, c.file, &error), c.ok) << c.file;
    EXPECT_EQ(c.ok ? 0 : error.hostCode, c.hostCode) << error.Describe();
    EXPECT_EQ(fs::exists(Host("c/EST/new.ini")), c.created != nullptr);
    EXPECT_EQ(Contents("c/EST/new.ini"), c.created ? c.created : "");
    EXPECT_EQ(Listing("c/EST").size(), c.created ? 1u : 0u) << "a temporary file was left";
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
  EXPECT_EQ(Contents("c/EST/ro.ini"), "[s]\r\nk=v\r\n");

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
  EXPECT_EQ(Contents("c/EST/keep.ini"), "; settings\n[s]\nk=2\n");
  EXPECT_EQ(fs::status(Host("c/EST/keep.ini")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(ReadFileStatus(path, &status));
  EXPECT_EQ(status.attributes, attributes);
  EXPECT_NE(status.lastWriteTime, FileTimeFromUnix(1000000000));
  EXPECT_EQ(Listing("c/EST"), (std::vector<std::string>{"keep.ini", "ro.ini"}));
}

}  // namespace
}  // namespace koushin::port::testing
