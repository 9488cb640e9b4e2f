#include "text/replace.h"

#include <gtest/gtest.h>

namespace koushin::text {
namespace {

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

}  // namespace
}  // namespace koushin::text
