// Our LZH compressor for the methods every old LHA tool reads: -lh5- (8 KiB window), -lh6-
// (32 KiB) and -lh7- (64 KiB). It streams: the input is read in pieces into a window buffer, and
// the packed bytes go out block by block, so memory does not grow with the member.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "archive/byte_stream.h"

namespace koushin::archive {

enum class EncodeStatus {
  kOk,
  kUnsupportedMethod,  // not -lh5-, -lh6- or -lh7-
  kNotSmaller,         // the packed bytes reached `packedLimit`: store the member instead
  kTooLarge,           // 4 GiB or more, which the headers we write cannot hold
  kReadError,          // the source failed
  kStopped,            // the sink refused the bytes
};

struct EncodeResult {
  EncodeStatus status = EncodeStatus::kOk;
  std::uint16_t crc = 0;           // CRC-16 of the bytes read
  std::uint64_t originalSize = 0;  // bytes read
  std::uint64_t packedSize = 0;    // bytes handed to the sink
};

// True for the methods EncodeMember makes.
bool IsEncodableMethod(const std::string& method);

// Compresses everything `source` delivers with `method` and hands the packed bytes to `sink`.
// Stops with kNotSmaller as soon as the packed bytes would reach `packedLimit` (the caller passes
// the member's size, so a member that would not shrink costs no more than its own size).
EncodeResult EncodeMember(const std::string& method, ByteSource& source, ByteSink& sink,
                          std::uint64_t packedLimit = std::numeric_limits<std::uint64_t>::max());

}  // namespace koushin::archive
