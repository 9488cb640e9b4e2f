#include "archive/lzh_writer.h"

#include <algorithm>
#include <ctime>
#include <vector>

#include "archive/crc16.h"
#include "archive/lzh_encoder.h"
#include "archive/target_name.h"
#include "text/cp932.h"

namespace koushin::archive {
namespace {

constexpr char kStored[] = "-lh0-";
// The operating system byte: Windows 95, whose names keep their case (readers lower-case the
// names of MS-DOS members) and are in the code page.
constexpr char kOsId = 'w';

void PutLe16(std::string* out, unsigned v) {
  out->push_back(static_cast<char>(v & 0xFF));
  out->push_back(static_cast<char>((v >> 8) & 0xFF));
}
void PutLe32(std::string* out, std::uint64_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

}  // namespace

bool StringArchiveSink::Write(const std::uint8_t* data, std::size_t size) {
  if (pos_ + size > bytes.size()) bytes.resize(pos_ + size);
  std::copy(data, data + size, bytes.begin() + static_cast<std::ptrdiff_t>(pos_));
  pos_ += size;
  return true;
}

bool StringArchiveSink::Seek(std::uint64_t offset) {
  if (offset > bytes.size()) return false;
  pos_ = static_cast<std::size_t>(offset);
  return true;
}

bool StringArchiveSink::Truncate(std::uint64_t size) {
  if (size > bytes.size()) return false;
  bytes.resize(static_cast<std::size_t>(size));
  pos_ = std::min(pos_, bytes.size());
  return true;
}

std::uint32_t DosTimeFromUnix(std::int64_t unixTime) {
  const std::time_t t = static_cast<std::time_t>(unixTime);
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &t);
#else
  localtime_r(&t, &tm);
#endif
  // DOS dates run from 1980 to 2107; times outside are held at the ends.
  if (tm.tm_year < 80) return (0u << 9 | 1u << 5 | 1u) << 16;
  if (tm.tm_year > 207) return (127u << 9 | 12u << 5 | 31u) << 16 | (23u << 11 | 59u << 5 | 29u);
  const unsigned date =
      static_cast<unsigned>(((tm.tm_year - 80) & 0x7F) << 9 | (tm.tm_mon + 1) << 5 | tm.tm_mday);
  const unsigned time = static_cast<unsigned>(tm.tm_hour << 11 | tm.tm_min << 5 | tm.tm_sec / 2);
  return date << 16 | time;
}

LzhWriter::LzhWriter(ArchiveSink& sink, WriterOptions options)
    : sink_(sink), options_(std::move(options)) {}

bool LzhWriter::Put(const std::string& bytes) {
  offset_ += bytes.size();
  return sink_.Write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::string LzhWriter::Header(const MemberInput& member, const std::string& method,
                              std::uint64_t packed, std::uint64_t original,
                              std::uint16_t crc) const {
  std::string h;
  if (options_.headerLevel == 1) {
    // Size and checksum bytes, then the base header; no extended headers, so the skip size is
    // the packed size.
    h.assign(2, '\0');
    h += method;
    PutLe32(&h, packed);
    PutLe32(&h, original);
    PutLe32(&h, DosTimeFromUnix(member.unixTime));
    h.push_back(0x20);  // archive attribute
    h.push_back(1);     // level
    h.push_back(static_cast<char>(member.name.size()));
    h += member.name;
    PutLe16(&h, crc);
    h.push_back(kOsId);
    PutLe16(&h, 0);
    h[0] = static_cast<char>(h.size() - 2);
    unsigned sum = 0;
    for (std::size_t i = 2; i < h.size(); ++i) sum += static_cast<unsigned char>(h[i]);
    h[1] = static_cast<char>(sum & 0xFF);
    return h;
  }
  h.assign(2, '\0');  // total size, filled in below
  h += method;
  PutLe32(&h, packed);
  PutLe32(&h, original);
  // A Unix time in 32 bits: 1970 to 2106.
  PutLe32(&h, static_cast<std::uint64_t>(
                  std::min<std::int64_t>(std::max<std::int64_t>(member.unixTime, 0), 0xFFFFFFFF)));
  h.push_back(0x20);
  h.push_back(2);
  PutLe16(&h, crc);
  h.push_back(kOsId);
  // Extended headers: the header's own CRC (0x00), then the file name (0x01).
  PutLe16(&h, 5);
  const std::size_t crcAt = h.size() + 1;
  h.push_back(0x00);
  PutLe16(&h, 0);
  PutLe16(&h, static_cast<unsigned>(3 + member.name.size()));
  h.push_back(0x01);
  h += member.name;
  PutLe16(&h, 0);
  // A header size whose low byte is 0 would read as the end mark: one pad byte avoids it.
  if ((h.size() & 0xFF) == 0) h.push_back(0);
  h[0] = static_cast<char>(h.size() & 0xFF);
  h[1] = static_cast<char>((h.size() >> 8) & 0xFF);
  const std::uint16_t headerCrc =
      UpdateCrc16(0, reinterpret_cast<const std::uint8_t*>(h.data()), h.size());
  h[crcAt] = static_cast<char>(headerCrc & 0xFF);
  h[crcAt + 1] = static_cast<char>(headerCrc >> 8);
  return h;
}

bool LzhWriter::Add(const MemberInput& member, MemberOutcome* outcome, std::string* error) {
  if (!IsEncodableMethod(options_.method)) {
    *error = "unknown method " + options_.method;
    return false;
  }
  if (CheckTargetName(member.name) != NameProblem::kNone) {
    *error = "not a file name the wizard can write";
    return false;
  }
  const std::size_t nameLimit = options_.headerLevel == 1 ? 230 : 1024;
  if (member.name.size() > nameLimit) {
    *error = "name longer than " + std::to_string(nameLimit) + " bytes";
    return false;
  }
  if (!names_.insert(text::ToUpper(member.name)).second) {
    *error = "another member already lands on this name";
    return false;
  }
  if (member.size >= 0xFFFFFFFFull) {
    *error = "4 GiB or more, more than an archive member can hold";
    return false;
  }
  const std::uint64_t headerAt = offset_;
  std::string header = Header(member, options_.method, 0, 0, 0);
  if (!Put(header)) {
    *error = "cannot write the archive";
    return false;
  }
  const std::uint64_t dataAt = offset_;
  std::string method = options_.method;
  std::unique_ptr<ByteSource> source = member.open();
  if (!source) {
    *error = "cannot open the file";
    return false;
  }
  EncodeResult r = EncodeMember(method, *source, sink_, member.size);
  source.reset();
  if (r.status == EncodeStatus::kReadError) {
    *error = "cannot read the file";
    return false;
  }
  if (r.status == EncodeStatus::kStopped) {
    *error = "cannot write the archive";
    return false;
  }
  if (r.status == EncodeStatus::kTooLarge) {
    *error = "4 GiB or more, more than an archive member can hold";
    return false;
  }
  if (r.status == EncodeStatus::kOk && r.originalSize != member.size) {
    *error = "the file changed while it was read";
    return false;
  }
  std::uint64_t packed = r.packedSize;
  std::uint64_t original = r.originalSize;
  std::uint16_t crc = r.crc;
  if (r.status == EncodeStatus::kNotSmaller || r.packedSize >= r.originalSize) {
    // Store it: the stored bytes are fewer than the packed ones they overwrite.
    method = kStored;
    if (!sink_.Seek(dataAt)) {
      *error = "cannot write the archive";
      return false;
    }
    source = member.open();
    if (!source) {
      *error = "cannot open the file";
      return false;
    }
    std::vector<std::uint8_t> buffer(64 * 1024);
    original = 0;
    crc = 0;
    while (true) {
      const std::size_t got = source->Read(buffer.data(), buffer.size());
      if (got == 0) break;
      if (!sink_.Write(buffer.data(), got)) {
        *error = "cannot write the archive";
        return false;
      }
      crc = UpdateCrc16(crc, buffer.data(), got);
      original += got;
    }
    if (source->Failed()) {
      *error = "cannot read the file";
      return false;
    }
    if (original != member.size) {
      *error = "the file changed while it was read";
      return false;
    }
    packed = original;
  }
  offset_ = dataAt + packed;
  const std::string final = Header(member, method, packed, original, crc);
  if (!sink_.Seek(headerAt) ||
      !sink_.Write(reinterpret_cast<const std::uint8_t*>(final.data()), final.size()) ||
      !sink_.Seek(offset_)) {
    *error = "cannot write the archive";
    return false;
  }
  if (outcome) {
    outcome->method = method;
    outcome->originalSize = original;
    outcome->packedSize = packed;
  }
  return true;
}

bool LzhWriter::Finish(std::uint64_t* size, std::string* error) {
  if (!Put(std::string(1, '\0')) || !sink_.Truncate(offset_)) {
    *error = "cannot write the archive";
    return false;
  }
  if (size) *size = offset_;
  return true;
}

}  // namespace koushin::archive
