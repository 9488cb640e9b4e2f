// Runs a profile script (see profile_script.h) through the POSIX port's profile services.
// Usage: profile_script_tool SCRIPT FOLDER   (FOLDER: a host path; the files are made in it)
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "port/port.h"
#include "profile_script.h"

int main(int argc, char** argv) {
  using namespace koushin;
  if (argc != 3) {
    std::cerr << "usage: profile_script_tool SCRIPT FOLDER\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<profile_script::Command> commands;
  std::string problem;
  if (!in || !profile_script::ParseScript(text, &commands, &problem)) {
    std::cerr << "profile_script_tool: " << argv[1] << ": " << problem << "\n";
    return 2;
  }
  const std::string folder = argv[2];
  std::string file;
  for (const auto& command : commands) {
    const auto& f = command.fields;
    if (command.name == "file") {
      file = folder + "/" + f[0].bytes;
      port::RemoveFile(file);
    } else if (command.name == "init") {
      std::ofstream(file, std::ios::binary) << f[0].bytes;
    } else if (command.name == "write") {
      std::cout << "write "
                << (port::ProfileWrite(f[0].Get(), f[1].Get(), f[2].Get(), file) ? 1 : 0) << "\n";
    } else {
      const unsigned long size = std::stoul(f[3].bytes);
      std::vector<char> buffer(size + 2, '\xCC');
      const std::size_t count =
          port::ProfileReadBuffer(f[0].Get(), f[1].Get(), f[2].Get(), buffer.data(), size, file);
      std::cout << profile_script::DescribeRead(count, buffer.data(), size) << "\n";
    }
  }
  return 0;
}
