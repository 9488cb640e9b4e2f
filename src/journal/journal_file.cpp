#include "journal/journal_file.h"

#include <cstring>
#include <memory>

namespace koushin::journal {

namespace {

constexpr char kSignature[] = "KOUSHIN JOURNAL\n";
constexpr std::size_t kSignatureSize = sizeof kSignature - 1;
constexpr std::size_t kRecordHead = 12;
// Files are hashed in pieces of this size.
constexpr std::size_t kHashPiece = 256 * 1024;

std::uint32_t Crc32(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : bytes) {
    crc ^= c;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutNumber(std::string* out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutText(std::string* out, const std::string& text) {
  PutNumber(out, text.size(), 4);
  out->append(text);
}

// Reads fields front to back; any read past the end marks the payload bad.
class Reader {
 public:
  explicit Reader(const std::string& bytes) : bytes_(bytes) {}
  std::uint64_t Number(int bytes) {
    if (pos_ + bytes > bytes_.size()) {
      bad_ = true;
      return 0;
    }
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) {
      value |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes_[pos_ + i])) << (8 * i);
    }
    pos_ += bytes;
    return value;
  }
  std::string Text() {
    const std::uint64_t size = Number(4);
    if (bad_ || size > bytes_.size() - pos_) {
      bad_ = true;
      return std::string();
    }
    std::string text = bytes_.substr(pos_, size);
    pos_ += size;
    return text;
  }
  bool Good() const { return !bad_ && pos_ == bytes_.size(); }
  bool Bad() const { return bad_; }

 private:
  const std::string& bytes_;
  std::size_t pos_ = 0;
  bool bad_ = false;
};

bool DecodePayload(const std::string& payload, Record* record) {
  Reader in(payload);
  const std::uint64_t kind = in.Number(1);
  record->kind = static_cast<RecordKind>(kind);
  switch (record->kind) {
    case RecordKind::kBegin:
    case RecordKind::kTemporary:
    case RecordKind::kTemporaryTree:
    case RecordKind::kCreatedFile:
    case RecordKind::kCreatedFolder:
      record->path = in.Text();
      break;
    case RecordKind::kReplacedFile:
      record->path = in.Text();
      record->kept = in.Text();
      record->status.creationTime = static_cast<port::FileTime>(in.Number(8));
      record->status.lastWriteTime = static_cast<port::FileTime>(in.Number(8));
      record->status.lastAccessTime = static_cast<port::FileTime>(in.Number(8));
      record->status.size = in.Number(8);
      record->status.attributes = static_cast<std::uint8_t>(in.Number(1));
      break;
    case RecordKind::kCommit: {
      const std::uint64_t count = in.Number(4);
      for (std::uint64_t i = 0; i < count && !in.Bad(); ++i) {
        FileMark mark;
        mark.path = in.Text();
        mark.exists = in.Number(1) != 0;
        mark.size = in.Number(8);
        mark.hash = in.Number(8);
        record->files.push_back(mark);
      }
      break;
    }
    default:
      return false;
  }
  return in.Good();
}

}  // namespace

std::string Signature() { return std::string(kSignature, kSignatureSize); }

std::string EncodeRecord(const Record& record) {
  std::string payload;
  PutNumber(&payload, static_cast<std::uint8_t>(record.kind), 1);
  switch (record.kind) {
    case RecordKind::kReplacedFile:
      PutText(&payload, record.path);
      PutText(&payload, record.kept);
      PutNumber(&payload, static_cast<std::uint64_t>(record.status.creationTime), 8);
      PutNumber(&payload, static_cast<std::uint64_t>(record.status.lastWriteTime), 8);
      PutNumber(&payload, static_cast<std::uint64_t>(record.status.lastAccessTime), 8);
      PutNumber(&payload, record.status.size, 8);
      PutNumber(&payload, record.status.attributes, 1);
      break;
    case RecordKind::kCommit:
      PutNumber(&payload, record.files.size(), 4);
      for (const FileMark& mark : record.files) {
        PutText(&payload, mark.path);
        PutNumber(&payload, mark.exists ? 1 : 0, 1);
        PutNumber(&payload, mark.size, 8);
        PutNumber(&payload, mark.hash, 8);
      }
      break;
    default:
      PutText(&payload, record.path);
      break;
  }
  return FrameRecord(payload);
}

std::string FrameRecord(const std::string& payload) {
  std::string out;
  PutNumber(&out, payload.size(), 4);
  PutNumber(&out, ~static_cast<std::uint32_t>(payload.size()), 4);
  PutNumber(&out, Crc32(payload), 4);
  return out + payload;
}

ParseResult ParseJournal(const std::string& bytes, std::vector<Record>* records, std::string* why) {
  records->clear();
  // A signature cut short, with nothing or zeros after it: the run had not begun.
  std::size_t same = 0;
  while (same < kSignatureSize && same < bytes.size() && bytes[same] == kSignature[same]) ++same;
  if (same < kSignatureSize) {
    if (bytes.find_first_not_of('\0', same) == std::string::npos) return ParseResult::kRead;
    *why = "not a journal";
    return ParseResult::kDamaged;
  }
  std::size_t pos = kSignatureSize;
  while (pos < bytes.size()) {
    const std::size_t left = bytes.size() - pos;
    // What a write cut short leaves at the end: part of a head, or zeros the file system kept.
    if (left < kRecordHead || bytes.find_first_not_of('\0', pos) == std::string::npos) {
      return ParseResult::kRead;
    }
    const std::string headBytes = bytes.substr(pos, kRecordHead);
    Reader head(headBytes);
    const std::uint64_t size = head.Number(4);
    const std::uint64_t check = head.Number(4);
    const std::uint32_t crc = static_cast<std::uint32_t>(head.Number(4));
    // Nothing but zeros after a part: the room the file keeps ahead of its records.
    auto zerosFrom = [&](std::size_t from) {
      return from >= bytes.size() || bytes.find_first_not_of('\0', from) == std::string::npos;
    };
    if (size != (~check & 0xFFFFFFFFu)) {
      if (zerosFrom(pos + kRecordHead)) return ParseResult::kRead;  // head cut short
      *why = "damaged record head at byte " + std::to_string(pos);
      return ParseResult::kDamaged;
    }
    if (size > left - kRecordHead) return ParseResult::kRead;  // cut short while written
    const std::string payload = bytes.substr(pos + kRecordHead, size);
    Record record;
    const bool sound = size > 0 && Crc32(payload) == crc && DecodePayload(payload, &record);
    const bool last = zerosFrom(pos + kRecordHead + size);
    if (!sound) {
      if (last) return ParseResult::kRead;  // torn last record: its change was never begun
      *why = "damaged record at byte " + std::to_string(pos);
      return ParseResult::kDamaged;
    }
    records->push_back(record);
    pos += kRecordHead + size;
  }
  return ParseResult::kRead;
}

bool HashFile(const std::string& path, std::uint64_t* size, std::uint64_t* hash, MarkKind kind) {
  port::InputFile file;
  if (!file.Open(path)) return false;
  port::Sha256 sha;
  std::uint64_t fnv = 14695981039346656037ull;
  std::uint64_t total = 0;
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[kHashPiece]);
  for (;;) {
    std::size_t got = 0;
    if (!file.Read(buffer.get(), kHashPiece, &got)) return false;
    if (got == 0) break;
    if (kind == MarkKind::kSha256) {
      sha.Update(buffer.get(), got);
    } else {
      for (std::size_t i = 0; i < got; ++i) fnv = (fnv ^ buffer[i]) * 1099511628211ull;
    }
    total += got;
  }
  std::uint64_t h = fnv;
  if (kind == MarkKind::kSha256) {
    port::Sha256Digest digest;
    if (!sha.Finish(&digest)) return false;
    h = 0;
    for (int i = 0; i < 8; ++i) h = (h << 8) | digest[i];
  }
  *size = total;
  *hash = h;
  return true;
}

}  // namespace koushin::journal
