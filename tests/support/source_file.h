// Files of the source tree (fixtures, corpora) for tests that run natively and under Wine.
//
// KOUSHIN_SOURCE_DIR is the host path the build was configured in ("/work/koushin"). A test built
// for Windows and run under Wine reaches it through Wine's drive Z:, which is the host's "/".
#pragma once

#include <filesystem>
#include <string>

#include "port/port.h"

namespace koushin::testing {

// The host path of a file below the source tree, '/'-separated UTF-8 relative path.
inline std::filesystem::path SourceFile(const std::string& relativeUtf8) {
#ifdef _WIN32
  std::string root = std::string("Z:") + KOUSHIN_SOURCE_DIR;
#else
  std::string root = KOUSHIN_SOURCE_DIR;
#endif
  return std::filesystem::u8path(root) / std::filesystem::u8path(relativeUtf8);
}

// The same file as the port names it (code page 932; on Windows "Z:\\work\\...").
inline std::string SourceFilePath(const std::string& relativeUtf8) {
  std::string utf8 = SourceFile(relativeUtf8).make_preferred().u8string();
  std::string cp932;
  port::Utf8ToCp932(utf8, &cp932);
  return cp932;
}

}  // namespace koushin::testing
