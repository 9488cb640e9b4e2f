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

TEST(Screens, TakeTheRecordsFieldsUnchanged) {
  description::UpdateDescription record;
  record.masterAdjust = "0";
  record.noticeText = "A\r\nB";
  record.noticeBitmap = "N.BMP";
  record.installFolder = "";  // shown as it is, even empty
  record.confirmBitmap = "C.BMP";
  const NoticeScreen notice = MakeNoticeScreen(record);
  EXPECT_EQ(notice.noticeText, "A\r\nB");
  EXPECT_EQ(notice.noticeBitmap, "N.BMP");
  EXPECT_EQ(notice.caption, texts::CaptionUpdate());
  const ConfirmScreen confirm = MakeConfirmScreen(record);
  EXPECT_EQ(confirm.installFolder, "");
  EXPECT_EQ(confirm.confirmBitmap, "C.BMP");
  EXPECT_EQ(confirm.caption, texts::CaptionUpdate());
}

}  // namespace
}  // namespace koushin::wizard
