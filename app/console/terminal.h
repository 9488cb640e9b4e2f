// The terminal: code page 932 texts shown as UTF-8, answers read line by line, and a progress
// line that is only drawn when the output is a terminal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace koushin::console {

class Terminal {
 public:
  // `in` and `out` are C streams (stdin, stdout): C++ streams would bring the run-time library's
  // locale machinery into the Windows program, too large for the media.
  Terminal(std::FILE* in, std::FILE* out, bool inputIsTerminal, bool outputIsTerminal);

  // Writes code page 932 text (CR LF and CR become line breaks) as UTF-8; what does not convert
  // shows as '?'.
  void Show(const std::string& cp932);
  // Writes UTF-8 text as it is.
  void ShowUtf8(const std::string& utf8);

  // Shows `prompt` (UTF-8) and reads one line (without its line end). False at the end of the
  // input. When the input is not a terminal the answer is echoed, so a transcript reads as a
  // dialogue.
  bool Ask(const std::string& prompt, std::string* answer);

  // The progress line: entry n of m, file (code page 932), bytes of that file.
  void Progress(int entry, int entryCount, const std::string& file, std::uint64_t done,
                std::uint64_t total);
  // Removes the progress line, if one is drawn.
  void ClearProgress();

  bool OutputIsTerminal() const { return outputIsTerminal_; }
  // Whether a question met the end of the input (nobody answered it).
  bool InputEnded() const { return inputEnded_; }

 private:
  // Writes the bytes as they are and flushes them, so prompts show before the answer is read.
  void Write(const std::string& text);

  std::FILE* in_;
  std::FILE* out_;
  bool inputIsTerminal_;
  bool outputIsTerminal_;
  bool progressShown_ = false;
  bool inputEnded_ = false;
};

// Code page 932 text as UTF-8 for the terminal and the log, line breaks normalised to LF.
std::string ForTerminal(const std::string& cp932);

}  // namespace koushin::console
