// The portable half of the bitmap painter: reading a .BMP file into one image block that the
// platform's stretch-blit takes as it is, and the palette entries of its colour table.
//
// The image block holds, in this order: a 40-byte BITMAPINFOHEADER (little-endian, with
// biClrUsed and biSizeImage filled in when the file left them 0), for BI_BITFIELDS images of 16
// or 32 bits per pixel the three colour masks, the colour table (biClrUsed entries of blue,
// green, red, reserved) and the image data (biSizeImage bytes). On Windows,
// block.data() is the BITMAPINFO and block.data() + imageOffset the bits for StretchDIBits with
// DIB_RGB_COLORS; the source size is width x height.
//
// Files whose sizes do not fit the file are refused before anything is allocated: a colour table
// or image data that would reach past the end of the file, or a row or image size beyond 32 bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace koushin::gfx {

constexpr std::uint16_t kBitmapSignature = 0x4D42;  // "BM"
constexpr std::uint32_t kInfoHeaderSize = 40;       // BITMAPINFOHEADER
constexpr std::size_t kChunkSize = 32768;           // image data are read in pieces of this size

struct BitmapImage {
  std::vector<unsigned char> block;  // info header, colour table, image data
  std::size_t imageOffset = 0;       // of the image data within the block
  std::int32_t width = 0;            // biWidth
  std::int32_t height = 0;           // biHeight (bottom-up rows)
  std::uint16_t bitCount = 0;        // biBitCount
  std::uint32_t colorCount = 0;      // biClrUsed as stored: entries in the colour table
  std::uint32_t imageSize = 0;       // biSizeImage as stored
};

// One palette entry, built from a colour table entry (whose bytes are blue, green, red, reserved).
struct PaletteEntry {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
};

// A read position over the bytes of a file: reads return the count that arrived, and the position
// can be moved from the start of the file, past its end too (later reads then get 0).
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::size_t Read(unsigned char* destination, std::size_t count) = 0;
  virtual void Seek(std::uint64_t position) = 0;
  virtual std::uint64_t Position() const = 0;
  virtual std::uint64_t Size() const = 0;
  std::uint64_t Remaining() const { return Position() < Size() ? Size() - Position() : 0; }
};

// The bytes of a file already in memory.
class ByteStream : public ByteSource {
 public:
  explicit ByteStream(std::string_view bytes) : bytes_(bytes) {}
  std::size_t Read(unsigned char* destination, std::size_t count) override;
  void Seek(std::uint64_t position) override { position_ = position; }
  std::uint64_t Position() const override { return position_; }
  std::uint64_t Size() const override { return bytes_.size(); }

 private:
  std::string_view bytes_;
  std::uint64_t position_ = 0;
};

// Reads `count` bytes into `destination` in pieces of at most kChunkSize bytes. Returns `count`
// when every byte arrived, else 0 (so a count of 0 reads nothing and returns 0).
std::size_t ReadInChunks(ByteSource& stream, unsigned char* destination, std::size_t count);

// Reads a bitmap from the bytes of a .BMP file into `image`. True when the file holds a supported
// bitmap whose colour table and image data are all present: "BM" signature, a BITMAPINFOHEADER
// (biSize 40) or a longer header of the later forms (whose first 40 bytes are kept, with biSize
// set to 40 in the block; its colour masks are taken from the header and its colour table from
// the file after the whole header), a width and a height that are not negative, at most 65535
// colours, and for an uncompressed image a biSizeImage that holds all its rows. The colour count is
// biClrUsed, or when that is 0 2, 16 or 256 for 1, 4 or 8 bits per pixel and 0 otherwise;
// biSizeImage, when 0, is the rows (each padded to a multiple of 4 bytes) times the height. The
// image data start at bfOffBits, or right after the colour table when bfOffBits is 0. False, with
// `image` left empty, otherwise.
bool ParseBitmap(std::string_view bytes, BitmapImage* image);

// Reads a bitmap as ParseBitmap does from any source: the headers and colour table first, then
// the image data once, straight into the block, which is allocated at its exact size only after
// every size was checked against the source's. False, with `image` left empty, also when the
// block cannot be allocated.
bool ReadBitmap(ByteSource& source, BitmapImage* image);

// Reads the .BMP file at `path` (a Windows path, through the port) as ReadBitmap does, without
// holding the whole file in memory. False when the file cannot be read or is not a supported
// bitmap.
bool ReadBitmapFile(const std::string& path, BitmapImage* image);

// The palette of the image: one entry per colour table entry, in order; empty when the image has
// no colour table (the painter then selects the platform's default palette).
std::vector<PaletteEntry> BitmapPalette(const BitmapImage& image);

}  // namespace koushin::gfx
