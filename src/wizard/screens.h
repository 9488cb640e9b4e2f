// What the notice and the confirmation screens show. Both screens only show texts and return an
// end code; they never write into the update description.
#pragma once

#include <string>

#include "description/update_description.h"

namespace koushin::wizard {

// Screen end codes, as the dialogs return them.
constexpr int kEndOk = 1;       // "開始", "次へ", "更新", or Enter
constexpr int kEndCancel = 2;   // "取消", the confirmation's "戻る", or Esc
constexpr int kEndBack = 1008;  // the destination screen's "戻る"
constexpr int kEndFailed = -1;  // the screen could not be shown

// The notice's caption: "アップデート" when `masterAdjust` reads as the integer 0 (atoi rules:
// empty and non-numeric texts read as 0), otherwise "マスタ調整機能付" (1, 2, -1, ...).
std::string NoticeCaption(const std::string& masterAdjust);

// The notice screen: caption, fixed heading, caution text, picture, "開始" (kEndOk) and "取消"
// (kEndCancel, also Esc).
struct NoticeScreen {
  std::string masterAdjust;  // as in the record
  std::string noticeText;    // CR LF line breaks already in place
  std::string noticeBitmap;  // file name relative to the source folder
  std::string caption;       // NoticeCaption(masterAdjust)
};
NoticeScreen MakeNoticeScreen(const description::UpdateDescription& record);

// The confirmation screen: caption "アップデート", "更新先：" and the folder exactly as held (not
// tested), picture, "更新" (kEndOk) and "戻る" (kEndCancel, also Esc).
struct ConfirmScreen {
  std::string installFolder;
  std::string confirmBitmap;
  std::string caption;
};
ConfirmScreen MakeConfirmScreen(const description::UpdateDescription& record);

}  // namespace koushin::wizard
