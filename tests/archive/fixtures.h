// Archives for the archive tests. jlha packs a few files (text, binary, empty, code page 932 names
// whose trail byte is '\\') with every method we decode at header levels 0 to 3, made once and
// cached in the build folder. Hostile and broken archives no archiver would make are built byte
// by byte here.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/lzh_decoder.h"
#include "archive/lzh_reader.h"

namespace koushin::archive::testing {

struct SourceFile {
  std::string cp932Name;  // as stored in the archives
  std::string utf8Name;   // as on the host
  std::string bytes;
};

// The files every archive holds, in the order they were added.
const std::vector<SourceFile>& SourceFiles();

// Host folder that holds the archives, named "L<level>-<method>.lzh" for levels 0-3 and the
// methods of kMethods (e.g. "L1-lh7.lzh"), and "L1-lh2.lzh", "L1-lh3.lzh" of two methods we do
// not decode. Fails the current test when jlha cannot make them.
inline const char* const kMethods[] = {"lh0", "lh1", "lh4", "lh5", "lh6", "lh7", "lzs", "lz5"};
std::string ArchiveFolder();
std::string ArchivePath(int level, const std::string& method);

// Text of `size` bytes made of words and CR LF line breaks, different for each `seed`.
std::string Text(std::size_t size, unsigned seed);

// Whole-file helpers for the host (tests only); a file that cannot be read reads "<missing>".
std::string ReadHostFile(const std::string& path);
void WriteHostFile(const std::string& path, const std::string& bytes);

// One member of an archive built byte by byte: a level-0, 1 or 2 header (a level-0 name may hold a
// path; level 2 ends with an empty extension) whose data is `data` as is, with its CRC-16.
struct RawMember {
  RawMember(std::string name, std::string data, std::string method = "-lh0-", int level = 1,
            std::string folder = "", std::uint16_t unixMode = 0)
      : name(name), data(data), method(method), level(level), folder(folder), unixMode(unixMode) {}
  std::string name, data, method;
  int level;
  std::string folder;      // level 1: the folder extension, 0xFF between parts ("" for none)
  std::uint16_t unixMode;  // the Unix mode extension when not 0
};
// The members and the end mark.
std::string RawArchive(const std::vector<RawMember>& members);

// An archive held in memory, walked with our reader and decoders, every member kept.
struct DecodedMember {
  MemberHeader header;
  DecodeStatus status = DecodeStatus::kOk;
  std::string bytes;
};

struct DecodedArchive {
  std::vector<DecodedMember> members;
  ReadStatus last = ReadStatus::kEnd;  // kEnd, or kError when the reader gave up
  std::string error;

  // True when the reader reached the end and every member decoded with a matching CRC.
  bool Sound() const {
    return last == ReadStatus::kEnd &&
           std::all_of(members.begin(), members.end(),
                       [](const DecodedMember& m) { return m.status == DecodeStatus::kOk; });
  }
};

DecodedArchive DecodeArchive(const std::string& bytes);

}  // namespace koushin::archive::testing
