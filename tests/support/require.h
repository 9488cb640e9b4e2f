// A case that needs something the machine may lack (jlha and Java, a file system feature). Where it
// is missing the case is skipped with the reason, except when KOUSHIN_REQUIRE_ALL is set: ./run
// test sets it, because it installs everything every case needs, so there a case that cannot run
// fails instead of passing unseen.
//
//   KOUSHIN_REQUIRE(!ArchiveBytes("prog").empty(), "jlha and Java to make the archives");
//
// Like GTEST_SKIP and FAIL it returns from the calling function: use it in a test body or SetUp.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

namespace koushin::testing {

inline bool RequireAll() {
  const char* value = std::getenv("KOUSHIN_REQUIRE_ALL");
  return value != nullptr && *value != '\0' && *value != '0';
}

}  // namespace koushin::testing

#define KOUSHIN_REQUIRE(condition, what)         \
  do {                                           \
    if (!(condition)) {                          \
      if (::koushin::testing::RequireAll()) {    \
        FAIL() << "cannot run without " << what; \
      } else {                                   \
        GTEST_SKIP() << "needs " << what;        \
      }                                          \
    }                                            \
  } while (0)
