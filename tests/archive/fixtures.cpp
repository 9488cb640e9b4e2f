#include "archive/fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/jlha.h"

namespace koushin::archive::testing {
namespace fs = std::filesystem;

std::string Text(std::size_t size, unsigned seed) {
  static const char* const kWords[] = {"kouji", "tanka", "sekisan", "zairyou", "roumu",
                                       "kikai", "hiyou", "genka",   "suuryou", "kingaku"};
  std::string out;
  unsigned x = seed;
  while (out.size() < size) {
    x = x * 1103515245u + 12345u;
    out += kWords[(x >> 16) % 10];
    out += (x >> 8) % 7 == 0 ? "\r\n" : " ";
  }
  out.resize(size);
  return out;
}

namespace {

std::string MakeBinary(std::size_t size) {
  std::string out;
  unsigned x = 7;
  for (std::size_t i = 0; out.size() < size; ++i) {
    x = x * 1664525u + 1013904223u;
    // Records with a counter, some noise, and runs: repeats near and far (beyond 8 KiB).
    if ((i / 64) % 3 == 0) {
      out += static_cast<char>(i & 0xFF);
      out += static_cast<char>((i >> 8) & 0xFF);
    } else if ((i / 64) % 3 == 1) {
      out += static_cast<char>(x >> 24);
    } else {
      out += out.size() > 20000 ? out[out.size() - 20000] : '\0';
    }
  }
  out.resize(size);
  return out;
}

}  // namespace

const std::vector<SourceFile>& SourceFiles() {
  static const std::vector<SourceFile> files = {
      {"text.txt", "text.txt", Text(40000, 1)},
      {"binary.bin", "binary.bin", MakeBinary(90000)},
      // ソ表能.txt: each character's trail byte is 0x5C.
      {"\x83\x5C\x95\x5C\x94\x5C.txt", "\xE3\x82\xBD\xE8\xA1\xA8\xE8\x83\xBD.txt", Text(3000, 2)},
      {"empty.txt", "empty.txt", ""},
      {"UPPER.TXT", "UPPER.TXT", Text(500, 3)},
  };
  return files;
}

std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return in ? s.str() : "<missing>";
}

void WriteHostFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ArchivePath(int level, const std::string& method) {
  return ArchiveFolder() + "/L" + std::to_string(level) + "-" + method + ".lzh";
}

std::string ArchiveFolder() {
  static std::string folder;
  if (!folder.empty()) return folder;
  const std::string dir = std::string(KOUSHIN_BINARY_DIR) + "/archive-fixtures-v1";
  fs::create_directories(dir);
  std::vector<std::string> names;
  for (const SourceFile& f : SourceFiles()) {
    if (!fs::exists(dir + "/" + f.utf8Name)) WriteHostFile(dir + "/" + f.utf8Name, f.bytes);
    names.push_back(f.utf8Name);
  }
  std::vector<koushin::testing::JlhaArchive> archives;
  for (int level = 0; level <= 2; ++level) {
    for (const std::string method : {"lh0", "lh5", "lh6", "lh7"}) {
      const std::string command = "a" + std::to_string(level) +
                                  (method == "lh0" ? std::string("z") : "o" + method.substr(2));
      archives.push_back({"L" + std::to_string(level) + "-" + method + ".lzh", command, names});
    }
  }
  if (!koushin::testing::MakeWithJlha(dir, archives)) {
    ADD_FAILURE() << "jlha did not make the archives (package jlha-utils and a JRE)";
    return dir;
  }
  return folder = dir;
}

std::string CorpusFolder() {
  if (const char* env = std::getenv("KOUSHIN_LZH_CORPUS")) return env;
  // The shared folder lies beside the main checkout, or two levels up from a worktree.
  for (const char* up : {"/../shared/lzh-corpus", "/../../shared/lzh-corpus"}) {
    const std::string path = std::string(KOUSHIN_SOURCE_DIR) + up;
    if (fs::exists(path + "/README.md")) return path;
  }
  return std::string();
}

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& entry : fs::recursive_directory_iterator(CorpusFolder(), ec)) {
    if (entry.is_regular_file() && entry.path().filename() != "README.md") {
      files.push_back(entry.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace koushin::archive::testing
