#include "gfx/bitmap_file.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "port/port.h"

namespace koushin::gfx {

namespace {

constexpr std::size_t kFileHeaderSize = 14;  // BITMAPFILEHEADER
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kRgb = 0;            // biCompression BI_RGB
constexpr std::uint32_t kBitFields = 3;      // biCompression BI_BITFIELDS
constexpr std::size_t kMaskBytes = 12;       // red, green and blue masks
constexpr std::uint32_t kMaxColors = 65535;  // a logical palette holds no more
constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();

// Offsets within the info header.
constexpr std::size_t kBiSize = 0;
constexpr std::size_t kBiWidth = 4;
constexpr std::size_t kBiHeight = 8;
constexpr std::size_t kBiBitCount = 14;
constexpr std::size_t kBiCompression = 16;
constexpr std::size_t kBiSizeImage = 20;
constexpr std::size_t kBiClrUsed = 32;

std::uint32_t Get16(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}

std::uint32_t Get32(const unsigned char* p) { return Get16(p) | Get16(p + 2) << 16; }

void Put32(unsigned char* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint32_t DefaultColorCount(std::uint32_t bitCount) {
  switch (bitCount) {
    case 1:
      return 2;
    case 4:
      return 16;
    case 8:
      return 256;
    default:
      return 0;
  }
}

}  // namespace

std::size_t ByteStream::Read(unsigned char* destination, std::size_t count) {
  const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, Remaining()));
  if (n > 0) std::memcpy(destination, bytes_.data() + position_, n);
  position_ += n;
  return n;
}

std::size_t ReadInChunks(ByteSource& stream, unsigned char* destination, std::size_t count) {
  const std::size_t total = count;
  while (count > kChunkSize) {
    if (stream.Read(destination, kChunkSize) != kChunkSize) return 0;
    destination += kChunkSize;
    count -= kChunkSize;
  }
  return stream.Read(destination, count) == count ? total : 0;
}

bool ParseBitmap(std::string_view bytes, BitmapImage* image) {
  ByteStream file(bytes);
  return ReadBitmap(file, image);
}

bool ReadBitmap(ByteSource& file, BitmapImage* image) {
  *image = BitmapImage();
  const std::uint64_t fileSize = file.Size();

  unsigned char fileHeader[kFileHeaderSize];
  if (file.Read(fileHeader, kFileHeaderSize) != kFileHeaderSize) return false;
  if (Get16(fileHeader) != kBitmapSignature) return false;
  const std::uint32_t offBits = Get32(fileHeader + 10);

  unsigned char info[kInfoHeaderSize];
  if (file.Read(info, kInfoHeaderSize) != kInfoHeaderSize) return false;
  const std::uint32_t headerSize = Get32(info + kBiSize);
  // The core header (12) has another layout; anything shorter than 40 bytes cannot hold ours.
  if (headerSize == kCoreHeaderSize || headerSize < kInfoHeaderSize) return false;
  if (headerSize - kInfoHeaderSize > file.Remaining()) return false;

  const auto width = static_cast<std::int32_t>(Get32(info + kBiWidth));
  const auto height = static_cast<std::int32_t>(Get32(info + kBiHeight));
  const std::uint32_t bitCount = Get16(info + kBiBitCount);
  if (width < 0 || height < 0) return false;  // top-down images are not supported

  std::uint32_t colorCount = Get32(info + kBiClrUsed);
  if (colorCount == 0) colorCount = DefaultColorCount(bitCount);
  if (colorCount > kMaxColors) return false;

  // Rows are padded to a multiple of 4 bytes. An uncompressed image needs all its rows: the blit
  // reads them whatever biSizeImage says, so a smaller biSizeImage would let it read past the
  // block.
  const std::uint32_t compression = Get32(info + kBiCompression);
  const std::uint64_t rowBytes = (std::uint64_t{bitCount} * width + 31) / 32 * 4;
  const bool sizeFits = rowBytes == 0 || static_cast<std::uint64_t>(height) <= kMax32 / rowBytes;
  std::uint64_t imageSize = Get32(info + kBiSizeImage);
  if (imageSize == 0) {
    if (!sizeFits) return false;
    imageSize = rowBytes * static_cast<std::uint64_t>(height);
  } else if (compression == kRgb || compression == kBitFields) {
    if (!sizeFits || imageSize < rowBytes * static_cast<std::uint64_t>(height)) return false;
  }

  // BI_BITFIELDS images carry three colour masks: in a longer header at byte 40, else right
  // after the 40-byte header in the file.
  const bool hasMasks = compression == kBitFields && (bitCount == 16 || bitCount == 32);
  const bool masksInHeader = hasMasks && headerSize >= kInfoHeaderSize + kMaskBytes;
  const std::size_t maskBytes = hasMasks ? kMaskBytes : 0;
  const std::uint64_t tableBytes = std::uint64_t{4} * colorCount;

  // Everything the block will hold must be in the file before anything is allocated.
  const std::uint64_t tableEnd =
      kFileHeaderSize + headerSize + (masksInHeader ? 0 : maskBytes) + tableBytes;
  if (tableEnd > fileSize) return false;
  const std::uint64_t dataStart = offBits != 0 ? offBits : tableEnd;
  if (imageSize > 0 && (dataStart > fileSize || imageSize > fileSize - dataStart)) {
    return false;
  }

  const std::size_t imageOffset =
      kInfoHeaderSize + maskBytes + static_cast<std::size_t>(tableBytes);
  // A picture too large for the memory there is is not painted; it never ends the program.
  std::vector<unsigned char> block;
  try {
    block.resize(imageOffset + static_cast<std::size_t>(imageSize));
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  std::memcpy(block.data(), info, kInfoHeaderSize);
  Put32(block.data() + kBiSize, kInfoHeaderSize);
  Put32(block.data() + kBiClrUsed, colorCount);
  Put32(block.data() + kBiSizeImage, static_cast<std::uint32_t>(imageSize));

  if (masksInHeader) {
    if (file.Read(block.data() + kInfoHeaderSize, kMaskBytes) != kMaskBytes) return false;
  }
  file.Seek(kFileHeaderSize + headerSize);
  if (hasMasks && !masksInHeader) {
    if (file.Read(block.data() + kInfoHeaderSize, kMaskBytes) != kMaskBytes) return false;
  }
  const std::size_t tableSize = static_cast<std::size_t>(tableBytes);
  if (file.Read(block.data() + kInfoHeaderSize + maskBytes, tableSize) != tableSize) return false;

  if (offBits != 0) file.Seek(offBits);
  const std::size_t dataSize = static_cast<std::size_t>(imageSize);
  if (ReadInChunks(file, block.data() + imageOffset, dataSize) != dataSize) return false;

  image->block = std::move(block);
  image->imageOffset = imageOffset;
  image->width = width;
  image->height = height;
  image->bitCount = static_cast<std::uint16_t>(bitCount);
  image->colorCount = colorCount;
  image->imageSize = static_cast<std::uint32_t>(imageSize);
  return true;
}

namespace {

// An open file read front to back through the port. A seek forward skips; a seek back opens the
// file again, which only odd files (image data before the colour table) ever need.
class FileSource : public ByteSource {
 public:
  FileSource(const std::string& path, std::uint64_t size) : path_(path), size_(size) {}
  bool Open() { return file_.Open(path_); }
  std::size_t Read(unsigned char* destination, std::size_t count) override {
    if (!Reach()) return 0;
    std::size_t done = 0;
    while (done < count) {
      std::size_t got = 0;
      if (!file_.Read(destination + done, count - done, &got) || got == 0) break;
      done += got;
    }
    at_ += done;
    position_ = at_;
    return done;
  }
  void Seek(std::uint64_t position) override { position_ = position; }
  std::uint64_t Position() const override { return position_; }
  std::uint64_t Size() const override { return size_; }

 private:
  // Brings the file's own position to the one asked for.
  bool Reach() {
    if (position_ < at_) {
      file_.Close();
      if (!file_.Open(path_)) return false;
      at_ = 0;
    }
    unsigned char scratch[4096];
    while (at_ < position_) {
      const std::size_t want =
          static_cast<std::size_t>(std::min<std::uint64_t>(sizeof scratch, position_ - at_));
      std::size_t got = 0;
      if (!file_.Read(scratch, want, &got) || got == 0) return false;
      at_ += got;
    }
    return true;
  }

  std::string path_;
  std::uint64_t size_;
  port::InputFile file_;
  std::uint64_t at_ = 0;        // where the open file stands
  std::uint64_t position_ = 0;  // where the next read starts
};

}  // namespace

bool ReadBitmapFile(const std::string& path, BitmapImage* image) {
  *image = BitmapImage();
  port::FileStatus status;
  if (!port::ReadFileStatus(path, &status)) return false;
  FileSource file(path, status.size);
  if (!file.Open()) return false;
  return ReadBitmap(file, image);
}

std::vector<PaletteEntry> BitmapPalette(const BitmapImage& image) {
  std::vector<PaletteEntry> entries;
  if (image.block.empty()) return entries;
  const std::size_t table = image.imageOffset - std::size_t{4} * image.colorCount;
  entries.reserve(image.colorCount);
  for (std::uint32_t i = 0; i < image.colorCount; ++i) {
    const unsigned char* quad = image.block.data() + table + std::size_t{4} * i;
    entries.push_back({quad[2], quad[1], quad[0]});
  }
  return entries;
}

}  // namespace koushin::gfx
