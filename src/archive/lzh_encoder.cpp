#include "archive/lzh_encoder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/crc16.h"
#include "archive/lzh_methods.h"

namespace koushin::archive {
namespace {

constexpr int kCodeCount = 510;   // 256 literals + match lengths 3..256
constexpr int kLengthCodes = 19;  // the code that sends the code lengths
constexpr int kMaxCodeLength = 16;
constexpr unsigned kMinMatch = 3;
constexpr unsigned kMaxMatch = 256;

// Matching effort: how many earlier positions a search looks at, when a match is long enough to
// stop looking, and how far a three-byte match may reach before three literals are cheaper.
constexpr int kMaxChain = 24;   // for -lh5-; the larger windows look a third as deep again
constexpr int kGoodLength = 4;  // with a previous match this long, search a quarter as deep
constexpr unsigned kNiceLength = 128;
constexpr unsigned kLazyLength = 16;  // a match this long is taken without looking one further
constexpr unsigned kMaxInsert = 64;   // inside longer matches only the last positions are indexed
constexpr unsigned kFarShortMatch = 4096;

// A block holds at most this many symbols before it is written; the writer then splits it where
// separate code tables pay for themselves, down to blocks of kMinSplit symbols.
constexpr std::size_t kBlockSymbols = 32768;
constexpr std::size_t kMinSplit = 2048;

// ---------------------------------------------------------------------------------------------
// Bit output, most significant bit first, buffered and handed to the sink in 64 KiB pieces.

class BitWriter {
 public:
  BitWriter(ByteSink& sink, std::uint64_t limit)
      : sink_(sink), limit_(limit), buffer_(kCapacity + 8) {}

  void Put(std::uint32_t value, int n) {  // 0 <= n <= 32, value < 2^n
    acc_ = (acc_ << n) | value;
    count_ += n;
    if (count_ >= 32) {
      count_ -= 32;
      const std::uint32_t word = static_cast<std::uint32_t>(acc_ >> count_);
      std::uint8_t* at = buffer_.data() + used_;
      at[0] = static_cast<std::uint8_t>(word >> 24);
      at[1] = static_cast<std::uint8_t>(word >> 16);
      at[2] = static_cast<std::uint8_t>(word >> 8);
      at[3] = static_cast<std::uint8_t>(word);
      used_ += 4;
      if (used_ >= kCapacity) Flush();
    }
  }

  // Pads the last byte with zero bits and hands everything over.
  void Finish() {
    while (count_ >= 8) {
      count_ -= 8;
      buffer_[used_++] = static_cast<std::uint8_t>(acc_ >> count_);
    }
    if (count_ > 0) buffer_[used_++] = static_cast<std::uint8_t>(acc_ << (8 - count_));
    count_ = 0;
    Flush();
  }

  // Bytes produced so far, the buffered ones included.
  std::uint64_t Produced() const { return written_ + used_ + (count_ + 7) / 8; }
  bool OverLimit() const { return Produced() >= limit_; }
  bool Stopped() const { return stopped_; }

 private:
  static constexpr std::size_t kCapacity = 64 * 1024;

  void Flush() {
    if (used_ == 0) return;
    if (written_ + used_ >= limit_) {
      // The caller stores the member instead; nothing more goes to the sink.
      written_ += used_;
      used_ = 0;
      return;
    }
    if (!stopped_ && !sink_.Write(buffer_.data(), used_)) stopped_ = true;
    written_ += used_;
    used_ = 0;
  }

  ByteSink& sink_;
  std::uint64_t limit_;
  std::vector<std::uint8_t> buffer_;
  std::size_t used_ = 0;
  std::uint64_t acc_ = 0;
  int count_ = 0;
  std::uint64_t written_ = 0;
  bool stopped_ = false;
};

// ---------------------------------------------------------------------------------------------
// Huffman codes.

// Lengths of an optimal prefix code for `freq`, none longer than kMaxCodeLength; unused symbols
// get 0. Returns the number of used symbols; with fewer than two every length stays 0 and the
// caller sends the one-symbol form instead.
int BuildLengths(const std::uint32_t* freq, int n, std::uint8_t* lengths) {
  std::fill(lengths, lengths + n, 0);
  int leaves[kCodeCount];
  int m = 0;
  for (int i = 0; i < n; ++i) {
    if (freq[i] > 0) leaves[m++] = i;
  }
  if (m < 2) return m;
  std::uint32_t scaled[kCodeCount];
  for (int i = 0; i < m; ++i) scaled[i] = freq[leaves[i]];
  // Sort keys: the weight, then the first weight, then the leaf's place, the order that sorting the
  // leaves stably again after each flattening gives. Counts stay below 2^30 (a block's symbols).
  std::uint64_t keys[kCodeCount];
  std::uint32_t weight[2 * kCodeCount];
  int parent[2 * kCodeCount];
  int depth[2 * kCodeCount];
  while (true) {
    for (int i = 0; i < m; ++i) {
      keys[i] = (std::uint64_t{scaled[i]} << 40) | (std::uint64_t{freq[leaves[i]]} << 10) |
                static_cast<unsigned>(i);
    }
    std::sort(keys, keys + m);
    for (int i = 0; i < m; ++i) weight[i] = scaled[keys[i] & 0x3FF];
    // Two queues: the sorted leaves, and the inner nodes, which are made in rising weight.
    int leaf = 0, inner = m;
    for (int k = m; k < 2 * m - 1; ++k) {
      int pick[2];
      for (int& p : pick) {
        if (leaf < m && (inner >= k || weight[leaf] <= weight[inner])) {
          p = leaf++;
        } else {
          p = inner++;
        }
      }
      weight[k] = weight[pick[0]] + weight[pick[1]];
      parent[pick[0]] = parent[pick[1]] = k;
    }
    depth[2 * m - 2] = 0;
    int deepest = 0;
    for (int k = 2 * m - 3; k >= 0; --k) {
      depth[k] = depth[parent[k]] + 1;
      deepest = std::max(deepest, depth[k]);
    }
    if (deepest <= kMaxCodeLength) {
      for (int i = 0; i < m; ++i) {
        lengths[leaves[keys[i] & 0x3FF]] = static_cast<std::uint8_t>(depth[i]);
      }
      return m;
    }
    // Too deep: flatten the frequencies and build again.
    for (int i = 0; i < m; ++i) scaled[i] = (scaled[i] + 1) / 2;
  }
}

// Canonical codes for `lengths`, in the order the decoders assign them.
void MakeCodes(const std::uint8_t* lengths, int n, std::uint16_t* codes) {
  int count[kMaxCodeLength + 1] = {};
  for (int i = 0; i < n; ++i) ++count[lengths[i]];
  count[0] = 0;
  unsigned next[kMaxCodeLength + 1] = {};
  unsigned code = 0;
  for (int len = 1; len <= kMaxCodeLength; ++len) {
    code = (code + count[len - 1]) << 1;
    next[len] = code;
  }
  for (int i = 0; i < n; ++i) {
    codes[i] = lengths[i] ? static_cast<std::uint16_t>(next[lengths[i]]++) : 0;
  }
}

// Bits of a length sent as 3 bits, or from 7 up as 111 and a run of 1 bits ended by a 0.
int LengthFieldBits(int len) { return len < 7 ? 3 : len - 3; }

// The position code of an offset (distance - 1): its bit length; the bits below the top one
// follow the code.
inline int PositionCode(unsigned offset) {
#if defined(__GNUC__)
  return offset ? 32 - __builtin_clz(offset) : 0;
#else
  int p = 0;
  while (offset >> p) ++p;
  return p;
#endif
}

// ---------------------------------------------------------------------------------------------
// One block: its symbols' frequencies, the three codes, and what sending it costs.

struct Symbol {
  std::uint16_t code;    // < 256 a literal, else a match of length code - 253
  std::uint16_t offset;  // matches: distance - 1
};

// The code lengths of the literal/length code, as the tokens that send them: a length L is token
// L + 2; a run of zeros is token 0 (one zero), 1 + 4 bits (3 to 18) or 2 + 9 bits (20 to 529).
struct LengthToken {
  std::uint8_t token;
  std::uint16_t extra;
};

// At most one token per length and one more (a run of 19 zeros takes two); returns the count.
int TokenizeCodeLengths(const std::uint8_t* lengths, int n, LengthToken* tokens) {
  int t = 0;
  int i = 0;
  while (i < n) {
    if (lengths[i] != 0) {
      tokens[t++] = {static_cast<std::uint8_t>(lengths[i] + 2), 0};
      ++i;
      continue;
    }
    int run = 0;
    while (i + run < n && lengths[i + run] == 0) ++run;
    i += run;
    if (run <= 2) {
      while (run-- > 0) tokens[t++] = {0, 0};
    } else if (run <= 18) {
      tokens[t++] = {1, static_cast<std::uint16_t>(run - 3)};
    } else if (run == 19) {
      tokens[t++] = {0, 0};
      tokens[t++] = {1, 15};
    } else {
      tokens[t++] = {2, static_cast<std::uint16_t>(run - 20)};
    }
  }
  return t;
}

// The symbol counts of a stretch of a block: what its codes are built from.
struct Histogram {
  std::uint32_t code[kCodeCount] = {};
  std::uint32_t position[32] = {};
  std::uint64_t extraBits = 0;  // the position bits sent below each position code

  void Add(const Symbol* symbols, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      ++code[symbols[i].code];
      if (symbols[i].code >= 256) {
        const int p = PositionCode(symbols[i].offset);
        ++position[p];
        if (p > 1) extraBits += p - 1;
      }
    }
  }
  void Add(const Histogram& other) {
    for (int i = 0; i < kCodeCount; ++i) code[i] += other.code[i];
    for (int i = 0; i < 32; ++i) position[i] += other.position[i];
    extraBits += other.extraBits;
  }
};

class BlockPlan {
 public:
  BlockPlan(const Histogram& h, int positionCodes, int positionBits)
      : positionCodes_(positionCodes), positionBits_(positionBits) {
    const std::uint32_t* codeFreq = h.code;
    const std::uint32_t* posFreq = h.position;
    codeUsed_ = BuildLengths(codeFreq, kCodeCount, codeLengths_);
    if (codeUsed_ < 2) {
      for (int c = 0; c < kCodeCount; ++c) {
        if (codeFreq[c]) constantCode_ = c;
      }
    }
    posUsed_ = BuildLengths(posFreq, positionCodes, posLengths_);
    if (posUsed_ == 1) {
      for (int p = 0; p < positionCodes; ++p) {
        if (posFreq[p]) constantPos_ = p;
      }
    }
    bits_ = 16 + h.extraBits;
    if (codeUsed_ >= 2) {
      codeCount_ = kCodeCount;
      while (codeLengths_[codeCount_ - 1] == 0) --codeCount_;
      tokenCount_ = TokenizeCodeLengths(codeLengths_, codeCount_, tokens_);
      std::uint32_t tokenFreq[kLengthCodes] = {};
      for (int i = 0; i < tokenCount_; ++i) ++tokenFreq[tokens_[i].token];
      tokenUsed_ = BuildLengths(tokenFreq, kLengthCodes, tokenLengths_);
      if (tokenUsed_ < 2) constantToken_ = tokens_[0].token;
      bits_ += LengthCodeBits(tokenLengths_, tokenUsed_, kLengthCodes, 5, 3) + 9;
      for (int i = 0; i < tokenCount_; ++i) {
        const LengthToken& t = tokens_[i];
        bits_ += tokenLengths_[t.token] + (t.token == 1 ? 4 : t.token == 2 ? 9 : 0);
      }
      for (int c = 0; c < kCodeCount; ++c) bits_ += std::uint64_t{codeFreq[c]} * codeLengths_[c];
    } else {
      bits_ += 10 + 18;
    }
    bits_ += LengthCodeBits(posLengths_, posUsed_, positionCodes, positionBits, -1);
    for (int p = 0; p < positionCodes; ++p) bits_ += std::uint64_t{posFreq[p]} * posLengths_[p];
  }

  std::uint64_t Bits() const { return bits_; }

  void Write(BitWriter& out, const Symbol* symbols, std::size_t count) const {
    out.Put(static_cast<std::uint32_t>(count), 16);
    if (codeUsed_ < 2) {
      out.Put(0, 5);
      out.Put(0, 5);
      out.Put(0, 9);
      out.Put(constantCode_, 9);
    } else {
      WriteLengthCode(out, tokenLengths_, tokenUsed_, constantToken_, kLengthCodes, 5, 3);
      std::uint16_t tokenCodes[kLengthCodes];
      MakeCodes(tokenLengths_, kLengthCodes, tokenCodes);
      out.Put(static_cast<std::uint32_t>(codeCount_), 9);
      for (int i = 0; i < tokenCount_; ++i) {
        const LengthToken& t = tokens_[i];
        out.Put(tokenCodes[t.token], tokenLengths_[t.token]);
        if (t.token == 1) out.Put(t.extra, 4);
        if (t.token == 2) out.Put(t.extra, 9);
      }
    }
    WriteLengthCode(out, posLengths_, posUsed_, constantPos_, positionCodes_, positionBits_, -1);
    std::uint16_t codes[kCodeCount];
    std::uint16_t posCodes[32];
    MakeCodes(codeLengths_, kCodeCount, codes);
    MakeCodes(posLengths_, positionCodes_, posCodes);
    for (std::size_t i = 0; i < count; ++i) {
      const Symbol s = symbols[i];
      out.Put(codes[s.code], codeLengths_[s.code]);
      if (s.code < 256) continue;
      const int p = PositionCode(s.offset);
      out.Put(posCodes[p], posLengths_[p]);
      if (p > 1) out.Put(s.offset & ((1u << (p - 1)) - 1), p - 1);
    }
  }

 private:
  static int UsedCount(const std::uint8_t* lengths, int n) {
    while (n > 0 && lengths[n - 1] == 0) --n;
    return n;
  }

  // The lengths of the code-length code or of the position code: a count, then each length; after
  // the `special`-th a 2-bit count of zero lengths skipped. One used symbol (or none) is sent as
  // a zero count and the symbol.
  static std::uint64_t LengthCodeBits(const std::uint8_t* lengths, int used, int n, int countBits,
                                      int special) {
    if (used < 2) return 2 * countBits;
    std::uint64_t bits = countBits;
    const int count = UsedCount(lengths, n);
    for (int i = 0; i < count;) {
      bits += LengthFieldBits(lengths[i++]);
      if (i == special) {
        bits += 2;
        while (i < count && i < special + 3 && lengths[i] == 0) ++i;
      }
    }
    return bits;
  }

  static void WriteLengthCode(BitWriter& out, const std::uint8_t* lengths, int used, int constant,
                              int n, int countBits, int special) {
    if (used < 2) {
      out.Put(0, countBits);
      out.Put(static_cast<std::uint32_t>(constant), countBits);
      return;
    }
    const int count = UsedCount(lengths, n);
    out.Put(static_cast<std::uint32_t>(count), countBits);
    for (int i = 0; i < count;) {
      const int len = lengths[i++];
      if (len < 7) {
        out.Put(static_cast<std::uint32_t>(len), 3);
      } else {
        // 111, then len - 7 ones, then a zero.
        out.Put(7, 3);
        out.Put(((1u << (len - 7)) - 1) << 1, len - 6);
      }
      if (i == special) {
        int zeros = 0;
        while (i < count && zeros < 3 && lengths[i] == 0) ++i, ++zeros;
        out.Put(static_cast<std::uint32_t>(zeros), 2);
      }
    }
  }

  int positionCodes_;
  int positionBits_;
  std::uint8_t codeLengths_[kCodeCount];
  std::uint8_t posLengths_[32];
  std::uint8_t tokenLengths_[kLengthCodes] = {};
  LengthToken tokens_[kCodeCount + 1];
  int tokenCount_ = 0;
  int codeCount_ = 0;
  int codeUsed_ = 0, posUsed_ = 0, tokenUsed_ = 0;
  int constantCode_ = 0, constantPos_ = 0, constantToken_ = 0;
  std::uint64_t bits_ = 0;
};

// ---------------------------------------------------------------------------------------------
// The compressor: hash chains over a window buffer, lazy matching, blocks split by cost.

class Encoder {
 public:
  Encoder(int dictionaryBits, int positionBits, ByteSource& source, ByteSink& sink,
          std::uint64_t limit)
      : window_(std::size_t{1} << dictionaryBits),
        capacity_(2 * window_ + 65536),
        positionCodes_(dictionaryBits + 1),
        maxChain_(dictionaryBits > 13 ? kMaxChain * 4 / 3 : kMaxChain),
        positionBits_(positionBits),
        source_(source),
        out_(sink, limit),
        buffer_(capacity_ + 16, 0),
        head_(kHashSize, 0),
        head3_(kHashSize / 2, 0),
        prev_(window_, 0) {
    symbols_.reserve(kBlockSymbols);
  }

  EncodeResult Run() {
    EncodeResult result;
    std::size_t pos = 0;
    bool havePrev = false;
    unsigned prevLen = 0, prevDist = 0;
    while (true) {
      if (!eof_ && filled_ - pos <= kMaxMatch) {
        if (!Fill(&pos))
          return Fail(readError_ ? EncodeStatus::kReadError : EncodeStatus::kTooLarge);
      }
      if (pos >= filled_) break;
      const std::size_t avail = filled_ - pos;
      unsigned curLen = 0, curDist = 0;
      if (avail >= 4) {
        const std::uint32_t candidate = Insert(pos);
        if (!(havePrev && prevLen >= kLazyLength)) {
          curLen = Longest(candidate, pos,
                           static_cast<unsigned>(std::min<std::size_t>(avail, kMaxMatch)),
                           havePrev ? prevLen : 0, &curDist);
          if (curLen == kMinMatch && curDist > kFarShortMatch) curLen = 0;
        }
      }
      if (havePrev && prevLen >= kMinMatch && curLen <= prevLen) {
        Emit(static_cast<std::uint16_t>(prevLen + 253), static_cast<std::uint16_t>(prevDist - 1));
        const std::size_t end = pos - 1 + prevLen;
        for (std::size_t p = prevLen > kMaxInsert ? end - 3 : pos + 1; p < end; ++p) {
          if (p + 4 <= filled_) Insert(p);
        }
        pos = end;
        havePrev = false;
        prevLen = 0;
      } else {
        if (havePrev) Emit(buffer_[pos - 1], 0);
        havePrev = true;
        prevLen = curLen;
        prevDist = curDist;
        ++pos;
      }
      if (out_.OverLimit()) return Fail(EncodeStatus::kNotSmaller);
      if (out_.Stopped()) return Fail(EncodeStatus::kStopped);
    }
    if (havePrev) Emit(buffer_[pos - 1], 0);
    FlushBlock();
    out_.Finish();
    result.status = out_.Stopped()     ? EncodeStatus::kStopped
                    : out_.OverLimit() ? EncodeStatus::kNotSmaller
                                       : EncodeStatus::kOk;
    result.crc = crc_;
    result.originalSize = total_;
    result.packedSize = out_.Produced();
    return result;
  }

 private:
  static constexpr std::size_t kHashSize = 1 << 16;

  EncodeResult Fail(EncodeStatus status) {
    EncodeResult r;
    r.status = status;
    r.crc = crc_;
    r.originalSize = total_;
    r.packedSize = out_.Produced();
    return r;
  }

  // Tops up the buffer, first moving its last window's worth of bytes before `pos` to the front
  // when it is full. False on a read error or input too large for the headers.
  bool Fill(std::size_t* pos) {
    if (filled_ == capacity_) {
      const std::size_t shift = *pos - window_;
      std::memmove(buffer_.data(), buffer_.data() + shift, filled_ - shift);
      base_ += shift;
      *pos -= shift;
      filled_ -= shift;
    }
    while (filled_ < capacity_) {
      const std::size_t got = source_.Read(buffer_.data() + filled_, capacity_ - filled_);
      if (got == 0) {
        eof_ = true;
        if (source_.Failed()) readError_ = true;
        break;
      }
      crc_ = UpdateCrc16(crc_, buffer_.data() + filled_, got);
      filled_ += got;
      total_ += got;
    }
    return !readError_ && total_ < 0xFFFFFFFFull;
  }

  // The chains link positions by their first four bytes, which keeps them short on binary data;
  // three-byte matches, worth taking only when near, come from the last position with the same
  // first three bytes.
  static std::uint32_t Hash4(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return (v * 2654435761u) >> 16;
  }
  static std::uint32_t Hash3(const std::uint8_t* p) {
    const std::uint32_t v = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
    return (v * 2654435761u) >> 17;
  }

  // Enters `pos` into the chains; returns the previous position with the same hash (+1, 0 none).
  std::uint32_t Insert(std::size_t pos) {
    const std::uint32_t abs = static_cast<std::uint32_t>(base_ + pos);
    std::uint32_t& head3 = head3_[Hash3(buffer_.data() + pos)];
    near_ = head3;
    head3 = abs + 1;
    std::uint32_t& head = head_[Hash4(buffer_.data() + pos)];
    const std::uint32_t candidate = head;
    prev_[abs & (window_ - 1)] = candidate;
    head = abs + 1;
    return candidate;
  }

  unsigned MatchLength(const std::uint8_t* a, const std::uint8_t* b, unsigned max) const {
    unsigned len = 0;
    while (len + 8 <= max) {
      std::uint64_t x, y;
      std::memcpy(&x, a + len, 8);
      std::memcpy(&y, b + len, 8);
      const std::uint64_t diff = x ^ y;
      if (diff != 0) {
#if defined(__GNUC__)
        return len + static_cast<unsigned>(__builtin_ctzll(diff) >> 3);
#else
        while (a[len] == b[len]) ++len;
        return len;
#endif
      }
      len += 8;
    }
    while (len < max && a[len] == b[len]) ++len;
    return len;
  }

  // The longest match for `pos` (longer than `atLeast`) among the chain from `candidate`.
  unsigned Longest(std::uint32_t candidate, std::size_t pos, unsigned max, unsigned atLeast,
                   unsigned* distance) {
    const std::uint64_t abs = base_ + pos;
    const std::uint8_t* here = buffer_.data() + pos;
    unsigned best = std::max(atLeast, kMinMatch - 1);
    unsigned found = 0;
    int chain = atLeast >= static_cast<unsigned>(kGoodLength) ? maxChain_ / 4 : maxChain_;
    if (best >= max) return 0;
    while (candidate != 0 && chain-- > 0) {
      const std::uint64_t at = candidate - 1;
      const std::uint64_t dist = abs - at;
      if (dist > window_) break;
      const std::uint8_t* there = buffer_.data() + (at - base_);
      if (there[best] == here[best] && there[0] == here[0]) {
        const unsigned len = MatchLength(here, there, max);
        if (len > best) {
          best = len;
          found = len;
          *distance = static_cast<unsigned>(dist);
          if (len >= max || len >= kNiceLength) break;
        }
      }
      const std::uint32_t next = prev_[at & (window_ - 1)];
      if (next == 0 || next - 1 >= at) break;  // the chain's slot was reused by a newer position
      candidate = next;
    }
    if (found == 0 && best < kMinMatch && near_ != 0) {
      const std::uint64_t at = near_ - 1;
      const std::uint64_t dist = abs - at;
      const std::uint8_t* there = buffer_.data() + (dist <= kFarShortMatch ? at - base_ : pos);
      if (dist <= kFarShortMatch && there[0] == here[0] && there[1] == here[1] &&
          there[2] == here[2]) {
        found = MatchLength(here, there, max);
        *distance = static_cast<unsigned>(dist);
      }
    }
    return found;
  }

  void Emit(std::uint16_t code, std::uint16_t offset) {
    symbols_.push_back({code, offset});
    if (symbols_.size() == kBlockSymbols) FlushBlock();
  }

  void FlushBlock() {
    if (symbols_.empty()) return;
    WriteBlocks();
    symbols_.clear();
  }

  // Writes the symbols as blocks: the whole, or split in two at a chunk boundary (each half split
  // again) when separate codes cost less than one.
  void WriteBlocks() {
    const std::size_t chunks = (symbols_.size() + kMinSplit - 1) / kMinSplit;
    chunks_.assign(chunks, Histogram());
    for (std::size_t i = 0; i < chunks; ++i) {
      const std::size_t from = i * kMinSplit;
      chunks_[i].Add(symbols_.data() + from, std::min(kMinSplit, symbols_.size() - from));
    }
    WriteSplit(0, chunks, BlockPlan(Sum(0, chunks), positionCodes_, positionBits_));
  }

  Histogram Sum(std::size_t from, std::size_t to) const {
    Histogram h;
    for (std::size_t i = from; i < to; ++i) h.Add(chunks_[i]);
    return h;
  }

  void WriteSplit(std::size_t from, std::size_t to, const BlockPlan& whole) {
    if (to - from >= 2) {
      const std::size_t mid = (from + to) / 2;
      const BlockPlan left(Sum(from, mid), positionCodes_, positionBits_);
      const BlockPlan right(Sum(mid, to), positionCodes_, positionBits_);
      if (left.Bits() + right.Bits() < whole.Bits()) {
        WriteSplit(from, mid, left);
        WriteSplit(mid, to, right);
        return;
      }
    }
    const std::size_t first = from * kMinSplit;
    const std::size_t last = std::min(to * kMinSplit, symbols_.size());
    whole.Write(out_, symbols_.data() + first, last - first);
  }

  const std::size_t window_;
  const std::size_t capacity_;
  const int positionCodes_;
  const int maxChain_;
  const int positionBits_;
  ByteSource& source_;
  BitWriter out_;
  std::vector<std::uint8_t> buffer_;
  std::vector<std::uint32_t> head_;
  std::vector<std::uint32_t> head3_;
  std::uint32_t near_ = 0;  // the last position with the same first three bytes (+1, 0 none)
  std::vector<std::uint32_t> prev_;
  std::vector<Symbol> symbols_;
  std::vector<Histogram> chunks_;
  std::size_t filled_ = 0;
  std::uint64_t base_ = 0;  // input offset of buffer_[0]
  std::uint64_t total_ = 0;
  std::uint16_t crc_ = 0;
  bool eof_ = false;
  bool readError_ = false;
};

}  // namespace

bool IsEncodableMethod(const std::string& method) {
  const Method* m = FindMethod(method);
  return m != nullptr && m->encodable;
}

EncodeResult EncodeMember(const std::string& method, ByteSource& source, ByteSink& sink,
                          std::uint64_t packedLimit) {
  const Method* m = FindMethod(method);
  if (m == nullptr || !m->encodable) {
    EncodeResult r;
    r.status = EncodeStatus::kUnsupportedMethod;
    return r;
  }
  const int dictionaryBits = m->dictionaryBits, positionBits = m->positionBits;
  Encoder encoder(dictionaryBits, positionBits, source, sink, packedLimit);
  return encoder.Run();
}

}  // namespace koushin::archive
