#include "journal/journal.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>

#include "text/cp932.h"

namespace koushin::journal {

const char kJournalFolderName[] = ".koushin";

namespace {

constexpr char kJournalFile[] = "journal";
constexpr char kLockFile[] = "lock";
constexpr std::size_t kJournalRoom = 256 * 1024;
constexpr char kRunFolder[] = "run\\";
constexpr char kLastFolder[] = "last\\";
// A run is committed by renaming its folder to this name: one step that either happened or not.
constexpr char kDoneFolder[] = "done\\";
// How deep a recovery looks below the installation folder for the temporary files of a run.
constexpr int kTemporaryDepth = 24;

bool ClearFolder(const std::string& folder);

// Makes a committed run folder the kept generation, replacing the one before.
void Rotate(const std::string& done, const std::string& last) {
  ClearFolder(last);
  // Not synced: should a crash lose it, the next start finds the committed run and does it again.
  port::RenameReplacing(done.substr(0, done.size() - 1), last.substr(0, last.size() - 1), nullptr,
                        false);
}

// A tag of this process for temporary names, so that two programs never pick the same one.
const std::string& ProcessTag() {
  static const std::string tag = [] {
    std::random_device device;
    char text[16];
    std::snprintf(text, sizeof text, "%06x", static_cast<unsigned>(device()) & 0xFFFFFFu);
    return std::string(text);
  }();
  return tag;
}

std::string FolderOf(const std::string& path) {
  const std::size_t cut = text::FindLastSeparator(path);
  if (cut != std::string::npos) return path.substr(0, cut + 1);
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  return std::string();
}

std::string WithoutTrailingSeparator(const std::string& folder) {
  return text::EndsWithBackslash(folder) ? folder.substr(0, folder.size() - 1) : folder;
}

// One spelling per folder, so that each is synced once: letters upper-cased, separators single
// (but for a leading pair, which names a share).
std::string FolderKey(const std::string& folder) {
  std::string key;
  bool separator = false;
  for (std::size_t i = 0; i < folder.size();) {
    const std::size_t n = text::CharLength(folder, i);
    const bool isSeparator = n == 1 && (folder[i] == '\\' || folder[i] == '/');
    if (!(isSeparator && separator && i > 1)) key.append(folder, i, n);
    separator = isSeparator;
    i += n;
  }
  return text::ToUpper(key);
}

// Clears a read-only flag so that the file may be replaced or deleted, as our own files must be.
void MakeWritable(const std::string& path) {
  port::FileStatus status;
  if (port::ReadFileStatus(path, &status) && (status.attributes & port::kAttrReadOnly)) {
    port::FileStatus writable;
    writable.attributes = status.attributes & ~port::kAttrReadOnly;
    port::WriteFileStatus(path, writable);
  }
}

bool RemoveIfThere(const std::string& path, port::Error* error) {
  if (!port::PathExists(path)) return true;
  MakeWritable(path);
  return port::RemoveFile(path, error);
}

// A new file with a unique name in `folder`, created exclusively.
bool CreateUnique(const std::string& folder, unsigned* serial, port::OutputFile* file,
                  std::string* path, port::Error* error, const char* prefix = "~kz") {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    *path = folder + prefix + ProcessTag() + "-" + std::to_string(++*serial) + ".tmp";
    if (file->Create(*path, error)) return true;
    if (!port::PathExists(*path)) return false;
  }
  return false;
}

// Copies `from` to the new file `to` (created exclusively) and flushes it.
bool CopyToNew(const std::string& from, const std::string& to, port::Error* error) {
  port::OutputFile out;
  return out.Create(to, error) && CopyInto(from, out, error);
}

// Removes a folder of ours with the files in it.
bool ClearFolder(const std::string& folder) {
  if (!port::IsFolder(WithoutTrailingSeparator(folder))) return true;
  std::vector<port::FoundEntry> entries;
  bool ok = true;
  port::FindEntries(folder + "*", &entries);
  for (const port::FoundEntry& entry : entries) {
    if (entry.isFolder) continue;
    ok = RemoveIfThere(folder + entry.name, nullptr) && ok;
  }
  return port::RemoveFolder(WithoutTrailingSeparator(folder)) && ok;
}

bool LoadRecords(const std::string& generation, std::vector<Record>* records, std::string* why,
                 bool* damaged) {
  *damaged = false;
  records->clear();
  const std::string path = generation + kJournalFile;
  if (!port::PathExists(path)) return false;
  std::string bytes;
  port::Error error;
  if (!port::ReadWholeFile(path, &bytes, &error)) {
    *damaged = true;
    if (why != nullptr) *why = error.Describe();
    return false;
  }
  std::string problem;
  if (ParseJournal(bytes, records, &problem) == ParseResult::kDamaged) {
    *damaged = true;
    if (why != nullptr) *why = problem;
    return false;
  }
  return true;
}

bool HasCommit(const std::vector<Record>& records) {
  return std::any_of(records.begin(), records.end(),
                     [](const Record& r) { return r.kind == RecordKind::kCommit; });
}

// Removes every temporary file "<prefix>*.tmp" (a folder and the name prefix of one run).
bool RemoveTemporariesLike(const std::string& prefix) {
  std::vector<port::FoundEntry> entries;
  if (!port::FindEntries(prefix + "*.tmp", &entries)) return true;
  const std::string folder = FolderOf(prefix);
  bool ok = true;
  for (const port::FoundEntry& entry : entries) {
    if (!entry.isFolder) ok = RemoveIfThere(folder + entry.name, nullptr) && ok;
  }
  return ok;
}

// The same in `folder` and every folder below it (a kTemporaryTree record).
bool RemoveTemporariesBelow(const std::string& folder, const std::string& name, int depth) {
  bool ok = RemoveTemporariesLike(folder + name);
  std::vector<port::FoundEntry> entries;
  if (depth == 0 || !port::FindEntries(folder + "*", &entries)) return ok;
  for (const port::FoundEntry& entry : entries) {
    if (!entry.isFolder || entry.name == "." || entry.name == "..") continue;
    ok = RemoveTemporariesBelow(folder + entry.name + "\\", name, depth - 1) && ok;
  }
  return ok;
}

bool RemoveTemporaryRecord(const Record& record) {
  if (record.kind == RecordKind::kTemporary) return RemoveTemporariesLike(record.path);
  const std::string folder = FolderOf(record.path);
  return RemoveTemporariesBelow(folder, record.path.substr(folder.size()), kTemporaryDepth);
}

// Puts one replaced file back: the kept bytes are copied to a new temporary file beside the
// target, given the old attributes and times, and renamed over the target. The kept file stays
// until the whole restore has succeeded, so a restore cut short can be done again.
bool PutBack(const Record& record, const std::string& kept, unsigned* serial) {
  // A target that still is the old file (its replacement never happened) is left alone.
  port::FileStatus now;
  std::uint64_t size = 0, hash = 0, keptSize = 0, keptHash = 0;
  if (port::ReadFileStatus(record.path, &now) && now.lastWriteTime == record.status.lastWriteTime &&
      now.attributes == record.status.attributes && HashFile(record.path, &size, &hash) &&
      HashFile(kept, &keptSize, &keptHash) && size == keptSize && hash == keptHash) {
    return true;
  }
  port::OutputFile file;
  std::string temporary;
  port::Error error;
  if (!port::PathExists(kept) ||
      !CreateUnique(FolderOf(record.path), serial, &file, &temporary, &error)) {
    return false;
  }
  file.Close();
  bool ok = port::RemoveFile(temporary, &error) && CopyToNew(kept, temporary, &error) &&
            port::WriteFileStatus(temporary, record.status, &error);
  if (ok) {
    MakeWritable(record.path);
    ok = port::RenameReplacing(temporary, record.path, &error);
  }
  if (!ok) RemoveIfThere(temporary, nullptr);
  return ok;
}

// Reverses the records, last first. `generation` is where kept files named without a folder lie.
RestoreReport RestoreRecords(const std::vector<Record>& records, const std::string& generation) {
  RestoreReport report;
  unsigned serial = 1000000;
  // The temporary files of the whole tree go first: a folder the run created can only be removed
  // once they are out of it.
  for (const Record& record : records) {
    if (record.kind == RecordKind::kTemporaryTree && !RemoveTemporaryRecord(record)) {
      report.failed.push_back(record.path + "*.tmp");
    }
  }
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    const Record& record = *it;
    switch (record.kind) {
      case RecordKind::kTemporary:
        if (!RemoveTemporaryRecord(record)) report.failed.push_back(record.path + "*.tmp");
        break;
      case RecordKind::kCreatedFile:
        if (port::PathExists(record.path)) {
          if (RemoveIfThere(record.path, nullptr)) {
            ++report.filesRemoved;
          } else {
            report.failed.push_back(record.path);
          }
        }
        break;
      case RecordKind::kReplacedFile:
        if (PutBack(record, generation + record.kept, &serial)) {
          ++report.filesPutBack;
        } else {
          report.failed.push_back(record.path);
        }
        break;
      case RecordKind::kCreatedFolder:
        if (port::IsFolder(record.path)) {
          if (port::RemoveFolder(record.path)) {
            ++report.foldersRemoved;
          } else {
            report.failed.push_back(record.path);
          }
        }
        break;
      default:
        break;
    }
  }
  return report;
}

// Puts back every change a generation folder (the unfinished run, or the last update) records;
// the folder is emptied only when all of them are back. A journal that cannot be read is never
// acted on: it is named as not restored.
RestoreReport RestoreGeneration(const std::string& generation) {
  std::vector<Record> records;
  bool damaged = false;
  LoadRecords(generation, &records, nullptr, &damaged);
  RestoreReport report;
  if (damaged) {
    report.failed.push_back(generation + kJournalFile);
    return report;
  }
  report = RestoreRecords(records, generation);
  if (report.Complete()) ClearFolder(generation);
  return report;
}

void RemoveKeptBeside(const std::vector<Record>& records) {
  for (const Record& record : records) {
    if (record.kind == RecordKind::kReplacedFile) RemoveIfThere(record.kept, nullptr);
  }
}

void RemoveTemporaries(const std::vector<Record>& records) {
  for (const Record& record : records) {
    if (record.kind == RecordKind::kTemporary || record.kind == RecordKind::kTemporaryTree) {
      RemoveTemporaryRecord(record);
    }
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------

Transaction::~Transaction() = default;

std::unique_ptr<Transaction> Transaction::InMemory() {
  return std::unique_ptr<Transaction>(new Transaction());
}

bool Transaction::Append(const Record& record, port::Error* error, bool flush) {
  if (!generation_.empty()) {
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
    if (!port::RemoveFile(name, error)) return false;
    *kept = name;
    return port::MakeHardLink(target, name, error) || CopyToNew(target, name, error);
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
  // First every old target is kept and recorded, with one flush for all; then the renames.
  for (std::size_t i = 0; i < moves.size(); ++i) {
    const std::string& target = moves[i].second;
    if (failed != nullptr) *failed = i;
    Record record;
    record.path = target;
    Change change{RecordKind::kCreatedFile, target, 0};
    if (port::IsFolder(target)) {
      if (error != nullptr) *error = {21, target, "replace", "a folder of that name"};
      return false;
    }
    if (port::ReadFileStatus(target, &record.status)) {
      if (record.status.attributes & port::kAttrReadOnly) {
        // Windows refuses to replace a read-only file; it is refused before anything is kept.
        if (error != nullptr) *error = {13, target, "replace", "read-only"};
        return false;
      }
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
    RemoveKeptBeside(records_);
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
  // The commit itself: until this rename the run is unfinished and is put back.
  const std::string done = last_.substr(0, last_.size() - std::strlen(kLastFolder)) + kDoneFolder;
  if (!port::RenameReplacing(WithoutTrailingSeparator(generation_), WithoutTrailingSeparator(done),
                             error)) {
    return false;
  }
  committed_ = true;
  // From here on the run stands; what follows only tidies up and is redone at the next start
  // when it is cut short.
  for (const std::string& prefix : temporaryPrefixes_) RemoveTemporariesLike(prefix);
  Rotate(done, last_);
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

// ---------------------------------------------------------------------------------------------

Installation::Installation(const std::string& folder) : root_(folder) {
  if (root_.size() == 2 && root_[1] == ':') {
    root_ += '\\';
  } else if (!root_.empty() && !text::EndsWithBackslash(root_) && root_.back() != '/') {
    root_ += '\\';
  }
  folder_ = root_ + kJournalFolderName + "\\";
}

JournalState Installation::Peek(const std::string& folder, std::string* why) {
  Installation installation(folder);
  std::vector<Record> records;
  bool damaged = false;
  const bool read = LoadRecords(installation.folder_ + kRunFolder, &records, why, &damaged);
  if (damaged) return JournalState::kDamaged;
  return read && records.size() > 1 ? JournalState::kUnfinished : JournalState::kClean;
}

bool Installation::Lock(bool* busy, port::Error* error) {
  *busy = false;
  const std::string folder = WithoutTrailingSeparator(folder_);
  if (!port::IsFolder(folder)) {
    if (!port::MakeFolder(folder, error)) return false;
    port::FileStatus hidden;
    hidden.attributes = port::kAttrHidden;
    port::WriteFileStatus(folder, hidden);
  }
  const std::string lock = folder_ + kLockFile;
  if (!port::PathExists(lock)) {
    port::OutputFile file;
    // Only its name counts, and a lost one is made again: nothing to flush.
    file.Create(lock, error);
  }
  if (!lock_.Open(lock, true, error)) {
    *busy = port::PathExists(lock);
    return false;
  }
  return true;
}

JournalState Installation::Inspect(std::string* why) {
  // A committed run cut short before it became the kept generation is moved there now.
  if (port::IsFolder(folder_ + "done")) {
    std::vector<Record> done;
    bool doneDamaged = false;
    if (LoadRecords(folder_ + kDoneFolder, &done, nullptr, &doneDamaged)) RemoveTemporaries(done);
    Rotate(folder_ + kDoneFolder, folder_ + kLastFolder);
  }
  std::vector<Record> records;
  bool damaged = false;
  const bool read = LoadRecords(folder_ + kRunFolder, &records, why, &damaged);
  if (damaged) return JournalState::kDamaged;
  return read && records.size() > 1 ? JournalState::kUnfinished : JournalState::kClean;
}

RestoreReport Installation::Recover() { return RestoreGeneration(folder_ + kRunFolder); }

std::unique_ptr<Transaction> Installation::Begin(port::Error* error) {
  const std::string run = folder_ + kRunFolder;
  // A run folder without a readable change in it is what a start cut short leaves.
  if (!ClearFolder(run) || !port::MakeFolder(WithoutTrailingSeparator(run), error)) return nullptr;
  std::unique_ptr<Transaction> transaction(new Transaction());
  transaction->generation_ = run;
  transaction->last_ = folder_ + kLastFolder;
  Record begin;
  begin.kind = RecordKind::kBegin;
  begin.path = root_;
  // Every temporary file the run makes in the installation folder or below it, named once here.
  Record tree;
  tree.kind = RecordKind::kTemporaryTree;
  tree.path = root_ + "~kz" + ProcessTag() + "-";
  const std::string head = Signature() + EncodeRecord(begin) + EncodeRecord(tree);
  // The room reserved after the records holds those of a usual run without the file growing,
  // which keeps each record's flush cheap; the zeros read as the journal's end. Its flush is the
  // first records' too.
  if (!transaction->journal_.Create(run + kJournalFile, error) ||
      !transaction->journal_.Write(head.data(), head.size(), error) ||
      !transaction->journal_.Reserve(kJournalRoom, error)) {
    transaction->journal_.Close();
    ClearFolder(run);
    return nullptr;
  }
  transaction->records_ = {begin, tree};
  transaction->tree_ = root_;
  return transaction;
}

UndoCheck Installation::CheckUndo(std::vector<std::string>* changed, std::string* why) {
  changed->clear();
  std::vector<Record> records;
  bool damaged = false;
  const bool read = LoadRecords(folder_ + kLastFolder, &records, why, &damaged);
  if (damaged) return UndoCheck::kDamaged;
  if (!read || !HasCommit(records)) return UndoCheck::kNothing;
  for (const Record& record : records) {
    if (record.kind != RecordKind::kCommit) continue;
    for (const FileMark& mark : record.files) {
      FileMark now;
      now.exists = HashFile(mark.path, &now.size, &now.hash);
      if (now.exists != mark.exists || now.size != mark.size || now.hash != mark.hash) {
        changed->push_back(mark.path);
      }
    }
  }
  return changed->empty() ? UndoCheck::kReady : UndoCheck::kChanged;
}

RestoreReport Installation::Undo() { return RestoreGeneration(folder_ + kLastFolder); }

}  // namespace koushin::journal
