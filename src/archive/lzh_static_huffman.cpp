#include <memory>

#include "archive/lzh_bits.h"

namespace koushin::archive::decoding {
namespace {

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

}  // namespace

DecodeStatus DecodeStaticHuffman(InputFeeder& feeder, FlatWindow& window, int dictionaryBits,
                                 int positionBits) {
  auto decoder = std::make_unique<StaticHuffmanDecoder>(dictionaryBits, positionBits);
  return decoder->Run(feeder, window);
}

}  // namespace koushin::archive::decoding
