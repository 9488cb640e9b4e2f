// The fixed Japanese texts of the wizard's screens, as code page 932 bytes. They live here once so
// that the console and the Windows front end show the same words.
#pragma once

#include <string>

namespace koushin::wizard::texts {

// Captions.
extern const char kCaptionUpdate[];  // "アップデート": plain update; destination; confirmation
extern const char
    kCaptionMasterAdjust[];  // "マスタ調整機能付": the notice when masters are adjusted
// The caption of error messages is the engine's: engine::messages::kCaptionError.

// Buttons.
extern const char kButtonStart[];   // "開始"
extern const char kButtonCancel[];  // "取消"
extern const char kButtonNext[];    // "次へ"
extern const char kButtonBack[];    // "戻る"
extern const char kButtonUpdate[];  // "更新"

// Labels.
extern const char
    kNoticeHeading[];  // "ｲﾝｽﾄｰﾙを開始します。" CR LF "下記の注意項目を確認して下さい。"
extern const char kDriveListLabel[];    // "ｲﾝｽﾄｰﾙ先" CR LF "      ﾄﾞﾗｲﾌﾞ"
extern const char kFolderFieldLabel[];  // "ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞ"
extern const char kConfirmFolderLabel[];  // "更新先："

// Shown when a screen of the wizard cannot be shown at all; the program then ends.
extern const char kScreenFailed[];  // "画面を表示できません。"

// Shown when info.txt cannot be used; the program then ends without touching the installation.
// "info.txt の %d 行目が正しくありません。"
std::string DescriptionInvalid(int line);
// Shown when info.txt is missing or cannot be read; the program then ends.
extern const char kDescriptionUnreadable[];  // "info.txt を読み込めません。"
// Shown when the program's own folder cannot be named in code page 932; the program then ends.
extern const char kProgramFolderUnusable[];  // "プログラムのフォルダ名に使えない文字があります。"

}  // namespace koushin::wizard::texts
