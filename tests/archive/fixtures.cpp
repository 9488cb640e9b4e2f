#include "archive/fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "archive/crc16.h"
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
  const std::string dir = std::string(KOUSHIN_BINARY_DIR) + "/archive-fixtures-v2";
  fs::create_directories(dir);
  std::vector<std::string> names;
  for (const SourceFile& f : SourceFiles()) {
    if (!fs::exists(dir + "/" + f.utf8Name)) WriteHostFile(dir + "/" + f.utf8Name, f.bytes);
    names.push_back(f.utf8Name);
  }
  std::vector<koushin::testing::JlhaArchive> archives;
  for (int level = 0; level <= 3; ++level) {
    for (const std::string method : kMethods) {
      // jlha's command line makes levels 0-2 of its own methods; its library the rest.
      const bool library = level == 3 || method == "lh1" || method == "lh4" || method[1] == 'z';
      const std::string command =
          library ? "lib " + std::to_string(level) + " -" + method + "-"
                  : "a" + std::to_string(level) + (method == "lh0" ? "z" : "o" + method.substr(2));
      archives.push_back({"L" + std::to_string(level) + "-" + method + ".lzh", command, names});
    }
  }
  for (const std::string method : {"lh2", "lh3"}) {
    archives.push_back({"L1-" + method + ".lzh", "lib 1 -" + method + "-", names});
  }
  if (!koushin::testing::MakeWithJlha(dir, archives)) {
    ADD_FAILURE() << "jlha did not make the archives (package jlha-utils and a JDK)";
    return dir;
  }
  return folder = dir;
}

namespace {

void PutLe(std::string* out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

std::string RawArchive(const std::vector<RawMember>& members) {
  std::string out;
  for (const RawMember& m : members) {
    if (m.level == 2) {  // the name's extension, then an empty one (type and next size only)
      std::string h;
      PutLe(&h, 24 + 2 + 3 + m.name.size() + 3, 2);
      h += m.method;
      for (std::uint32_t field : {std::uint32_t(m.data.size()), std::uint32_t(m.data.size()),
                                  std::uint32_t{1514793662}}) {
        PutLe(&h, field, 4);
      }
      h += "\x20\x02";
      PutLe(&h, UpdateCrc16(0, reinterpret_cast<const std::uint8_t*>(m.data.data()), m.data.size()),
            2);
      h += 'U';
      PutLe(&h, 3 + m.name.size(), 2);
      h += '\x01' + m.name + std::string("\x03\x00\x3F\x00\x00", 5);
      out += h + m.data;
      continue;
    }
    // Level 1's extensions: type, data, and the next one's size.
    std::vector<std::string> extensions;
    if (m.level == 1 && !m.folder.empty()) extensions.push_back('\x02' + m.folder);
    if (m.level == 1 && m.unixMode != 0) extensions.push_back("\x50");
    if (m.level == 1 && m.unixMode != 0) PutLe(&extensions.back(), m.unixMode, 2);
    std::size_t extensionBytes = 0;
    for (const std::string& e : extensions) extensionBytes += e.size() + 2;
    std::string h = m.method;
    PutLe(&h, m.data.size() + extensionBytes, 4);  // level 1 counts the extensions as data
    PutLe(&h, m.data.size(), 4);
    PutLe(&h, 0x4C214021, 4);  // 2018-01-01 08:01:02 as a DOS date and time
    h += std::string("\x20") + static_cast<char>(m.level) + static_cast<char>(m.name.size());
    h += m.name;
    PutLe(&h, UpdateCrc16(0, reinterpret_cast<const std::uint8_t*>(m.data.data()), m.data.size()),
          2);
    if (m.level == 0 && m.unixMode != 0) {  // Unix extension: 'U', version, time, mode, owner
      h += std::string("U\0", 2);
      PutLe(&h, 1514793662, 4);
      PutLe(&h, m.unixMode, 2);
      PutLe(&h, 0, 4);
    }
    // Level 1's base header ends with the first extension's size; the size byte and the checksum
    // cover the base header only.
    const std::size_t base = h.size() + (m.level == 1 ? 3 : 0);
    if (m.level == 1) h += 'U';
    for (const std::string& e : extensions) {
      PutLe(&h, e.size() + 2, 2);
      h += e;
    }
    if (m.level == 1) PutLe(&h, 0, 2);
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < base; ++i) sum += static_cast<std::uint8_t>(h[i]);
    out += std::string(1, static_cast<char>(base)) + static_cast<char>(sum) + h + m.data;
  }
  return out + '\0';
}

DecodedArchive DecodeArchive(const std::string& bytes) {
  DecodedArchive out;
  MemorySource source(bytes.data(), bytes.size());
  LzhReader reader(source);
  for (;;) {
    DecodedMember m;
    out.last = reader.Next(&m.header, &out.error);
    if (out.last != ReadStatus::kMember) break;
    StringSink sink;
    const DecodeResult r =
        DecodeMember(m.header.method, reader.Data(), m.header.packedSize, m.header.originalSize,
                     sink, m.header.hasCrc ? &m.header.crc : nullptr);
    m.status = r.status;
    m.bytes = std::move(sink.bytes);
    out.members.push_back(std::move(m));
  }
  return out;
}

}  // namespace koushin::archive::testing
