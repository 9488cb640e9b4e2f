// A real temporary folder holding drives C and D (D removable) for the POSIX port's tests. Host
// names are UTF-8; Windows paths are code page 932.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "port/port.h"
#include "support/temp_folder.h"

namespace koushin::port::testing {

namespace fs = std::filesystem;

// ソ and 表, whose trail byte is '\\', in code page 932 and in UTF-8.
inline const std::string kSo = "\x83\x5c";
inline const std::string kHyo = "\x95\x5c";
inline const std::string kSoUtf8 = "\xe3\x82\xbd";
inline const std::string kHyoUtf8 = "\xe8\xa1\xa8";

class PortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::canonical(folder_.Host());
    fs::create_directories(root_ / "c");
    fs::create_directories(root_ / "d");
    Options options;
    options.drives['C'] = (root_ / "c").string();
    options.drives['D'] = (root_ / "d").string();
    options.removable.insert('D');
    Error error;
    ASSERT_TRUE(Configure(options, &error)) << error.Describe();
  }
  void TearDown() override { Configure(Options()); }

  // Host path of `relative` (UTF-8, '/' separated) below the temporary root.
  fs::path Host(const std::string& relative) const { return root_ / relative; }
  // The same host path as a caller hands it to the port: in code page 932.
  std::string HostCp932(const std::string& relative) const {
    std::string cp932;
    EXPECT_TRUE(Utf8ToCp932(Host(relative).u8string(), &cp932)) << relative;
    return cp932;
  }
  // Names in a host folder, sorted.
  std::vector<std::string> Listing(const std::string& relative) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Host(relative)))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  void MakeFile(const std::string& relative, const std::string& bytes = "x") const {
    fs::create_directories(Host(relative).parent_path());
    std::ofstream(Host(relative), std::ios::binary) << bytes;
  }

  koushin::testing::TempFolder folder_;
  fs::path root_;
};

}  // namespace koushin::port::testing
