#include <memory>

#include "archive/lzh_bits.h"

namespace koushin::archive::decoding {
namespace {

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

}  // namespace

DecodeStatus DecodeAdaptiveHuffman(InputFeeder& feeder, FlatWindow& window) {
  auto decoder = std::make_unique<AdaptiveHuffmanDecoder>();
  return decoder->Run(feeder, window);
}

}  // namespace koushin::archive::decoding
