#include "archive/crc16.h"

#include <gtest/gtest.h>

#include <string>

namespace koushin::archive {
namespace {

TEST(Crc16Test, KnownValues) {
  // CRC-16 with the reflected polynomial 0xA001 and initial value 0 ("CRC-16/ARC").
  const std::string check = "123456789";
  EXPECT_EQ(UpdateCrc16(0, reinterpret_cast<const std::uint8_t*>(check.data()), check.size()),
            0xBB3D);
  EXPECT_EQ(UpdateCrc16(0, nullptr, 0), 0);
  // Folding eight bytes at a time agrees with one byte at a time, for every length and split
  // (pieces of 64 bytes and more take the carry-less multiply where the CPU has it).
  std::string data(300, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 37 + 11);
  const auto* p = reinterpret_cast<const std::uint8_t*>(data.data());
  for (std::size_t split = 0; split <= data.size(); ++split) {
    std::uint16_t bytewise = 0;
    for (std::size_t i = 0; i < data.size(); ++i) bytewise = UpdateCrc16(bytewise, p + i, 1);
    EXPECT_EQ(UpdateCrc16(UpdateCrc16(0, p, split), p + split, data.size() - split), bytewise);
  }
}

}  // namespace
}  // namespace koushin::archive
