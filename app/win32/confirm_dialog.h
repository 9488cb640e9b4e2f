// The last screen before the update: the folder that will be written to (template 133).
#pragma once

#include <string>

#include "window.h"

namespace koushin::win32 {

class ConfirmDialog : public Dialog {
 public:
  ConfirmDialog();

  std::string installFolder;  // shown as it is, without any test
  std::string confirmBitmap;  // relative to SourceFolder

 protected:
  BOOL OnInitDialog() override;
  // "戻る" and Esc both end with 2.
  void OnCancel() override { EndDialog(IDCANCEL); }
  bool OnPaint() override;
};

}  // namespace koushin::win32
