// The transaction: every change of a run recorded (and flushed) before it is made, old bytes
// kept, replacements renamed in one step; its commit and its restore.
#include <cstring>
#include <set>

#include "journal/journal_internal.h"
#include "text/cp932.h"

namespace koushin::journal {

Transaction::~Transaction() = default;

std::unique_ptr<Transaction> Transaction::InMemory() {
  return std::unique_ptr<Transaction>(new Transaction());
}

bool Transaction::Append(const Record& record, port::Error* error, bool flush) {
  if (!generation_.empty()) {
    // A journal names nothing its recovery would refuse: the run stops before such a change.
    const std::string refused = reach_.Refusal(record, false);
    if (!refused.empty()) {
      if (error != nullptr) *error = {13, refused, "change", "out of the installation's reach"};
      return false;
    }
    const std::string bytes = EncodeRecord(record);
    if (!journal_.Write(bytes.data(), bytes.size(), error)) return false;
    if (flush && !journal_.Flush(error)) return false;
  }
  records_.push_back(record);
  return true;
}

bool Transaction::CreateTemporary(const std::string& folder, port::OutputFile* file,
                                  std::string* path, port::Error* error) {
  // One record per folder names every temporary file this run makes there: they share the
  // prefix, so a recovery finds them all. The begin record already names those in the
  // installation folder and below it (a folder named with ".." is not taken to be below).
  const std::string prefix = folder + "~kz" + ProcessTag() + "-";
  const bool covered = !tree_.empty() && folder.compare(0, tree_.size(), tree_) == 0 &&
                       folder.find("..") == std::string::npos;
  if (!covered && temporaryPrefixes_.count(prefix) == 0) {
    Record record;
    record.kind = RecordKind::kTemporary;
    record.path = prefix;
    if (!Append(record, error)) return false;
  }
  temporaryPrefixes_.insert(prefix);
  for (int attempt = 0; attempt < 1000; ++attempt) {
    *path = prefix + std::to_string(++serial_) + ".tmp";
    if (file->Create(*path, error)) return true;
    if (!port::PathExists(*path)) return false;
  }
  return false;
}

bool Transaction::Keep(const std::string& target, std::string* kept, port::Error* error) {
  if (generation_.empty()) {
    // Beside the target: a hard link under a unique name.
    port::OutputFile file;
    std::string name;
    if (!CreateUnique(FolderOf(target), &serial_, &file, &name, error, "~kk")) return false;
    file.Close();
    // The name is recorded only once it holds the old bytes: until then it is removed here.
    if (port::RemoveFile(name, error) &&
        (port::MakeHardLink(target, name, error) || CopyToNew(target, name, error))) {
      *kept = name;
      return true;
    }
    RemoveIfThere(name, nullptr);
    return false;
  }
  *kept = "k" + std::to_string(++serial_);
  const std::string path = generation_ + *kept;
  // The kept names last with the commit at the latest, for an undo.
  unsyncedFolders_.emplace(FolderKey(generation_), generation_);
  return port::MakeHardLink(target, path, error) || CopyToNew(target, path, error);
}

bool Transaction::Replace(const std::string& temporary, const std::string& target,
                          port::Error* error) {
  return ReplaceAll({{temporary, target}}, nullptr, error);
}

bool Transaction::ReplaceAll(const std::vector<std::pair<std::string, std::string>>& moves,
                             std::size_t* failed, port::Error* error) {
  // First every target is checked, then every old target is kept and recorded, with one flush
  // for all; then the renames.
  if (!CheckTargets(moves, failed, error)) return false;
  for (std::size_t i = 0; i < moves.size(); ++i) {
    const std::string& target = moves[i].second;
    if (failed != nullptr) *failed = i;
    Record record;
    record.path = target;
    Change change{RecordKind::kCreatedFile, target, 0};
    if (port::ReadFileStatus(target, &record.status)) {
      record.kind = RecordKind::kReplacedFile;
      if (!Keep(target, &record.kept, error)) return false;
      change = {RecordKind::kReplacedFile, target, record.status.size};
    } else {
      record.kind = RecordKind::kCreatedFile;
      record.status = {};
    }
    if (!Append(record, error, i + 1 == moves.size())) return false;
    changes_.push_back(change);
  }
  // A journaled run's renames need to last only from its commit on (until then a crash puts
  // them back anyway), so each folder is synced once, then; alone, each rename lasts at once.
  const bool journaled = !generation_.empty();
  for (std::size_t i = 0; i < moves.size(); ++i) {
    if (failed != nullptr) *failed = i;
    if (!port::RenameReplacing(moves[i].first, moves[i].second, error, !journaled)) return false;
    if (journaled) {
      const std::string folder = FolderOf(moves[i].second);
      unsyncedFolders_.emplace(FolderKey(folder), folder);
    }
  }
  return true;
}

bool Transaction::MakeFolder(const std::string& path, port::Error* error) {
  Record record;
  record.kind = RecordKind::kCreatedFolder;
  record.path = path;
  if (!Append(record, error)) return false;
  changes_.push_back({RecordKind::kCreatedFolder, path, 0});
  if (!generation_.empty()) {
    const std::string parent = FolderOf(WithoutTrailingSeparator(path));
    unsyncedFolders_.emplace(FolderKey(parent), parent);
  }
  return port::MakeFolder(path, error);
}

void Transaction::Discard(const std::string& temporary) { RemoveIfThere(temporary, nullptr); }

bool Transaction::Commit(port::Error* error) {
  if (generation_.empty()) {
    // The old files' second names beside the targets go; until they are gone the change is not
    // done (a failure leaves the transaction to be restored).
    if (!RemoveKeptBeside(records_, error)) return false;
    for (const std::string& prefix : temporaryPrefixes_) RemoveTemporariesLike(prefix);
    committed_ = true;
    return true;
  }
  // Every change lasts before the commit does.
  for (const auto& folder : unsyncedFolders_) {
    if (!port::SyncFolder(folder.second.empty() ? "." : folder.second, error)) return false;
  }
  Record commit;
  commit.kind = RecordKind::kCommit;
  std::set<std::string> seen;
  for (const Change& change : changes_) {
    if (change.kind == RecordKind::kCreatedFolder || !seen.insert(change.path).second) continue;
    FileMark mark;
    mark.path = change.path;
    mark.exists = HashFile(change.path, &mark.size, &mark.hash);
    commit.files.push_back(mark);
  }
  if (!Append(commit, error, false) || !journal_.Finish(error)) return false;
  // The commit itself: until this rename the run is unfinished and is put back. A committed run
  // left from before (its rotation failed) takes its place as the kept generation first.
  const std::string done = last_.substr(0, last_.size() - std::strlen(kLastFolder)) + kDoneFolder;
  if (port::IsFolder(WithoutTrailingSeparator(done)) && !Rotate(done, last_, error)) return false;
  const std::string run = WithoutTrailingSeparator(generation_);
  const std::string committed = WithoutTrailingSeparator(done);
  try {
    if (!port::RenameReplacing(run, committed, error)) return false;
  } catch (...) {
    // Memory ran out within the rename, perhaps after it was made: what the disk holds decides
    // whether the run stands, so that a restore is never tried from a folder that is gone.
    committed_ = port::IsFolder(committed) && !port::IsFolder(run);
    throw;
  }
  committed_ = true;
  // From here on the run stands; what follows only tidies up and is redone at the next start
  // when it is cut short.
  for (const std::string& prefix : temporaryPrefixes_) RemoveTemporariesLike(prefix);
  port::Error rotation;
  if (!Rotate(done, last_, &rotation)) unfinished_ = rotation.Describe();
  return true;
}

RestoreReport Transaction::Restore() {
  journal_.Close();
  RestoreReport report = RestoreRecords(records_, generation_.empty() ? "" : generation_);
  if (report.Complete()) {
    if (generation_.empty()) {
      RemoveKeptBeside(records_);
    } else {
      ClearFolder(generation_);
    }
  }
  return report;
}

bool ReplaceFile(Transaction& transaction, const std::string& target, const Filler& fill,
                 port::Error* error) {
  return ReplaceFiles(transaction, {target}, {fill}, nullptr, error);
}

bool ReplaceFiles(Transaction& transaction, const std::vector<std::string>& targets,
                  const std::vector<Filler>& fills, std::size_t* failed, port::Error* error) {
  std::vector<std::pair<std::string, std::string>> moves;
  // A temporary file that was renamed in is no longer there to discard.
  auto fail = [&](std::size_t index) {
    if (failed != nullptr) *failed = index;
    for (const auto& move : moves) transaction.Discard(move.first);
    return false;
  };
  for (std::size_t i = 0; i < targets.size(); ++i) {
    port::OutputFile file;
    std::string temporary;
    if (!transaction.CreateTemporary(FolderOf(targets[i]), &file, &temporary, error)) {
      return fail(i);
    }
    moves.emplace_back(temporary, targets[i]);
    const bool filled = fills[i](file, temporary, error);
    file.Close();
    if (!filled) return fail(i);
  }
  std::size_t renamed = 0;
  return transaction.ReplaceAll(moves, &renamed, error) || fail(renamed);
}

bool CopyInto(const std::string& source, port::OutputFile& file, port::Error* error) {
  port::InputFile in;
  if (!in.Open(source, error)) return false;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    std::size_t got = 0;
    if (!in.Read(buffer.data(), buffer.size(), &got, error)) return false;
    if (got == 0) break;
    if (!file.Write(buffer.data(), got, error)) return false;
  }
  return file.Finish(error);
}

}  // namespace koushin::journal
