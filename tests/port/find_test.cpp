#include <errno.h>

#include "port_fixture.h"

namespace koushin::port::testing {
namespace {

class FindTest : public PortTest {
 protected:
  void SetUp() override {
    PortTest::SetUp();
    for (const char* name : {"zai001-3.mst", "ZAI002-3.MST", "zai01-3.mst", "zai0001-3.mst",
                             "temp.mst", "README", ".hidden"}) {
      MakeFile(std::string("c/m/") + name);
    }
    MakeFile("c/m/" + kSoUtf8 + kHyoUtf8 + ".txt");
    fs::create_directories(Host("c/m/Sub"));
    fs::create_directories(Host("c/Top"));
  }

  // "name/" for a folder, "name" for a file; "!errno" when the search fails.
  std::vector<std::string> Find(const std::string& pattern) {
    std::vector<FoundEntry> entries;
    Error error;
    std::vector<std::string> names;
    if (!FindEntries(pattern, &entries, &error)) {
      EXPECT_TRUE(entries.empty());
      return {"!" + std::to_string(error.hostCode)};
    }
    for (const FoundEntry& entry : entries)
      names.push_back(entry.name + (entry.isFolder ? "/" : ""));
    return names;
  }
};

TEST_F(FindTest, MatchesPatternsCaseInsensitivelyAndSorts) {
  using Names = std::vector<std::string>;
  const std::string soHyo = kSo + kHyo + ".txt";
  const Names all = {"./",           "../",          ".hidden",  "README",
                     "Sub/",         "ZAI002-3.MST", "temp.mst", "zai0001-3.mst",
                     "zai001-3.mst", "zai01-3.mst",  soHyo};
  struct Case {
    std::string pattern;
    Names names;
  };
  // clang-format off
  const Case cases[] = {
      {"c:\\m\\*.*", all},
      {"c:\\m\\*", all},
      {"C:\\*.*", {"Top/", "m/"}},  // no "." and ".." at a drive root
      {"C:\\m\\*.", {"./", "../", "README", "Sub/"}},
      {"C:\\m\\readme.*", {"README"}},
      {"c:m\\SUB", {"Sub/"}},
      {"C:\\m\\nothing*", {"!" + std::to_string(ENOENT)}},
      {"C:\\missing\\*.*", {"!" + std::to_string(ENOENT)}},
  };
  // clang-format on
  for (const Case& c : cases) EXPECT_EQ(Find(c.pattern), c.names) << c.pattern;

  ASSERT_TRUE(ChangeFolder("C:\\M"));
  EXPECT_EQ(Find("c:.\\*.*"), all);
  EXPECT_EQ(Find("zai0??"
                 "-3.MST"),
            (Names{"ZAI002-3.MST", "zai001-3.mst"}));
  ASSERT_TRUE(ChangeFolder("C:\\"));
  EXPECT_EQ(Find("c:.\\*.*"), (Names{"Top/", "m/"}));
}

}  // namespace
}  // namespace koushin::port::testing
