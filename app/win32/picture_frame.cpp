#include "picture_frame.h"

#include "../../res/resource.h"
#include "bitmap_file_painter.h"
#include "gdi.h"

namespace koushin::win32 {

void PaintPictureFrame(HWND dialog, const std::string& path) {
  const PaintContext paint(dialog);
  const HWND picture = GetDlgItem(dialog, IDC_PICTURE);
  if (picture == nullptr) return;
  const WindowDc dc(picture);
  // The control draws its own frame first, so that the picture goes on top of it.
  InvalidateRect(picture, nullptr, TRUE);
  UpdateWindow(picture);
  RECT client{};
  GetClientRect(picture, &client);
  BitmapFilePainter(dc.Get(), client, path, SRCCOPY);
}

}  // namespace koushin::win32
