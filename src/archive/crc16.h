// The CRC-16 every LZH member and level-2 header carries: reflected polynomial 0xA001 (x^16 +
// x^15 + x^2 + 1), initial value 0, no final inversion.
#pragma once

#include <cstddef>
#include <cstdint>

namespace koushin::archive {

// Continues `crc` over `size` bytes. Start with 0.
std::uint16_t UpdateCrc16(std::uint16_t crc, const std::uint8_t* data, std::size_t size);

}  // namespace koushin::archive
