#include "archive/lzh_reader.h"

#include <algorithm>
#include <cstring>

#include "archive/crc16.h"
#include "text/cp932.h"

namespace koushin::archive {
namespace {

// A header with its extended headers never needs more; anything larger is damage.
constexpr std::size_t kMaxHeaderBytes = 1 << 20;

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint64_t Le64(const std::uint8_t* p) {
  return Le32(p) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
}

void AppendSplit(const std::string& stored, std::vector<std::string>* parts) {
  // First on 0xFF and '/', which never occur inside a double-byte character.
  std::string piece;
  auto flushPiece = [&]() {
    // Then on '\\' where it starts a character.
    std::size_t start = 0;
    for (std::size_t i = 0; i < piece.size();) {
      if (piece[i] == '\\') {
        if (i > start) parts->push_back(piece.substr(start, i - start));
        start = ++i;
        continue;
      }
      i += text::CharLength(piece, i);
    }
    if (start < piece.size()) parts->push_back(piece.substr(start));
    piece.clear();
  };
  for (char ch : stored) {
    if (ch == '/' || static_cast<unsigned char>(ch) == 0xFF) {
      flushPiece();
    } else {
      piece.push_back(ch);
    }
  }
  flushPiece();
}

}  // namespace

std::vector<std::string> SplitStoredPath(const std::string& stored) {
  std::vector<std::string> parts;
  AppendSplit(stored, &parts);
  return parts;
}

std::string MemberHeader::JoinedPath() const {
  std::string joined;
  for (const std::string& part : path) {
    if (!joined.empty()) joined += '\\';
    joined += part;
  }
  return joined;
}

// The current member's packed bytes, read straight from the archive stream.
class LzhReader::DataSource : public ByteSource {
 public:
  DataSource(LzhReader& reader, std::uint64_t size) : reader_(reader), left_(size) {}
  std::size_t Read(std::uint8_t* buffer, std::size_t size) override {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, left_));
    if (want == 0) return 0;
    const std::size_t got = reader_.source_.Read(buffer, want);
    if (got == 0) {
      reader_.failed_ = true;  // cut short (or a read error): no member can follow
      return 0;
    }
    left_ -= got;
    reader_.offset_ += got;
    return got;
  }
  bool Failed() const override { return reader_.source_.Failed(); }
  std::uint64_t Left() const { return left_; }

 private:
  LzhReader& reader_;
  std::uint64_t left_;
};

LzhReader::LzhReader(ByteSource& source) : source_(source) {}
LzhReader::~LzhReader() = default;

ByteSource& LzhReader::Data() {
  if (!data_) data_ = std::make_unique<DataSource>(*this, 0);
  return *data_;
}

bool LzhReader::ReadExact(std::uint8_t* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const std::size_t got = source_.Read(buffer + done, size - done);
    if (got == 0) return false;
    done += got;
  }
  offset_ += size;
  return true;
}

bool LzhReader::Skip(std::uint64_t size) {
  std::uint8_t scratch[16384];
  while (size > 0) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeof scratch));
    const std::size_t got = source_.Read(scratch, want);
    if (got == 0) return false;
    size -= got;
    offset_ += got;
  }
  return true;
}

ReadStatus LzhReader::Next(MemberHeader* header, std::string* error) {
  auto fail = [&](const std::string& why) {
    failed_ = true;
    *error = why + " (header at offset " + std::to_string(headerOffset_) + ")";
    return ReadStatus::kError;
  };
  if (failed_) {
    *error = "the archive ends inside a member's data";
    return ReadStatus::kError;
  }
  if (data_ && data_->Left() > 0) {
    if (!Skip(data_->Left())) {
      failed_ = true;
      *error = "the archive ends inside a member's data";
      return ReadStatus::kError;
    }
  }
  data_.reset();
  headerOffset_ = offset_;
  *header = MemberHeader();

  std::vector<std::uint8_t> h(22);
  {
    const std::size_t got = source_.Read(h.data(), 1);
    if (got == 0) {
      if (source_.Failed()) return fail("read error");
      return ReadStatus::kEnd;  // no end marker: the stream simply ends between members
    }
    offset_ += 1;
    if (h[0] == 0) return ReadStatus::kEnd;
  }
  if (!ReadExact(h.data() + 1, 21)) return fail("header cut short");
  const int level = h[20];
  header->level = level;
  header->method.assign(reinterpret_cast<const char*>(h.data() + 2), 5);
  if (header->method[0] != '-' || header->method[4] != '-') return fail("not an LZH header");
  header->packedSize = Le32(h.data() + 7);
  header->originalSize = Le32(h.data() + 11);

  std::string storedName;
  std::string storedFolder;
  std::size_t headerCrcAt = 0;  // position of the 0x00 extension's CRC in `h`, 0 if none
  bool haveHeaderCrc = false;
  std::uint64_t extendedBytes = 0;
  bool sizesFromExtension = false;

  // Interprets one extended header: type byte, then `size` bytes of data.
  auto takeExtension = [&](std::size_t at, std::size_t size) -> bool {
    const std::uint8_t type = h[at];
    const std::uint8_t* d = h.data() + at + 1;
    switch (type) {
      case 0x00:
        if (size < 2) return false;
        headerCrcAt = at + 1;
        haveHeaderCrc = true;
        break;
      case 0x01:
        storedName.assign(reinterpret_cast<const char*>(d), size);
        break;
      case 0x02:
        storedFolder.assign(reinterpret_cast<const char*>(d), size);
        break;
      case 0x40:
        if (size < 2) return false;
        header->attributes = d[0];
        break;
      case 0x41:
        if (size < 24) return false;
        header->fileTime = static_cast<std::int64_t>(Le64(d + 8));
        header->hasFileTime = true;
        break;
      case 0x42:
        if (size < 16) return false;
        header->packedSize = Le64(d);
        header->originalSize = Le64(d + 8);
        sizesFromExtension = true;
        break;
      case 0x46:
        if (size >= 4) header->codePage = Le32(d);
        break;
      case 0x50:
        if (size < 2) return false;
        header->unixMode = Le16(d);
        header->hasUnixMode = true;
        break;
      case 0x54:
        if (size < 4) return false;
        header->unixTime = Le32(d);
        header->hasUnixTime = true;
        break;
      default:
        break;
    }
    return true;
  };

  if (level == 0 || level == 1) {
    const std::size_t total = std::size_t{h[0]} + 2;
    if (total < 22) return fail("header too short");
    h.resize(total);
    if (!ReadExact(h.data() + 22, total - 22)) return fail("header cut short");
    unsigned sum = 0;
    for (std::size_t i = 2; i < total; ++i) sum += h[i];
    if ((sum & 0xFF) != h[1]) return fail("header checksum mismatch");
    const std::size_t nameLength = h[21];
    if (22 + nameLength > total) return fail("name longer than its header");
    storedName.assign(reinterpret_cast<const char*>(h.data() + 22), nameLength);
    header->dosTime = Le32(h.data() + 15);
    header->hasDosTime = true;
    header->attributes = h[19];
    const std::size_t after = 22 + nameLength;
    if (level == 0) {
      if (total >= after + 2) {
        header->crc = Le16(h.data() + after);
        header->hasCrc = true;
      }
      // A Unix extension: 'U', a version byte, the Unix time, the mode, the owner.
      if (total >= after + 3) header->osId = h[after + 2];
      if (total >= after + 10 && h[after + 2] == 'U') {
        header->unixTime = Le32(h.data() + after + 4);
        header->hasUnixTime = true;
        header->unixMode = Le16(h.data() + after + 8);
        header->hasUnixMode = true;
      }
    } else {
      if (total < after + 5) return fail("header too short");
      header->crc = Le16(h.data() + after);
      header->hasCrc = true;
      header->osId = h[after + 2];
      std::size_t next = Le16(h.data() + total - 2);
      // Extended headers follow the base header and count towards the skip size.
      while (next != 0) {
        if (next < 3) return fail("extended header too short");
        const std::size_t at = h.size();
        if (at + next > kMaxHeaderBytes) return fail("extended headers too large");
        h.resize(at + next);
        if (!ReadExact(h.data() + at, next)) return fail("extended header cut short");
        if (!takeExtension(at, next - 3)) return fail("extended header damaged");
        extendedBytes += next;
        next = Le16(h.data() + at + next - 2);
      }
      // The 0x42 extension may have replaced the sizes; otherwise the skip size includes the
      // extended headers.
      if (!sizesFromExtension) {
        if (extendedBytes > header->packedSize) return fail("extended headers exceed the member");
        header->packedSize -= extendedBytes;
      }
    }
  } else if (level == 2 || level == 3) {
    std::size_t total = 0;
    std::size_t baseSize = 0;
    std::size_t sizeBytes = 0;
    if (level == 2) {
      total = Le16(h.data());
      baseSize = 26;
      sizeBytes = 2;
    } else {
      if (Le16(h.data()) != 4) return fail("unknown level-3 word size");
      baseSize = 32;
      sizeBytes = 4;
    }
    h.resize(baseSize);
    if (!ReadExact(h.data() + 22, baseSize - 22)) return fail("header cut short");
    if (level == 3) total = Le32(h.data() + 24);
    // OS-9/68k's LHA writes level-2 header sizes two bytes short.
    if (level == 2 && h[23] == 'K') total += 2;
    if (total < baseSize) return fail("header too short");
    if (total > kMaxHeaderBytes) return fail("header too large");
    h.resize(total);
    if (!ReadExact(h.data() + baseSize, total - baseSize)) return fail("header cut short");
    header->crc = Le16(h.data() + 21);
    header->hasCrc = true;
    header->osId = h[23];
    header->unixTime = Le32(h.data() + 15);
    header->hasUnixTime = true;
    std::size_t at = baseSize;
    std::size_t next = sizeBytes == 2 ? Le16(h.data() + 24) : Le32(h.data() + 28);
    while (next != 0) {
      if (next < 1 + sizeBytes) return fail("extended header too short");
      if (at + next > total) return fail("extended header runs past its header");
      if (!takeExtension(at, next - 1 - sizeBytes)) return fail("extended header damaged");
      const std::uint8_t* nextField = h.data() + at + next - sizeBytes;
      at += next;
      next = sizeBytes == 2 ? Le16(nextField) : Le32(nextField);
    }
    // Bytes after the last extended header (a pad byte some writers add) are left alone.
  } else {
    return fail("unknown header level " + std::to_string(level));
  }

  if (haveHeaderCrc) {
    const std::uint16_t stored = Le16(h.data() + headerCrcAt);
    h[headerCrcAt] = 0;
    h[headerCrcAt + 1] = 0;
    if (UpdateCrc16(0, h.data(), h.size()) != stored) return fail("header CRC mismatch");
  }
  AppendSplit(storedFolder, &header->path);
  AppendSplit(storedName, &header->path);
  dataOffset_ = offset_;
  data_ = std::make_unique<DataSource>(*this, header->packedSize);
  return ReadStatus::kMember;
}

}  // namespace koushin::archive
