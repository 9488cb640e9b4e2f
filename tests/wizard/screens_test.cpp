#include "wizard/screens.h"

#include <gtest/gtest.h>

#include "wizard/texts.h"

namespace koushin::wizard {
namespace {

TEST(NoticeCaption, NonZeroIntegerReadingKeepsTheMasterAdjustCaption) {
  struct Case {
    const char* masterAdjust;
    bool masterCaption;
  };
  const Case cases[] = {
      {"1", true},    {"2", true},  {"-1", true},  {" 1", true},   {"01", true},
      {"1abc", true}, {"0", false}, {"", false},   {"abc", false}, {"-0", false},
      {"0x1", false}, {" ", false}, {"+0", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NoticeCaption(c.masterAdjust),
              c.masterCaption ? texts::CaptionMasterAdjust() : texts::CaptionUpdate())
        << "masterAdjust '" << c.masterAdjust << "'";
  }
}

}  // namespace
}  // namespace koushin::wizard
