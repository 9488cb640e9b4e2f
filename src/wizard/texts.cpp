// The wizard's texts, written in UTF-8 and converted to code page 932 once, on first use.
#include "wizard/texts.h"

#include <vector>

#include "port/port.h"

namespace koushin::wizard::texts {
namespace {

enum Id {
  kCaptionUpdate,
  kCaptionMasterAdjust,
  kButtonStart,
  kButtonCancel,
  kButtonNext,
  kButtonBack,
  kButtonUpdate,
  kNoticeHeading,
  kDriveListLabel,
  kFolderFieldLabel,
  kConfirmFolderLabel,
  kScreenFailed,
  kDescriptionInvalidBefore,
  kDescriptionInvalidAfter,
  kDescriptionUnreadable,
  kProgramFolderUnusable,
  kCount,
};

const char* const kUtf8[] = {
    "アップデート",
    "マスタ調整機能付",
    "開始",
    "取消",
    "次へ",
    "戻る",
    "更新",
    "ｲﾝｽﾄｰﾙを開始します。\r\n下記の注意項目を確認して下さい。",
    "ｲﾝｽﾄｰﾙ先\r\n      ﾄﾞﾗｲﾌﾞ",
    "ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞ",
    "更新先：",
    "画面を表示できません。",
    "info.txt の ",
    " 行目が正しくありません。",
    "info.txt を読み込めません。",
    "プログラムのフォルダ名に使えない文字があります。",
};
static_assert(sizeof kUtf8 / sizeof kUtf8[0] == kCount, "one text for each Id");

const std::string& Cp932(Id id) {
  // Every text is in the code page; should a platform's converter refuse one, the UTF-8 bytes
  // are still better shown than nothing.
  static const std::vector<std::string> converted = port::Utf8TableToCp932(kUtf8, kCount);
  return converted[id];
}

}  // namespace

const std::string& CaptionUpdate() { return Cp932(kCaptionUpdate); }
const std::string& CaptionMasterAdjust() { return Cp932(kCaptionMasterAdjust); }
const std::string& ButtonStart() { return Cp932(kButtonStart); }
const std::string& ButtonCancel() { return Cp932(kButtonCancel); }
const std::string& ButtonNext() { return Cp932(kButtonNext); }
const std::string& ButtonBack() { return Cp932(kButtonBack); }
const std::string& ButtonUpdate() { return Cp932(kButtonUpdate); }
const std::string& NoticeHeading() { return Cp932(kNoticeHeading); }
const std::string& DriveListLabel() { return Cp932(kDriveListLabel); }
const std::string& FolderFieldLabel() { return Cp932(kFolderFieldLabel); }
const std::string& ConfirmFolderLabel() { return Cp932(kConfirmFolderLabel); }
const std::string& ScreenFailed() { return Cp932(kScreenFailed); }
const std::string& DescriptionUnreadable() { return Cp932(kDescriptionUnreadable); }
const std::string& ProgramFolderUnusable() { return Cp932(kProgramFolderUnusable); }

std::string DescriptionInvalid(int line) {
  return Cp932(kDescriptionInvalidBefore) + std::to_string(line) + Cp932(kDescriptionInvalidAfter);
}

}  // namespace koushin::wizard::texts
