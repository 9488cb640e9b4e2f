// Paints a .BMP file from the media stretched into a rectangle of a device context.
#pragma once

#include <windows.h>

#include <string>

namespace koushin::win32 {

// Reads the file at `path` (code page 932) anew and paints it over (left, top) with the size
// (right, bottom) of `rect` (the client rectangles every caller passes start at 0, 0), with its
// own palette selected, through StretchDIBits with `rasterOperation`. Returns 1 when the file was
// read and painted, 0 when it could not be read as a supported bitmap (nothing is painted).
int BitmapFilePainter(HDC dc, const RECT& rect, const std::string& path, DWORD rasterOperation);

}  // namespace koushin::win32
