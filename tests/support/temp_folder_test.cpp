// Each temporary folder is new, and it goes away with what a test leaves in it, read-only files
// included.
#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace koushin::testing {
namespace {

TEST(TempFolder, EachIsNewAndGoesAwayWithItsReadOnlyFiles) {
  std::filesystem::path host;
  {
    TempFolder one, two;
    EXPECT_NE(one.Path(), two.Path());
    host = one.Host();
    one.Write("\x83\x5C\\a.ini", "x");
    port::FileStatus status;
    status.attributes = port::kAttrReadOnly;
    ASSERT_TRUE(port::WriteFileStatus(one.PathOf("\x83\x5C\\a.ini"), status));
  }
  EXPECT_FALSE(std::filesystem::exists(host));
}

}  // namespace
}  // namespace koushin::testing
