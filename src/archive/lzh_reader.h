// Reads the members of an LZH archive from a byte stream: headers of levels 0 to 3 with their
// extended headers, checked by their checksum or CRC. A header that is cut short or fails its
// check is an error, never taken for the end of the archive.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/byte_stream.h"

namespace koushin::archive {

struct MemberHeader {
  int level = 0;
  std::string method;  // five bytes, "-lh5-"
  std::uint64_t packedSize = 0;
  std::uint64_t originalSize = 0;
  std::uint16_t crc = 0;
  bool hasCrc = false;          // every level but a few old level-0 writers store one
  std::uint8_t attributes = 0;  // DOS attribute byte (level 0/1, or the 0x40 extension)
  std::uint8_t osId = 0;

  // The stored path, code page 932, split into components (folders first, the file name last).
  std::vector<std::string> path;

  // Last-write time: a DOS date and time (local time, levels 0 and 1), a Unix time (UTC, levels
  // 2 and 3, or the 0x54 extension), or a Windows FILETIME (the 0x41 extension).
  bool hasDosTime = false;
  std::uint32_t dosTime = 0;  // date in the high word, time in the low word
  bool hasUnixTime = false;
  std::int64_t unixTime = 0;
  bool hasFileTime = false;
  std::int64_t fileTime = 0;

  bool hasUnixMode = false;
  std::uint16_t unixMode = 0;
  std::uint32_t codePage = 0;  // 0x46 extension, 0 when absent

  bool IsFolder() const { return method == "-lhd-"; }
  bool IsSymbolicLink() const { return hasUnixMode && (unixMode & 0xF000) == 0xA000; }
  // The last path component ("" when the path is empty).
  std::string FileName() const { return path.empty() ? std::string() : path.back(); }
  // The path joined with '\\'.
  std::string JoinedPath() const;
};

enum class ReadStatus { kMember, kEnd, kError };

struct HeaderExtensions;  // what a member's extended headers add, while its header is read

class LzhReader {
 public:
  explicit LzhReader(ByteSource& source);
  ~LzhReader();
  LzhReader(const LzhReader&) = delete;
  LzhReader& operator=(const LzhReader&) = delete;

  // Moves to the next member, skipping whatever is left of the current one's data. kEnd at the
  // end marker (a zero byte) after at least one member, or at the end of the stream right after
  // a member of LArc's methods (-lzs-, -lz4-, -lz5-), whose writer puts no end marker; kError
  // with `error` (English, for logs and messages) for anything damaged or cut short, an archive
  // without members, and any other archive that stops between members without its end marker.
  ReadStatus Next(MemberHeader* header, std::string* error);

  // The current member's packed bytes (exactly packedSize of them, fewer if the archive is cut
  // short), valid until the next call of Next.
  ByteSource& Data();

  // Offsets of the current member's header and of its packed data in the archive.
  std::uint64_t HeaderOffset() const { return headerOffset_; }
  std::uint64_t DataOffset() const { return dataOffset_; }

 private:
  class DataSource;
  // One reader per header level, each filling `header` from the header bytes `h` (its first 22
  // bytes already read) and reading the rest; false with `why` for a damaged or cut header.
  bool ReadDosBase(std::vector<std::uint8_t>& h, MemberHeader* header, HeaderExtensions* ext,
                   std::size_t* after, std::string* why);
  bool ReadLevel0(std::vector<std::uint8_t>& h, MemberHeader* header, HeaderExtensions* ext,
                  std::string* why);
  bool ReadLevel1(std::vector<std::uint8_t>& h, MemberHeader* header, HeaderExtensions* ext,
                  std::string* why);
  bool ReadLevel2Or3(std::vector<std::uint8_t>& h, MemberHeader* header, HeaderExtensions* ext,
                     std::string* why);
  static bool Why(std::string* why, const char* text);
  bool ReadExact(std::uint8_t* buffer, std::size_t size);
  bool Skip(std::uint64_t size);

  ByteSource& source_;
  std::unique_ptr<DataSource> data_;
  std::uint64_t offset_ = 0;
  std::uint64_t headerOffset_ = 0;
  std::uint64_t dataOffset_ = 0;
  bool failed_ = false;
  int members_ = 0;         // members read so far
  std::string lastMethod_;  // the last member's method
};

// Splits a stored path into components: on 0xFF and '/' everywhere, and on '\\' only where it
// starts a character (it is also the trail byte of ソ 表 能). Empty components are dropped.
std::vector<std::string> SplitStoredPath(const std::string& stored);

}  // namespace koushin::archive
