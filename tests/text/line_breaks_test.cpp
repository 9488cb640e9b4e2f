#include "text/line_breaks.h"

#include <gtest/gtest.h>

namespace koushin::text {
namespace {

TEST(LineBreaksTest, TabsBecomeLineBreaks) {
  std::string many;
  for (int i = 0; i < 120; ++i) many += "\tx";
  std::string manyOut;
  for (int i = 0; i < 100; ++i) manyOut += "\r\n";
  for (int i = 0; i < 20; ++i) manyOut += "\tx";
  struct Case {
    std::string in, out;
  } cases[] = {
      {"A\txB", "A\r\nB"}, {"A\t\tB", "A\r\nB"}, {"A\tBD", "A\r\nD"},
      {"A\t", "A\r"},      {"\t", "\r"},         {"", ""},
      {many, manyOut},
  };
  for (auto c : cases) {
    ConvertTabsToLineBreaks(c.in);
    EXPECT_EQ(c.in, c.out);
  }
}

}  // namespace
}  // namespace koushin::text
