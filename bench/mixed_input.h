// The benchmarks' large input: 20 MB of mixed text and binary records, the same bytes on every
// run, so that speeds and sizes compare across runs and programs.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace bench {

constexpr std::size_t kInputSize = 20 * 1024 * 1024;

// Deterministic mixed data: 64 KiB of sentences from a made-up vocabulary, then 64 KiB of
// binary records (counters, floats, noise, zero runs), alternating.
inline std::string MakeInput() {
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  auto next = [&state]() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  static const char* const kSyllables[] = {"ka", "ki",  "ku", "ke", "ko", "sa", "shi", "su",
                                           "ta", "chi", "na", "ni", "ha", "ma", "ya",  "ra",
                                           "ri", "wa",  "n",  "to", "no", "de", "re",  "mo"};
  std::vector<std::string> vocabulary;
  for (int i = 0; i < 400; ++i) {
    std::string word;
    const int n = 1 + static_cast<int>(next() % 4);
    for (int k = 0; k < n; ++k) word += kSyllables[next() % 24];
    vocabulary.push_back(word);
  }
  std::string out;
  out.reserve(kInputSize + 70000);
  while (out.size() < kInputSize) {
    const std::size_t textEnd = out.size() + 65536;
    while (out.size() < textEnd) {
      const int words = 4 + static_cast<int>(next() % 11);
      for (int k = 0; k < words; ++k) {
        if (k > 0) out += ' ';
        out += vocabulary[next() % vocabulary.size()];
      }
      out += ".\r\n";
    }
    const std::size_t binaryEnd = out.size() + 65536;
    std::uint32_t counter = static_cast<std::uint32_t>(next() % 1000);
    while (out.size() < binaryEnd) {
      const unsigned kind = next() % 10;
      char record[12];
      if (kind < 5) {
        const float f = counter * 0.5f;
        const std::uint32_t index = static_cast<std::uint32_t>(out.size() / 12);
        std::memcpy(record, &counter, 4);
        std::memcpy(record + 4, &index, 4);
        std::memcpy(record + 8, &f, 4);
        counter += static_cast<std::uint32_t>(next() % 4);
      } else if (kind < 8) {
        for (char& c : record) c = static_cast<char>(next());
      } else {
        std::memset(record, 0, sizeof record);
      }
      out.append(record, sizeof record);
    }
  }
  out.resize(kInputSize);
  return out;
}

}  // namespace bench
