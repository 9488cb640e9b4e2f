// Walks an archive held in memory with the reader and the decoders, keeping every member.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "archive/lzh_decoder.h"
#include "archive/lzh_reader.h"

namespace koushin::archive::testing {

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

inline DecodedArchive DecodeArchive(const std::string& bytes) {
  DecodedArchive out;
  MemorySource source(bytes.data(), bytes.size());
  LzhReader reader(source);
  for (;;) {
    DecodedMember m;
    out.last = reader.Next(&m.header, &out.error);
    if (out.last != ReadStatus::kMember) break;
    StringSink sink;
    const DecodeResult r =
        DecodeMember(m.header.method, reader.Data(), m.header.packedSize, m.header.originalSize,
                     sink, m.header.hasCrc ? &m.header.crc : nullptr);
    m.status = r.status;
    m.bytes = std::move(sink.bytes);
    out.members.push_back(std::move(m));
  }
  return out;
}

}  // namespace koushin::archive::testing
