// The plan of an update: what the run will do, worked out once from the description, the
// installation and the media, before anything changes. The run carries it out step by step, the
// checks before changes read its files, the dry run prints it, the media check asks it which
// files the entries read, and the progress counts its bytes. Nothing else decides what an entry
// does.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "description/update_description.h"
#include "engine/master_conversion.h"
#include "journal/journal.h"

namespace koushin::engine {

// What a path of the installation holds before a step (or after the last one), as the plan
// expects to find it.
struct FileState {
  bool exists = false;
  bool isFolder = false;
  std::uint64_t bytes = 0;
  unsigned attributes = 0;
};

// One member of an archive as its header tells it, and where the extraction puts it.
struct PlannedMember {
  std::string name;  // the stored name's last component, code page 932
  std::string path;  // target folder + name, as the extraction spells it
  std::uint64_t bytes = 0;
  std::uint16_t crc = 0;
  bool hasCrc = false;
  std::string storedTime;  // "YYYY-MM-DD hh:mm:ss" as stored (DOS times are local), "" if none
  FileState before;
};

// One INI key a step writes.
struct PlannedKey {
  std::string section;
  std::string key;
  std::string oldValue;  // as read before the step; "" when missing
  bool existed = false;
  std::string newValue;
};

enum class StepKind {
  kAskForDisk,     // ask for update disk `disk` until `source` is there
  kMakeFolder,     // create the folder `path` (its parent must exist)
  kExtract,        // extract archive `source` into the folder `path`
  kCopy,           // copy the media file `source` to `path`, attributes cleared
  kWriteIni,       // write `keys` into the INI file `path`, in their order
  kConvertMaster,  // convert master file `path` by `rule`
};

struct PlanStep {
  StepKind kind = StepKind::kMakeFolder;
  int entry = 0;       // 1-based entry of the description; 0 for the settings after the entries
  int disk = 0;        // the disk asked for (kAskForDisk)
  std::string source;  // the media file read: the archive, the plain file, a disk's proof
  std::string path;    // the folder or file of the installation the step makes or writes
  // kExtract: the START variant and why it was chosen, or why the EXCEL archive is due (English,
  // for the log); `startVariant` is the variant's file name (START3) when it is one.
  std::string reason;
  std::string startVariant;
  int systemIndex = 0;                  // START: the system index that chose the variant
  std::string keyword;                  // START: the title keyword found (none for velmora1.ini)
  bool excelNotice = false;             // show the Excel template message before the extraction
  std::vector<PlannedMember> members;   // kExtract, folders left out
  std::vector<PlannedKey> keys;         // kWriteIni
  MasterRule rule = MasterRule::kSize;  // kConvertMaster
  int records = -1;  // kConvertMaster: records that change; -1 when the file is not there yet
  // kCopy, kWriteIni, kConvertMaster: the file before the step, and its bytes and attribute
  // byte after (an INI file's size after is an estimate: keys stored as key=value).
  FileState before;
  std::uint64_t bytes = 0;
  unsigned attributesAfter = 0;
  // kWriteIni: written in one rewrite with an earlier step of the same file (the settings are
  // written together, each file once), so it keeps no old bytes of its own.
  bool joined = false;
};

// The planner's memory of what the planned steps leave, for the steps after them. Keys: a path
// in upper case with one separator.
struct PlanState {
  std::map<std::string, FileState> files;
  std::map<std::string, std::string> iniValues;  // path, section and key -> value written
  std::set<std::string> iniSections;             // path and section of every section known
  std::set<std::string> iniRead;                 // INI files whose sections were read
  std::set<std::string> iniUnterminated;         // INI files whose last line has no line break
};

struct UpdatePlan {
  // The entries' steps in order, then the settings' (INI keys, then master files).
  std::vector<PlanStep> steps;
  std::vector<PlanStep> settings;
  // Entries from this one (0-based) on are not planned yet: they are on a disk not yet in the
  // drive (the last step asks for it). Equal to the number of entries when all are planned.
  int nextEntry = 0;
  int disk = 1;  // the disk the planned steps were read from last
  // A media file an entry needs that is missing or unreadable, found before any change: the run
  // stops with `problem` (a message, code page 932) and changes nothing. Empty when none.
  std::string problem;
  // What the plan leaves out, and why (English, for the log): an archive not due (notes), a
  // master file a repair does not convert again (settingsNotes, planned with the settings).
  std::vector<std::string> notes;
  std::vector<std::string> settingsNotes;
  // What the entries planned so far leave, and what the whole plan leaves.
  PlanState afterEntries;
  PlanState afterAll;
  // The files the entries write (same key): where each comes from, for the master files.
  struct Origin {
    std::string path;     // as the step spells it
    std::string archive;  // the archive it is a member of ("" for a plain file)
    std::string member;
  };
  std::map<std::string, Origin> written;

  bool Complete(int entryCount) const { return nextEntry >= entryCount; }
  // The bytes the entries' files take: the progress of the whole run counts them.
  std::uint64_t EntryBytes() const;
  // The old bytes the run keeps: each file that exists when a step replaces it, every time.
  std::uint64_t KeptBytes() const;
  int IniKeys() const;
  // Records of the master files (those not known yet count 0).
  int MasterRecords() const;
  // Each file and folder the steps make or replace, once, as first made.
  std::vector<journal::Change> Changes() const;
  // The size a path will have after the run, as planned (0 when unknown or a folder).
  std::uint64_t BytesAfter(const std::string& path) const;
};

// What the planner reads. The record is the one after the installation check (systemIniName and
// systemIndex settled); `folder` is the working folder it left.
struct PlanInput {
  const description::UpdateDescription& record;
  std::string folder;
  std::string sourceFolder;
  bool removable = false;      // the media are disks asked for one by one
  bool convertMasters = true;  // false: a repair converts only master files it writes itself
  // true (a dry run): a master file an archive brings is decoded to count its records; a real
  // run counts them when it converts.
  bool readMasterMembers = false;
};

// The media file (relative to the disk) that entry `entry` reads: NAME.lzh for an archive (START
// with the variant of `systemIndex`: START3.lzh), the file itself otherwise.
std::string MediaName(const description::UpdateEntry& entry, int systemIndex);
bool IsStartEntry(const description::UpdateEntry& entry);

// Plans the entries from plan->nextEntry on, as far as the media in the drive (disk plan->disk)
// reach: on removable media up to the first entry of another disk, for which it adds the step
// that asks for that disk and stops; otherwise every entry. Every archive's headers are read (no
// member is decoded); a missing or unreadable media file sets plan->problem.
void PlanEntries(const PlanInput& input, UpdatePlan* plan);
// Continues after the disk asked for by the last step is in the drive.
void PlanNextDisk(const PlanInput& input, UpdatePlan* plan);
// Plans the settings after the entries (plan->settings, replaced): the INI keys, then the master
// files. Before the entries are done, from the files as the planned entries leave them; with
// `entriesDone` (the run, once its entries are in place), from the files as they are.
void PlanSettings(const PlanInput& input, UpdatePlan* plan, bool entriesDone = false);

// The plan in words, English, for the log: one line a step from `first` on (members and keys on
// lines of their own), and with `whole` the settings' steps, what it leaves out and the old bytes
// it keeps.
std::vector<std::string> PlanLines(const UpdatePlan& plan, std::size_t first = 0,
                                   bool whole = true);

// 1 when the Excel template below the working folder must be replaced: it is missing, cannot be
// opened without sharing, or was last written (UTC date) on or before 2022-02-05. 0 when it is
// newer, or when the folder itself is missing. The folder is not changed.
int IsExcelTemplateDue(const std::string& folder);

}  // namespace koushin::engine
