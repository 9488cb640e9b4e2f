// Archives made by a real archiver for the archive tests: jlha packs a few files (text, binary,
// empty, code page 932 names whose trail byte is '\\') with every method it has at header levels
// 0, 1 and 2. They are made once and cached in the build folder.
#pragma once

#include <string>
#include <vector>

namespace koushin::archive::testing {

struct SourceFile {
  std::string cp932Name;  // as stored in the archives
  std::string utf8Name;   // as on the host
  std::string bytes;
};

// The files every archive holds, in the order they were added.
const std::vector<SourceFile>& SourceFiles();

// Host folder that holds the archives, named "L<level>-<method>.lzh" for levels 0-2 and methods
// lh0 lh5 lh6 lh7 (e.g. "L1-lh7.lzh"). Fails the current test when jlha cannot make them.
std::string ArchiveFolder();
std::string ArchivePath(int level, const std::string& method);

// Text of `size` bytes made of words and CR LF line breaks, different for each `seed`.
std::string Text(std::size_t size, unsigned seed);

// Whole-file helpers for the host (tests only); a file that cannot be read reads "<missing>".
std::string ReadHostFile(const std::string& path);
void WriteHostFile(const std::string& path, const std::string& bytes);

// The shared corpus of archives from many LHA tools.
std::string CorpusFolder();
// Every file under the corpus, sorted, as host paths.
std::vector<std::string> CorpusFiles();

}  // namespace koushin::archive::testing
