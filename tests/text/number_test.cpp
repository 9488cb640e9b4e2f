#include "text/number.h"

#include <climits>

#include <gtest/gtest.h>

namespace koushin::text {
namespace {

TEST(NumberTest, ReadsLikeAtoi) {
  struct Case {
    const char* in;
    int out;
  } cases[] = {
      {"1", 1},
      {" 1", 1},
      {"\t-12x", -12},
      {"+7", 7},
      {"", 0},
      {"A", 0},
      {"-", 0},
      {"1 2", 1},
      {"99", 99},
      {"2147483647", INT_MAX},
      {"2147483648", INT_MAX},
      {"-2147483648", INT_MIN},
      {"-99999999999999999999", INT_MIN},
      {"99999999999999999999999", INT_MAX},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseInt(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace koushin::text
