// The fixed Japanese texts of the wizard's screens, as code page 932 bytes. They live here once so
// that the console and the Windows front end show the same words; texts.cpp holds them in UTF-8
// and converts them once.
#pragma once

#include <string>

namespace koushin::wizard::texts {

// Captions.
const std::string& CaptionUpdate();        // plain update; destination; confirmation
const std::string& CaptionMasterAdjust();  // the notice when masters are adjusted
// The caption of error messages is the engine's: engine::messages::CaptionError().

// Buttons.
const std::string& ButtonStart();
const std::string& ButtonCancel();
const std::string& ButtonNext();
const std::string& ButtonBack();
const std::string& ButtonUpdate();

// Labels.
const std::string& NoticeHeading();
const std::string& DriveListLabel();
const std::string& FolderFieldLabel();
const std::string& ConfirmFolderLabel();

// Shown when a screen of the wizard cannot be shown at all; the program then ends.
const std::string& ScreenFailed();

// Shown when info.txt cannot be used; the program then ends without touching the installation.
// "info.txt の %d 行目が正しくありません。"
std::string DescriptionInvalid(int line);
// Shown when info.txt is missing or cannot be read; the program then ends.
const std::string& DescriptionUnreadable();  // "info.txt を読み込めません。"
// Shown when the program's own folder cannot be named in code page 932; the program then ends.
const std::string& ProgramFolderUnusable();  // "プログラムのフォルダ名に使えない文字があります。"

}  // namespace koushin::wizard::texts
