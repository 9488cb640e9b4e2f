#include "archive/lzh_bits.h"

namespace koushin::archive::decoding {
namespace {

// ---------------------------------------------------------------------------------------------
// -lzs- and -lz5-: LZSS over a ring buffer addressed by absolute ring positions.

class RingOutput {
 public:
  RingOutput(ByteSink& sink, std::uint64_t total) : sink_(sink), total_(total) {}
  bool Put(std::uint8_t byte) {
    batch_[used_++] = byte;
    ++produced_;
    if (used_ == sizeof(batch_)) return Flush();
    return true;
  }
  bool Flush() {
    if (used_ == 0) return true;
    crc = UpdateCrc16(crc, batch_, used_);
    const bool ok = sink_.Write(batch_, used_);
    used_ = 0;
    return ok;
  }
  bool Full() const { return produced_ >= total_; }
  std::uint16_t crc = 0;

 private:
  ByteSink& sink_;
  std::uint64_t total_;
  std::uint64_t produced_ = 0;
  std::uint8_t batch_[16 * 1024];
  std::size_t used_ = 0;
};

DecodeStatus DecodeLzs(InputFeeder& feeder, RingOutput& output) {
  std::uint8_t ring[2048];
  std::memset(ring, ' ', sizeof(ring));
  unsigned at = 2048 - 17;
  BitState s = feeder.Refill(BitState{});
  while (!output.Full()) {
    if (s.count < 24) s = feeder.Refill(s);
    if (feeder.Overrun(s)) return DecodeStatus::kCorrupt;
    const bool literal = Peek(s, 1) != 0;
    Consume(s, 1);
    if (literal) {
      const std::uint8_t byte = static_cast<std::uint8_t>(Peek(s, 8));
      Consume(s, 8);
      ring[at] = byte;
      at = (at + 1) & 2047;
      if (!output.Put(byte)) return DecodeStatus::kStopped;
    } else {
      unsigned from = Peek(s, 11);
      Consume(s, 11);
      const unsigned length = Peek(s, 4) + 2;
      Consume(s, 4);
      for (unsigned i = 0; i < length && !output.Full(); ++i) {
        const std::uint8_t byte = ring[from];
        from = (from + 1) & 2047;
        ring[at] = byte;
        at = (at + 1) & 2047;
        if (!output.Put(byte)) return DecodeStatus::kStopped;
      }
    }
  }
  if (feeder.Overrun(s)) return DecodeStatus::kCorrupt;
  return output.Flush() ? DecodeStatus::kOk : DecodeStatus::kStopped;
}

DecodeStatus DecodeLz5(InputFeeder& feeder, RingOutput& output) {
  std::uint8_t ring[4096];
  // The ring starts with a fixed pattern that encoders may refer to: 13 copies of every byte
  // value, the values rising and falling, zeros, then spaces and a short run of zeros.
  unsigned k = 0;
  for (unsigned v = 0; v < 256; ++v) {
    for (int r = 0; r < 13; ++r) ring[k++] = static_cast<std::uint8_t>(v);
  }
  for (unsigned v = 0; v < 256; ++v) ring[k++] = static_cast<std::uint8_t>(v);
  for (unsigned v = 256; v-- > 0;) ring[k++] = static_cast<std::uint8_t>(v);
  while (k < 3968) ring[k++] = 0;
  while (k < 4096 - 18) ring[k++] = ' ';
  while (k < 4096) ring[k++] = 0;
  unsigned at = 4096 - 18;
  BitState s = feeder.Refill(BitState{});
  auto nextByte = [&](std::uint8_t* byte) {
    if (s.count < 8) s = feeder.Refill(s);
    *byte = static_cast<std::uint8_t>(Peek(s, 8));
    Consume(s, 8);
    return !feeder.Overrun(s);
  };
  unsigned flags = 1;
  while (!output.Full()) {
    if (flags == 1) {
      std::uint8_t f;
      if (!nextByte(&f)) return DecodeStatus::kCorrupt;
      flags = 0x100u | f;
    }
    const bool literal = flags & 1;
    flags >>= 1;
    if (literal) {
      std::uint8_t byte;
      if (!nextByte(&byte)) return DecodeStatus::kCorrupt;
      ring[at] = byte;
      at = (at + 1) & 4095;
      if (!output.Put(byte)) return DecodeStatus::kStopped;
    } else {
      std::uint8_t lo, hi;
      if (!nextByte(&lo) || !nextByte(&hi)) return DecodeStatus::kCorrupt;
      unsigned from = lo | ((hi & 0xF0u) << 4);
      const unsigned length = (hi & 0x0Fu) + 3;
      for (unsigned i = 0; i < length && !output.Full(); ++i) {
        const std::uint8_t byte = ring[from];
        from = (from + 1) & 4095;
        ring[at] = byte;
        at = (at + 1) & 4095;
        if (!output.Put(byte)) return DecodeStatus::kStopped;
      }
    }
  }
  if (feeder.Overrun(s)) return DecodeStatus::kCorrupt;
  return output.Flush() ? DecodeStatus::kOk : DecodeStatus::kStopped;
}

}  // namespace

DecodeStatus DecodeLzss(const std::string& method, InputFeeder& feeder, ByteSink& sink,
                        std::uint64_t originalSize, std::uint16_t* crc) {
  RingOutput output(sink, originalSize);
  const DecodeStatus status =
      method == "-lzs-" ? DecodeLzs(feeder, output) : DecodeLz5(feeder, output);
  *crc = output.crc;
  return status;
}

}  // namespace koushin::archive::decoding
