// Feeds arbitrary bytes to the BMP reader and checks that the image block it returns holds what
// its header says, so that a blit over it stays inside the block.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "gfx/bitmap_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace koushin::gfx;
  BitmapImage image;
  if (!ParseBitmap(std::string_view(reinterpret_cast<const char*>(data), size), &image)) {
    if (!image.block.empty()) std::abort();
    return 0;
  }
  if (image.block.size() != image.imageOffset + image.imageSize) std::abort();
  if (image.imageOffset < kInfoHeaderSize + std::size_t{4} * image.colorCount) std::abort();
  if (image.block.size() > size + kInfoHeaderSize + 12 + std::size_t{4} * image.colorCount) {
    std::abort();  // never more than the file could fill
  }
  const std::uint64_t rowBytes =
      (std::uint64_t{image.bitCount} * static_cast<std::uint64_t>(image.width) + 31) / 32 * 4;
  const std::uint32_t compression = image.block[16] | image.block[17] << 8 | image.block[18] << 16 |
                                    static_cast<std::uint32_t>(image.block[19]) << 24;
  if ((compression == 0 || compression == 3) &&
      rowBytes * static_cast<std::uint64_t>(image.height) > image.imageSize) {
    std::abort();
  }
  if (BitmapPalette(image).size() != image.colorCount) std::abort();
  return 0;
}
