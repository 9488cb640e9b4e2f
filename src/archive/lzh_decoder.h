// Decoders for the compression methods of LZH members. Each reads a member's packed bytes from
// a ByteSource and hands the decoded bytes to a ByteSink in batches, holding only its window and
// fixed buffers: memory does not grow with the member or the archive.
#pragma once

#include <cstdint>
#include <string>

#include "archive/byte_stream.h"

namespace koushin::archive {

enum class DecodeStatus {
  kOk,
  kUnsupportedMethod,  // a method we do not decode (-lh2-, -pm1-, ...)
  kCorrupt,            // the packed data makes no sense or runs past its end
  kLengthMismatch,     // stored: packed and original sizes differ
  kCrcMismatch,        // decoded bytes disagree with the stored CRC
  kReadError,          // the source failed
  kStopped,            // the sink refused the bytes
};

// True for the methods DecodeMember handles: -lh0- -lh1- -lh4- -lh5- -lh6- -lh7- -lzs- -lz4-
// -lz5-, and -lhd- (a folder entry, no data).
bool IsSupportedMethod(const std::string& method);

struct DecodeResult {
  DecodeStatus status = DecodeStatus::kOk;
  std::uint16_t crc = 0;      // CRC-16 of the bytes delivered
  std::uint64_t written = 0;  // bytes delivered to the sink
};

// Decodes one member. `source` must deliver the member's `packedSize` packed bytes (the decoder
// reads no more than that); exactly `originalSize` bytes go to `sink`. When `expectedCrc` is
// given, a mismatch gives kCrcMismatch. The sink sees every byte before the CRC is judged, so a
// caller that writes files must treat them as unconfirmed until the result is kOk.
DecodeResult DecodeMember(const std::string& method, ByteSource& source, std::uint64_t packedSize,
                          std::uint64_t originalSize, ByteSink& sink,
                          const std::uint16_t* expectedCrc = nullptr);

// Short English name of a status, for logs and tests.
const char* DecodeStatusName(DecodeStatus status);

}  // namespace koushin::archive
