// A fresh temporary folder for a test, named both as the port names paths (a Windows path in code
// page 932, as Path() and PathOf give it) and as the host names them (std::filesystem, as Host()
// and HostOf give it). On Windows Path() is the folder's real path below GetTempPath; on POSIX it
// is the host path, which the POSIX port takes as a path without a drive (AsDrive maps one).
#pragma once

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

#include "port/port.h"

namespace koushin::testing {

// A host file's bytes; empty when it cannot be read.
inline std::string HostBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TempFolder {
 public:
  TempFolder() {
    namespace fs = std::filesystem;
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
      char name[32];
      std::snprintf(name, sizeof name, "koushin-test-%08x", static_cast<unsigned>(random()));
      std::error_code code;
      if (fs::create_directory(fs::temp_directory_path() / name, code)) {
        host_ = fs::absolute(fs::temp_directory_path() / name);
        if (!port::Utf8ToCp932(host_.u8string(), &path_)) {
          throw std::runtime_error("temporary folder is not code page 932: " + host_.u8string());
        }
        return;
      }
    }
    throw std::runtime_error("cannot create a temporary folder");
  }

  ~TempFolder() {
    namespace fs = std::filesystem;
    std::error_code code;
    // Read-only files would stop remove_all on Windows.
    for (auto it = fs::recursive_directory_iterator(host_, code);
         !code && it != fs::recursive_directory_iterator(); it.increment(code)) {
      fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, code);
    }
    fs::remove_all(host_, code);
  }

  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Host() const { return host_; }
  // The folder as the port names it: code page 932, without a trailing separator.
  const std::string& Path() const { return path_; }
  std::string PathOf(const std::string& relativeCp932) const {
    return path_ + "\\" + relativeCp932;
  }
  // The host path of a code page 932 path ('\\' or '/' separated) inside the folder.
  std::filesystem::path HostOf(const std::string& relativeCp932) const {
    std::string utf8;
    if (!port::Cp932ToUtf8(relativeCp932, &utf8)) {
      throw std::runtime_error("test path is not code page 932: " + relativeCp932);
    }
    // In UTF-8 a '\\' byte is always the character '\\' (unlike in code page 932).
    std::replace(utf8.begin(), utf8.end(), '\\', '/');
    return host_ / std::filesystem::u8path(utf8);
  }

  // Host-side set-up and checks, without the port.
  void MakeFolder(const std::string& relativeCp932) const {
    std::filesystem::create_directories(HostOf(relativeCp932));
  }
  void Write(const std::string& relativeCp932, const std::string& bytes) const {
    std::filesystem::path file = HostOf(relativeCp932);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + file.u8string());
  }
  std::string Read(const std::string& relativeCp932) const {
    return HostBytes(HostOf(relativeCp932));
  }

  // A root ending with '\\' to build paths inside the folder on: on POSIX the folder becomes
  // drive `letter` (upper case; over `options`) and the root is "X:\\"; on Windows, where a test
  // cannot map drives, it is Path() + "\\".
  std::string AsDrive(char letter, port::Options options = port::Options()) const {
#ifdef _WIN32
    (void)letter;
    (void)options;
    return path_ + "\\";
#else
    options.drives[letter] = host_.u8string();
    if (options.currentDrive == 0) options.currentDrive = letter;
    port::Error error;
    if (!port::Configure(options, &error)) {
      throw std::runtime_error("cannot map the test drive: " + error.Describe());
    }
    return std::string(1, letter) + ":\\";
#endif
  }

 private:
  std::filesystem::path host_;
  std::string path_;
};

}  // namespace koushin::testing
