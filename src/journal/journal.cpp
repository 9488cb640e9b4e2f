#include "journal/journal.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>

#include "text/cp932.h"
#include "text/path.h"

namespace koushin::journal {

const char kJournalFolderName[] = ".koushin";

namespace {

constexpr char kJournalFile[] = "journal";
constexpr char kLockFile[] = "lock";
constexpr std::size_t kJournalRoom = 256 * 1024;
// The largest journal read. A run's records take a few hundred bytes per file it changes, and an
// update changes hundreds of files, so a real journal stays within its 256 KB of room; 64 MB
// holds the records of a run over 100,000 files. A larger file is no journal of ours and is
// refused as damaged rather than read whole, which could exhaust the memory of the 32-bit
// programs before the run's guard is in place.
constexpr std::size_t kMaxJournalBytes = 64u << 20;
constexpr char kRunFolder[] = "run\\";
constexpr char kLastFolder[] = "last\\";
// A run is committed by renaming its folder to this name: one step that either happened or not.
constexpr char kDoneFolder[] = "done\\";
// How deep a recovery looks below the installation folder for the temporary files of a run.
constexpr int kTemporaryDepth = 24;

bool ClearFolder(const std::string& folder, port::Error* error = nullptr);

// Makes a committed run folder the kept generation, replacing the one before. When a step fails
// (`error` says which), the committed folder stays as it is and the next start does it again; a
// kept generation cleared in part has lost its journal first, so it offers nothing to undo.
bool Rotate(const std::string& done, const std::string& last, port::Error* error) {
  // Not synced: should a crash lose it, the next start finds the committed run and does it again.
  return ClearFolder(last, error) &&
         port::RenameReplacing(done.substr(0, done.size() - 1), last.substr(0, last.size() - 1),
                               error, false);
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

// One spelling per folder, so that each is synced once and two spellings of one path compare
// equal: letters upper-cased, separators single '\\' (but for a leading pair, which names a
// share).
std::string FolderKey(const std::string& folder) {
  std::string key;
  bool separator = false;
  for (std::size_t i = 0; i < folder.size();) {
    const std::size_t n = text::CharLength(folder, i);
    const bool isSeparator = n == 1 && (folder[i] == '\\' || folder[i] == '/');
    if (!(isSeparator && separator && i > 1)) {
      if (isSeparator) {
        key += '\\';
      } else {
        key.append(folder, i, n);
      }
    }
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

// The names of a path key (FolderKey) after `from`, split at its separators.
std::vector<std::string> NamesOf(const std::string& key, std::size_t from) {
  std::vector<std::string> names(1);
  for (std::size_t i = from; i < key.size();) {
    const std::size_t n = text::CharLength(key, i);
    if (n == 1 && key[i] == '\\') {
      names.emplace_back();
    } else {
      names.back().append(key, i, n);
    }
    i += n;
  }
  if (names.back().empty()) names.pop_back();
  return names;
}

// A name that stays where it is named: no "." or ".." (Windows drops trailing dots and blanks,
// so "..." and ". ." climb too), no drive, stream or wildcard character, no control character.
bool PlainName(const std::string& name) {
  std::size_t end = name.size();
  while (end > 0 && (name[end - 1] == '.' || name[end - 1] == ' ')) --end;
  if (end == 0) return false;
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t n = text::CharLength(name, i);
    const auto c = static_cast<unsigned char>(name[i]);
    if (n == 1 && (c < 0x20 || std::strchr(":*?\"<>|/", c) != nullptr)) return false;
    i += n;
  }
  return true;
}

// The name prefix of a run's temporary files, "~kz" and the process tag (ProcessTag) and '-'.
bool TemporaryPrefixName(const std::string& name) {
  if (name.size() != 10 || name.compare(0, 3, "~KZ") != 0 || name[9] != '-') return false;
  return std::all_of(name.begin() + 3, name.begin() + 9,
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

// A kept file's name in the generation folder: 'k' and a number.
bool KeptName(const std::string& name) {
  return name.size() >= 2 && name.size() <= 12 && name[0] == 'k' &&
         std::all_of(name.begin() + 1, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Matches a name key against a pattern with '?' (one character) and '*' (any run), both
// upper-cased.
bool MatchesPattern(const std::string& pattern, std::size_t p, const std::string& name,
                    std::size_t i) {
  while (p < pattern.size()) {
    if (pattern[p] == '*') {
      for (std::size_t j = i;; j += text::CharLength(name, j)) {
        if (MatchesPattern(pattern, p + 1, name, j)) return true;
        if (j >= name.size()) return false;
      }
    }
    if (i >= name.size()) return false;
    const std::size_t n = text::CharLength(name, i);
    if (pattern[p] == '?') {
      ++p;
    } else {
      const std::size_t m = text::CharLength(pattern, p);
      if (m != n || pattern.compare(p, m, name, i, n) != 0) return false;
      p += m;
    }
    i += n;
  }
  return i == name.size();
}

// A name as Windows takes it, without its trailing dots and blanks.
std::string Trimmed(const std::string& name) {
  std::size_t end = name.size();
  while (end > 0 && (name[end - 1] == '.' || name[end - 1] == ' ')) --end;
  return name.substr(0, end);
}

// Whether `path` lies below `root` (or is it, with `rootItself`) by names that stay there, not in
// our own journal folder, and is reached without a link or mount point below the root.
bool WithinRoot(const std::string& root, const std::string& path, bool rootItself) {
  const std::string rootKey = FolderKey(root);
  std::string key = FolderKey(path);
  if (!text::EndsWithBackslash(key)) key += '\\';
  if (key == rootKey) return rootItself;
  if (key.size() < rootKey.size() || key.compare(0, rootKey.size(), rootKey) != 0) return false;
  const std::vector<std::string> names = NamesOf(key, rootKey.size());
  if (names.empty() || Trimmed(names[0]) == text::ToUpper(kJournalFolderName)) return false;
  if (!std::all_of(names.begin(), names.end(), PlainName)) return false;
  std::string walked = root;
  for (const std::string& name : names) {
    walked += name;
    if (port::IsLinkOrMountPoint(walked)) return false;
    walked += '\\';
  }
  return true;
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

bool RemoveKeptBeside(const std::vector<Record>& records, port::Error* error = nullptr) {
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

}  // namespace

// ---------------------------------------------------------------------------------------------

std::string Reach::Refusal(const Record& record, bool first) const {
  if (first != (record.kind == RecordKind::kBegin)) {
    return record.path.empty() ? std::string("(a journal without its begin record)") : record.path;
  }
  const std::string folder = FolderOf(record.path);
  const std::string name = text::ToUpper(record.path.substr(folder.size()));
  const bool outsideFolder =
      !outside.pattern.empty() &&
      std::any_of(outside.folders.begin(), outside.folders.end(),
                  [&](const std::string& f) { return FolderKey(f) == FolderKey(folder); });
  // A file outside: in one of the folders, named by the pattern, not a link itself.
  auto outsideFile = [&](const std::string& path) {
    const std::string in = FolderOf(path);
    const std::string file = text::ToUpper(path.substr(in.size()));
    return !outside.pattern.empty() && PlainName(file) &&
           std::any_of(outside.folders.begin(), outside.folders.end(),
                       [&](const std::string& f) { return FolderKey(f) == FolderKey(in); }) &&
           MatchesPattern(text::ToUpper(outside.pattern), 0, file, 0) &&
           !port::IsLinkOrMountPoint(path);
  };
  bool ok = false;
  switch (record.kind) {
    case RecordKind::kBegin: {
      std::string key = FolderKey(record.path);
      if (!text::EndsWithBackslash(key)) key += '\\';
      ok = key == FolderKey(root);
      break;
    }
    case RecordKind::kTemporaryTree:
      ok = FolderKey(folder) == FolderKey(root) && TemporaryPrefixName(name);
      break;
    case RecordKind::kTemporary:
      ok = TemporaryPrefixName(name) && (WithinRoot(root, folder, true) || outsideFolder);
      break;
    case RecordKind::kCreatedFile:
    case RecordKind::kCreatedFolder:
      ok = WithinRoot(root, record.path, false);
      break;
    case RecordKind::kReplacedFile:
      if (!KeptName(record.kept)) return record.kept;
      ok = WithinRoot(root, record.path, false) || outsideFile(record.path);
      break;
    case RecordKind::kCommit:
      for (const FileMark& mark : record.files) {
        if (!WithinRoot(root, mark.path, false) && !outsideFile(mark.path)) return mark.path;
      }
      ok = true;
      break;
  }
  return ok ? std::string() : record.path;
}

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

// ---------------------------------------------------------------------------------------------

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
      if (now.exists != mark.exists || now.size != mark.size || now.hash != mark.hash) {
        changed->push_back(mark.path);
      }
    }
  }
  return changed->empty() ? UndoCheck::kReady : UndoCheck::kChanged;
}

RestoreReport Installation::Undo() { return RestoreGeneration(folder_ + kLastFolder, reach_); }

}  // namespace koushin::journal
