#include "terminal.h"

#include <algorithm>
#include <cstdio>

#include "port/port.h"
#include "text/cp932.h"

namespace koushin::console {

namespace {

constexpr int kBarWidth = 24;
constexpr std::size_t kFileColumns = 28;

std::string HumanBytes(std::uint64_t bytes) {
  if (bytes < 10 * 1024) return std::to_string(bytes) + " バイト";
  if (bytes < 10 * 1024 * 1024) return std::to_string(bytes / 1024) + " KiB";
  return std::to_string(bytes / (1024 * 1024)) + " MiB";
}

// The last `columns` characters of a UTF-8 text (counting code points), so that the end of a
// long path stays visible.
std::string TailColumns(const std::string& utf8, std::size_t columns) {
  std::size_t count = 0;
  for (unsigned char c : utf8) count += (c & 0xC0) != 0x80;
  if (count <= columns) return utf8;
  std::size_t skip = count - columns + 1;
  std::size_t pos = 0;
  while (pos < utf8.size() && skip > 0) {
    ++pos;
    while (pos < utf8.size() && (static_cast<unsigned char>(utf8[pos]) & 0xC0) == 0x80) ++pos;
    --skip;
  }
  return "~" + utf8.substr(pos);
}

}  // namespace

std::string ForTerminal(const std::string& cp932) {
  std::string utf8 = port::Cp932ToUtf8Lossy(cp932);
  std::string result;
  result.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '\r') {
      result += '\n';
      if (i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
    } else {
      result += utf8[i];
    }
  }
  return result;
}

Terminal::Terminal(std::FILE* in, std::FILE* out, bool inputIsTerminal, bool outputIsTerminal)
    : in_(in), out_(out), inputIsTerminal_(inputIsTerminal), outputIsTerminal_(outputIsTerminal) {}

void Terminal::Show(const std::string& cp932) { ShowUtf8(ForTerminal(cp932)); }

void Terminal::ShowUtf8(const std::string& utf8) {
  ClearProgress();
  Write(utf8);
}

bool Terminal::Ask(const std::string& prompt, std::string* answer) {
  ClearProgress();
  Write(prompt);
  // One line without its LF; a last line without one still counts. Nothing at all: the end.
  answer->clear();
  int c = std::fgetc(in_);
  if (c == EOF) {
    inputEnded_ = true;
    Write("\n");
    return false;
  }
  while (c != EOF && c != '\n') {
    *answer += static_cast<char>(c);
    c = std::fgetc(in_);
  }
  if (!answer->empty() && answer->back() == '\r') answer->pop_back();
  if (!inputIsTerminal_) Write(*answer + "\n");
  return true;
}

void Terminal::Progress(const engine::Progress& progress) {
  if (progress.entryCount <= 0) return;
  if (!progress.file.empty()) progressFile_ = progress.file;
  const std::string counter =
      std::to_string(progress.entry) + "/" + std::to_string(progress.entryCount);
  if (!outputIsTerminal_) {
    // A file once it is whole, each once.
    if (progress.file.empty() || progress.bytesDone != progress.bytesTotal) return;
    std::string line =
        "  " + counter + " " + ForTerminal(progress.file) + " (" + HumanBytes(progress.bytesTotal);
    if (progress.runBytesTotal > 0) {
      const std::uint64_t done = std::min(progress.runBytesDone, progress.runBytesTotal);
      line += "、全体の " + std::to_string(done * 100 / progress.runBytesTotal) + "%";
    }
    line += ")\n";
    if (line == lastPlainLine_) return;
    lastPlainLine_ = line;
    Write(line);
    return;
  }
  double fraction;
  if (progress.runBytesTotal > 0) {
    fraction =
        static_cast<double>(progress.runBytesDone) / static_cast<double>(progress.runBytesTotal);
  } else {
    fraction = progress.entry > 0 ? progress.entry - 1 : 0;
    if (progress.bytesTotal > 0) {
      fraction +=
          static_cast<double>(progress.bytesDone) / static_cast<double>(progress.bytesTotal);
    }
    fraction /= progress.entryCount;
  }
  if (fraction > 1) fraction = 1;
  const int filled = static_cast<int>(fraction * kBarWidth + 0.5);
  std::string line = "\r\x1b[K[";
  line += std::string(filled, '#') + std::string(kBarWidth - filled, '.');
  line += "] " + counter + " ";
  // The name only: the folder is the same for every entry of the media.
  const std::size_t separator = text::FindLastSeparator(progressFile_);
  const std::string name =
      separator == std::string::npos ? progressFile_ : progressFile_.substr(separator + 1);
  line += TailColumns(ForTerminal(name), kFileColumns);
  if (progress.runBytesTotal > 0) {
    line += " " + HumanBytes(progress.runBytesDone) + "/" + HumanBytes(progress.runBytesTotal);
  } else if (progress.bytesTotal > 0) {
    line += " " + HumanBytes(progress.bytesDone) + "/" + HumanBytes(progress.bytesTotal);
  }
  Write(line);
  progressShown_ = true;
}

void Terminal::ClearProgress() {
  if (!progressShown_) return;
  Write("\r\x1b[K");
  progressShown_ = false;
}

void Terminal::Write(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fflush(out_);
}

}  // namespace koushin::console
