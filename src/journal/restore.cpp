// The files of a generation folder (the run in progress, or the last committed one) and the
// restore that puts back what a generation records, last change first.
#include <algorithm>
#include <set>

#include "journal/journal_internal.h"
#include "text/cp932.h"
#include "text/path.h"

namespace koushin::journal {

// Clears a read-only flag so that the file may be replaced or deleted, as our own files must be.
void MakeWritable(const std::string& path) {
  port::FileStatus status;
  if (port::ReadFileStatus(path, &status) && (status.attributes & port::kAttrReadOnly)) {
    port::FileStatus writable;
    writable.attributes = status.attributes & ~port::kAttrReadOnly;
    port::WriteFileStatus(path, writable);
  }
}

// Makes a committed run folder the kept generation, replacing the one before. When a step fails
// (`error` says which), the committed folder stays as it is and the next start does it again; a
// kept generation cleared in part has lost its journal first, so it offers nothing to undo.
bool Rotate(const std::string& done, const std::string& last, port::Error* error) {
  // Not synced: should a crash lose it, the next start finds the committed run and does it again.
  return ClearFolder(last, error) &&
         port::RenameReplacing(done.substr(0, done.size() - 1), last.substr(0, last.size() - 1),
                               error, false);
}

bool RemoveIfThere(const std::string& path, port::Error* error) {
  if (!port::PathExists(path)) return true;
  MakeWritable(path);
  return port::RemoveFile(path, error);
}

// A new file with a unique name in `folder`, created exclusively.
bool CreateUnique(const std::string& folder, unsigned* serial, port::OutputFile* file,
                  std::string* path, port::Error* error, const char* prefix) {
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

// Removes a folder of ours with the files in it, its journal first: what is left of a folder
// cleared in part is never taken for a generation to restore.
bool ClearFolder(const std::string& folder, port::Error* error) {
  if (!port::IsFolder(WithoutTrailingSeparator(folder))) return true;
  if (!RemoveIfThere(folder + kJournalFile, error)) return false;
  std::vector<port::FoundEntry> entries;
  bool ok = true;
  port::FindEntries(folder + "*", &entries);
  for (const port::FoundEntry& entry : entries) {
    if (entry.isFolder) continue;
    ok = RemoveIfThere(folder + entry.name, ok ? error : nullptr) && ok;
  }
  return port::RemoveFolder(WithoutTrailingSeparator(folder), ok ? error : nullptr) && ok;
}

// Reads the journal of a generation folder and checks that it stays within `reach`. A journal
// folder, generation folder or journal file that is a link is damaged too.
bool LoadRecords(const std::string& generation, const Reach& reach, std::vector<Record>* records,
                 std::string* why, bool* damaged) {
  *damaged = false;
  records->clear();
  const std::string path = generation + kJournalFile;
  for (const std::string& way :
       {reach.root + kJournalFolderName, WithoutTrailingSeparator(generation), path}) {
    if (port::PathExists(way) && port::IsLinkOrMountPoint(way)) {
      *damaged = true;
      if (why != nullptr) *why = "a link or mount point: " + way;
      return false;
    }
  }
  if (!port::PathExists(path)) return false;
  std::string bytes;
  port::Error error;
  if (!port::ReadWholeFileUpTo(path, kMaxJournalBytes, &bytes, &error)) {
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
  for (std::size_t i = 0; i < records->size(); ++i) {
    const std::string refused = reach.Refusal((*records)[i], i == 0);
    if (!refused.empty()) {
      *damaged = true;
      if (why != nullptr) *why = "names a path out of the installation's reach: " + refused;
      records->clear();
      return false;
    }
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

namespace {

// The same in `folder` and every folder below it (a kTemporaryTree record).
bool RemoveTemporariesBelow(const std::string& folder, const std::string& name, int depth) {
  bool ok = RemoveTemporariesLike(folder + name);
  std::vector<port::FoundEntry> entries;
  if (depth == 0 || !port::FindEntries(folder + "*", &entries)) return ok;
  for (const port::FoundEntry& entry : entries) {
    if (!entry.isFolder || entry.name == "." || entry.name == "..") continue;
    // A link or mount point leads out of the tree, where no temporary file of the run lies.
    if (port::IsLinkOrMountPoint(folder + entry.name)) continue;
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

}  // namespace

// Reverses the records, last first. `generation` is where kept files named without a folder lie.
RestoreReport RestoreRecords(const std::vector<Record>& records, const std::string& generation) {
  RestoreReport report;
  unsigned serial = 1000000;
  // The report counts in the run's own terms: a file the run replaced is put back once however
  // often it was rewritten, and a file the run created and then rewrote counts as removed only.
  // So the first record of each file (however its path is spelled) decides what it counts as:
  // `counted` holds the index of each file's first record when that one is a replacement.
  std::set<std::size_t> counted;
  std::set<std::string> seen;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const Record& record = records[i];
    if (record.kind != RecordKind::kReplacedFile && record.kind != RecordKind::kCreatedFile) {
      continue;
    }
    if (seen.insert(text::ToUpper(text::OneSeparator(record.path))).second &&
        record.kind == RecordKind::kReplacedFile) {
      counted.insert(i);
    }
  }
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
          // The earliest copy, put back last, is the one that counts.
          if (counted.count(static_cast<std::size_t>(records.rend() - it) - 1) != 0) {
            ++report.filesPutBack;
          }
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
RestoreReport RestoreGeneration(const std::string& generation, const Reach& reach) {
  std::vector<Record> records;
  bool damaged = false;
  LoadRecords(generation, reach, &records, nullptr, &damaged);
  RestoreReport report;
  if (damaged) {
    report.failed.push_back(generation + kJournalFile);
    return report;
  }
  report = RestoreRecords(records, generation);
  if (report.Complete()) ClearFolder(generation);
  return report;
}

bool RemoveKeptBeside(const std::vector<Record>& records, port::Error* error) {
  bool ok = true;
  for (const Record& record : records) {
    if (record.kind == RecordKind::kReplacedFile) {
      ok = RemoveIfThere(record.kept, ok ? error : nullptr) && ok;
    }
  }
  return ok;
}

void RemoveTemporaries(const std::vector<Record>& records) {
  for (const Record& record : records) {
    if (record.kind == RecordKind::kTemporary || record.kind == RecordKind::kTemporaryTree) {
      RemoveTemporaryRecord(record);
    }
  }
}

}  // namespace koushin::journal
