#include "archive/walk.h"

#include <ctime>

#include "archive/lzh_decoder.h"
#include "port/port.h"

namespace koushin::archive {
namespace {

constexpr ExtractCode kArchiveNotFound = ExtractCode::kArchiveNotFound;
constexpr ExtractCode kArchiveDamaged = ExtractCode::kArchiveDamaged;
constexpr ExtractCode kMemberRefused = ExtractCode::kMemberRefused;
constexpr ExtractCode kWriteFailed = ExtractCode::kWriteFailed;

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

class Extraction {
 public:
  // Without a target folder (the check) nothing is written and `transaction` may be null.
  Extraction(const std::string* targetFolder, journal::Transaction* transaction,
             const std::function<void(const MemberInfo&)>* onMember,
             const std::function<bool(const MemberInfo&)>* filter, const ProgressCallback& progress,
             std::vector<Pending>& pending)
      : pending(pending),
        targetFolder_(targetFolder),
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

  std::vector<Pending>& pending;

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

}  // namespace

MemberInfo InfoOf(const MemberHeader& header) {
  MemberInfo info;
  info.name = header.FileName();
  info.method = header.method;
  info.size = header.originalSize;
  info.isFolder = header.IsFolder();
  return info;
}

bool WalkArchive(const std::string& archivePath, const std::string* targetFolder,
                 journal::Transaction* transaction,
                 const std::function<void(const MemberInfo&)>* onMember,
                 const std::function<bool(const MemberInfo&)>* filter,
                 const ProgressCallback& progress, std::vector<Pending>* pending,
                 Failure* failure) {
  Extraction extraction(targetFolder, transaction, onMember, filter, progress, *pending);
  return extraction.Walk(archivePath, failure);
}

}  // namespace koushin::archive
