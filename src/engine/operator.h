// The person at the screen, as the engine sees them. The GUI implements it with message boxes
// owned by the view, the console with prompts, tests with a scripted operator.
#pragma once

#include <cstdint>
#include <string>

namespace koushin::engine {

enum class Buttons { kOk, kOkCancel };
// Dialog end codes, as message boxes return them.
enum class Answer { kOk = 1, kCancel = 2 };

struct Progress {
  int entry = 0;                 // 1-based number of the entry being worked on, 0 before the loop
  int entryCount = 0;            // number of entries
  std::string file;              // code page 932: the file being written, as it is named in the
                                 // installation; empty at the start of an entry
  std::uint64_t bytesDone = 0;   // of the current file
  std::uint64_t bytesTotal = 0;  // of the current file, 0 when unknown
  // Of the whole run: the bytes of the files written so far, and of every file the run will write
  // as far as its disks have been read (a later disk adds its files when it is read), 0 unknown.
  std::uint64_t runBytesDone = 0;
  std::uint64_t runBytesTotal = 0;
};

class Operator {
 public:
  virtual ~Operator() = default;
  // Shows a message (code page 932 text and caption) and returns the answer. With kOk the answer
  // is always kOk.
  virtual Answer ShowMessage(const std::string& text, const std::string& caption,
                             Buttons buttons) = 0;
  // The wait state (hourglass); calls nest.
  virtual void BeginWait() {}
  virtual void EndWait() {}
  virtual void ReportProgress(const Progress& progress) {}
  // One line for the log, code page 932 text.
  virtual void Log(const std::string& line) {}
};

// The operator's wait state for as long as it lives, ended on every way out; nests.
class ScopedWait {
 public:
  explicit ScopedWait(Operator& op) : op_(op) { op_.BeginWait(); }
  ~ScopedWait() { op_.EndWait(); }
  ScopedWait(const ScopedWait&) = delete;
  ScopedWait& operator=(const ScopedWait&) = delete;

 private:
  Operator& op_;
};

}  // namespace koushin::engine
