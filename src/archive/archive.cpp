// The archive library's entry points: the extraction and the archive check, over the port.
// Extraction is all or nothing per archive: every member is decoded into a temporary file in the
// target folder and checked; only when all are sound are they put in place through the caller's
// transaction, which keeps the old bytes.
#include "archive/archive.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <new>
#include <set>
#include <vector>

#include "archive/byte_stream.h"
#include "archive/lzh_decoder.h"
#include "archive/lzh_reader.h"
#include "archive/target_name.h"
#include "journal/journal.h"
#include "port/port.h"
#include "text/cp932.h"

namespace koushin::archive {
namespace {

constexpr std::size_t kMaxMessage = 255;

constexpr ExtractCode kSuccess = ExtractCode::kExtracted;
constexpr ExtractCode kArchiveNotFound = ExtractCode::kArchiveNotFound;
constexpr ExtractCode kArchiveDamaged = ExtractCode::kArchiveDamaged;
constexpr ExtractCode kMemberRefused = ExtractCode::kMemberRefused;
constexpr ExtractCode kWriteFailed = ExtractCode::kWriteFailed;

// The texts the library writes for the user, in UTF-8 here and converted to code page 932 once.
// %A is the archive, %M the member, %D a detail.
enum class Text {
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
  static const std::vector<std::string> converted =
      port::Utf8TableToCp932(kUtf8, kTextCount, "%A %M %D");
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

// A detail for the person's message, Japanese in code page 932.
std::string Detail(const char* utf8) {
  std::string cp932;
  return port::Utf8ToCp932(utf8, &cp932) ? cp932 : std::string();
}

std::string NameProblemText(NameProblem problem) {
  switch (problem) {
    case NameProblem::kNone:
      return "";
    case NameProblem::kEmpty:
      return Detail("名前が空です");
    case NameProblem::kDots:
      return Detail("名前が \".\" か \"..\" です");
    case NameProblem::kForbiddenChar:
      return Detail("ファイル名に使えない文字があります");
    case NameProblem::kTrailingDotSpace:
      return Detail("名前が点か空白で終わっています");
    case NameProblem::kDeviceName:
      return Detail("装置の名前です");
    case NameProblem::kBrokenCharacter:
      return Detail("2 バイト文字が途中で切れています");
  }
  return "";
}

// What the decoder found, as the person's message says it.
std::string DecodeStatusText(DecodeStatus status) {
  switch (status) {
    case DecodeStatus::kOk:
      return "";
    case DecodeStatus::kUnsupportedMethod:
      return Detail("未対応の圧縮形式");
    case DecodeStatus::kCorrupt:
      return Detail("圧縮されたデータが壊れています");
    case DecodeStatus::kLengthMismatch:
      return Detail("大きさが合いません");
    case DecodeStatus::kCrcMismatch:
      return Detail("CRC エラー");
    case DecodeStatus::kReadError:
      return Detail("読み取りエラー");
    case DecodeStatus::kStopped:
      return Detail("書き込みが止まりました");
  }
  return "";
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
  MemberSink(port::OutputFile* file, const std::string& member, std::uint64_t total,
             const ProgressCallback& progress)
      : file_(file), member_(member), total_(total), progress_(progress) {}
  bool Write(const std::uint8_t* data, std::size_t size) override {
    if (file_ != nullptr && !file_->Write(data, size, &error)) {
      failed = true;
      return false;
    }
    done_ += size;
    if (progress_) progress_(member_, done_, total_);
    return true;
  }
  port::Error error;
  bool failed = false;

 private:
  port::OutputFile* file_;
  const std::string& member_;
  std::uint64_t total_;
  const ProgressCallback& progress_;
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
  ExtractCode code = kSuccess;
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

// One pass over an archive: every member is checked and decoded. With a target folder, file
// members are decoded into temporary files of the transaction there, listed in `pending`;
// without one, decoded bytes are dropped (the archive check).
// What a listing says of one member.
MemberInfo InfoOf(const MemberHeader& header) {
  MemberInfo info;
  info.name = header.FileName();
  info.method = header.method;
  info.size = header.originalSize;
  info.isFolder = header.IsFolder();
  return info;
}

class Extraction {
 public:
  // Without a target folder (the check) nothing is written and `transaction` may be null.
  Extraction(const std::string* targetFolder, journal::Transaction* transaction,
             const std::function<void(const MemberInfo&)>* onMember,
             const std::function<bool(const MemberInfo&)>* filter, const ProgressCallback& progress)
      : targetFolder_(targetFolder),
        transaction_(transaction),
        onMember_(onMember),
        filter_(filter),
        progress_(progress) {}

  bool Walk(const std::string& archivePath, Failure* failure) {
    port::InputFile file;
    port::Error openError;
    if (!file.Open(archivePath, &openError)) {
      *failure = {kArchiveNotFound, Text::kArchiveUnreadable, "", openError.detail};
      return false;
    }
    FileSource source(file);
    LzhReader reader(source);
    for (;;) {
      MemberHeader header;
      std::string error;
      const ReadStatus status = reader.Next(&header, &error);
      if (status == ReadStatus::kEnd) return true;
      if (status == ReadStatus::kError) {
        *failure = source.Failed()
                       ? Failure{kArchiveDamaged, Text::kArchiveUnreadable, "", source.error.detail}
                       : Failure{kArchiveDamaged, Text::kArchiveDamaged, "", error};
        return false;
      }
      Announce(header);
      if (!Acceptable(header, failure)) return false;
      const bool ok = header.IsFolder() ? SkipFolder(header, reader, failure)
                                        : Decode(header, reader, source, failure);
      if (!ok) return false;
    }
  }

  std::vector<Pending> pending;

 private:
  void Announce(const MemberHeader& header) {
    if (onMember_ == nullptr || !*onMember_) return;
    (*onMember_)(InfoOf(header));
  }

  // Refuses methods we cannot decode, links, and names that are unsafe or cannot be spelled.
  static bool Acceptable(const MemberHeader& header, Failure* failure) {
    const std::string memberPath = header.JoinedPath();
    if (!IsSupportedMethod(header.method)) {
      *failure = {kMemberRefused, Text::kUnsupportedMethod, memberPath, Printable(header.method)};
      return false;
    }
    if (header.IsSymbolicLink()) {
      *failure = {kMemberRefused, Text::kMemberLink, memberPath, ""};
      return false;
    }
    if (header.IsFolder()) return true;
    NameProblem problem = CheckTargetName(header.FileName());
    // A name the platform cannot spell would fail only at its rename, after others were done.
    std::string spelled;
    if (problem == NameProblem::kNone && !port::Cp932ToUtf8(header.FileName(), &spelled)) {
      problem = NameProblem::kBrokenCharacter;
    }
    if (problem != NameProblem::kNone) {
      *failure = {kMemberRefused, Text::kMemberBadName, memberPath, NameProblemText(problem)};
      return false;
    }
    return true;
  }

  // Flat extraction makes no folders; a folder entry is still read and checked.
  static bool SkipFolder(const MemberHeader& header, LzhReader& reader, Failure* failure) {
    NullSink sink;
    const DecodeResult r = DecodeMember(header.method, reader.Data(), header.packedSize,
                                        header.originalSize, sink, nullptr);
    if (r.status == DecodeStatus::kOk) return true;
    *failure = {kArchiveDamaged, Text::kMemberCorrupt, header.JoinedPath(),
                DecodeStatusText(r.status)};
    return false;
  }

  bool Decode(const MemberHeader& header, LzhReader& reader, FileSource& source, Failure* failure) {
    const std::string memberPath = header.JoinedPath();
    const std::string name = header.FileName();
    port::OutputFile out;
    // A member the filter refuses is decoded and checked like the others, and not written.
    const bool write =
        targetFolder_ != nullptr && (filter_ == nullptr || !*filter_ || (*filter_)(InfoOf(header)));
    if (write && !OpenTemporary(name, memberPath, &out, failure)) return false;
    MemberSink sink(write ? &out : nullptr, name, header.originalSize, progress_);
    const DecodeResult r =
        DecodeMember(header.method, reader.Data(), header.packedSize, header.originalSize, sink,
                     header.hasCrc ? &header.crc : nullptr);
    if (r.status != DecodeStatus::kOk) {
      if (sink.failed) {
        *failure = {kWriteFailed, Text::kWriteFailed, memberPath, sink.error.detail};
      } else if (r.status == DecodeStatus::kCrcMismatch) {
        *failure = {kArchiveDamaged, Text::kMemberCrc, memberPath, ""};
      } else if (r.status == DecodeStatus::kReadError) {
        *failure = {kArchiveDamaged, Text::kArchiveUnreadable, memberPath, source.error.detail};
      } else {
        *failure = {kArchiveDamaged, Text::kMemberCorrupt, memberPath, DecodeStatusText(r.status)};
      }
      return false;
    }
    return !write || FinishTemporary(header, &out, failure);
  }

  bool OpenTemporary(const std::string& name, const std::string& memberPath, port::OutputFile* out,
                     Failure* failure) {
    Pending entry;
    entry.target = *targetFolder_ + name;
    entry.member = memberPath;
    port::Error error;
    if (!transaction_->CreateTemporary(*targetFolder_, out, &entry.temporary, &error)) {
      *failure = {kWriteFailed, Text::kWriteFailed, memberPath, error.detail};
      return false;
    }
    pending.push_back(entry);
    return true;
  }

  // Flushes the member's file and gives it the stored last-write time, so the rename carries
  // it; the attribute byte is left as the new file has it.
  bool FinishTemporary(const MemberHeader& header, port::OutputFile* out, Failure* failure) {
    const Pending& entry = pending.back();
    port::Error error;
    if (!out->Finish(&error)) {
      *failure = {kWriteFailed, Text::kWriteFailed, entry.member, error.detail};
      return false;
    }
    const port::FileTime stored = StoredWriteTime(header);
    port::FileStatus status;
    if (stored != 0 && port::ReadFileStatus(entry.temporary, &status, &error)) {
      status.lastWriteTime = stored;
      status.lastAccessTime = 0;
      status.creationTime = 0;
      if (!port::WriteFileStatus(entry.temporary, status, &error)) {
        *failure = {kWriteFailed, Text::kWriteFailed, entry.member, error.detail};
        return false;
      }
    }
    return true;
  }

  const std::string* targetFolder_;
  journal::Transaction* transaction_;
  const std::function<void(const MemberInfo&)>* onMember_;
  const std::function<bool(const MemberInfo&)>* filter_;
  const ProgressCallback& progress_;
};

// A folder in a member's place, a file marked read-only (which the platform's own copy would not
// overwrite either), or a member named like one of our temporary files fails the archive before
// anything is replaced.
bool CheckTargets(const std::vector<Pending>& pending, std::string* member, std::string* why) {
  std::set<std::string> temporaries;
  for (const Pending& p : pending) temporaries.insert(text::ToUpper(p.temporary));
  for (const Pending& p : pending) {
    port::FileStatus current;
    *member = p.member;
    if (port::IsFolder(p.target)) {
      *why = "a folder of that name";
      return false;
    }
    if (port::ReadFileStatus(p.target, &current) && (current.attributes & port::kAttrReadOnly)) {
      *why = "read-only";
      return false;
    }
    if (temporaries.count(text::ToUpper(p.target)) != 0) {
      *why = "name of a temporary file";
      return false;
    }
  }
  return true;
}

// Puts every decoded member in place through the transaction: each target's old bytes are kept
// and the new file renamed over it in one step. Without `overwrite` an existing file as new as
// the member (or newer) is kept.
bool Commit(journal::Transaction& transaction, const std::vector<Pending>& pending, bool overwrite,
            std::string* failedMember, std::string* detail) {
  std::vector<std::pair<std::string, std::string>> moves;
  std::vector<const Pending*> moved;
  for (const Pending& p : pending) {
    port::FileStatus current, fresh;
    if (!overwrite && port::ReadFileStatus(p.target, &current) &&
        port::ReadFileStatus(p.temporary, &fresh) && current.lastWriteTime >= fresh.lastWriteTime) {
      transaction.Discard(p.temporary);
      continue;
    }
    moves.emplace_back(p.temporary, p.target);
    moved.push_back(&p);
  }
  std::size_t failed = 0;
  port::Error error;
  if (!transaction.ReplaceAll(moves, &failed, &error)) {
    *failedMember = moved[failed]->member;
    *detail = error.detail;
    return false;
  }
  return true;
}

// The archive file at `withExtension`, its name matched case-insensitively and spelled as the
// folder holds it.
bool FindArchive(const std::string& withExtension, std::string* path) {
  if (withExtension.find_first_of("*?") != std::string::npos) return false;
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
  return false;
}

ExtractResult Finish(ExtractCode code, const std::string& message) {
  ExtractResult result;
  result.code = code;
  result.message = message;
  return result;
}

ExtractResult RunExtraction(const ExtractRequest& request, journal::Transaction& transaction,
                            const ProgressCallback& progress) {
  const std::size_t limit = kMaxMessage;
  std::string archivePath;
  if (!FindArchive(request.archivePath, &archivePath)) {
    return Finish(kArchiveNotFound,
                  Compose(Text::kArchiveNotFound, request.archivePath, "", "", limit));
  }
  std::string target = request.targetFolder;
  if (!port::IsFolder(target.empty() ? std::string(".") : target)) {
    return Finish(kArchiveNotFound, Compose(Text::kTargetNotFound, archivePath, "", target, limit));
  }
  // Target names are the folder followed directly by the name: add a separator unless the
  // folder ends in one or is a bare drive ("C:" means that drive's current folder).
  if (!target.empty() && !text::EndsWithBackslash(target) && target.back() != '/' &&
      !(target.size() == 2 && target[1] == ':')) {
    target += '\\';
  }

  auto fail = [&](ExtractCode code, Text text, const std::string& member,
                  const std::string& detail) {
    return Finish(code, Compose(text, archivePath, member, detail, limit));
  };
  Extraction extraction(&target, &transaction, nullptr, &request.memberFilter, progress);
  Failure failure;
  const bool walked = extraction.Walk(archivePath, &failure);
  for (const Pending& p : extraction.pending) {
    if (!walked) transaction.Discard(p.temporary);
  }
  if (!walked) return fail(failure.code, failure.text, failure.member, failure.detail);
  std::string failedMember, detail;
  if (!CheckTargets(extraction.pending, &failedMember, &detail)) {
    for (const Pending& p : extraction.pending) transaction.Discard(p.temporary);
    return fail(kWriteFailed, Text::kReplaceFailed, failedMember, detail);
  }
  if (!Commit(transaction, extraction.pending, request.overwrite, &failedMember, &detail)) {
    return fail(kWriteFailed, Text::kReplaceFailed, failedMember, detail);
  }
  return Finish(kSuccess, "");
}

}  // namespace

ExtractResult Extract(const ExtractRequest& request, journal::Transaction& transaction,
                      const ProgressCallback& progress) {
  try {
    return RunExtraction(request, transaction, progress);
  } catch (const std::bad_alloc&) {
    return Finish(kWriteFailed, Compose(Text::kOutOfMemory, "", "", "", kMaxMessage));
  }
}

bool CheckArchive(const std::string& archivePath,
                  const std::function<void(const MemberInfo&)>& onMember, std::string* message,
                  const ProgressCallback& progress) {
  Failure failure;
  bool ok = false;
  try {
    Extraction extraction(nullptr, nullptr, &onMember, nullptr, progress);
    ok = extraction.Walk(archivePath, &failure);
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
    members->push_back(InfoOf(header));
  }
}

}  // namespace koushin::archive
