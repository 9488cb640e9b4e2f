// The archive library's entry points: the extraction and the archive check, over the port.
// Extraction is all or nothing per archive: every member is decoded into a temporary file in the
// target folder and checked (walk.cpp); only when all are sound are they put in place through the
// caller's transaction, which keeps the old bytes.
#include "archive/archive.h"

#include <new>
#include <utility>
#include <vector>

#include "archive/lzh_reader.h"
#include "archive/messages.h"
#include "archive/walk.h"
#include "journal/journal.h"
#include "port/port.h"
#include "text/cp932.h"

namespace koushin::archive {
namespace {

constexpr ExtractCode kSuccess = ExtractCode::kExtracted;
constexpr ExtractCode kArchiveNotFound = ExtractCode::kArchiveNotFound;
constexpr ExtractCode kWriteFailed = ExtractCode::kWriteFailed;

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
  std::vector<Pending> pending;
  Failure failure;
  const bool walked = WalkArchive(archivePath, &target, &transaction, nullptr,
                                  &request.memberFilter, progress, &pending, &failure);
  if (!walked) {
    for (const Pending& p : pending) transaction.Discard(p.temporary);
    return fail(failure.code, failure.text, failure.member, failure.detail);
  }
  // A folder in a member's place, a file marked read-only, or a member named like one of our
  // temporary files fails the archive before anything is replaced.
  std::vector<std::pair<std::string, std::string>> moves;
  for (const Pending& p : pending) moves.emplace_back(p.temporary, p.target);
  std::size_t refused = 0;
  port::Error error;
  if (!journal::CheckTargets(moves, &refused, &error)) {
    for (const Pending& p : pending) transaction.Discard(p.temporary);
    return fail(kWriteFailed, Text::kReplaceFailed, pending[refused].member, error.detail);
  }
  std::string failedMember, detail;
  if (!Commit(transaction, pending, request.overwrite, &failedMember, &detail)) {
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
    std::vector<Pending> none;
    ok = WalkArchive(archivePath, nullptr, nullptr, &onMember, nullptr, progress, &none, &failure);
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
