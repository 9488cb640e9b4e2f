// The picture area of the wizard's dialogs: a bitmap from the media painted over the black frame
// control 1007, read anew on every paint.
#pragma once

#include <windows.h>

#include <string>

namespace koushin::win32 {

// The WM_PAINT work of a wizard dialog: validates the dialog, lets control 1007 draw its frame,
// then paints the bitmap at `path` stretched over the control's client area. A missing or broken
// file leaves the empty frame.
void PaintPictureFrame(HWND dialog, const std::string& path);

}  // namespace koushin::win32
