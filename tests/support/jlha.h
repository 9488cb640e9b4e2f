// Archives made by a real archiver for the archive and engine suites: jlha (a Java program),
// run once per build folder, its archives cached there.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace koushin::testing {

struct JlhaArchive {
  std::string name;  // the archive's file name in the folder ("L1-lh7.lzh")
  // jlha's command: "a1o7" (header level 1, -lh7-), "a0z" (stored); or its library's header
  // level and method, "lib 3 -lh1-" (any level 0-3; -lh0- to -lh7-, -lzs-, -lz4-, -lz5-).
  std::string command;
  std::vector<std::string> members;  // UTF-8 names of files in the folder, in archive order
};

// Makes each archive of `archives` that `folder` does not hold yet from the member files there,
// with one Java start for them all. True when every archive exists afterwards.
bool MakeWithJlha(const std::filesystem::path& folder, const std::vector<JlhaArchive>& archives);

}  // namespace koushin::testing
