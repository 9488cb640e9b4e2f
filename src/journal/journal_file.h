// The journal file: what a run changed, one record per change, each written and flushed before
// the change is made.
//
// Layout: the 16-byte signature "KOUSHIN JOURNAL\n", then records. A record is its payload length
// (4 bytes, little-endian), the length's complement (4 bytes), the CRC-32 of the payload (4
// bytes), and the payload: a kind byte and the kind's fields. Texts are a 4-byte length and the
// bytes (code page 932 paths); numbers are 8 bytes little-endian.
//
// The file keeps zeroed room ahead of its records; zeros end it. A crash can cut a record
// anywhere. A last record (nothing but zeros after it) that is incomplete or fails its check is
// one whose change was never begun (the record is flushed first), so it is left out. A length
// that does not match its complement, a bad record with anything after it, or a bad signature
// means the file is damaged: it is refused, never guessed at.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "port/port.h"

namespace koushin::journal {

enum class RecordKind : std::uint8_t {
  kBegin = 1,          // path: the installation folder
  kTemporary = 2,      // path: folder and name prefix of the temporary files "<path>*.tmp" to come
  kCreatedFile = 3,    // path: a file about to be renamed in where none was
  kReplacedFile = 4,   // path, kept (file name in the generation folder), status of the old file
  kCreatedFolder = 5,  // path: a folder about to be created
  kCommit = 6,         // files: every file the run left, with its size and hash
  kTemporaryTree = 7,  // path: a folder and name prefix as for kTemporary, which stands for that
                       // folder and every folder below it
};

// One file as a committed run left it, for the check before an undo.
struct FileMark {
  std::string path;
  bool exists = false;
  std::uint64_t size = 0;
  std::uint64_t hash = 0;
};

struct Record {
  RecordKind kind = RecordKind::kBegin;
  std::string path;
  std::string kept;
  port::FileStatus status;
  std::vector<FileMark> files;
};

enum class ParseResult { kRead, kDamaged };

// The signature that opens every journal file.
std::string Signature();
// The bytes of one record, ready to append.
std::string EncodeRecord(const Record& record);
// The same for a payload as it stands (a kind byte and the kind's fields): its head and checksum
// put before it.
std::string FrameRecord(const std::string& payload);
// Reads a whole journal file. An empty or cut-short signature reads as no records (the run had
// not begun). `why` says what is wrong with a damaged file.
ParseResult ParseJournal(const std::string& bytes, std::vector<Record>* records, std::string* why);

// How a file's mark is computed. Marks are the first 64 bits of the file's SHA-256 (the platform's
// own, which uses the processor's SHA instructions where there are any); journals kept by earlier
// builds hold the 64-bit FNV-1a of the bytes instead, and an undo still reads them.
enum class MarkKind { kSha256, kEarlierFnv1a };

// A file's size and mark, read through the port. False when it cannot be read or hashed.
bool HashFile(const std::string& path, std::uint64_t* size, std::uint64_t* hash,
              MarkKind kind = MarkKind::kSha256);

}  // namespace koushin::journal
