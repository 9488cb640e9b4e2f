// The first screen: the caution text of the update, start or cancel (template 132).
#pragma once

#include <string>

#include "window.h"

namespace koushin::win32 {

class NoticeDialog : public Dialog {
 public:
  NoticeDialog();

  std::string noticeText;    // code page 932, line breaks already CR LF
  std::string noticeBitmap;  // relative to SourceFolder
  std::string masterAdjust;  // its number picks the caption

 protected:
  BOOL OnInitDialog() override;
  bool OnPaint() override;
};

}  // namespace koushin::win32
