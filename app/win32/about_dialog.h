// The about box (template 100). No menu entry opens it; command 57664 does.
#pragma once

#include "../../res/resource.h"
#include "window.h"

namespace koushin::win32 {

class AboutDialog : public Dialog {
 public:
  AboutDialog() : Dialog(IDD_ABOUTBOX) {}

 protected:
  // The template has no centring style; the box is centred over its owner, as dialogs of the
  // usual application frameworks are.
  BOOL OnInitDialog() override {
    CenterOverOwner();
    return TRUE;
  }
};

}  // namespace koushin::win32
