// The about box (template 100). No menu entry opens it; command 57664 does.
#pragma once

#include "../../res/resource.h"
#include "window.h"

namespace koushin::win32 {

class AboutDialog : public Dialog {
 public:
  AboutDialog() : Dialog(IDD_ABOUTBOX) {}
};

}  // namespace koushin::win32
