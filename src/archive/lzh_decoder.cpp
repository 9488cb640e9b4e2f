// One entry point for every method: the stored ones copied here, the others handed to their
// family's decoder.
#include "archive/lzh_decoder.h"

#include <vector>

#include "archive/lzh_bits.h"
#include "archive/lzh_methods.h"

namespace koushin::archive {
namespace {

using decoding::FlatWindow;
using decoding::InputFeeder;

DecodeStatus CopyStored(ByteSource& source, std::uint64_t size, ByteSink& sink, std::uint16_t* crc,
                        std::uint64_t* written) {
  std::vector<std::uint8_t> buffer(64 * 1024);
  while (size > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size));
    const std::size_t got = source.Read(buffer.data(), want);
    if (got == 0) return source.Failed() ? DecodeStatus::kReadError : DecodeStatus::kCorrupt;
    *crc = UpdateCrc16(*crc, buffer.data(), got);
    if (!sink.Write(buffer.data(), got)) return DecodeStatus::kStopped;
    *written += got;
    size -= got;
  }
  return DecodeStatus::kOk;
}

}  // namespace

bool IsSupportedMethod(const std::string& method) { return FindMethod(method) != nullptr; }

const char* DecodeStatusName(DecodeStatus status) {
  switch (status) {
    case DecodeStatus::kOk:
      return "ok";
    case DecodeStatus::kUnsupportedMethod:
      return "unsupported method";
    case DecodeStatus::kCorrupt:
      return "corrupt data";
    case DecodeStatus::kLengthMismatch:
      return "length mismatch";
    case DecodeStatus::kCrcMismatch:
      return "CRC mismatch";
    case DecodeStatus::kReadError:
      return "read error";
    case DecodeStatus::kStopped:
      return "stopped";
  }
  return "?";
}

DecodeResult DecodeMember(const std::string& method, ByteSource& source, std::uint64_t packedSize,
                          std::uint64_t originalSize, ByteSink& sink,
                          const std::uint16_t* expectedCrc) {
  DecodeResult result;
  const Method* m = FindMethod(method);
  if (m == nullptr) {
    result.status = DecodeStatus::kUnsupportedMethod;
    return result;
  }
  if (m->family == MethodFamily::kFolder) {
    result.status = originalSize == 0 ? DecodeStatus::kOk : DecodeStatus::kLengthMismatch;
  } else if (m->family == MethodFamily::kStored) {
    if (packedSize != originalSize) {
      result.status = DecodeStatus::kLengthMismatch;
      return result;
    }
    result.status = CopyStored(source, originalSize, sink, &result.crc, &result.written);
  } else if (originalSize == 0) {
    result.status = DecodeStatus::kOk;
  } else if (m->family == MethodFamily::kLzss) {
    InputFeeder feeder(source, packedSize);
    result.status = decoding::DecodeLzss(method, feeder, sink, originalSize, &result.crc);
    result.written = result.status == DecodeStatus::kOk ? originalSize : 0;
    if (feeder.ReadError()) result.status = DecodeStatus::kReadError;
  } else {
    InputFeeder feeder(source, packedSize);
    FlatWindow window(std::size_t{1} << m->dictionaryBits, ' ', sink, originalSize);
    result.status =
        m->family == MethodFamily::kAdaptive
            ? decoding::DecodeAdaptiveHuffman(feeder, window)
            : decoding::DecodeStaticHuffman(feeder, window, m->dictionaryBits, m->positionBits);
    result.crc = window.crc;
    result.written = window.Delivered();
  }
  if (result.status == DecodeStatus::kOk && expectedCrc != nullptr && result.crc != *expectedCrc) {
    result.status = DecodeStatus::kCrcMismatch;
  }
  return result;
}

}  // namespace koushin::archive
