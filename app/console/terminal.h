// The terminal: code page 932 texts shown as UTF-8, answers read line by line, and a progress
// line that is only drawn when the output is a terminal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/operator.h"

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

  // The progress. On a terminal one line drawn over and over: a bar over the run's bytes (over
  // the entries while the run's total is unknown), entry n of m, the file being written as it is
  // named in the installation, the run's bytes. Elsewhere (a log, a pipe) one plain line for each
  // file once it is written. An empty file name keeps the last one shown.
  void Progress(const engine::Progress& progress);
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
  std::string progressFile_;   // the file the progress names (code page 932)
  std::string lastPlainLine_;  // the last plain progress line written
  bool inputEnded_ = false;
};

// Code page 932 text as UTF-8 for the terminal and the log, line breaks normalised to LF.
std::string ForTerminal(const std::string& cp932);

}  // namespace koushin::console
