// The compression methods an LZH member may name, as both our decoder and our encoder know them:
// which we read, which we write, and each one's window and position code width.
#pragma once

#include <string>

namespace koushin::archive {

enum class MethodFamily {
  kStored,         // -lh0- -lz4-: the bytes as they are
  kFolder,         // -lhd-: a folder entry, no data
  kAdaptive,       // -lh1-: adaptive Huffman over a 4 KiB window
  kStaticHuffman,  // -lh4- to -lh7-: static Huffman codes per block
  kLzss,           // -lzs- -lz5-: LZSS over a ring
};

struct Method {
  const char* id;  // "-lh5-", ...
  MethodFamily family;
  int dictionaryBits;  // log2 of the window (0 where there is none)
  int positionBits;    // width of the count that sends the position code (static Huffman)
  bool encodable;      // our encoder writes it
};

// The method named `id`, or null for one we do not know.
const Method* FindMethod(const std::string& id);

}  // namespace koushin::archive
