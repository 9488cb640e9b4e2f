#include "picture_frame.h"

#include "../../res/resource.h"
#include "bitmap_file_painter.h"

namespace koushin::win32 {

void PaintPictureFrame(HWND dialog, const std::string& path) {
  PAINTSTRUCT paint;
  BeginPaint(dialog, &paint);
  const HWND picture = GetDlgItem(dialog, IDC_PICTURE);
  if (picture != nullptr) {
    const HDC dc = GetDC(picture);
    // The control draws its own frame first, so that the picture goes on top of it.
    InvalidateRect(picture, nullptr, TRUE);
    UpdateWindow(picture);
    RECT client{};
    GetClientRect(picture, &client);
    BitmapFilePainter(dc, client, path, SRCCOPY);
    ReleaseDC(picture, dc);
  }
  EndPaint(dialog, &paint);
}

}  // namespace koushin::win32
