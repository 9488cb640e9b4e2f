// Runs a profile script (see profile_script.h) through the profile functions of the Windows
// kernel; built with mingw-w64 and run under Wine by scripts/test-profile-wine.sh.
// Usage: wine_profile_tool.exe SCRIPT FOLDER   (FOLDER: a Windows path)
//
// Only the two kernel32 functions are needed, so they are declared here rather than pulling in
// <windows.h>, which the project keeps to the Win32 port and front end.
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

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
  if (argc != 3) {
    std::cerr << "usage: wine_profile_tool SCRIPT FOLDER\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<profile_script::Command> commands;
  std::string problem;
  if (!in || !profile_script::ParseScript(text, &commands, &problem)) {
    std::cerr << "wine_profile_tool: " << argv[1] << ": " << problem << "\n";
    return 2;
  }
  const std::string folder = argv[2];
  std::string file;
  for (const auto& command : commands) {
    const auto& f = command.fields;
    if (command.name == "file") {
      file = folder + "\\" + f[0].bytes;
      DeleteFileA(file.c_str());
    } else if (command.name == "init") {
      std::ofstream(file, std::ios::binary) << f[0].bytes;
    } else if (command.name == "write") {
      std::cout << "write "
                << (WritePrivateProfileStringA(f[0].Get(), f[1].Get(), f[2].Get(), file.c_str())
                        ? 1
                        : 0)
                << "\n";
    } else {
      const unsigned long size = std::stoul(f[3].bytes);
      std::vector<char> buffer(size + 2, '\xCC');
      const unsigned long count = GetPrivateProfileStringA(f[0].Get(), f[1].Get(), f[2].Get(),
                                                           buffer.data(), size, file.c_str());
      std::cout << profile_script::DescribeRead(count, buffer.data(), size) << "\n";
    }
  }
  std::cout.flush();
  return 0;
}
