#include "gfx/bitmap_file.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "support/source_file.h"
#include "support/temp_folder.h"

namespace koushin::gfx {
namespace {

// The parts of a .BMP file, written in file order.
struct Bmp {
  std::uint16_t type = 0x4D42;
  std::uint32_t offBits = 0;
  std::uint32_t headerSize = 40;
  std::int32_t width = 1;
  std::int32_t height = 1;
  std::uint16_t bitCount = 24;
  std::uint32_t compression = 0;
  std::uint32_t sizeImage = 0;
  std::uint32_t clrUsed = 0;
  std::string headerTail;   // bytes 40.. of a longer header (zero-filled to headerSize)
  std::string afterHeader;  // masks and colour table
  std::string gap;          // bytes between the colour table and the image data
  std::string data;

  std::string Bytes() const {
    std::string out;
    // Each field little-endian: its value and size; bfSize and the reserved word are not used.
    // clang-format off
    const std::pair<std::uint32_t, int> fields[] = {
        {type, 2}, {0, 4}, {0, 4}, {offBits, 4}, {headerSize, 4}, {std::uint32_t(width), 4},
        {std::uint32_t(height), 4}, {1, 2}, {bitCount, 2}, {compression, 4}, {sizeImage, 4},
        {2835, 4}, {2835, 4}, {clrUsed, 4}, {0, 4}};
    // clang-format on
    for (const auto& [value, bytes] : fields) {
      for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    if (headerSize > 40 && headerSize < 4096) {
      std::string tail = headerTail;
      tail.resize(headerSize - 40, '\0');
      out += tail;
    }
    return out + afterHeader + gap + data;
  }
};

// n colour table entries: blue i, green 2i, red 3i, reserved 0.
std::string Table(int n) {
  std::string out;
  for (int i = 0; i < n; ++i) {
    out += {static_cast<char>(i), static_cast<char>(2 * i), static_cast<char>(3 * i), '\0'};
  }
  return out;
}

std::string Pixels(std::size_t n) {
  std::string out(n, '\0');
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<char>(i * 7 + 1);
  return out;
}

TEST(BitmapFileTest, ReadsSupportedFiles) {
  struct Case {
    const char* what;
    Bmp bmp;
    std::uint32_t colors, imageSize;
    std::size_t imageOffset;
  };
  // A bitmap of `bits` per pixel, w x h, with masks or colour table `after`, then `data`.
  const auto make = [](std::uint16_t bits, std::int32_t w, std::int32_t h, std::string after,
                       std::string data) {
    Bmp b;
    b.bitCount = bits, b.width = w, b.height = h, b.afterHeader = after, b.data = data;
    return b;
  };
  Bmp offBits54 = make(24, 100, 50, "", Pixels(15000)), gap = make(8, 101, 3, Table(16), "");
  offBits54.offBits = 54;  // 300 bytes per row, no colour table
  gap.clrUsed = 16, gap.gap = "gap!", gap.offBits = 14 + 40 + 64 + 4, gap.data = Pixels(104 * 3);
  Bmp colors65535 = make(8, 4, 2, Table(65535), Pixels(8)), bigger = make(24, 1, 1, "", Pixels(10));
  colors65535.clrUsed = 65535;  // as many as a logical palette holds: one more is refused
  bigger.sizeImage = 10;        // biSizeImage larger than the rows: all of it is read
  Bmp rle = make(8, 50, 50, Table(2), Pixels(6)), empty = make(24, 0, 7, "", "");
  rle.compression = 1, rle.clrUsed = 2, rle.sizeImage = 6;  // as long as biSizeImage says
  empty.offBits = 5000;  // an empty image reads nothing, even with bfOffBits past the end
  Bmp v4 = make(4, 8, 1, Table(16), Pixels(4)), v5 = make(32, 2, 2, "", Pixels(16));
  v4.headerSize = 108, v4.headerTail = "V4 tail";  // the table follows the whole header
  v5.headerSize = 124, v5.compression = 3, v5.offBits = 14 + 124;  // masks from the header
  v5.headerTail = std::string("\x00\x00\xFF\x00\x00\xFF\x00\x00\xFF\x00\x00\x00", 12);
  Bmp fields40 = make(16, 2, 1, std::string("\x00\xF8\x00\x00\xE0\x07\x00\x00\x1F\x00\x00\x00", 12),
                      Pixels(4));
  fields40.compression = 3;  // 40-byte header: the masks follow it in the file
  const Case cases[] = {
      {"24-bit, computed size", offBits54, 0, 15000, 40},
      {"8-bit, 256 colours, bfOffBits 0", make(8, 4, 2, Table(256), Pixels(8)), 256, 8, 1064},
      {"8-bit, 16 colours, 101 wide, gap before data", gap, 16, 312, 104},
      {"100000 bytes: three pieces of 32768 and one of 1696",
       make(32, 25000, 1, "", Pixels(100000)), 0, 100000, 40},
      {"65535 colours", colors65535, 65535, 8, 40 + 65535 * 4},
      {"1-bit, 33 pixels need 8 bytes a row", make(1, 33, 2, Table(2), Pixels(16)), 2, 16, 48},
      {"given size larger than the rows", bigger, 0, 10, 40},
      {"RLE8", rle, 2, 6, 48},
      {"zero width", empty, 0, 0, 40},
      {"108-byte header", v4, 16, 4, 104},
      {"124-byte header with bit fields", v5, 0, 16, 52},
      {"40-byte header with bit fields", fields40, 0, 4, 52},
  };

  for (const auto& c : cases) {
    BitmapImage image;
    ASSERT_TRUE(ParseBitmap(c.bmp.Bytes(), &image)) << c.what;
    EXPECT_EQ(
        std::tuple(image.colorCount, image.imageSize, image.imageOffset, image.width, image.height),
        std::tuple(c.colors, c.imageSize, c.imageOffset, c.bmp.width, c.bmp.height))
        << c.what;
    // The block: the file's header cut to 40 bytes with biSizeImage and biClrUsed stored, then the
    // masks (from a longer header where it holds them) or the colour table, then the image data.
    Bmp stored = c.bmp;
    stored.headerSize = 40, stored.sizeImage = c.imageSize, stored.clrUsed = c.colors;
    const std::string& masksOrTable =
        c.bmp.headerSize > 40 && c.bmp.compression == 3 ? c.bmp.headerTail : c.bmp.afterHeader;
    EXPECT_TRUE(std::string(image.block.begin(), image.block.end()) ==
                stored.Bytes().substr(14, 40) + masksOrTable + c.bmp.data.substr(0, c.imageSize))
        << c.what;
  }
}

TEST(BitmapFileTest, RefusesUnsupportedOrShortFiles) {
  Bmp good;
  good.width = 2, good.height = 2, good.data = Pixels(16);
  BitmapImage goodImage;
  ASSERT_TRUE(ParseBitmap(good.Bytes(), &goodImage));  // each case below spoils one thing
  const std::pair<const char*, std::function<void(Bmp&)>> spoils[] = {
      {"not BM", [](Bmp& b) { b.type = 0x4D43; }},
      {"core header", [](Bmp& b) { b.headerSize = 12; }},
      {"header shorter than 40", [](Bmp& b) { b.headerSize = 39; }},
      {"header longer than the file", [](Bmp& b) { b.headerSize = 5000; }},
      {"one byte of data missing", [](Bmp& b) { b.data.pop_back(); }},
      {"top-down", [](Bmp& b) { b.height = -2; }},
      {"negative width", [](Bmp& b) { b.width = -2; }},
      {"colour table short by one entry",
       [](Bmp& b) { b.bitCount = 8, b.offBits = 54, b.afterHeader = Table(255), b.data.clear(); }},
      {"colour count beyond the file", [](Bmp& b) { b.clrUsed = 0x40000000; }},
      {"more colours than a palette holds",
       [](Bmp& b) { b.clrUsed = 65536, b.afterHeader = Table(65536); }},
      {"image size beyond the file", [](Bmp& b) { b.sizeImage = 0xFFFFFFF0; }},
      {"computed size beyond 32 bits",
       [](Bmp& b) { b.width = 0x7FFFFFFF, b.height = 0x7FFFFFFF, b.bitCount = 32; }},
      {"given size smaller than the rows of a huge image",
       [](Bmp& b) { b.width = 0x7FFFFFFF, b.height = 0x7FFFFFFF, b.sizeImage = 16; }},
      {"given size smaller than the rows", [](Bmp& b) { b.sizeImage = 15; }},
      {"bfOffBits leaves too little data", [](Bmp& b) { b.offBits = 60; }},
      {"bfOffBits past the end", [](Bmp& b) { b.offBits = 0xFFFFFFFF; }},
      {"bit fields without masks", [](Bmp& b) { b.compression = 3, b.bitCount = 32; }},
  };
  std::vector<std::pair<const char*, std::string>> cases = {
      {"empty", ""},
      {"13 bytes", good.Bytes().substr(0, 13)},
      {"53 bytes", good.Bytes().substr(0, 53)}};
  for (const auto& [what, spoil] : spoils) {
    Bmp b = good;
    spoil(b);
    cases.push_back({what, b.Bytes()});
  }
  for (const auto& c : cases) {
    BitmapImage image;
    image.imageOffset = 99;
    EXPECT_FALSE(ParseBitmap(c.second, &image)) << c.first;
    EXPECT_TRUE(image.block.empty()) << c.first;
    EXPECT_EQ(image.imageOffset, 0u) << c.first;
  }

  // A file that ends inside any 32768-byte piece of its image data is refused.
  Bmp big;
  big.width = 25000, big.height = 1, big.bitCount = 32, big.data = Pixels(100000);
  const std::string bytes = big.Bytes();
  for (std::size_t cut : {1u, 32768u, 32769u, 65537u, 98305u, 99999u}) {
    BitmapImage image;
    EXPECT_FALSE(ParseBitmap(bytes.substr(0, 54 + cut - 1), &image)) << cut;
  }
}

TEST(BitmapFileTest, PaletteAndChunks) {
  Bmp b;
  b.bitCount = 8, b.clrUsed = 3, b.afterHeader = Table(3), b.data = Pixels(4);
  BitmapImage image;
  ASSERT_TRUE(ParseBitmap(b.Bytes(), &image));
  const std::vector<PaletteEntry> palette = BitmapPalette(image);
  ASSERT_EQ(palette.size(), 3u);
  EXPECT_EQ(std::make_tuple(palette[2].red, palette[2].green, palette[2].blue),
            std::make_tuple(6, 4, 2));

  b = Bmp();
  b.data = Pixels(4);
  ASSERT_TRUE(ParseBitmap(b.Bytes(), &image));
  EXPECT_TRUE(BitmapPalette(image).empty());  // the painter uses the default palette

  // Bytes available, bytes asked for, the count read.
  const std::tuple<std::size_t, std::size_t, std::size_t> cases[] = {
      {100000, 100000, 100000}, {99999, 100000, 0}, {32768, 32768, 32768},
      {32767, 32768, 0},        {65536, 65537, 0},  {10, 0, 0}};
  for (const auto& [available, count, result] : cases) {
    const std::string source = Pixels(available);
    ByteStream stream(source);
    std::vector<unsigned char> destination(count + 1, 0xEE);
    EXPECT_EQ(ReadInChunks(stream, destination.data(), count), result) << count;
    EXPECT_EQ(destination[count], 0xEE) << count;  // nothing written past the count
    if (result != 0) {
      EXPECT_EQ(std::string(destination.begin(), destination.end() - 1), source.substr(0, count));
    }
  }
}

// Files written by a real tool (tests/gfx/data/README.md), read through the port; and one in a
// real temporary folder whose name and file name end in 0x5C trail bytes.
TEST(BitmapFileTest, ReadsRealFiles) {
  const std::string data = testing::SourceFilePath("tests/gfx/data") + "/";
  // Width, height, bits per pixel, colours, image size and offset.
  using Geometry = std::tuple<int, int, int, unsigned, unsigned, std::size_t>;
  const std::pair<const char*, Geometry> cases[] = {
      {"rgb24.bmp", {7, 5, 24, 0, 120, 40}}, {"v5.bmp", {7, 5, 24, 0, 120, 40}},
      {"argb.bmp", {6, 4, 32, 0, 96, 52}},   {"mono.bmp", {9, 3, 1, 2, 12, 48}},
      {"pal8.bmp", {7, 5, 4, 16, 20, 104}},  {"rle8.bmp", {40, 3, 8, 256, 14, 1064}},
  };
  for (const auto& [file, geometry] : cases) {
    BitmapImage image;
    ASSERT_TRUE(ReadBitmapFile(data + file, &image)) << file;
    EXPECT_EQ(Geometry(image.width, image.height, image.bitCount, image.colorCount, image.imageSize,
                       image.imageOffset),
              geometry)
        << file;
  }

  BitmapImage image;
  const koushin::testing::TempFolder temp;
  temp.MakeFolder("\x94\x5C");  // 能
  std::filesystem::copy_file(testing::SourceFile("tests/gfx/data/rgb24.bmp"),
                             temp.HostOf("\x94\x5C\\\x83\x5C.bmp"));  // ソ.bmp
  const std::string folder = temp.PathOf("\x94\x5C\\");
  EXPECT_TRUE(ReadBitmapFile(folder + "\x83\x5C.bmp", &image));
  EXPECT_EQ(image.width, 7);
  EXPECT_FALSE(ReadBitmapFile(folder + "missing.bmp", &image));
  EXPECT_TRUE(image.block.empty());
  EXPECT_FALSE(ReadBitmapFile(folder, &image));  // a folder is no bitmap
  // Only the headers and the image data are read: 3 GB (sparse) after them are never held.
  std::filesystem::resize_file(temp.HostOf("\x94\x5C\\\x83\x5C.bmp"), std::uintmax_t{3} << 30);
  EXPECT_TRUE(ReadBitmapFile(folder + "\x83\x5C.bmp", &image));
  EXPECT_EQ(image.block.size(), image.imageOffset + 120);
}

}  // namespace
}  // namespace koushin::gfx
