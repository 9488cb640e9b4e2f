#include "profile_script.h"

#include <fstream>
#include <iostream>
#include <iterator>

namespace koushin::profile_script {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Unescape(const std::string& text, std::string* out) {
  out->clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out->push_back(text[i]);
      continue;
    }
    if (++i >= text.size()) return false;
    switch (text[i]) {
      case 'r':
        out->push_back('\r');
        break;
      case 'n':
        out->push_back('\n');
        break;
      case 't':
        out->push_back('\t');
        break;
      case '\\':
        out->push_back('\\');
        break;
      case 'x': {
        if (i + 2 >= text.size()) return false;
        const int high = HexDigit(text[i + 1]);
        const int low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0) return false;
        out->push_back(static_cast<char>(high * 16 + low));
        i += 2;
        break;
      }
      default:
        return false;
    }
  }
  return true;
}

}  // namespace

bool ParseScript(const std::string& text, std::vector<Command>* commands, std::string* problem) {
  std::size_t start = 0;
  int number = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    ++number;
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
    const std::size_t wanted = command.name == "file"    ? 1
                               : command.name == "init"  ? 1
                               : command.name == "write" ? 3
                               : command.name == "read"  ? 4
                                                         : 0;
    if (wanted == 0 || command.fields.size() != wanted) {
      *problem = "line " + std::to_string(number) + ": unknown command or wrong field count";
      return false;
    }
    commands->push_back(command);
  }
  return true;
}

std::string DescribeRead(unsigned long count, const char* buffer, unsigned long size) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "read " + std::to_string(count) + " ";
  const unsigned long shown = count + 2 < size ? count + 2 : size;
  for (unsigned long i = 0; i < shown; ++i) {
    const auto byte = static_cast<unsigned char>(buffer[i]);
    out.push_back(kHex[byte >> 4]);
    out.push_back(kHex[byte & 15]);
  }
  return out;
}

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
