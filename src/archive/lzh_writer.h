// Writes LZH archives the way the wizard extracts them: every member a plain file name in code
// page 932 (folders are flattened, since extraction puts every member straight into the target
// folder), level-2 headers (level 1 on request), CRC-16 over the data, and the member stored
// (-lh0-) whenever compressing would not make it smaller.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "archive/byte_stream.h"

namespace koushin::archive {

// Where an archive goes: a byte sink that can also go back to patch a header and cut off what a
// member abandoned for its stored form left behind.
class ArchiveSink : public ByteSink {
 public:
  // The next write goes to `offset` (at most the end of what was written).
  virtual bool Seek(std::uint64_t offset) = 0;
  // The archive ends at `size`.
  virtual bool Truncate(std::uint64_t size) = 0;
};

// An archive held in memory.
class StringArchiveSink : public ArchiveSink {
 public:
  bool Write(const std::uint8_t* data, std::size_t size) override;
  bool Seek(std::uint64_t offset) override;
  bool Truncate(std::uint64_t size) override;
  std::string bytes;

 private:
  std::size_t pos_ = 0;
};

struct WriterOptions {
  std::string method = "-lh5-";  // -lh5-, -lh6- or -lh7-
  int headerLevel = 2;           // 2, or 1
};

struct MemberInput {
  std::string name;           // the member's file name, code page 932, no folder
  std::int64_t unixTime = 0;  // last-write time, seconds since 1970 (UTC)
  std::uint64_t size = 0;     // the size the source is expected to deliver
  // Opens the member's bytes; called once, or twice when the member ends up stored.
  std::function<std::unique_ptr<ByteSource>()> open;
};

struct MemberOutcome {
  std::string method;  // what was written: the chosen method or "-lh0-"
  std::uint64_t originalSize = 0;
  std::uint64_t packedSize = 0;
};

class LzhWriter {
 public:
  LzhWriter(ArchiveSink& sink, WriterOptions options);

  // Appends one member. False with `error` (English) for a name the wizard could not write or
  // that another member already takes (Windows names ignore case), a source that cannot be read
  // or changed while it was read, or a sink that fails.
  bool Add(const MemberInput& member, MemberOutcome* outcome, std::string* error);

  // Writes the end mark and cuts the archive there. Returns the archive's size, or false.
  bool Finish(std::uint64_t* size, std::string* error);

 private:
  std::string Header(const MemberInput& member, const std::string& method, std::uint64_t packed,
                     std::uint64_t original, std::uint16_t crc) const;
  bool Put(const std::string& bytes);

  ArchiveSink& sink_;
  WriterOptions options_;
  std::uint64_t offset_ = 0;
  std::set<std::string> names_;  // upper-cased, to find two members landing on one file
};

// DOS date (high word) and time (low word) of a Unix time in the machine's local time, as level-1
// headers carry it.
std::uint32_t DosTimeFromUnix(std::int64_t unixTime);

}  // namespace koushin::archive
