#include "bitmap_file_painter.h"

#include <new>
#include <optional>
#include <vector>

#include "gdi.h"
#include "gfx/bitmap_file.h"

namespace koushin::win32 {

namespace {

// A logical palette from the image's colour table; the stock default palette when the image has
// none (it is not deleted). Null when the palette cannot be made.
HPALETTE CreateBitmapPalette(const gfx::BitmapImage& image, bool* created) {
  *created = false;
  const std::vector<gfx::PaletteEntry> entries = gfx::BitmapPalette(image);
  if (entries.empty()) return static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
  std::vector<unsigned char> memory(sizeof(LOGPALETTE) + entries.size() * sizeof(PALETTEENTRY));
  auto* palette = reinterpret_cast<LOGPALETTE*>(memory.data());
  palette->palVersion = 0x300;
  palette->palNumEntries = static_cast<WORD>(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    palette->palPalEntry[i] = PALETTEENTRY{entries[i].red, entries[i].green, entries[i].blue, 0};
  }
  const HPALETTE handle = CreatePalette(palette);
  *created = handle != nullptr;
  return handle;
}

int Paint(HDC dc, const RECT& rect, const std::string& path, DWORD rasterOperation) {
  gfx::BitmapImage image;
  if (!gfx::ReadBitmapFile(path, &image)) return 0;
  bool created = false;
  const HPALETTE palette = CreateBitmapPalette(image, &created);
  const GdiObject<HPALETTE> owned(created ? palette : nullptr);  // the stock palette is not ours
  std::optional<SelectedPalette> selected;
  if (palette != nullptr) selected.emplace(dc, palette);
  const auto* info = reinterpret_cast<const BITMAPINFO*>(image.block.data());
  // right and bottom are the destination's size: every caller passes a client rectangle.
  StretchDIBits(dc, rect.left, rect.top, rect.right, rect.bottom, 0, 0, image.width, image.height,
                image.block.data() + image.imageOffset, info, DIB_RGB_COLORS, rasterOperation);
  return 1;
}

}  // namespace

int BitmapFilePainter(HDC dc, const RECT& rect, const std::string& path, DWORD rasterOperation) {
  // A picture that cannot be held in memory (its block or its palette) is not painted; the
  // wizard goes on without it.
  try {
    return Paint(dc, rect, path, rasterOperation);
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

}  // namespace koushin::win32
