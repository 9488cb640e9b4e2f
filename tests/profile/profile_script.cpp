#include "profile_script.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <vector>

namespace koushin::profile_script {

namespace {

struct Field {
  bool isNull = false;
  std::string bytes;
  const char* Get() const { return isNull ? nullptr : bytes.c_str(); }
};

struct Command {
  std::string name;           // "file", "init", "write", "read"
  std::vector<Field> fields;  // after the name
};

bool Unescape(const std::string& text, std::string* out) {
  static const std::string kNames = "rnt\\", kBytes = "\r\n\t\\";
  const auto hex = [&](std::size_t at) {
    return at < text.size() && std::isxdigit(static_cast<unsigned char>(text[at]));
  };
  out->clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out->push_back(text[i]);
    } else if (++i < text.size() && kNames.find(text[i]) != std::string::npos) {
      out->push_back(kBytes[kNames.find(text[i])]);
    } else if (i < text.size() && text[i] == 'x' && hex(i + 1) && hex(i + 2)) {
      out->push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

// Parses a script; false with `problem` set at the first malformed line.
bool ParseScript(const std::string& text, std::vector<Command>* commands, std::string* problem) {
  static const std::map<std::string, std::size_t> kFieldCounts = {
      {"file", 1}, {"init", 1}, {"write", 3}, {"read", 4}};
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
      const std::size_t tab = line.find('\t', from);
      parts.push_back(line.substr(from, tab == std::string::npos ? tab : tab - from));
      if (tab == std::string::npos) break;
      from = tab + 1;
    }
    Command command;
    command.name = parts[0];
    for (std::size_t i = 1; i < parts.size(); ++i) {
      Field field;
      if (parts[i] == "<null>") {
        field.isNull = true;
      } else if (!Unescape(parts[i], &field.bytes)) {
        *problem = "line " + std::to_string(number) + ": bad escape";
        return false;
      }
      command.fields.push_back(field);
    }
    const auto wanted = kFieldCounts.find(command.name);
    if (wanted == kFieldCounts.end() || command.fields.size() != wanted->second) {
      *problem = "line " + std::to_string(number) + ": unknown command or wrong field count";
      return false;
    }
    commands->push_back(command);
  }
  return true;
}

// "read COUNT HEX": the count, then the buffer's first min(SIZE, COUNT + 2) bytes.
std::string DescribeRead(unsigned long count, const char* buffer, unsigned long size) {
  std::string out = "read " + std::to_string(count) + " ";
  char hex[3];
  for (unsigned long i = 0; i < std::min(size, count + 2); ++i) {
    std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(buffer[i]));
    out += hex;
  }
  return out;
}

}  // namespace

int RunTool(int argc, char** argv, const Backend& backend) {
  if (argc != 3) {
    std::cerr << "usage: " << backend.toolName << " SCRIPT FOLDER\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<Command> commands;
  std::string problem;
  if (!in || !ParseScript(text, &commands, &problem)) {
    std::cerr << backend.toolName << ": " << argv[1] << ": " << problem << "\n";
    return 2;
  }
  const std::string folder = argv[2];
  std::string file;
  for (const auto& command : commands) {
    const auto& f = command.fields;
    if (command.name == "file") {
      file = folder + backend.separator + f[0].bytes;
      backend.removeFile(file);
    } else if (command.name == "init") {
      std::ofstream(file, std::ios::binary) << f[0].bytes;
    } else if (command.name == "write") {
      std::cout << "write " << (backend.write(f[0].Get(), f[1].Get(), f[2].Get(), file) ? 1 : 0)
                << "\n";
    } else {
      const unsigned long size = std::stoul(f[3].bytes);
      std::vector<char> buffer(size + 2, '\xCC');
      const unsigned long count =
          backend.read(f[0].Get(), f[1].Get(), f[2].Get(), buffer.data(), size, file);
      std::cout << DescribeRead(count, buffer.data(), size) << "\n";
    }
  }
  std::cout.flush();
  return 0;
}

}  // namespace koushin::profile_script
