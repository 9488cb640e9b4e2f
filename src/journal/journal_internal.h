// What the parts of the journal library share: the names in its folder, and the helpers for
// paths, for the files of a generation folder and for restoring one.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "journal/journal.h"
#include "journal/journal_file.h"
#include "port/port.h"

namespace koushin::journal {

inline constexpr char kJournalFile[] = "journal";
inline constexpr char kLockFile[] = "lock";
inline constexpr std::size_t kJournalRoom = 256 * 1024;
// The largest journal read. A run's records take a few hundred bytes per file it changes, and an
// update changes hundreds of files, so a real journal stays within its 256 KB of room; 64 MB
// holds the records of a run over 100,000 files. A larger file is no journal of ours and is
// refused as damaged rather than read whole, which could exhaust the memory of the 32-bit
// programs before the run's guard is in place.
inline constexpr std::size_t kMaxJournalBytes = 64u << 20;
inline constexpr char kRunFolder[] = "run\\";
inline constexpr char kLastFolder[] = "last\\";
// A run is committed by renaming its folder to this name: one step that either happened or not.
inline constexpr char kDoneFolder[] = "done\\";
// How deep a recovery looks below the installation folder for the temporary files of a run.
inline constexpr int kTemporaryDepth = 24;

// ---- paths (paths.cpp) ----------------------------------------------------------------------

// A tag of this process for temporary names, so that two programs never pick the same one.
const std::string& ProcessTag();
// The folder part of a path, ending with its separator ("C:" for "C:name"), or empty.
std::string FolderOf(const std::string& path);
std::string WithoutTrailingSeparator(const std::string& folder);
// One spelling per folder, so that each is synced once and two spellings of one path compare
// equal.
std::string FolderKey(const std::string& folder);
// A name that stays where it is named (see paths.cpp).
bool PlainName(const std::string& name);
// The name prefix of a run's temporary files, "~kz", the process tag and '-'.
bool TemporaryPrefixName(const std::string& name);
// A kept file's name in the generation folder: 'k' and a number.
bool KeptName(const std::string& name);
// Matches a name key against a pattern with '?' and '*', both upper-cased.
bool MatchesPattern(const std::string& pattern, std::size_t p, const std::string& name,
                    std::size_t i);
// Whether `path` lies below `root` (or is it, with `rootItself`) by plain names, not in our own
// journal folder, and is reached without a link or mount point below the root.
bool WithinRoot(const std::string& root, const std::string& path, bool rootItself);

// ---- the files of a generation folder, and restoring one (restore.cpp) ------------------------

// Clears a read-only flag so that the file may be replaced or deleted, as our own files must be.
void MakeWritable(const std::string& path);
bool RemoveIfThere(const std::string& path, port::Error* error);
// A new file with a unique name in `folder`, created exclusively.
bool CreateUnique(const std::string& folder, unsigned* serial, port::OutputFile* file,
                  std::string* path, port::Error* error, const char* prefix = "~kz");
// Copies `from` to the new file `to` (created exclusively) and flushes it.
bool CopyToNew(const std::string& from, const std::string& to, port::Error* error);
// Removes a folder of ours with the files in it, its journal first.
bool ClearFolder(const std::string& folder, port::Error* error = nullptr);
// Makes a committed run folder the kept generation, replacing the one before.
bool Rotate(const std::string& done, const std::string& last, port::Error* error);
// Reads the journal of a generation folder and checks that it stays within `reach`.
bool LoadRecords(const std::string& generation, const Reach& reach, std::vector<Record>* records,
                 std::string* why, bool* damaged);
bool HasCommit(const std::vector<Record>& records);
// Removes every temporary file "<prefix>*.tmp".
bool RemoveTemporariesLike(const std::string& prefix);
// Reverses the records, last first. `generation` is where kept files named without a folder lie.
RestoreReport RestoreRecords(const std::vector<Record>& records, const std::string& generation);
// Puts back every change a generation folder records; empties it when all are back.
RestoreReport RestoreGeneration(const std::string& generation, const Reach& reach);
// Removes the kept second names beside the targets of a transaction in memory.
bool RemoveKeptBeside(const std::vector<Record>& records, port::Error* error = nullptr);
// Removes the temporary files that the records name.
void RemoveTemporaries(const std::vector<Record>& records);

}  // namespace koushin::journal
