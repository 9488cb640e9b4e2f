// The POSIX port's own part of a search (drive roots, drive-relative patterns, Windows' rules for
// "*." and ".*", the sorted order); the rest is in the port contract.
#include "port_fixture.h"

namespace koushin::port::testing {
namespace {

using FindTest = PortTest;
using Names = std::vector<std::string>;

// "name/" for a folder.
Names Find(const std::string& pattern) {
  std::vector<FoundEntry> entries;
  EXPECT_TRUE(FindEntries(pattern, &entries)) << pattern;
  Names names;
  for (const FoundEntry& entry : entries) names.push_back(entry.name + (entry.isFolder ? "/" : ""));
  return names;
}

TEST_F(FindTest, MatchesPatternsCaseInsensitivelyAndSorts) {
  for (const std::string& name :
       Names{"zai001-3.mst", "ZAI002-3.MST", "README", ".hidden", kSoUtf8 + kHyoUtf8 + ".txt"}) {
    MakeFile("c/m/" + name);
  }
  fs::create_directories(Host("c/m/Sub"));
  fs::create_directories(Host("c/Top"));
  const Names all = {"./",   "../",          ".hidden",      "README",
                     "Sub/", "ZAI002-3.MST", "zai001-3.mst", kSo + kHyo + ".txt"};
  EXPECT_EQ(Find("c:\\m\\*.*"), all);
  EXPECT_EQ(Find("C:\\*.*"), (Names{"Top/", "m/"}));  // no "." and ".." at a drive root
  EXPECT_EQ(Find("C:\\m\\*."), (Names{"./", "../", "README", "Sub/"}));
  EXPECT_EQ(Find("C:\\m\\readme.*"), (Names{"README"}));
  EXPECT_EQ(Find("c:m\\SUB"), (Names{"Sub/"}));

  ASSERT_TRUE(ChangeFolder("C:\\M"));
  EXPECT_EQ(Find("c:.\\*.*"), all);
  EXPECT_EQ(Find("zai0?\?-3.MST"), (Names{"ZAI002-3.MST", "zai001-3.mst"}));
  ASSERT_TRUE(ChangeFolder("C:\\"));
  EXPECT_EQ(Find("c:.\\*.*"), (Names{"Top/", "m/"}));
}

}  // namespace
}  // namespace koushin::port::testing
