#include "notice_dialog.h"

#include "../../res/resource.h"
#include "picture_frame.h"
#include "wide_text.h"
#include "wizard/screens.h"
#include "wizard_app.h"

namespace koushin::win32 {

NoticeDialog::NoticeDialog() : Dialog(IDD_NOTICE) {}

BOOL NoticeDialog::OnInitDialog() {
  // The template's caption "マスタ調整機能付" stays unless the description asks for none.
  const std::string caption = wizard::NoticeCaption(masterAdjust);
  SetCaption(WideFromCp932(caption));
  SetItemText(IDC_TEXT, noticeText);
  return TRUE;
}

bool NoticeDialog::OnPaint() {
  PaintPictureFrame(Handle(), SourceFolder() + noticeBitmap);
  return true;
}

}  // namespace koushin::win32
