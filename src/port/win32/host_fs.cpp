// Whole-handle reads shared by the Win32 file modules.
#include "port/win32/host_fs.h"

namespace koushin::port::win32 {

bool ReadAllFrom(HANDLE file, std::string* bytes, DWORD* code) {
  bytes->clear();
  LARGE_INTEGER size;
  if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
    bytes->reserve(static_cast<std::size_t>(size.QuadPart));
  }
  char buffer[1 << 16];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
      *code = GetLastError();
      return false;
    }
    if (got == 0) return true;
    bytes->append(buffer, got);
  }
}

}  // namespace koushin::port::win32
