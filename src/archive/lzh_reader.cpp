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

// What the extended headers of one member add to its base header.
struct HeaderExtensions {
  std::string storedName;
  std::string storedFolder;
  std::size_t headerCrcAt = 0;  // position of the 0x00 extension's CRC in the header bytes
  bool haveHeaderCrc = false;
  bool sizesFromExtension = false;  // the 0x42 extension gave 64-bit sizes
};

namespace {

// Interprets one extended header at `at` in `h`: its type byte, then `size` bytes of data.
// False when the data are too short for the type.
bool TakeExtension(const std::vector<std::uint8_t>& h, std::size_t at, std::size_t size,
                   MemberHeader* header, HeaderExtensions* ext) {
  const std::uint8_t* d = h.data() + at + 1;
  switch (h[at]) {
    case 0x00:
      if (size < 2) return false;
      ext->headerCrcAt = at + 1;
      ext->haveHeaderCrc = true;
      break;
    case 0x01:
      ext->storedName.assign(reinterpret_cast<const char*>(d), size);
      break;
    case 0x02:
      ext->storedFolder.assign(reinterpret_cast<const char*>(d), size);
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
      ext->sizesFromExtension = true;
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
}

// LArc, whose methods these are, ends its archives without the end mark; an archive of them
// that stops between members is as its writer made it.
bool WrittenWithoutEndMark(const std::string& method) {
  return method == "-lzs-" || method == "-lz4-" || method == "-lz5-";
}

}  // namespace

// The base header of levels 0 and 1 after its first 22 bytes: the rest of its size byte's length,
// the checksum, the name, the DOS time and attributes. `after` gets the position after the name.
bool LzhReader::ReadDosBase(std::vector<std::uint8_t>& h, MemberHeader* header,
                            HeaderExtensions* ext, std::size_t* after, std::string* why) {
  const std::size_t total = std::size_t{h[0]} + 2;
  if (total < 22) return Why(why, "header too short");
  h.resize(total);
  if (!ReadExact(h.data() + 22, total - 22)) return Why(why, "header cut short");
  unsigned sum = 0;
  for (std::size_t i = 2; i < total; ++i) sum += h[i];
  if ((sum & 0xFF) != h[1]) return Why(why, "header checksum mismatch");
  const std::size_t nameLength = h[21];
  if (22 + nameLength > total) return Why(why, "name longer than its header");
  ext->storedName.assign(reinterpret_cast<const char*>(h.data() + 22), nameLength);
  header->dosTime = Le32(h.data() + 15);
  header->hasDosTime = true;
  header->attributes = h[19];
  *after = 22 + nameLength;
  return true;
}

// Level 0: the DOS base header, then optionally the CRC and a Unix extension ('U', a version
// byte, the Unix time, the mode, the owner); old writers store no CRC.
bool LzhReader::ReadLevel0(std::vector<std::uint8_t>& h, MemberHeader* header,
                           HeaderExtensions* ext, std::string* why) {
  std::size_t after = 0;
  if (!ReadDosBase(h, header, ext, &after, why)) return false;
  const std::size_t total = h.size();
  if (total >= after + 2) {
    header->crc = Le16(h.data() + after);
    header->hasCrc = true;
  }
  if (total >= after + 3) header->osId = h[after + 2];
  if (total >= after + 10 && h[after + 2] == 'U') {
    header->unixTime = Le32(h.data() + after + 4);
    header->hasUnixTime = true;
    header->unixMode = Le16(h.data() + after + 8);
    header->hasUnixMode = true;
  }
  return true;
}

// Level 1: the DOS base header with CRC and OS byte, then extended headers that follow it and
// count towards the member's skip size.
bool LzhReader::ReadLevel1(std::vector<std::uint8_t>& h, MemberHeader* header,
                           HeaderExtensions* ext, std::string* why) {
  std::size_t after = 0;
  if (!ReadDosBase(h, header, ext, &after, why)) return false;
  if (h.size() < after + 5) return Why(why, "header too short");
  header->crc = Le16(h.data() + after);
  header->hasCrc = true;
  header->osId = h[after + 2];
  std::uint64_t extendedBytes = 0;
  std::size_t next = Le16(h.data() + h.size() - 2);
  while (next != 0) {
    if (next < 3) return Why(why, "extended header too short");
    const std::size_t at = h.size();
    if (at + next > kMaxHeaderBytes) return Why(why, "extended headers too large");
    h.resize(at + next);
    if (!ReadExact(h.data() + at, next)) return Why(why, "extended header cut short");
    if (!TakeExtension(h, at, next - 3, header, ext)) return Why(why, "extended header damaged");
    extendedBytes += next;
    next = Le16(h.data() + at + next - 2);
  }
  // The 0x42 extension may have replaced the sizes; otherwise the skip size includes the
  // extended headers.
  if (!ext->sizesFromExtension) {
    if (extendedBytes > header->packedSize) return Why(why, "extended headers exceed the member");
    header->packedSize -= extendedBytes;
  }
  return true;
}

// Levels 2 and 3: one header of a stated total size holding the base and the extended headers,
// whose size fields are 2 bytes (level 2) or 4 bytes (level 3) wide.
bool LzhReader::ReadLevel2Or3(std::vector<std::uint8_t>& h, MemberHeader* header,
                              HeaderExtensions* ext, std::string* why) {
  const bool level2 = header->level == 2;
  std::size_t total = 0;
  const std::size_t baseSize = level2 ? 26 : 32;
  const std::size_t sizeBytes = level2 ? 2 : 4;
  if (level2) {
    total = Le16(h.data());
  } else if (Le16(h.data()) != 4) {
    return Why(why, "unknown level-3 word size");
  }
  h.resize(baseSize);
  if (!ReadExact(h.data() + 22, baseSize - 22)) return Why(why, "header cut short");
  if (!level2) total = Le32(h.data() + 24);
  // OS-9/68k's LHA writes level-2 header sizes two bytes short.
  if (level2 && h[23] == 'K') total += 2;
  if (total < baseSize) return Why(why, "header too short");
  if (total > kMaxHeaderBytes) return Why(why, "header too large");
  h.resize(total);
  if (!ReadExact(h.data() + baseSize, total - baseSize)) return Why(why, "header cut short");
  header->crc = Le16(h.data() + 21);
  header->hasCrc = true;
  header->osId = h[23];
  header->unixTime = Le32(h.data() + 15);
  header->hasUnixTime = true;
  std::size_t at = baseSize;
  std::size_t next = level2 ? Le16(h.data() + 24) : Le32(h.data() + 28);
  while (next != 0) {
    if (next < 1 + sizeBytes) return Why(why, "extended header too short");
    if (at + next > total) return Why(why, "extended header runs past its header");
    if (!TakeExtension(h, at, next - 1 - sizeBytes, header, ext)) {
      return Why(why, "extended header damaged");
    }
    const std::uint8_t* nextField = h.data() + at + next - sizeBytes;
    at += next;
    next = level2 ? Le16(nextField) : Le32(nextField);
  }
  // Bytes after the last extended header (a pad byte some writers add) are left alone.
  return true;
}

bool LzhReader::Why(std::string* why, const char* text) {
  *why = text;
  return false;
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
  const std::size_t got = source_.Read(h.data(), 1);
  if (got == 0) {
    if (source_.Failed()) return fail("read error");
    // No end mark. A disk or a copy that stopped between two members leaves exactly this, and
    // the members after the cut would be silently missing.
    if (members_ == 0) return fail("the archive is cut short: it holds no member");
    if (!WrittenWithoutEndMark(lastMethod_)) {
      return fail("the archive is cut short: it ends after member " + std::to_string(members_) +
                  " without its end mark");
    }
    return ReadStatus::kEnd;
  }
  offset_ += 1;
  if (h[0] == 0) {
    if (members_ == 0) return fail("the archive holds no member");
    return ReadStatus::kEnd;
  }
  if (!ReadExact(h.data() + 1, 21)) return fail("header cut short");
  header->level = h[20];
  header->method.assign(reinterpret_cast<const char*>(h.data() + 2), 5);
  if (header->method[0] != '-' || header->method[4] != '-') return fail("not an LZH header");
  header->packedSize = Le32(h.data() + 7);
  header->originalSize = Le32(h.data() + 11);

  HeaderExtensions ext;
  std::string why;
  bool read = false;
  switch (header->level) {
    case 0:
      read = ReadLevel0(h, header, &ext, &why);
      break;
    case 1:
      read = ReadLevel1(h, header, &ext, &why);
      break;
    case 2:
    case 3:
      read = ReadLevel2Or3(h, header, &ext, &why);
      break;
    default:
      why = "unknown header level " + std::to_string(header->level);
      break;
  }
  if (!read) return fail(why);

  if (ext.haveHeaderCrc) {
    const std::uint16_t stored = Le16(h.data() + ext.headerCrcAt);
    h[ext.headerCrcAt] = 0;
    h[ext.headerCrcAt + 1] = 0;
    if (UpdateCrc16(0, h.data(), h.size()) != stored) return fail("header CRC mismatch");
  }
  AppendSplit(ext.storedFolder, &header->path);
  AppendSplit(ext.storedName, &header->path);
  dataOffset_ = offset_;
  data_ = std::make_unique<DataSource>(*this, header->packedSize);
  ++members_;
  lastMethod_ = header->method;
  return ReadStatus::kMember;
}

}  // namespace koushin::archive
