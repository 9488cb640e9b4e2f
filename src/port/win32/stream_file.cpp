// Streaming reads and writes of single files (InputFile, OutputFile) over Win32 file handles.
#include <windows.h>

#include <algorithm>
#include <string>

#include "port/port.h"
#include "port/win32/wide_text.h"

namespace koushin::port {

namespace {

const std::intptr_t kNoHandle = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Reads and writes go in pieces a DWORD can count.
constexpr std::size_t kMaxPiece = 1u << 30;

}  // namespace

InputFile::InputFile() : handle_(kNoHandle) {}
InputFile::~InputFile() { Close(); }

bool InputFile::Open(const std::string& path, Error* error) {
  Close();
  std::wstring wide;
  if (!win32::WidePath(path, &wide, "open", error)) return false;
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return win32::Fail(error, GetLastError(), "open", path);
  handle_ = reinterpret_cast<std::intptr_t>(file);
  path_ = path;
  return true;
}

bool InputFile::Read(void* buffer, std::size_t size, std::size_t* got, Error* error) {
  *got = 0;
  if (!IsOpen()) return win32::Fail(error, ERROR_INVALID_HANDLE, "read", path_);
  DWORD done = 0;
  if (!ReadFile(AsHandle(handle_), buffer, static_cast<DWORD>(std::min(size, kMaxPiece)), &done,
                nullptr)) {
    return win32::Fail(error, GetLastError(), "read", path_);
  }
  *got = done;
  return true;
}

void InputFile::Close() {
  if (IsOpen()) CloseHandle(AsHandle(handle_));
  handle_ = kNoHandle;
}

bool InputFile::IsOpen() const { return handle_ != kNoHandle && handle_ != 0; }

OutputFile::OutputFile() : handle_(kNoHandle) {}
OutputFile::~OutputFile() { Close(); }

bool OutputFile::Create(const std::string& path, Error* error) {
  if (FaultInjected(path, "create", error)) return false;
  Close();
  std::wstring wide;
  if (!win32::WidePath(path, &wide, "create", error)) return false;
  // CREATE_NEW fails when anything, file or folder, is at the path already.
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return win32::Fail(error, GetLastError(), "create", path);
  handle_ = reinterpret_cast<std::intptr_t>(file);
  path_ = path;
  return true;
}

namespace {

bool WriteAll(HANDLE file, const char* bytes, std::size_t size, DWORD* code) {
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(file, bytes, static_cast<DWORD>(std::min(size, kMaxPiece)), &written, nullptr) ||
        written == 0) {
      const DWORD last = GetLastError();
      *code = last != 0 ? last : ERROR_WRITE_FAULT;
      return false;
    }
    bytes += written;
    size -= written;
  }
  return true;
}

}  // namespace

bool OutputFile::Write(const void* data, std::size_t size, Error* error) {
  if (FaultInjected(path_, "write", error)) return false;
  if (!IsOpen()) return win32::Fail(error, ERROR_INVALID_HANDLE, "write", path_);
  DWORD code = 0;
  if (!WriteAll(AsHandle(handle_), static_cast<const char*>(data), size, &code)) {
    return win32::Fail(error, code, "write", path_);
  }
  return true;
}

bool OutputFile::Flush(Error* error) {
  if (FaultInjected(path_, "flush", error)) return false;
  if (!IsOpen()) return win32::Fail(error, ERROR_INVALID_HANDLE, "flush", path_);
  if (!FlushFileBuffers(AsHandle(handle_)))
    return win32::Fail(error, GetLastError(), "flush", path_);
  return true;
}

bool OutputFile::Reserve(std::size_t size, Error* error) {
  if (FaultInjected(path_, "write", error)) return false;
  if (!IsOpen()) return win32::Fail(error, ERROR_INVALID_HANDLE, "write", path_);
  LARGE_INTEGER zero{}, at{};
  if (!SetFilePointerEx(AsHandle(handle_), zero, &at, FILE_CURRENT)) {
    return win32::Fail(error, GetLastError(), "write", path_);
  }
  // One counted operation, as on every port: the zeros and their flush.
  const std::string zeros(size, '\0');
  DWORD code = 0;
  if (!WriteAll(AsHandle(handle_), zeros.data(), zeros.size(), &code)) {
    return win32::Fail(error, code, "write", path_);
  }
  if (!FlushFileBuffers(AsHandle(handle_)) ||
      !SetFilePointerEx(AsHandle(handle_), at, nullptr, FILE_BEGIN)) {
    return win32::Fail(error, GetLastError(), "write", path_);
  }
  ObserveOperation("flush", path_);
  return true;
}

bool OutputFile::Finish(Error* error) {
  if (FaultInjected(path_, "flush", error)) return false;
  if (!IsOpen()) return win32::Fail(error, ERROR_INVALID_HANDLE, "write", path_);
  HANDLE file = AsHandle(handle_);
  handle_ = kNoHandle;
  if (!FlushFileBuffers(file)) {
    DWORD code = GetLastError();
    CloseHandle(file);
    return win32::Fail(error, code, "flush", path_);
  }
  if (!CloseHandle(file)) return win32::Fail(error, GetLastError(), "close", path_);
  return true;
}

void OutputFile::Close() {
  if (IsOpen()) CloseHandle(AsHandle(handle_));
  handle_ = kNoHandle;
}

bool OutputFile::IsOpen() const { return handle_ != kNoHandle && handle_ != 0; }

}  // namespace koushin::port
