// An installation folder and its journal folder: the lock, the generations (the run in
// progress, a committed run, the kept last one), recovery of an unfinished run, and undo.
#include "journal/journal_internal.h"
#include "text/cp932.h"

namespace koushin::journal {

const char kJournalFolderName[] = ".koushin";

Installation::Installation(const std::string& folder) : root_(folder) {
  if (root_.size() == 2 && root_[1] == ':') {
    root_ += '\\';
  } else if (!root_.empty() && !text::EndsWithBackslash(root_) && root_.back() != '/') {
    root_ += '\\';
  }
  folder_ = root_ + kJournalFolderName + "\\";
  reach_.root = root_;
}

JournalState Installation::Peek(std::string* why) const {
  std::vector<Record> records;
  bool damaged = false;
  const bool read = LoadRecords(folder_ + kRunFolder, reach_, &records, why, &damaged);
  if (damaged) return JournalState::kDamaged;
  return read && records.size() > 1 ? JournalState::kUnfinished : JournalState::kClean;
}

bool Installation::Lock(bool* busy, port::Error* error) {
  *busy = false;
  const std::string folder = WithoutTrailingSeparator(folder_);
  // Our folder is ours alone: through a link, the lock and the journal would lie elsewhere.
  if (port::PathExists(folder) && port::IsLinkOrMountPoint(folder)) {
    if (error != nullptr) *error = {13, folder, "lock", "a link or mount point"};
    return false;
  }
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
  port::Error failure;
  if (!lock_.Open(lock, true, &failure)) {
    *busy = port::HeldByAnother(failure);
    if (error != nullptr) *error = failure;
    return false;
  }
  return true;
}

JournalState Installation::Inspect(std::string* why) {
  for (const char* name : {"", "run", "done", "last"}) {
    const std::string way = WithoutTrailingSeparator(folder_ + name);
    if (port::PathExists(way) && port::IsLinkOrMountPoint(way)) {
      if (why != nullptr) *why = "a link or mount point: " + way;
      return JournalState::kDamaged;
    }
  }
  // A committed run cut short before it became the kept generation is moved there now.
  if (port::IsFolder(folder_ + "done")) {
    std::vector<Record> done;
    bool doneDamaged = false;
    // A journal out of reach is kept as it is; the undo refuses it.
    if (LoadRecords(folder_ + kDoneFolder, reach_, &done, nullptr, &doneDamaged)) {
      RemoveTemporaries(done);
    }
    port::Error rotation;
    if (!Rotate(folder_ + kDoneFolder, folder_ + kLastFolder, &rotation)) {
      notes_.push_back("the last committed run is not yet the kept generation: " +
                       rotation.Describe());
    }
  }
  std::vector<Record> records;
  bool damaged = false;
  const bool read = LoadRecords(folder_ + kRunFolder, reach_, &records, why, &damaged);
  if (damaged) return JournalState::kDamaged;
  return read && records.size() > 1 ? JournalState::kUnfinished : JournalState::kClean;
}

RestoreReport Installation::Recover() { return RestoreGeneration(folder_ + kRunFolder, reach_); }

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
  transaction->reach_ = reach_;
  return transaction;
}

UndoCheck Installation::CheckUndo(std::vector<std::string>* changed, std::string* why) {
  changed->clear();
  std::vector<Record> records;
  bool damaged = false;
  const bool read = LoadRecords(folder_ + kLastFolder, reach_, &records, why, &damaged);
  if (damaged) return UndoCheck::kDamaged;
  if (!read || !HasCommit(records)) return UndoCheck::kNothing;
  for (const Record& record : records) {
    if (record.kind != RecordKind::kCommit) continue;
    for (const FileMark& mark : record.files) {
      FileMark now;
      now.exists = HashFile(mark.path, &now.size, &now.hash);
      // A journal kept by an earlier build marks its files the earlier way.
      if (now.exists && mark.exists && now.size == mark.size && now.hash != mark.hash) {
        HashFile(mark.path, &now.size, &now.hash, MarkKind::kEarlierFnv1a);
      }
      if (now.exists != mark.exists || now.size != mark.size || now.hash != mark.hash) {
        changed->push_back(mark.path);
      }
    }
  }
  return changed->empty() ? UndoCheck::kReady : UndoCheck::kChanged;
}

RestoreReport Installation::Undo() { return RestoreGeneration(folder_ + kLastFolder, reach_); }

}  // namespace koushin::journal
