// Code page 932 <-> UTF-8 through glibc's iconv "CP932" converter (which maps 0x5C to '\\' and
// 0x7E to '~', as Windows does, unlike plain "SHIFT_JIS").
#include <errno.h>
#include <iconv.h>

#include <string>

#include "port/port.h"
#include "text/cp932.h"

namespace koushin::port {

namespace {

// One converter per direction and thread, opened on first use.
class Converter {
 public:
  Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
  ~Converter() {
    if (handle_ != reinterpret_cast<iconv_t>(-1)) iconv_close(handle_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts all of `in`; false on the first byte sequence that does not convert.
  bool Convert(const std::string& in, std::string* out) {
    out->clear();
    if (handle_ == reinterpret_cast<iconv_t>(-1)) return false;
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    char buffer[1024];
    while (inLeft > 0) {
      char* outPtr = buffer;
      std::size_t outLeft = sizeof buffer;
      const std::size_t result = iconv(handle_, &inPtr, &inLeft, &outPtr, &outLeft);
      out->append(buffer, static_cast<std::size_t>(outPtr - buffer));
      if (result == static_cast<std::size_t>(-1) && errno != E2BIG) return false;
    }
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    if (iconv(handle_, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
      return false;
    }
    out->append(buffer, static_cast<std::size_t>(outPtr - buffer));
    return true;
  }

 private:
  iconv_t handle_;
};

Converter& ToUtf8() {
  thread_local Converter converter("UTF-8", "CP932");
  return converter;
}

Converter& ToCp932() {
  thread_local Converter converter("CP932", "UTF-8");
  return converter;
}

}  // namespace

bool Cp932ToUtf8(const std::string& cp932, std::string* utf8) {
  return ToUtf8().Convert(cp932, utf8);
}

bool Utf8ToCp932(const std::string& utf8, std::string* cp932) {
  return ToCp932().Convert(utf8, cp932);
}

std::string Cp932ToUtf8Lossy(const std::string& cp932) {
  std::string utf8;
  if (Cp932ToUtf8(cp932, &utf8)) return utf8;
  // Convert character by character; a character that does not convert becomes '?', and only
  // its first byte is dropped, so that an ASCII byte after a stray lead byte survives.
  utf8.clear();
  for (std::size_t i = 0; i < cp932.size();) {
    const std::size_t length = text::CharLength(cp932, i);
    std::string piece;
    if (Cp932ToUtf8(cp932.substr(i, length), &piece)) {
      utf8 += piece;
      i += length;
    } else {
      utf8 += '?';
      ++i;
    }
  }
  return utf8;
}

}  // namespace koushin::port
