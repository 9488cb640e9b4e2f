// In-place replacement of every occurrence of a pattern.
#pragma once

#include <string>
#include <string_view>

namespace koushin::text {

// Replaces, left to right, every occurrence of `pattern` (byte-exact, case-sensitive) in `buffer`
// by `replacement` and returns `buffer`. The search goes on after the inserted text, so text that
// a replacement brings in is never searched again. The buffer grows as needed: there is no length
// limit. An empty pattern changes nothing.
std::string& ReplaceAllInPlace(std::string& buffer, std::string_view pattern,
                               std::string_view replacement);

}  // namespace koushin::text
