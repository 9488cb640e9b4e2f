// Byte streams the LZH core reads from and writes to. The reader and the decoders know nothing
// of files: the extraction layer feeds them from the port, the tests and the fuzzer from memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace koushin::archive {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `size` bytes; returns how many were read, 0 at the end or on a read error
  // (Failed() tells which).
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t size) = 0;
  virtual bool Failed() const { return false; }
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Takes `size` bytes; false stops the decoder (a write error, or the caller has seen enough).
  virtual bool Write(const std::uint8_t* data, std::size_t size) = 0;
};

// Reads from bytes held in memory (not owned).
class MemorySource : public ByteSource {
 public:
  MemorySource(const void* data, std::size_t size)
      : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}
  std::size_t Read(std::uint8_t* buffer, std::size_t size) override;

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// Collects everything written into a string.
class StringSink : public ByteSink {
 public:
  bool Write(const std::uint8_t* data, std::size_t size) override;
  std::string bytes;
};

// Throws everything away.
class NullSink : public ByteSink {
 public:
  bool Write(const std::uint8_t*, std::size_t) override { return true; }
};

}  // namespace koushin::archive
