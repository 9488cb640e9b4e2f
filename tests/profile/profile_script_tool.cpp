// Runs a profile script (see profile_script.h) through the POSIX port's profile services.
// Usage: profile_script_tool SCRIPT FOLDER   (FOLDER: a host path; the files are made in it)
#include <string>

#include "port/port.h"
#include "profile_script.h"

int main(int argc, char** argv) {
  using namespace koushin;
  const profile_script::Backend backend = {
      "profile_script_tool",
      '/',
      [](const std::string& path) { port::RemoveFile(path); },
      [](const std::string& path, const std::string& bytes) { port::WriteWholeFile(path, bytes); },
      [](const char* section, const char* key, const char* value, const std::string& file) {
        return port::ProfileWrite(section, key, value, file);
      },
      [](const char* section, const char* key, const char* defaultValue, char* buffer,
         unsigned long size, const std::string& file) -> unsigned long {
        return port::ProfileReadBuffer(section, key, defaultValue, buffer, size, file);
      }};
  // The folder is a host path (UTF-8, perhaps below a Japanese folder); the port takes code page
  // 932 paths.
  std::string folder;
  if (argc > 2 && port::Utf8ToCp932(argv[2], &folder)) argv[2] = folder.data();
  return profile_script::RunTool(argc, argv, backend);
}
