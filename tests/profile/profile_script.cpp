#include "profile_script.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <vector>

namespace koushin::profile_script {

namespace {

// A field's bytes; none for "<null>", a null pointer.
std::optional<std::string> Unescape(const std::string& text, bool* ok) {
  static const std::string kNames = "rnt\\", kBytes = "\r\n\t\\";
  if (text == "<null>") return std::nullopt;
  const auto hex = [&](std::size_t at) {
    return at < text.size() && std::isxdigit(static_cast<unsigned char>(text[at]));
  };
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out.push_back(text[i]);
    } else if (++i < text.size() && kNames.find(text[i]) != std::string::npos) {
      out.push_back(kBytes[kNames.find(text[i])]);
    } else if (i < text.size() && text[i] == 'x' && hex(i + 1) && hex(i + 2)) {
      out.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      *ok = false;
    }
  }
  return out;
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
  static const std::map<std::string, std::size_t> kFieldCounts = {
      {"file", 1}, {"init", 1}, {"write", 3}, {"read", 4}};
  std::ifstream in(argc == 3 ? argv[1] : "", std::ios::binary);
  if (!in) {
    std::cerr << "usage: " << backend.toolName << " SCRIPT FOLDER (a script that can be read)\n";
    return 2;
  }
  std::string line, file;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    // The command's name, then its fields, each after a TAB.
    bool ok = true;
    std::size_t tab = line.find('\t');
    const std::string name = line.substr(0, tab);
    std::vector<std::optional<std::string>> f;
    while (tab != std::string::npos) {
      const std::size_t next = line.find('\t', tab + 1);
      f.push_back(Unescape(line.substr(tab + 1, next - tab - 1), &ok));
      tab = next;
    }
    const auto wanted = kFieldCounts.find(name);
    if (!ok || wanted == kFieldCounts.end() || f.size() != wanted->second) {
      std::cerr << backend.toolName << ": " << argv[1] << ": line " << number
                << ": unknown command, wrong field count or bad escape\n";
      return 2;
    }
    const auto get = [&f](std::size_t i) { return f[i] ? f[i]->c_str() : nullptr; };
    if (name == "file") {
      file = argv[2] + std::string(1, backend.separator) + f[0].value_or("");
      backend.removeFile(file);
    } else if (name == "init") {
      backend.writeFile(file, f[0].value_or(""));
    } else if (name == "write") {
      std::cout << "write " << (backend.write(get(0), get(1), get(2), file) ? 1 : 0) << "\n";
    } else {
      const unsigned long size = std::stoul(f[3].value_or("0"));
      std::vector<char> buffer(size + 2, '\xCC');
      const unsigned long count = backend.read(get(0), get(1), get(2), buffer.data(), size, file);
      std::cout << DescribeRead(count, buffer.data(), size) << "\n";
    }
  }
  std::cout.flush();
  return 0;
}

}  // namespace koushin::profile_script
