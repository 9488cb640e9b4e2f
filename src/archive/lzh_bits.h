// What the LZH decoders share: the bit input over a member's packed bytes, canonical Huffman
// tables, the flat output window, and each method family's entry point. Internal to the decoder;
// everything here is inline where the hot loops need it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "archive/byte_stream.h"
#include "archive/crc16.h"
#include "archive/lzh_decoder.h"

namespace koushin::archive::decoding {

// ---------------------------------------------------------------------------------------------
// Bit input. The packed bytes are read in 64 KiB pieces; bits are taken most significant first
// from a 64-bit register that is topped up eight bytes at a time. Past the member's end the
// register fills with zero bytes, which the decoders may peek at but never consume: consuming
// them means the data was cut short.

struct BitState {
  std::uint64_t bits = 0;  // next bits at the top
  int count = 0;           // how many of them are valid
  const std::uint8_t* p = nullptr;
  const std::uint8_t* end = nullptr;
};

inline std::uint64_t LoadBigEndian64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
#if defined(__GNUC__)
  return __builtin_bswap64(v);
#else
  std::uint64_t r = 0;
  for (int i = 0; i < 8; ++i) r = (r << 8) | p[i];
  return r;
#endif
}

// Brings `count` to at least 56 when at least eight bytes are buffered.
inline bool FastRefill(BitState& s) {
  if (s.end - s.p < 8) return false;
  s.bits |= LoadBigEndian64(s.p) >> s.count;
  s.p += (63 - s.count) >> 3;
  s.count |= 56;
  return true;
}

inline std::uint32_t Peek(const BitState& s, int n) {  // 1 <= n <= 32
  return static_cast<std::uint32_t>(s.bits >> (64 - n));
}
inline void Consume(BitState& s, int n) {  // 0 <= n <= count
  s.bits <<= n;
  s.count -= n;
}

class InputFeeder {
 public:
  InputFeeder(ByteSource& source, std::uint64_t packedSize)
      : source_(source), remaining_(packedSize), buffer_(new std::uint8_t[kCapacity]) {}

  // Refills `s` so that at least 56 bits are valid.
  BitState Refill(BitState s) {
    if (padBytes_ * 8 > static_cast<std::uint64_t>(s.count)) overrun_ = true;
    if (s.end - s.p < 8 && remaining_ > 0) {
      const std::size_t keep = static_cast<std::size_t>(s.end - s.p);
      if (keep > 0) std::memmove(buffer_.get(), s.p, keep);
      std::size_t filled = keep;
      while (filled < kCapacity && remaining_ > 0) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kCapacity - filled, remaining_));
        const std::size_t got = source_.Read(buffer_.get() + filled, want);
        if (got == 0) {
          if (source_.Failed()) readError_ = true;
          overrun_ = true;  // the archive ends inside this member
          remaining_ = 0;
          break;
        }
        filled += got;
        remaining_ -= got;
      }
      s.p = buffer_.get();
      s.end = buffer_.get() + filled;
    }
    if (FastRefill(s)) return s;
    while (s.count <= 56) {
      std::uint8_t byte = 0;
      if (s.p < s.end) {
        byte = *s.p++;
      } else {
        ++padBytes_;
      }
      s.bits |= static_cast<std::uint64_t>(byte) << (56 - s.count);
      s.count += 8;
    }
    return s;
  }

  // True once bits beyond the member's end have been consumed (`s` is the current state).
  bool Overrun(const BitState& s) const {
    return overrun_ || padBytes_ * 8 > static_cast<std::uint64_t>(s.count);
  }
  bool ReadError() const { return readError_; }

 private:
  static constexpr std::size_t kCapacity = 64 * 1024;
  ByteSource& source_;
  std::uint64_t remaining_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::uint64_t padBytes_ = 0;
  bool overrun_ = false;
  bool readError_ = false;
};

// ---------------------------------------------------------------------------------------------
// Canonical Huffman decoding tables: a root table indexed by the next `rootBits` bits; codes
// longer than that continue in 16-bit-deep subtables. An entry holds the symbol (low 16 bits)
// and the code length (bits 16-23), or the subtable flag and index. Gaps of an incomplete code
// decode to kInvalidSymbol.

inline constexpr std::uint32_t kSubtableFlag = 0x80000000u;
inline constexpr std::uint32_t kInvalidSymbol = 0xFFFF;
inline constexpr int kMaxCodeLength = 16;

class HuffmanTable {
 public:
  explicit HuffmanTable(int rootBits) : rootBits_(rootBits), subBits_(kMaxCodeLength - rootBits) {
    entries_.assign(std::size_t{1} << rootBits_, kInvalidSymbol);
  }

  // Every code is `symbol`, zero bits long.
  void SetConstant(unsigned symbol) {
    entries_.resize(std::size_t{1} << rootBits_);
    std::fill(entries_.begin(), entries_.end(), symbol);
  }

  // False when the lengths over-subscribe the code space or exceed 16.
  bool Build(const std::uint8_t* lengths, int n);

  const std::uint32_t* Entries() const { return entries_.data(); }

  // Decodes with a table built for `kRootBits`; needs at least 16 valid bits in `s`.
  template <int kRootBits>
  static inline unsigned DecodeWith(const std::uint32_t* entries, BitState& s) {
    std::uint32_t e = entries[s.bits >> (64 - kRootBits)];
    if (e & kSubtableFlag) {
      e = entries[(e & ~kSubtableFlag) +
                  ((s.bits << kRootBits) >> (64 - (kMaxCodeLength - kRootBits)))];
    }
    Consume(s, static_cast<int>((e >> 16) & 0xFF));
    return e & 0xFFFF;
  }

  // Needs at least 16 valid bits in `s`.
  inline unsigned Decode(BitState& s) const {
    std::uint32_t e = entries_[s.bits >> (64 - rootBits_)];
    if (e & kSubtableFlag) {
      e = entries_[(e & ~kSubtableFlag) + ((s.bits << rootBits_) >> (64 - subBits_))];
    }
    Consume(s, static_cast<int>((e >> 16) & 0xFF));
    return e & 0xFFFF;
  }

 private:
  int rootBits_;
  int subBits_;
  std::vector<std::uint32_t> entries_;
};

// ---------------------------------------------------------------------------------------------
// Output through a flat window: `history` bytes of back-references, then room for a batch of
// new bytes. Matches copy forward within one array, never wrapping; when the batch is full it
// goes to the sink (with the CRC), and the last `history` bytes move to the front.

class FlatWindow {
 public:
  static constexpr std::size_t kBatch = 256 * 1024;
  static constexpr std::size_t kSlack = 512;  // a match may run past the batch end

  FlatWindow(std::size_t history, std::uint8_t fill, ByteSink& sink, std::uint64_t total)
      : history_(history),
        buffer_(new std::uint8_t[history + kBatch + kSlack]),
        sink_(sink),
        total_(total) {
    std::memset(buffer_.get(), fill, history);
    out = buffer_.get() + history_;
    SetLimits();
  }

  std::uint8_t* out;    // where the next byte goes
  std::uint8_t* limit;  // flush (or finish) when `out` reaches it
  // Bytes the member may still receive counted from the batch start; a match must stay within.
  std::uint64_t finalOffset = 0;

  std::uint8_t* BatchStart() const { return buffer_.get() + history_; }
  bool Done() const { return delivered_ == total_ && out == BatchStart(); }
  // True when `length` more bytes at `out` stay within the member's stated size.
  bool Fits(std::size_t length) const {
    return static_cast<std::uint64_t>(out - BatchStart()) + length <= finalOffset;
  }

  // Hands the batch to the sink and makes room. False when the sink refuses.
  bool Flush() {
    std::uint8_t* start = BatchStart();
    const std::size_t n = static_cast<std::size_t>(out - start);
    if (n > 0) {
      crc = UpdateCrc16(crc, start, n);
      if (!sink_.Write(start, n)) return false;
      delivered_ += n;
      std::memmove(buffer_.get(), out - history_, history_);
      out = start;
    }
    SetLimits();
    return true;
  }

  std::uint16_t crc = 0;
  std::uint64_t Delivered() const { return delivered_; }

 private:
  void SetLimits() {
    finalOffset = total_ - delivered_;
    limit = BatchStart() + static_cast<std::size_t>(std::min<std::uint64_t>(kBatch, finalOffset));
  }

  std::size_t history_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  ByteSink& sink_;
  std::uint64_t total_;
  std::uint64_t delivered_ = 0;
};

// Copies a match of `length` bytes from `distance` back. `distance` >= 1. May write up to 15
// bytes beyond the match (within the window's slack).
inline void CopyMatch(std::uint8_t* out, std::size_t distance, std::size_t length) {
  const std::uint8_t* from = out - distance;
  if (distance >= 16) {
    std::uint8_t* end = out + length;
    do {
      std::uint8_t v[16];
      std::memcpy(v, from, 16);
      std::memcpy(out, v, 16);
      out += 16;
      from += 16;
    } while (out < end);
  } else if (distance >= 8) {
    std::uint8_t* end = out + length;
    do {
      std::uint64_t v;
      std::memcpy(&v, from, 8);
      std::memcpy(out, &v, 8);
      out += 8;
      from += 8;
    } while (out < end);
  } else if (distance == 1) {
    std::memset(out, *from, length);
  } else {
    for (std::size_t i = 0; i < length; ++i) out[i] = from[i];
  }
}

// ---------------------------------------------------------------------------------------------
// The method families, one file each.

// -lh4- to -lh7- (lzh_static_huffman.cpp).
DecodeStatus DecodeStaticHuffman(InputFeeder& feeder, FlatWindow& window, int dictionaryBits,
                                 int positionBits);
// -lh1- (lzh_adaptive_huffman.cpp).
DecodeStatus DecodeAdaptiveHuffman(InputFeeder& feeder, FlatWindow& window);
// -lzs- and -lz5- (lzss_decoder.cpp): the decoded bytes go to `sink`, their CRC to `crc`.
DecodeStatus DecodeLzss(const std::string& method, InputFeeder& feeder, ByteSink& sink,
                        std::uint64_t originalSize, std::uint16_t* crc);

}  // namespace koushin::archive::decoding
