// libFuzzer target for the LZH reader and decoders: any bytes, read as an archive, must give
// members or a clean error, and never more output than a member claims.
#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/byte_stream.h"
#include "archive/lzh_decoder.h"
#include "archive/lzh_reader.h"

namespace {

// Counts bytes and stops a member that would decode more than a few megabytes (a small input
// may claim a huge size, and zero-length codes decode without consuming input).
class BoundedSink : public koushin::archive::ByteSink {
 public:
  bool Write(const std::uint8_t* data, std::size_t size) override {
    if (size > 0 && data == nullptr) __builtin_trap();
    total += size;
    return total <= kLimit;
  }
  static constexpr std::uint64_t kLimit = 4 << 20;
  std::uint64_t total = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace koushin::archive;
  MemorySource source(data, size);
  LzhReader reader(source);
  MemberHeader header;
  std::string error;
  for (int members = 0; members < 64; ++members) {
    if (reader.Next(&header, &error) != ReadStatus::kMember) break;
    // Names are split into non-empty components.
    for (const std::string& part : header.path) {
      if (part.empty()) __builtin_trap();
    }
    BoundedSink sink;
    const DecodeResult r =
        DecodeMember(header.method, reader.Data(), header.packedSize, header.originalSize, sink,
                     header.hasCrc ? &header.crc : nullptr);
    if (r.status == DecodeStatus::kOk && r.written != header.originalSize &&
        header.method != "-lhd-") {
      __builtin_trap();  // "sound" with the wrong length
    }
    if (sink.total > header.originalSize && sink.total <= BoundedSink::kLimit) __builtin_trap();
  }
  return 0;
}
