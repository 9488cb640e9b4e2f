#include "confirm_dialog.h"

#include "../../res/resource.h"
#include "picture_frame.h"
#include "wizard_app.h"

namespace koushin::win32 {

ConfirmDialog::ConfirmDialog() : Dialog(IDD_CONFIRM) {}

BOOL ConfirmDialog::OnInitDialog() {
  SetItemText(IDC_TEXT, installFolder);
  return TRUE;
}

bool ConfirmDialog::OnPaint() {
  PaintPictureFrame(Handle(), SourceFolder() + confirmBitmap);
  return true;
}

}  // namespace koushin::win32
