#include "archive/byte_stream.h"

#include <algorithm>
#include <cstring>

namespace koushin::archive {

std::size_t MemorySource::Read(std::uint8_t* buffer, std::size_t size) {
  const std::size_t n = std::min(size, size_ - pos_);
  if (n > 0) std::memcpy(buffer, data_ + pos_, n);
  pos_ += n;
  return n;
}

bool StringSink::Write(const std::uint8_t* data, std::size_t size) {
  bytes.append(reinterpret_cast<const char*>(data), size);
  return true;
}

}  // namespace koushin::archive
