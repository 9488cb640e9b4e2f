#include "archive/lzh_decoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "archive/crc16.h"

namespace koushin::archive {
namespace {

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

constexpr std::uint32_t kSubtableFlag = 0x80000000u;
constexpr std::uint32_t kInvalidSymbol = 0xFFFF;
constexpr int kMaxCodeLength = 16;

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
  bool Build(const std::uint8_t* lengths, int n) {
    int count[kMaxCodeLength + 1] = {};
    for (int i = 0; i < n; ++i) {
      if (lengths[i] > kMaxCodeLength) return false;
      ++count[lengths[i]];
    }
    count[0] = 0;
    long left = 1;
    for (int len = 1; len <= kMaxCodeLength; ++len) {
      left = (left << 1) - count[len];
      if (left < 0) return false;
    }
    unsigned nextCode[kMaxCodeLength + 2] = {};
    unsigned code = 0;
    for (int len = 1; len <= kMaxCodeLength; ++len) {
      code = (code + count[len - 1]) << 1;
      nextCode[len] = code;
    }
    entries_.resize(std::size_t{1} << rootBits_);
    std::fill(entries_.begin(), entries_.end(), kInvalidSymbol);
    const std::size_t subSize = std::size_t{1} << subBits_;
    for (int symbol = 0; symbol < n; ++symbol) {
      const int len = lengths[symbol];
      if (len == 0) continue;
      const unsigned c = nextCode[len]++;
      const std::uint32_t entry = static_cast<std::uint32_t>(symbol) | (std::uint32_t(len) << 16);
      if (len <= rootBits_) {
        const std::size_t first = std::size_t{c} << (rootBits_ - len);
        const std::size_t span = std::size_t{1} << (rootBits_ - len);
        std::fill(entries_.begin() + first, entries_.begin() + first + span, entry);
      } else {
        const std::size_t prefix = c >> (len - rootBits_);
        std::uint32_t& root = entries_[prefix];
        if (!(root & kSubtableFlag)) {
          const std::size_t index = entries_.size();
          entries_.resize(index + subSize, kInvalidSymbol);
          entries_[prefix] = kSubtableFlag | static_cast<std::uint32_t>(index);
        }
        const std::size_t base = entries_[prefix] & ~kSubtableFlag;
        const unsigned rest = c & ((1u << (len - rootBits_)) - 1);
        const std::size_t first = base + (std::size_t{rest} << (kMaxCodeLength - len));
        const std::size_t span = std::size_t{1} << (kMaxCodeLength - len);
        std::fill(entries_.begin() + first, entries_.begin() + first + span, entry);
      }
    }
    return true;
  }

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
// -lh4- to -lh7-: LZ77 with static Huffman codes sent per block.

class StaticHuffmanDecoder {
 public:
  StaticHuffmanDecoder(int dictionaryBits, int positionBits)
      : positionCodes_(dictionaryBits + 1),
        positionBits_(positionBits),
        codeTable_(kCodeRootBits),
        lengthTable_(8),
        positionTable_(kPositionRootBits) {}

  DecodeStatus Run(InputFeeder& feeder, FlatWindow& window) {
    BitState s = feeder.Refill(BitState{});
    std::size_t blockLeft = 0;
    while (true) {
      if (window.out >= window.limit) {
        if (!window.Flush()) return DecodeStatus::kStopped;
        if (window.Done()) break;
      }
      if (blockLeft == 0) {
        if (s.count < 56 && !FastRefill(s)) s = feeder.Refill(s);
        blockLeft = Peek(s, 16);
        Consume(s, 16);
        if (!ReadBlockTables(feeder, s)) return DecodeStatus::kCorrupt;
        if (feeder.Overrun(s)) return Truncated(feeder);
        continue;
      }
      const DecodeStatus status = DecodeRun(feeder, window, s, blockLeft);
      if (status != DecodeStatus::kOk) return status;
    }
    if (feeder.Overrun(s)) return Truncated(feeder);
    return DecodeStatus::kOk;
  }

  // The hot loop: decodes symbols until the block or the batch ends. Everything it touches per
  // symbol lives in locals, so byte stores to the window cannot force reloads.
  DecodeStatus DecodeRun(InputFeeder& feeder, FlatWindow& window, BitState& state,
                         std::size_t& blockLeftRef) {
    BitState s = state;
    std::uint8_t* out = window.out;
    std::uint8_t* const limit = window.limit;
    std::uint8_t* const batchStart = window.BatchStart();
    const std::uint64_t finalOffset = window.finalOffset;
    const std::uint32_t* const codes = codeTable_.Entries();
    const std::uint32_t* const positions = positionTable_.Entries();
    const unsigned positionCodes = static_cast<unsigned>(positionCodes_);
    std::size_t blockLeft = blockLeftRef;
    DecodeStatus status = DecodeStatus::kOk;
    while (blockLeft > 0 && out < limit) {
      if (s.count < 48 && !FastRefill(s)) {
        s = feeder.Refill(s);
        if (feeder.Overrun(s)) {
          status = Truncated(feeder);
          break;
        }
      }
      // Up to 16 + 16 + 15 bits per symbol: one refill covers it.
      std::uint32_t e = codes[s.bits >> (64 - kCodeRootBits)];
      if (e & kSubtableFlag) {
        e = codes[(e & ~kSubtableFlag) +
                  ((s.bits << kCodeRootBits) >> (64 - (kMaxCodeLength - kCodeRootBits)))];
      }
      Consume(s, static_cast<int>((e >> 16) & 0xFF));
      const unsigned c = e & 0xFFFF;
      --blockLeft;
      if (c < 256) {
        *out++ = static_cast<std::uint8_t>(c);
        continue;
      }
      if (c >= kCodeCount) {
        status = DecodeStatus::kCorrupt;
        break;
      }
      const std::size_t length = c - 253;
      unsigned p = HuffmanTable::DecodeWith<kPositionRootBits>(positions, s);
      if (p > 1) {
        if (p >= positionCodes) {
          status = DecodeStatus::kCorrupt;
          break;
        }
        const int extra = static_cast<int>(p) - 1;
        p = (1u << extra) + Peek(s, extra);
        Consume(s, extra);
      }
      if (static_cast<std::uint64_t>(out - batchStart) + length > finalOffset) {
        status = DecodeStatus::kCorrupt;
        break;
      }
      CopyMatch(out, p + 1, length);
      out += length;
    }
    state = s;
    window.out = out;
    blockLeftRef = blockLeft;
    return status;
  }

 private:
  static constexpr unsigned kCodeCount = 510;  // 256 literals + match lengths 3..256
  static constexpr int kCodeRootBits = 11;
  static constexpr int kPositionRootBits = 10;
  static constexpr int kLengthCodes = 19;

  static DecodeStatus Truncated(const InputFeeder& feeder) {
    return feeder.ReadError() ? DecodeStatus::kReadError : DecodeStatus::kCorrupt;
  }

  unsigned GetBits(InputFeeder& feeder, BitState& s, int n) {
    if (n == 0) return 0;
    if (s.count < n) s = feeder.Refill(s);
    const unsigned v = Peek(s, n);
    Consume(s, n);
    return v;
  }

  // The code-length code (or the position code): `count` lengths, each 3 bits or, from 7 up,
  // a run of 1 bits; after the `special`-th a 2-bit run of zero lengths.
  bool ReadLengthCode(InputFeeder& feeder, BitState& s, int count, int countBits, int special,
                      HuffmanTable* table, std::uint8_t* lengths) {
    const unsigned n = GetBits(feeder, s, countBits);
    if (n == 0) {
      const unsigned c = GetBits(feeder, s, countBits);
      if (c >= static_cast<unsigned>(count)) return false;
      std::fill(lengths, lengths + count, 0);
      table->SetConstant(c);
      return true;
    }
    if (n > static_cast<unsigned>(count)) return false;
    int i = 0;
    while (i < static_cast<int>(n)) {
      if (s.count < 32) s = feeder.Refill(s);
      int c = static_cast<int>(Peek(s, 3));
      if (c == 7) {
        int bit = 3;
        while ((s.bits >> (63 - bit)) & 1) {
          ++c;
          ++bit;
          if (c > kMaxCodeLength) return false;
        }
        Consume(s, c - 3);
      } else {
        Consume(s, 3);
      }
      lengths[i++] = static_cast<std::uint8_t>(c);
      if (i == special) {
        int zeros = static_cast<int>(GetBits(feeder, s, 2));
        if (i + zeros > static_cast<int>(n)) return false;
        while (zeros-- > 0) lengths[i++] = 0;
      }
    }
    std::fill(lengths + n, lengths + count, 0);
    return table->Build(lengths, count);
  }

  bool ReadCodeLengths(InputFeeder& feeder, BitState& s) {
    const unsigned n = GetBits(feeder, s, 9);
    if (n == 0) {
      const unsigned c = GetBits(feeder, s, 9);
      if (c >= kCodeCount) return false;
      codeTable_.SetConstant(c);
      return true;
    }
    if (n > kCodeCount) return false;
    unsigned i = 0;
    while (i < n) {
      if (s.count < 32) s = feeder.Refill(s);
      const unsigned c = lengthTable_.Decode(s);
      if (c >= kLengthCodes) return false;
      if (c <= 2) {
        unsigned zeros = 1;
        if (c == 1) zeros = GetBits(feeder, s, 4) + 3;
        if (c == 2) zeros = GetBits(feeder, s, 9) + 20;
        if (i + zeros > n) return false;
        while (zeros-- > 0) codeLengths_[i++] = 0;
      } else {
        codeLengths_[i++] = static_cast<std::uint8_t>(c - 2);
      }
    }
    std::fill(codeLengths_ + n, codeLengths_ + kCodeCount, 0);
    return codeTable_.Build(codeLengths_, kCodeCount);
  }

  bool ReadBlockTables(InputFeeder& feeder, BitState& s) {
    return ReadLengthCode(feeder, s, kLengthCodes, 5, 3, &lengthTable_, lengthLengths_) &&
           ReadCodeLengths(feeder, s) &&
           ReadLengthCode(feeder, s, positionCodes_, positionBits_, -1, &positionTable_,
                          positionLengths_);
  }

  int positionCodes_;
  int positionBits_;
  HuffmanTable codeTable_;
  HuffmanTable lengthTable_;
  HuffmanTable positionTable_;
  std::uint8_t codeLengths_[kCodeCount] = {};
  std::uint8_t lengthLengths_[kLengthCodes] = {};
  std::uint8_t positionLengths_[32] = {};
};

// ---------------------------------------------------------------------------------------------
// -lh1-: LZ77 over a 4 KiB window; literals and match lengths in an adaptive Huffman code that
// both sides rebuild as symbols go by, positions in a fixed code for their upper six bits.

class AdaptiveHuffmanDecoder {
 public:
  AdaptiveHuffmanDecoder() : positionTable_(8) {
    // Upper six position bits: 1 code of 3 bits, 3 of 4, 8 of 5, 12 of 6, 24 of 7, 16 of 8.
    std::uint8_t lengths[64];
    int i = 0;
    const int counts[] = {1, 3, 8, 12, 24, 16};
    for (int k = 0; k < 6; ++k) {
      for (int j = 0; j < counts[k]; ++j) lengths[i++] = static_cast<std::uint8_t>(k + 3);
    }
    positionTable_.Build(lengths, 64);
    Start();
  }

  DecodeStatus Run(InputFeeder& feeder, FlatWindow& window) {
    BitState s = feeder.Refill(BitState{});
    while (true) {
      if (window.out >= window.limit) {
        if (!window.Flush()) return DecodeStatus::kStopped;
        if (window.Done()) break;
      }
      unsigned node = son_[kRoot];
      while (node < kTreeSize) {
        if (s.count < 1) {
          s = feeder.Refill(s);
          if (feeder.Overrun(s)) return Truncated(feeder);
        }
        node = son_[node + static_cast<unsigned>(s.bits >> 63)];
        Consume(s, 1);
      }
      const unsigned c = node - kTreeSize;
      Update(c);
      if (c < 256) {
        *window.out++ = static_cast<std::uint8_t>(c);
        continue;
      }
      const std::size_t length = c - 253;
      if (s.count < 32) s = feeder.Refill(s);
      const unsigned upper = positionTable_.Decode(s);
      const unsigned distance = ((upper << 6) | Peek(s, 6)) + 1;
      Consume(s, 6);
      if (feeder.Overrun(s)) return Truncated(feeder);
      if (!window.Fits(length)) return DecodeStatus::kCorrupt;
      CopyMatch(window.out, distance, length);
      window.out += length;
    }
    if (feeder.Overrun(s)) return Truncated(feeder);
    return DecodeStatus::kOk;
  }

 private:
  static constexpr unsigned kSymbols = 314;  // 256 literals + lengths 3..60
  static constexpr unsigned kTreeSize = kSymbols * 2 - 1;
  static constexpr unsigned kRoot = kTreeSize - 1;
  static constexpr unsigned kMaxFrequency = 0x8000;

  static DecodeStatus Truncated(const InputFeeder& feeder) {
    return feeder.ReadError() ? DecodeStatus::kReadError : DecodeStatus::kCorrupt;
  }

  void Start() {
    for (unsigned i = 0; i < kSymbols; ++i) {
      freq_[i] = 1;
      son_[i] = i + kTreeSize;
      parent_[i + kTreeSize] = i;
    }
    for (unsigned i = 0, j = kSymbols; j <= kRoot; i += 2, ++j) {
      freq_[j] = freq_[i] + freq_[i + 1];
      son_[j] = i;
      parent_[i] = parent_[i + 1] = j;
    }
    freq_[kTreeSize] = 0xFFFF;  // sentinel above every node
    parent_[kRoot] = 0;
  }

  // Halves the frequencies and rebuilds the tree when the root's count saturates.
  void Rebuild() {
    unsigned j = 0;
    for (unsigned i = 0; i < kTreeSize; ++i) {
      if (son_[i] >= kTreeSize) {
        freq_[j] = (freq_[i] + 1) / 2;
        son_[j] = son_[i];
        ++j;
      }
    }
    for (unsigned i = 0, k = kSymbols; k < kTreeSize; i += 2, ++k) {
      const unsigned f = freq_[i] + freq_[i + 1];
      freq_[k] = f;
      unsigned at = k;
      while (at > 0 && f < freq_[at - 1]) --at;
      // Shift [at, k) up by one to keep frequencies ordered.
      for (unsigned m = k; m > at; --m) {
        freq_[m] = freq_[m - 1];
        son_[m] = son_[m - 1];
      }
      freq_[at] = f;
      son_[at] = i;
    }
    for (unsigned i = 0; i < kTreeSize; ++i) {
      const unsigned k = son_[i];
      if (k >= kTreeSize) {
        parent_[k] = i;
      } else {
        parent_[k] = parent_[k + 1] = i;
      }
    }
  }

  void Update(unsigned symbol) {
    if (freq_[kRoot] == kMaxFrequency) Rebuild();
    unsigned c = parent_[symbol + kTreeSize];
    do {
      const unsigned k = ++freq_[c];
      unsigned l = c + 1;
      if (k > freq_[l]) {
        while (k > freq_[++l]) {
        }
        --l;
        freq_[c] = freq_[l];
        freq_[l] = k;
        const unsigned i = son_[c];
        parent_[i] = l;
        if (i < kTreeSize) parent_[i + 1] = l;
        const unsigned j = son_[l];
        son_[l] = i;
        parent_[j] = c;
        if (j < kTreeSize) parent_[j + 1] = c;
        son_[c] = j;
        c = l;
      }
    } while ((c = parent_[c]) != 0);
  }

  HuffmanTable positionTable_;
  unsigned freq_[kTreeSize + 1] = {};
  unsigned parent_[kTreeSize + kSymbols] = {};
  unsigned son_[kTreeSize] = {};
};

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

bool IsSupportedMethod(const std::string& method) {
  static const char* const kMethods[] = {"-lh0-", "-lh1-", "-lh4-", "-lh5-", "-lh6-",
                                         "-lh7-", "-lzs-", "-lz4-", "-lz5-", "-lhd-"};
  for (const char* m : kMethods) {
    if (method == m) return true;
  }
  return false;
}

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
  if (!IsSupportedMethod(method)) {
    result.status = DecodeStatus::kUnsupportedMethod;
    return result;
  }
  if (method == "-lhd-") {
    result.status = originalSize == 0 ? DecodeStatus::kOk : DecodeStatus::kLengthMismatch;
  } else if (method == "-lh0-" || method == "-lz4-") {
    if (packedSize != originalSize) {
      result.status = DecodeStatus::kLengthMismatch;
      return result;
    }
    result.status = CopyStored(source, originalSize, sink, &result.crc, &result.written);
  } else if (originalSize == 0) {
    result.status = DecodeStatus::kOk;
  } else if (method == "-lzs-" || method == "-lz5-") {
    InputFeeder feeder(source, packedSize);
    RingOutput output(sink, originalSize);
    result.status = method == "-lzs-" ? DecodeLzs(feeder, output) : DecodeLz5(feeder, output);
    result.crc = output.crc;
    result.written = result.status == DecodeStatus::kOk ? originalSize : 0;
    if (feeder.ReadError()) result.status = DecodeStatus::kReadError;
  } else {
    InputFeeder feeder(source, packedSize);
    int dictionaryBits = 13;
    int positionBits = 4;
    if (method == "-lh1-") dictionaryBits = 12;
    if (method == "-lh4-") dictionaryBits = 12;
    if (method == "-lh6-") dictionaryBits = 15, positionBits = 5;
    if (method == "-lh7-") dictionaryBits = 16, positionBits = 5;
    FlatWindow window(std::size_t{1} << dictionaryBits, ' ', sink, originalSize);
    if (method == "-lh1-") {
      auto decoder = std::make_unique<AdaptiveHuffmanDecoder>();
      result.status = decoder->Run(feeder, window);
    } else {
      auto decoder = std::make_unique<StaticHuffmanDecoder>(dictionaryBits, positionBits);
      result.status = decoder->Run(feeder, window);
    }
    result.crc = window.crc;
    result.written = window.Delivered();
  }
  if (result.status == DecodeStatus::kOk && expectedCrc != nullptr && result.crc != *expectedCrc) {
    result.status = DecodeStatus::kCrcMismatch;
  }
  return result;
}

}  // namespace koushin::archive
