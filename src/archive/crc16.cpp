#include "archive/crc16.h"

#include <cstring>

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

}  // namespace

std::uint16_t UpdateCrc16(std::uint16_t crc, const std::uint8_t* data, std::size_t size) {
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
    c = t[7][w & 0xFF] ^ t[6][(w >> 8) & 0xFF] ^ t[5][(w >> 16) & 0xFF] ^
        t[4][(w >> 24) & 0xFF] ^ t[3][(w >> 32) & 0xFF] ^ t[2][(w >> 40) & 0xFF] ^
        t[1][(w >> 48) & 0xFF] ^ t[0][w >> 56];
    data += 8;
    size -= 8;
  }
  while (size-- > 0) c = (c >> 8) ^ t[0][(c ^ *data++) & 0xFF];
  return static_cast<std::uint16_t>(c);
}

}  // namespace koushin::archive
