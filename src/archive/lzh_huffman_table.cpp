// Building canonical Huffman decoding tables from code lengths.
#include "archive/lzh_bits.h"

namespace koushin::archive::decoding {

bool HuffmanTable::Build(const std::uint8_t* lengths, int n) {
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

}  // namespace koushin::archive::decoding
