#include "archive/crc16.h"

#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define KOUSHIN_CRC_CLMUL 1
#endif

namespace koushin::archive {
namespace {

// Eight tables, so the hot path folds eight bytes per step ("slicing by 8"): the CRC runs over
// every decoded byte and must not be the slow half of decoding.
struct Tables {
  std::uint16_t t[8][256];
  Tables() {
    for (unsigned i = 0; i < 256; ++i) {
      unsigned crc = i;
      for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001u : crc >> 1;
      t[0][i] = static_cast<std::uint16_t>(crc);
    }
    for (unsigned i = 0; i < 256; ++i) {
      for (int k = 1; k < 8; ++k) {
        const unsigned prev = t[k - 1][i];
        t[k][i] = static_cast<std::uint16_t>((prev >> 8) ^ t[0][prev & 0xFF]);
      }
    }
  }
};

const Tables& GetTables() {
  static const Tables tables;
  return tables;
}

std::uint16_t TableCrc16(std::uint16_t crc, const std::uint8_t* data, std::size_t size);

#ifdef KOUSHIN_CRC_CLMUL
// x^n mod P (P = x^16 + x^15 + x^2 + 1) as a 64-bit bit-reflected value: x^d sits in bit 63 - d.
std::uint64_t ReflectedPowerMod(unsigned n) {
  unsigned r = 1;  // x^0, normal order
  for (unsigned i = 0; i < n; ++i) {
    r <<= 1;
    if (r & 0x10000u) r ^= 0x18005u;
  }
  std::uint64_t out = 0;
  for (int d = 0; d < 16; ++d) {
    if (r & (1u << d)) out |= std::uint64_t{1} << (63 - d);
  }
  return out;
}

// Folds 16-byte blocks with carry-less multiplication: the accumulator A (bit-reflected, low
// lane the high-order half H, high lane the low half L) becomes H*x^192 + L*x^128 (mod P) plus
// the next block. Products of reflected values carry one extra factor x, hence the constants
// x^191 and x^127. At the end the table finishes over A's 16 bytes and the tail.
__attribute__((target("pclmul,sse2"))) std::uint16_t ClmulCrc16(std::uint16_t crc,
                                                                const std::uint8_t* data,
                                                                std::size_t size) {
  static const __m128i kFold = _mm_set_epi64x(static_cast<long long>(ReflectedPowerMod(127)),
                                              static_cast<long long>(ReflectedPowerMod(191)));
  __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
  a = _mm_xor_si128(a, _mm_cvtsi32_si128(crc));
  data += 16;
  size -= 16;
  while (size >= 16) {
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
    a = _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(a, kFold, 0x00), _mm_clmulepi64_si128(a, kFold, 0x11)),
        next);
    data += 16;
    size -= 16;
  }
  std::uint8_t folded[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(folded), a);
  return TableCrc16(TableCrc16(0, folded, 16), data, size);
}

bool HaveClmul() {
  static const bool have = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
  return have;
}
#endif

}  // namespace

std::uint16_t UpdateCrc16(std::uint16_t crc, const std::uint8_t* data, std::size_t size) {
#ifdef KOUSHIN_CRC_CLMUL
  if (size >= 64 && HaveClmul()) return ClmulCrc16(crc, data, size);
#endif
  return TableCrc16(crc, data, size);
}

namespace {

std::uint16_t TableCrc16(std::uint16_t crc, const std::uint8_t* data, std::size_t size) {
  const Tables& tables = GetTables();
  const auto& t = tables.t;
  unsigned c = crc;
  // Little-endian hosts fold eight bytes from one 64-bit load; others take them one by one.
  while (size >= 8) {
    std::uint64_t w;
    std::memcpy(&w, data, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    w = __builtin_bswap64(w);
#endif
    w ^= c;
    c = t[7][w & 0xFF] ^ t[6][(w >> 8) & 0xFF] ^ t[5][(w >> 16) & 0xFF] ^ t[4][(w >> 24) & 0xFF] ^
        t[3][(w >> 32) & 0xFF] ^ t[2][(w >> 40) & 0xFF] ^ t[1][(w >> 48) & 0xFF] ^ t[0][w >> 56];
    data += 8;
    size -= 8;
  }
  while (size-- > 0) c = (c >> 8) ^ t[0][(c ^ *data++) & 0xFF];
  return static_cast<std::uint16_t>(c);
}

}  // namespace

}  // namespace koushin::archive
