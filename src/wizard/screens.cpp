#include "wizard/screens.h"

#include "text/number.h"
#include "wizard/texts.h"

namespace koushin::wizard {

std::string NoticeCaption(const std::string& masterAdjust) {
  return text::ParseInt(masterAdjust) == 0 ? texts::CaptionUpdate() : texts::CaptionMasterAdjust();
}

NoticeScreen MakeNoticeScreen(const description::UpdateDescription& record) {
  NoticeScreen screen;
  screen.masterAdjust = record.masterAdjust;
  screen.noticeText = record.noticeText;
  screen.noticeBitmap = record.noticeBitmap;
  screen.caption = NoticeCaption(record.masterAdjust);
  return screen;
}

ConfirmScreen MakeConfirmScreen(const description::UpdateDescription& record) {
  ConfirmScreen screen;
  screen.installFolder = record.installFolder;
  screen.confirmBitmap = record.confirmBitmap;
  screen.caption = texts::CaptionUpdate();
  return screen;
}

}  // namespace koushin::wizard
