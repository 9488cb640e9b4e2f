// The update run as one transaction. Every change a run makes to an installation goes through a
// Transaction: it is recorded in the journal and the record flushed before the change is made;
// the old bytes of a replaced file are kept (a hard link where the file system allows it, a
// flushed copy otherwise) with their attributes and times; every replacement is a temporary file
// renamed over its target in one step. A failed run is put back in reverse order; a run that was
// killed is put back by the next start (recovery); the last committed run can be undone.
//
// On disk, in the installation folder's root: ".koushin\" (hidden) holding "lock" (held for the
// whole run), "run\" (the run in progress: "journal" and kept files "k1", "k2", ...) and "last\"
// (the last committed run, kept for undo).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <string>
#include <vector>

#include "journal/journal_file.h"
#include "port/port.h"

namespace koushin::journal {

// How a restore went. `failed` names (code page 932) every file or folder that could not be put
// back; when it is not empty, the journal and every kept file stay.
struct RestoreReport {
  std::vector<std::string> failed;
  int filesPutBack = 0;
  int filesRemoved = 0;
  int foldersRemoved = 0;
  bool Complete() const { return failed.empty(); }
};

// One change, as the summary and report list it.
struct Change {
  RecordKind kind;  // kReplacedFile, kCreatedFile or kCreatedFolder
  std::string path;
  std::uint64_t keptSize = 0;  // the old file's size, for kReplacedFile
};

// Files outside the installation folder that a run may replace, never create or remove: the
// master files, which the installation's settings may place anywhere. Named by their folders
// (each ending with '\\', spelled as the run spells them) and a name pattern with '?' and '*'.
struct OutsideFiles {
  std::vector<std::string> folders;
  std::string pattern;
};

// Where a journaled run may act, and so what a journal may name: paths below the installation
// folder (our own ".koushin" aside), reached without a link, junction or mount point along the
// way, the files of `outside`, and the run's own temporary and kept names.
struct Reach {
  std::string root;  // the installation folder, ending with '\\'
  OutsideFiles outside;
  // Empty when `record` stays within reach (the first record of a journal, `first`, must be its
  // begin record, naming `root`); else the path that does not.
  std::string Refusal(const Record& record, bool first) const;
};

class Transaction {
 public:
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // A transaction without a journal file: kept files lie beside their targets and the records
  // live in memory. It serves the runs with the journal switched off, a dry run (which writes
  // nothing through it), and a single writer used on its own. It does not survive a crash.
  static std::unique_ptr<Transaction> InMemory();

  // Creates a new temporary file with a unique name in `folder` (ending with '\\' or empty),
  // never through an existing name or link, recorded first. `file` is left open for writing.
  bool CreateTemporary(const std::string& folder, port::OutputFile* file, std::string* path,
                       port::Error* error = nullptr);
  // Puts a finished temporary file (written, flushed, with its final attributes) in place of
  // `target` in one step. The old target, if any, is kept first; when the target is missing the
  // change is recorded as a created file.
  bool Replace(const std::string& temporary, const std::string& target,
               port::Error* error = nullptr);
  // The same for several files at once (an archive's members): every old target is kept and
  // recorded, with one flush, before the first rename. On failure `failed` (may be null) is the
  // index of the move that failed.
  bool ReplaceAll(const std::vector<std::pair<std::string, std::string>>& moves,
                  std::size_t* failed, port::Error* error = nullptr);
  // Creates one folder (its parent must exist), recorded first.
  bool MakeFolder(const std::string& path, port::Error* error = nullptr);
  // Removes a temporary file of ours that will not be used.
  void Discard(const std::string& temporary);

  // Marks the run complete: records every file it left with a hash, then makes this run the
  // kept generation (replacing the one before). After a commit nothing is restored. A
  // transaction in memory commits once the kept old files beside the targets are gone; when one
  // cannot be removed it returns false and the transaction is to be restored.
  bool Commit(port::Error* error = nullptr);
  // After a commit: what of the tidying up could not be done (the next start does it again), or
  // empty.
  const std::string& Unfinished() const { return unfinished_; }
  // Puts every recorded change back, in reverse order, and removes the temporary files. On a
  // complete restore the journal and the kept files are removed.
  RestoreReport Restore();

  const std::vector<Change>& Changes() const { return changes_; }
  bool Committed() const { return committed_; }

 private:
  Transaction() = default;
  friend class Installation;

  bool Append(const Record& record, port::Error* error, bool flush = true);
  bool Keep(const std::string& target, std::string* kept, port::Error* error);

  std::string generation_;  // ".koushin\run\" of the installation; empty in memory
  std::string last_;        // ".koushin\last\"
  port::OutputFile journal_;
  std::vector<Record> records_;
  std::vector<Change> changes_;
  std::string tree_;  // the installation folder: the begin record names its temporary files
  Reach reach_;       // what a journaled run may change
  std::set<std::string> temporaryPrefixes_;  // every folder and name prefix of our temporaries
  // Folders whose new entries are not yet lasting: a journaled run syncs each once, at commit.
  std::map<std::string, std::string> unsyncedFolders_;  // by FolderKey
  unsigned serial_ = 0;
  bool committed_ = false;
  std::string unfinished_;
};

// Whether every target of `moves` (temporary file, target) may be replaced: not a folder, not a
// read-only file (which Windows would not replace either), not the name of one of the moves' own
// temporary files. On refusal `failed` (may be null) is the index of the move and `error` says
// why. ReplaceAll checks this before it keeps anything; a caller may ask before it decides.
bool CheckTargets(const std::vector<std::pair<std::string, std::string>>& moves,
                  std::size_t* failed, port::Error* error = nullptr);

// Writers for the layers above. Each takes the transaction it works in, so that no write escapes
// the journal: a caller without one does not compile. A file is never torn either way.

// Fills a new temporary file beside `target` and puts it in place. `fill` gets the open file and
// its path; it must leave the file written, flushed and closed (Finish), with its final
// attributes, or return false.
using Filler =
    std::function<bool(port::OutputFile& file, const std::string& temporary, port::Error* error)>;
bool ReplaceFile(Transaction& transaction, const std::string& target, const Filler& fill,
                 port::Error* error = nullptr);
// The same for several targets, put in place together (ReplaceAll): one flush records them all.
// On failure `failed` (may be null) is the index of the target that failed; none is changed
// unless a rename failed, and the transaction's restore puts those back.
bool ReplaceFiles(Transaction& transaction, const std::vector<std::string>& targets,
                  const std::vector<Filler>& fills, std::size_t* failed,
                  port::Error* error = nullptr);
// Copies a file into a new open file and finishes it.
bool CopyInto(const std::string& source, port::OutputFile& file, port::Error* error = nullptr);

// What the journal folder of an installation holds.
enum class JournalState {
  kClean,       // no unfinished run
  kUnfinished,  // a run began and did not finish: it must be put back before anything else
  kDamaged,     // a journal that cannot be read: nothing may be done
};

enum class UndoCheck {
  kReady,
  kNothing,  // no committed run is kept
  kChanged,  // files differ from what the update left (listed)
  kDamaged,
};

// An installation folder and its journal folder. Holds the lock while it lives (once taken).
class Installation {
 public:
  // `folder` is the installation folder; a trailing '\\' is added where missing.
  explicit Installation(const std::string& folder);

  // Files outside the installation folder that runs may replace (see Reach); set before Lock.
  void AllowOutside(const OutsideFiles& outside) { reach_.outside = outside; }

  // Whether a journal folder with an unfinished or damaged run is there, without locking or
  // writing anything.
  JournalState Peek(std::string* why = nullptr) const;

  // Takes the lock, creating the journal folder when needed. False when another run holds it
  // (`busy` true), or (`busy` false, `error` saying why) when the lock cannot be opened for
  // another reason or the journal folder is a link.
  bool Lock(bool* busy, port::Error* error = nullptr);
  // With the lock held: the state of the run folder. A run that committed but had not yet become
  // the kept generation is moved there now. A journal folder that is a link, or a journal that
  // names a path out of reach (Reach), is damaged: nothing is done with it.
  JournalState Inspect(std::string* why = nullptr);
  // Puts back an unfinished run (see Transaction::Restore).
  RestoreReport Recover();
  // Begins a journaled run (the lock is held, the state is clean).
  std::unique_ptr<Transaction> Begin(port::Error* error = nullptr);

  // The undo of the last committed run: first the check that every file is as that run left it.
  UndoCheck CheckUndo(std::vector<std::string>* changed, std::string* why = nullptr);
  RestoreReport Undo();

  const std::string& JournalFolder() const { return folder_; }
  // What Inspect found it could not tidy up, for the log (nothing was changed by it).
  const std::vector<std::string>& Notes() const { return notes_; }

 private:
  std::string root_;
  std::string folder_;  // root_ + ".koushin\"
  Reach reach_;
  std::vector<std::string> notes_;
  port::ExclusiveFile lock_;
};

// The folder name of ours in the installation root.
extern const char kJournalFolderName[];

}  // namespace koushin::journal
