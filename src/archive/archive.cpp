// The archive library's entry points: the extraction command and the archive check, over the
// port. Extraction is all or nothing per archive: every member is decoded into a temporary file
// in the target folder and checked; only when all are sound are they renamed over their targets.
#include "archive/archive.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <new>
#include <vector>

#include "archive/byte_stream.h"
#include "archive/lzh_decoder.h"
#include "archive/lzh_reader.h"
#include "archive/target_name.h"
#include "port/port.h"
#include "text/cp932.h"

namespace koushin::archive {
namespace {

constexpr std::size_t kMaxMessage = 255;

// Result codes of ArchiveCommand; any non-zero value means failure to the caller.
enum : int {
  kSuccess = 0,
  kBadCommand = 1,
  kArchiveNotFound = 2,
  kArchiveDamaged = 3,
  kMemberRefused = 4,
  kWriteFailed = 5,
};

// The texts the library writes for the user, in UTF-8 here and converted to code page 932 once.
// %A is the archive, %M the member, %D a detail.
enum class Text {
  kBadCommand,
  kUnsupportedCommand,
  kArchiveNotFound,
  kTargetNotFound,
  kArchiveDamaged,
  kArchiveUnreadable,
  kUnsupportedMethod,
  kMemberCrc,
  kMemberCorrupt,
  kMemberBadName,
  kMemberLink,
  kWriteFailed,
  kReplaceFailed,
  kOutOfMemory,
};

const char* const kUtf8[] = {
    "展開コマンドを解釈できません: %D",
    "展開コマンド %D には対応していません",
    "書庫 %A が見つかりません",
    "書庫 %A の展開先フォルダ %D がありません",
    "書庫 %A が壊れています (%D)",
    "書庫 %A を読めません (%D)",
    "書庫 %A の %M は未対応の圧縮形式 %D です",
    "書庫 %A の %M が壊れています (CRC エラー)",
    "書庫 %A の %M が壊れています (%D)",
    "書庫 %A の %M は展開できない名前です (%D)",
    "書庫 %A の %M はシンボリックリンクのため展開しません",
    "書庫 %A の %M を書き込めません (%D)",
    "書庫 %A の %M で既存のファイルを置き換えられません (%D)",
    "書庫 %A の展開中にメモリが足りなくなりました",
};
constexpr std::size_t kTextCount = sizeof kUtf8 / sizeof kUtf8[0];
static_assert(kTextCount == static_cast<std::size_t>(Text::kOutOfMemory) + 1,
              "one text for each Text");

const std::string& Cp932Text(Text text) {
  static const std::array<std::string, kTextCount> converted = [] {
    std::array<std::string, kTextCount> texts;
    for (std::size_t i = 0; i < kTextCount; ++i) {
      if (!port::Utf8ToCp932(kUtf8[i], &texts[i])) texts[i] = "%A %M %D";
    }
    return texts;
  }();
  return converted[static_cast<std::size_t>(text)];
}

// Bytes that would upset a terminal or a message box become '?'.
std::string Printable(const std::string& name) {
  std::string out;
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t len = text::CharLength(name, i);
    const auto byte = static_cast<unsigned char>(name[i]);
    if (len == 1 && (byte < 0x20 || byte == 0x7F)) {
      out += '?';
    } else {
      out.append(name, i, len);
    }
    i += len;
  }
  return out;
}

std::string FileNameOf(const std::string& path) {
  const std::size_t cut = text::FindLastSeparator(path);
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Cuts a code page 932 text to at most `limit` bytes without splitting a character.
std::string CutAtCharacter(const std::string& s, std::size_t limit) {
  std::size_t end = 0;
  while (end < s.size()) {
    const std::size_t len = text::CharLength(s, end);
    if (end + len > limit) break;
    end += len;
  }
  return s.substr(0, end);
}

std::string Fill(const std::string& pattern, const std::string& archive, const std::string& member,
                 const std::string& detail) {
  std::string out;
  for (std::size_t i = 0; i < pattern.size();) {
    const std::size_t len = text::CharLength(pattern, i);
    if (len == 1 && pattern[i] == '%' && i + 1 < pattern.size()) {
      const char key = pattern[i + 1];
      if (key == 'A' || key == 'M' || key == 'D') {
        out += key == 'A' ? archive : key == 'M' ? member : detail;
        i += 2;
        continue;
      }
    }
    out.append(pattern, i, len);
    i += len;
  }
  return out;
}

// A message of at most `limit` bytes: the whole archive path when it fits, else only its name,
// and cut at a character boundary as a last resort.
std::string Compose(Text text, const std::string& archive, const std::string& member,
                    const std::string& detail, std::size_t limit) {
  const std::string& pattern = Cp932Text(text);
  const std::string shownMember = Printable(member);
  std::string message = Fill(pattern, archive, shownMember, detail);
  if (message.size() > limit) message = Fill(pattern, FileNameOf(archive), shownMember, detail);
  return CutAtCharacter(message, limit);
}

std::string NameProblemText(NameProblem problem) {
  switch (problem) {
    case NameProblem::kNone:
      return "";
    case NameProblem::kEmpty:
      return "empty name";
    case NameProblem::kDots:
      return "\".\" or \"..\"";
    case NameProblem::kForbiddenChar:
      return "forbidden character";
    case NameProblem::kTrailingDotSpace:
      return "trailing dot or blank";
    case NameProblem::kDeviceName:
      return "device name";
    case NameProblem::kBrokenCharacter:
      return "broken double-byte character";
  }
  return "";
}

ProgressCallback& Progress() {
  static ProgressCallback callback;
  return callback;
}

// The archive file, read through the port in large pieces.
class FileSource : public ByteSource {
 public:
  explicit FileSource(port::InputFile& file) : file_(file), buffer_(new std::uint8_t[kSize]) {}
  std::size_t Read(std::uint8_t* out, std::size_t size) override {
    if (pos_ == end_) {
      if (failed_) return 0;
      std::size_t got = 0;
      if (!file_.Read(buffer_.get(), kSize, &got, &error)) {
        failed_ = true;
        return 0;
      }
      pos_ = 0;
      end_ = got;
      if (got == 0) return 0;
    }
    const std::size_t n = std::min(size, end_ - pos_);
    std::memcpy(out, buffer_.get() + pos_, n);
    pos_ += n;
    return n;
  }
  bool Failed() const override { return failed_; }
  port::Error error;

 private:
  static constexpr std::size_t kSize = 64 * 1024;
  port::InputFile& file_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool failed_ = false;
};

// Passes decoded bytes to a file (or nowhere) and reports progress.
class MemberSink : public ByteSink {
 public:
  MemberSink(port::OutputFile* file, const std::string& member, std::uint64_t total)
      : file_(file), member_(member), total_(total) {}
  bool Write(const std::uint8_t* data, std::size_t size) override {
    if (file_ != nullptr && !file_->Write(data, size, &error)) {
      failed = true;
      return false;
    }
    done_ += size;
    if (Progress()) Progress()(member_, done_, total_);
    return true;
  }
  port::Error error;
  bool failed = false;

 private:
  port::OutputFile* file_;
  const std::string& member_;
  std::uint64_t total_;
  std::uint64_t done_ = 0;
};

// The stored last-write time as a FILETIME, 0 when there is none.
port::FileTime StoredWriteTime(const MemberHeader& header) {
  if (header.hasFileTime && header.fileTime > 0) return header.fileTime;
  if (header.hasUnixTime) return port::FileTimeFromUnix(header.unixTime);
  if (header.hasDosTime) {
    // DOS times are local times, as the archiver's clock showed them.
    const unsigned date = header.dosTime >> 16;
    const unsigned time = header.dosTime & 0xFFFF;
    std::tm tm{};
    tm.tm_year = static_cast<int>((date >> 9) & 0x7F) + 80;
    tm.tm_mon = static_cast<int>((date >> 5) & 0x0F) - 1;
    tm.tm_mday = static_cast<int>(date & 0x1F);
    tm.tm_hour = static_cast<int>(time >> 11);
    tm.tm_min = static_cast<int>((time >> 5) & 0x3F);
    tm.tm_sec = static_cast<int>((time & 0x1F) * 2);
    tm.tm_isdst = -1;
    if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday == 0) return 0;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) return 0;
    return port::FileTimeFromUnix(static_cast<std::int64_t>(t));
  }
  return 0;
}

struct Failure {
  int code = kSuccess;
  Text text = Text::kArchiveDamaged;
  std::string member;
  std::string detail;
};

// One decoded member waiting for its rename.
struct Pending {
  std::string temporary;
  std::string target;
  std::string member;
};

// Walks an archive: every member is checked and decoded. With a target folder, file members
// go to temporary files there, listed in `pending`; without one, decoded bytes are dropped.
bool WalkArchive(const std::string& archivePath, const std::string* targetFolder,
                 const std::function<void(const MemberInfo&)>* onMember,
                 std::vector<Pending>* pending, Failure* failure) {
  port::InputFile file;
  port::Error openError;
  if (!file.Open(archivePath, &openError)) {
    *failure = {kArchiveNotFound, Text::kArchiveUnreadable, "", openError.detail};
    return false;
  }
  FileSource source(file);
  LzhReader reader(source);
  std::vector<std::string> takenNames;  // upper-cased targets of earlier members
  unsigned temporaryNumber = 0;
  for (;;) {
    MemberHeader header;
    std::string error;
    const ReadStatus status = reader.Next(&header, &error);
    if (status == ReadStatus::kEnd) break;
    if (status == ReadStatus::kError) {
      if (source.Failed()) {
        *failure = {kArchiveDamaged, Text::kArchiveUnreadable, "", source.error.detail};
      } else {
        *failure = {kArchiveDamaged, Text::kArchiveDamaged, "", error};
      }
      return false;
    }
    const std::string memberPath = header.JoinedPath();
    const std::string name = header.FileName();
    if (onMember != nullptr && *onMember) {
      MemberInfo info;
      info.name = name;
      info.method = header.method;
      info.size = header.originalSize;
      info.isFolder = header.IsFolder();
      (*onMember)(info);
    }
    if (!IsSupportedMethod(header.method)) {
      *failure = {kMemberRefused, Text::kUnsupportedMethod, memberPath, Printable(header.method)};
      return false;
    }
    if (header.IsSymbolicLink()) {
      *failure = {kMemberRefused, Text::kMemberLink, memberPath, ""};
      return false;
    }
    const std::uint16_t* expectedCrc = header.hasCrc ? &header.crc : nullptr;
    if (header.IsFolder()) {
      // Flat extraction makes no folders; the entry is still read and checked.
      NullSink sink;
      const DecodeResult r = DecodeMember(header.method, reader.Data(), header.packedSize,
                                          header.originalSize, sink, nullptr);
      if (r.status != DecodeStatus::kOk) {
        *failure = {kArchiveDamaged, Text::kMemberCorrupt, memberPath, DecodeStatusName(r.status)};
        return false;
      }
      continue;
    }
    NameProblem problem = CheckTargetName(name);
    // A name the platform cannot spell would fail only at its rename, after others were done.
    std::string spelled;
    if (problem == NameProblem::kNone && !port::Cp932ToUtf8(name, &spelled)) {
      problem = NameProblem::kBrokenCharacter;
    }
    if (problem != NameProblem::kNone) {
      *failure = {kMemberRefused, Text::kMemberBadName, memberPath, NameProblemText(problem)};
      return false;
    }

    port::OutputFile out;
    Pending entry;
    if (targetFolder != nullptr) {
      entry.target = *targetFolder + name;
      entry.member = memberPath;
      // A temporary name that is free on the disk and is no earlier member's target.
      port::Error createError;
      bool created = false;
      for (int attempt = 0; attempt < 1000 && !created; ++attempt) {
        const std::string candidate = "~kz" + std::to_string(++temporaryNumber) + ".tmp";
        bool taken = false;
        for (const std::string& t : takenNames) taken = taken || t == text::ToUpper(candidate);
        if (taken) continue;
        entry.temporary = *targetFolder + candidate;
        created = out.Create(entry.temporary, &createError);
        if (!created && port::PathExists(entry.temporary)) continue;
        if (!created) break;
      }
      if (!created) {
        *failure = {kWriteFailed, Text::kWriteFailed, memberPath, createError.detail};
        return false;
      }
      pending->push_back(entry);
      takenNames.push_back(text::ToUpper(name));
    }
    MemberSink sink(targetFolder != nullptr ? &out : nullptr, name, header.originalSize);
    const DecodeResult r = DecodeMember(header.method, reader.Data(), header.packedSize,
                                        header.originalSize, sink, expectedCrc);
    if (r.status != DecodeStatus::kOk) {
      if (sink.failed) {
        *failure = {kWriteFailed, Text::kWriteFailed, memberPath, sink.error.detail};
      } else if (r.status == DecodeStatus::kCrcMismatch) {
        *failure = {kArchiveDamaged, Text::kMemberCrc, memberPath, ""};
      } else if (r.status == DecodeStatus::kReadError) {
        *failure = {kArchiveDamaged, Text::kArchiveUnreadable, memberPath, source.error.detail};
      } else {
        *failure = {kArchiveDamaged, Text::kMemberCorrupt, memberPath, DecodeStatusName(r.status)};
      }
      return false;
    }
    if (targetFolder != nullptr) {
      port::Error writeError;
      if (!out.Finish(&writeError)) {
        *failure = {kWriteFailed, Text::kWriteFailed, memberPath, writeError.detail};
        return false;
      }
      // The stored last-write time goes on the temporary file, so the rename carries it; the
      // attribute byte is left as the new file has it.
      const port::FileTime stored = StoredWriteTime(header);
      port::FileStatus status;
      if (stored != 0 && port::ReadFileStatus(entry.temporary, &status, &writeError)) {
        status.lastWriteTime = stored;
        status.lastAccessTime = 0;
        status.creationTime = 0;
        if (!port::WriteFileStatus(entry.temporary, status, &writeError)) {
          *failure = {kWriteFailed, Text::kWriteFailed, memberPath, writeError.detail};
          return false;
        }
      }
    }
  }
  return true;
}

void RemoveTemporaries(const std::vector<Pending>& pending, std::size_t from) {
  for (std::size_t i = from; i < pending.size(); ++i) port::RemoveFile(pending[i].temporary);
}

// Puts every decoded member in place. Each existing target is first renamed aside, then the
// temporary file renamed in; if any step fails, what was done is undone in reverse, so the
// folder ends as it began. The set-aside files are removed at the end. Without `overwrite` an
// existing file as new as the member (or newer) is kept.
bool Commit(const std::vector<Pending>& pending, bool overwrite, std::string* failedMember,
            std::string* detail) {
  struct Done {
    std::string target;
    std::string setAside;  // empty when there was no file before
  };
  std::vector<Done> done;
  std::vector<std::string> targets;
  for (const Pending& p : pending) targets.push_back(text::ToUpper(FileNameOf(p.target)));
  unsigned number = 0;
  auto freeName = [&](const std::string& folderOf) {
    const std::size_t cut = text::FindLastSeparator(folderOf);
    const std::string folder =
        cut == std::string::npos ? std::string() : folderOf.substr(0, cut + 1);
    for (;;) {
      const std::string name = "~kzb" + std::to_string(++number) + ".tmp";
      bool taken = port::PathExists(folder + name);
      for (const std::string& t : targets) taken = taken || t == text::ToUpper(name);
      if (!taken) return folder + name;
    }
  };
  auto undo = [&]() {
    for (auto it = done.rbegin(); it != done.rend(); ++it) {
      if (it->setAside.empty()) {
        port::RemoveFile(it->target);
      } else {
        port::RenameReplacing(it->setAside, it->target);
      }
    }
  };
  for (std::size_t i = 0; i < pending.size(); ++i) {
    const Pending& p = pending[i];
    port::FileStatus current;
    const bool exists = port::ReadFileStatus(p.target, &current);
    if (exists && !overwrite) {
      port::FileStatus fresh;
      if (port::ReadFileStatus(p.temporary, &fresh) &&
          current.lastWriteTime >= fresh.lastWriteTime) {
        port::RemoveFile(p.temporary);
        continue;
      }
    }
    Done step;
    step.target = p.target;
    port::Error error;
    if (exists) {
      step.setAside = freeName(p.target);
      if (!port::RenameReplacing(p.target, step.setAside, &error)) {
        undo();
        RemoveTemporaries(pending, i);
        *failedMember = p.member;
        *detail = error.detail;
        return false;
      }
    }
    if (!port::RenameReplacing(p.temporary, p.target, &error)) {
      if (!step.setAside.empty()) {
        port::RenameReplacing(step.setAside, p.target);
      }
      undo();
      RemoveTemporaries(pending, i);
      *failedMember = p.member;
      *detail = error.detail;
      return false;
    }
    done.push_back(step);
  }
  for (const Done& step : done) {
    if (!step.setAside.empty()) port::RemoveFile(step.setAside);
  }
  return true;
}

struct Command {
  char letter = 0;
  bool overwrite = false;
  bool noQuestions = false;
  std::string workFolder;
  std::vector<std::string> arguments;
};

// "e -mcw<folder> \"<archive>\" \"<target>\"": a command letter, switches, quoted arguments.
// The work folder runs to the next quote, so a folder with blanks in it stays whole.
bool ParseCommand(const std::string& line, Command* command, std::string* why) {
  std::size_t i = 0;
  auto skipBlanks = [&]() {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  };
  skipBlanks();
  if (i >= line.size()) {
    *why = "empty";
    return false;
  }
  const std::size_t letterStart = i;
  while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
  if (i - letterStart != 1) {
    *why = line.substr(letterStart, i - letterStart);
    return false;
  }
  command->letter = static_cast<char>(line[letterStart] | 0x20);
  for (;;) {
    skipBlanks();
    if (i >= line.size()) break;
    if (line[i] == '"') {
      const std::size_t close = line.find('"', i + 1);
      if (close == std::string::npos) {
        *why = "unbalanced quote";
        return false;
      }
      command->arguments.push_back(line.substr(i + 1, close - i - 1));
      i = close + 1;
    } else if (line[i] == '-') {
      ++i;
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
        const char sw = static_cast<char>(line[i] | 0x20);
        if (sw == 'm') {
          command->noQuestions = true;
          ++i;
        } else if (sw == 'c') {
          command->overwrite = true;
          ++i;
        } else if (sw == 'w') {
          std::size_t end = line.find('"', i + 1);
          if (end == std::string::npos) end = line.size();
          std::size_t trimmed = end;
          while (trimmed > i + 1 && (line[trimmed - 1] == ' ' || line[trimmed - 1] == '\t')) {
            --trimmed;
          }
          command->workFolder = line.substr(i + 1, trimmed - i - 1);
          i = end;
          break;
        } else {
          *why = "-" + line.substr(i, 1);
          return false;
        }
      }
    } else {
      const std::size_t start = i;
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
      command->arguments.push_back(line.substr(start, i - start));
    }
  }
  if (command->arguments.size() != 2) {
    *why = "expected an archive and a target folder";
    return false;
  }
  return true;
}

// NAME.lzh for NAME, matched case-insensitively; NAME itself when it already names a file.
bool FindArchive(const std::string& name, std::string* path) {
  if (name.find_first_of("*?") != std::string::npos) return false;
  const std::string withExtension = name + ".lzh";
  std::vector<port::FoundEntry> entries;
  if (port::FindEntries(withExtension, &entries) && !entries.empty()) {
    for (const port::FoundEntry& entry : entries) {
      if (entry.isFolder) continue;
      const std::size_t cut = text::FindLastSeparator(withExtension);
      std::string folder =
          cut == std::string::npos ? std::string() : withExtension.substr(0, cut + 1);
      if (folder.empty() && withExtension.size() >= 2 && withExtension[1] == ':') {
        folder = withExtension.substr(0, 2);
      }
      *path = folder + entry.name;
      return true;
    }
  }
  if (port::PathExists(withExtension) && !port::IsFolder(withExtension)) {
    *path = withExtension;
    return true;
  }
  if (port::PathExists(name) && !port::IsFolder(name)) {
    *path = name;
    return true;
  }
  return false;
}

int Finish(int code, const std::string& message, char* output, std::size_t outputSize) {
  if (output != nullptr && outputSize > 0) {
    const std::string cut = CutAtCharacter(message, std::min(kMaxMessage, outputSize - 1));
    std::memcpy(output, cut.data(), cut.size());
    output[cut.size()] = '\0';
  }
  return code;
}

int RunCommand(const std::string& line, char* output, std::size_t outputSize) {
  const std::size_t limit = outputSize == 0 ? 0 : std::min(kMaxMessage, outputSize - 1);
  Command command;
  std::string why;
  if (!ParseCommand(line, &command, &why)) {
    return Finish(kBadCommand, Compose(Text::kBadCommand, "", "", why, limit), output, outputSize);
  }
  const std::string& archiveName = command.arguments[0];
  if (command.letter != 'e') {
    return Finish(
        kBadCommand,
        Compose(Text::kUnsupportedCommand, archiveName, "", std::string(1, command.letter), limit),
        output, outputSize);
  }
  std::string archivePath;
  if (!FindArchive(archiveName, &archivePath)) {
    return Finish(kArchiveNotFound,
                  Compose(Text::kArchiveNotFound, archiveName + ".lzh", "", "", limit), output,
                  outputSize);
  }
  std::string target = command.arguments[1];
  if (!port::IsFolder(target.empty() ? std::string(".") : target)) {
    return Finish(kArchiveNotFound, Compose(Text::kTargetNotFound, archivePath, "", target, limit),
                  output, outputSize);
  }
  // Target names are the folder followed directly by the name: add a separator unless the
  // folder ends in one or is a bare drive ("C:" means that drive's current folder).
  if (!target.empty() && !text::EndsWithBackslash(target) && target.back() != '/' &&
      !(target.size() == 2 && target[1] == ':')) {
    target += '\\';
  }

  std::vector<Pending> pending;
  Failure failure;
  if (!WalkArchive(archivePath, &target, nullptr, &pending, &failure)) {
    RemoveTemporaries(pending, 0);
    return Finish(failure.code,
                  Compose(failure.text, archivePath, failure.member, failure.detail, limit), output,
                  outputSize);
  }
  // A folder in a member's place, or a file marked read-only (which the platform's own copy
  // would not overwrite either), fails the archive before anything is replaced.
  for (const Pending& p : pending) {
    port::FileStatus current;
    const bool folder = port::IsFolder(p.target);
    if (folder ||
        (port::ReadFileStatus(p.target, &current) && (current.attributes & port::kAttrReadOnly))) {
      RemoveTemporaries(pending, 0);
      return Finish(kWriteFailed,
                    Compose(Text::kReplaceFailed, archivePath, p.member,
                            folder ? "a folder of that name" : "read-only", limit),
                    output, outputSize);
    }
  }
  std::string failedMember, detail;
  if (!Commit(pending, command.overwrite, &failedMember, &detail)) {
    return Finish(kWriteFailed,
                  Compose(Text::kReplaceFailed, archivePath, failedMember, detail, limit), output,
                  outputSize);
  }
  return Finish(kSuccess, "", output, outputSize);
}

}  // namespace

int ArchiveSetupA(int) { return 0; }
int ArchiveSetupB(int) { return 0; }

void SetProgressCallback(ProgressCallback callback) { Progress() = std::move(callback); }

int ArchiveCommand(void*, const char* commandLine, char* output, std::size_t outputSize) {
  if (output != nullptr && outputSize > 0) output[0] = '\0';
  try {
    return RunCommand(commandLine == nullptr ? std::string() : std::string(commandLine), output,
                      outputSize);
  } catch (const std::bad_alloc&) {
    const std::size_t limit = outputSize == 0 ? 0 : std::min(kMaxMessage, outputSize - 1);
    return Finish(kWriteFailed, Compose(Text::kOutOfMemory, "", "", "", limit), output, outputSize);
  }
}

bool CheckArchive(const std::string& archivePath,
                  const std::function<void(const MemberInfo&)>& onMember, std::string* message) {
  Failure failure;
  bool ok = false;
  try {
    ok = WalkArchive(archivePath, nullptr, &onMember, nullptr, &failure);
  } catch (const std::bad_alloc&) {
    failure = {kWriteFailed, Text::kOutOfMemory, "", ""};
  }
  if (!ok && message != nullptr) {
    *message = Compose(failure.text, archivePath, failure.member, failure.detail, kMaxMessage);
  }
  return ok;
}

bool ListArchiveMembers(const std::string& archivePath, std::vector<MemberInfo>* members) {
  members->clear();
  port::InputFile file;
  if (!file.Open(archivePath)) return false;
  FileSource source(file);
  LzhReader reader(source);
  for (;;) {
    MemberHeader header;
    std::string error;
    const ReadStatus status = reader.Next(&header, &error);
    if (status == ReadStatus::kEnd) return true;
    if (status == ReadStatus::kError) return false;
    MemberInfo info;
    info.name = header.FileName();
    info.method = header.method;
    info.size = header.originalSize;
    info.isFolder = header.IsFolder();
    members->push_back(info);
  }
}

}  // namespace koushin::archive
