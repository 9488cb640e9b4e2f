// A fresh temporary folder for a test, named both as the port names paths (a Windows path in code
// page 932) and as the host names them (std::filesystem), on Windows (and Wine) and on POSIX.
//
//   koushin::testing::TempFolder folder;
//   folder.Write("\x83\x5C\\a.ini", "[s]\r\n");        // host-side set-up, '\\'-separated names
//   port::ReadWholeFile(folder.PathOf("\x83\x5C\\a.ini"), &bytes);
//
// On Windows the folder lies in the user's temporary folder (GetTempPath) and Path() is its real
// Windows path ("C:\\users\\me\\Temp\\koushin-test-1a2b3c"). On POSIX Path() is the host path
// ("/tmp/koushin-test-1a2b3c"), which the POSIX port takes as a path without a drive; a test that
// needs a drive letter there maps one with port::Configure (see AsDrive).
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

#include "port/port.h"

namespace koushin::testing {

// A code page 932 relative path ('\\' or '/' separated) as a host path below `base`.
inline std::filesystem::path HostPathBelow(const std::filesystem::path& base,
                                           const std::string& relativeCp932) {
  std::string utf8;
  if (!port::Cp932ToUtf8(relativeCp932, &utf8)) {
    throw std::runtime_error("test path is not code page 932: " + relativeCp932);
  }
  // In UTF-8 a '\\' byte is always the character '\\' (unlike in code page 932).
  for (char& ch : utf8) {
    if (ch == '\\') ch = '/';
  }
  return base / std::filesystem::u8path(utf8);
}

class TempFolder {
 public:
  TempFolder() {
    namespace fs = std::filesystem;
    std::random_device random;
    fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      char name[32];
      std::snprintf(name, sizeof name, "koushin-test-%08x", static_cast<unsigned>(random()));
      fs::path candidate = base / name;
      std::error_code code;
      if (fs::create_directory(candidate, code)) {
        host_ = fs::absolute(candidate);
        std::string utf8 = host_.u8string();
        if (!port::Utf8ToCp932(utf8, &path_)) {
          throw std::runtime_error("temporary folder is not code page 932: " + utf8);
        }
        while (path_.size() > 1 && (path_.back() == '\\' || path_.back() == '/')) path_.pop_back();
        return;
      }
    }
    throw std::runtime_error("cannot create a temporary folder");
  }

  ~TempFolder() {
    std::error_code code;
    // Read-only files would stop remove_all on Windows.
    for (auto it = std::filesystem::recursive_directory_iterator(host_, code);
         !code && it != std::filesystem::recursive_directory_iterator(); it.increment(code)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::add, code);
    }
    std::filesystem::remove_all(host_, code);
  }

  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder as a host path.
  const std::filesystem::path& Host() const { return host_; }
  // The folder as the port names it: code page 932, without a trailing separator.
  const std::string& Path() const { return path_; }
  // Path() + "\\" + relative, for the port.
  std::string PathOf(const std::string& relativeCp932) const {
    return path_ + "\\" + relativeCp932;
  }
  // The host path of a relative code page 932 path inside the folder.
  std::filesystem::path HostOf(const std::string& relativeCp932) const {
    return HostPathBelow(host_, relativeCp932);
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
    std::ifstream in(HostOf(relativeCp932), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // A root to build paths on that looks like a drive where the platform allows it: on POSIX the
  // folder becomes drive `letter` through port::Configure (over `options`) and the result is
  // "X:\\"; on Windows, where a test cannot map drives, it is Path() + "\\". Either way the
  // result ends with '\\' and `AsDrive(...) + "name"` names a file inside the folder.
  std::string AsDrive(char letter, port::Options options = port::Options()) const {
#ifdef _WIN32
    (void)letter;
    (void)options;
    return path_ + "\\";
#else
    char upper = static_cast<char>(letter >= 'a' && letter <= 'z' ? letter - 'a' + 'A' : letter);
    options.drives[upper] = host_.u8string();
    if (options.currentDrive == 0) options.currentDrive = upper;
    port::Error error;
    if (!port::Configure(options, &error)) {
      throw std::runtime_error("cannot map the test drive: " + error.Describe());
    }
    return std::string(1, upper) + ":\\";
#endif
  }

 private:
  std::filesystem::path host_;
  std::string path_;
};

}  // namespace koushin::testing
