// Runs a profile script (see profile_script.h) through the profile functions of the Windows
// kernel; built with mingw-w64 and run under Wine by scripts/test-profile-wine.sh.
// Usage: wine_profile_tool.exe SCRIPT FOLDER   (FOLDER: a Windows path)
//
// Only these kernel32 functions are needed, so they are declared here rather than pulling in
// <windows.h>, which the project keeps to the Win32 port and front end.
#include <fstream>
#include <string>

#include "profile_script.h"

extern "C" {
__declspec(dllimport) int __stdcall WritePrivateProfileStringA(const char* section, const char* key,
                                                               const char* value, const char* file);
__declspec(dllimport) unsigned long __stdcall GetPrivateProfileStringA(
    const char* section, const char* key, const char* defaultValue, char* buffer,
    unsigned long size, const char* file);
__declspec(dllimport) int __stdcall DeleteFileA(const char* file);
}

int main(int argc, char** argv) {
  using namespace koushin;
  const profile_script::Backend backend = {
      "wine_profile_tool",
      '\\',
      [](const std::string& path) { DeleteFileA(path.c_str()); },
      [](const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
      },
      [](const char* section, const char* key, const char* value, const std::string& file) {
        return WritePrivateProfileStringA(section, key, value, file.c_str()) != 0;
      },
      [](const char* section, const char* key, const char* defaultValue, char* buffer,
         unsigned long size, const std::string& file) {
        return GetPrivateProfileStringA(section, key, defaultValue, buffer, size, file.c_str());
      }};
  return profile_script::RunTool(argc, argv, backend);
}
