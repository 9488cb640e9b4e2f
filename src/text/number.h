// Numbers stored as text in info.txt and INI values.
#pragma once

#include <string_view>

namespace koushin::text {

// Reads a number the way atoi does: leading white space (space, \t \n \v \f \r) skipped, an
// optional sign, then decimal digits up to the first other byte; no digits gives 0. Values beyond
// the range of int saturate at INT_MIN / INT_MAX instead of overflowing.
int ParseInt(std::string_view text);

}  // namespace koushin::text
