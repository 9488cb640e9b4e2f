// The process and the host on POSIX: arguments, host paths, the program's folder, host files and
// the terminal. Host paths here are the host's own (UTF-8), not the Windows model's.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "port/port.h"

namespace koushin::port {

std::vector<std::string> ProgramArgumentsUtf8(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc && argv != nullptr && argv[i] != nullptr; ++i) {
    arguments.emplace_back(argv[i]);
  }
  return arguments;
}

std::string HostNameUtf8() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return std::string();
  return name;
}

std::string AbsoluteHostPath(const std::string& utf8Path) {
  if (utf8Path.empty()) return utf8Path;
  std::error_code error;
  const std::filesystem::path absolute =
      std::filesystem::absolute(std::filesystem::u8path(utf8Path), error);
  return error ? utf8Path : absolute.u8string();
}

std::string ProgramFolderUtf8(const std::string& programArgument) {
  std::error_code error;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) {
    if (programArgument.empty()) return std::string();
    program = std::filesystem::absolute(std::filesystem::u8path(programArgument), error);
    if (error) return std::string();
  }
  return program.parent_path().u8string();
}

std::FILE* OpenHostFile(const std::string& utf8Path, const char* mode) {
  if (utf8Path.empty()) return nullptr;
  return std::fopen(utf8Path.c_str(), mode);
}

bool IsTerminal(std::FILE* stream) {
  if (stream == nullptr) return false;
  const int fd = fileno(stream);
  return fd >= 0 && isatty(fd) == 1;
}

void UseUtf8Console() {}

}  // namespace koushin::port
