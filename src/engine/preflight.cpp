#include "engine/preflight.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

#include "archive/archive.h"
#include "engine/master_conversion.h"
#include "engine/messages.h"
#include "engine/product.h"
#include "engine/update_run.h"
#include "port/port.h"
#include "text/cp932.h"
#include "text/number.h"
#include "text/path.h"

namespace koushin::engine {

namespace {

using product::kArchiveKind;
using product::kExcelArchive;
using product::kStartArchive;
constexpr int kRemovableDrive = 2;
// A file takes whole clusters; 4 KiB is the common cluster size, and the larger count is safe.
constexpr std::uint64_t kCluster = 4096;
// Room for what the estimate leaves out: the journal, folders, an INI file that grows.
constexpr std::uint64_t kMargin = 1 << 20;
constexpr std::uint64_t kMegabyte = 1 << 20;

std::uint64_t Clusters(std::uint64_t bytes) { return (bytes + kCluster - 1) / kCluster * kCluster; }

// One file the run will write, with the bytes of its new content, and what is there now.
struct PlannedFile {
  std::string path;  // Windows path, code page 932
  std::uint64_t newBytes = 0;
  bool exists = false;
  port::FileStatus old;
};

class Planner {
 public:
  Planner(const RunContext& context, const std::string& folder)
      : context_(context), record_(context.record), folder_(folder) {}

  void AddEntry(int i) {
    const std::string& name = record_.entryFileNames[i];
    const std::string baseName = text::SplitPath(name).name;
    const std::string target = folder_ + record_.entryTargetSubfolders[i];
    if (record_.entryKinds[i] != kArchiveKind) {
      const std::string source = context_.sourceFolder + name;
      const text::PathParts parts = text::SplitPath(source);
      port::FileStatus status;
      if (port::ReadFileStatus(source, &status)) {
        Add(target + parts.name + parts.extension, status.size);
      }
      return;
    }
    if (baseName == kExcelArchive && !IsExcelTemplateDue(folder_)) return;
    const std::string mediaName =
        baseName == kStartArchive ? name + std::to_string(record_.systemIndex) : name;
    // An archive that cannot be read now fails the run at its entry, with its own message.
    std::vector<archive::MemberInfo> members;
    archive::ListArchiveMembers(context_.sourceFolder + mediaName + product::kArchiveExtension,
                                &members);
    for (const archive::MemberInfo& member : members) {
      if (!member.isFolder) Add(target + member.name, member.size);
    }
  }

  void AddSettings() {
    AddExisting(folder_ + record_.systemIniName);
    AddExisting(folder_ + product::kHistoryIni);
    if (text::ParseInt(record_.masterAdjust) != 1 || !context_.convertMasters) return;
    const std::string master = port::ProfileRead(product::kDirSection, product::kMasterKey, "",
                                                 folder_ + product::kMasterSetupIni);
    for (const char* sub : product::kMasterSubfolders) {
      std::vector<std::string> names;
      ListMasterFiles(names, master + sub + product::kMasterPattern);
      for (const std::string& name : names) AddExisting(master + sub + name);
    }
  }

  std::vector<PlannedFile>& Files() { return files_; }

 private:
  // A file rewritten in place: its new content is about as large as the old one.
  void AddExisting(const std::string& path) {
    port::FileStatus status;
    Add(path, port::ReadFileStatus(path, &status) ? status.size + kCluster : kCluster);
  }

  void Add(const std::string& path, std::uint64_t bytes) {
    const std::string key = text::ToUpper(path);
    const auto known = index_.find(key);
    if (known != index_.end()) {
      auto& file = files_[known->second];
      file.newBytes = std::max(file.newBytes, bytes);
      return;
    }
    PlannedFile file;
    file.path = path;
    file.newBytes = bytes;
    file.exists =
        port::ReadFileStatus(path, &file.old) && (file.old.attributes & port::kAttrDirectory) == 0;
    index_.emplace(key, files_.size());
    files_.push_back(file);
  }

  const RunContext& context_;
  const description::UpdateDescription& record_;
  const std::string& folder_;
  std::vector<PlannedFile> files_;
  std::map<std::string, std::size_t> index_;
};

// The whole megabytes missing on the fullest volume, as text; empty when every volume has room.
// Each new file takes its clusters; each replaced file is kept as a copy until the run is over,
// unless the volume gives the old file a second name instead.
std::string SpaceShortfall(const std::vector<PlannedFile>& files, Operator& op) {
  struct Need {
    port::VolumeInfo volume;
    std::uint64_t bytes = kMargin;
    std::string folder;  // the first folder written on the volume, to name it in the log
  };
  std::map<std::string, port::VolumeInfo> byFolder;
  std::map<std::string, Need> byVolume;
  for (const PlannedFile& file : files) {
    const text::PathParts parts = text::SplitPath(file.path);
    const std::string parent = parts.drive + parts.directory;
    auto found = byFolder.find(parent);
    if (found == byFolder.end()) {
      port::VolumeInfo volume;
      port::Error error;
      if (!port::QueryVolume(file.path, &volume, &error)) {
        op.Log("check space: " + error.Describe());
        continue;
      }
      found = byFolder.emplace(parent, volume).first;
    }
    Need& need = byVolume[found->second.id];
    need.volume = found->second;
    if (need.folder.empty()) need.folder = parent;
    need.bytes += Clusters(file.newBytes);
    if (file.exists && !need.volume.hardLinks) need.bytes += Clusters(file.old.size);
  }
  std::uint64_t shortest = 0;
  for (const auto& entry : byVolume) {
    const Need& need = entry.second;
    op.Log("check space: the drive of " + need.folder + " needs " + std::to_string(need.bytes) +
           " bytes and has " + std::to_string(need.volume.freeBytes) + " bytes free" +
           (need.volume.hardLinks ? "" : " (old files are kept as copies)"));
    if (need.bytes > need.volume.freeBytes) {
      shortest = std::max(shortest, need.bytes - need.volume.freeBytes);
    }
  }
  if (shortest == 0) return std::string();
  return std::to_string((shortest + kMegabyte - 1) / kMegabyte);
}

// Entries from `first` on whose media are in the drive with disk `disk`: up to the first one the
// run will ask another disk for.
int EndOfReadableEntries(const RunContext& context, int first, int disk) {
  const int count = std::clamp(context.record.entryCount, 0, description::kMaxEntries);
  if (port::DriveTypeOf(context.sourceFolder) != kRemovableDrive) return count;
  int end = first;
  while (end < count) {
    const int entryDisk = context.record.entryDiskNumbers[end];
    if (entryDisk != 1 && entryDisk != disk) break;
    ++end;
  }
  return end;
}

}  // namespace

bool CheckBeforeChanges(RunContext& context, const std::string& folder, int first, int disk,
                        bool withSettings) {
  Operator& op = context.op;
  const int end = EndOfReadableEntries(context, first, disk);
  const std::uint64_t plannedBefore = context.plannedBytes;
  for (;;) {
    Planner planner(context, folder);
    for (int i = first; i < end; ++i) planner.AddEntry(i);
    context.plannedBytes = plannedBefore;
    for (const PlannedFile& file : planner.Files()) context.plannedBytes += file.newBytes;
    if (withSettings) planner.AddSettings();
    const std::vector<PlannedFile>& files = planner.Files();
    op.Log("check before changes: entries " + std::to_string(first + 1) + " to " +
           std::to_string(end) + ", " + std::to_string(files.size()) + " files to write");

    std::vector<std::string> readOnly;
    std::vector<std::string> existing;
    for (const PlannedFile& file : files) {
      if (!file.exists) continue;
      existing.push_back(file.path);
      if ((file.old.attributes & port::kAttrReadOnly) != 0) {
        readOnly.push_back(file.path);
        op.Log("check read-only: " + file.path + " is read-only");
      }
    }
    if (readOnly.empty()) op.Log("check read-only: none");
    const std::string shortfall = SpaceShortfall(files, op);
    if (shortfall.empty()) op.Log("check space: enough");
    port::FilesInUse inUse;
    port::Error error;
    if (!port::FindFilesInUse(existing, &inUse, &error)) {
      op.Log("check files in use: cannot look: " + error.Describe());
    }
    for (const std::string& file : inUse.files) op.Log("check files in use: " + file);
    for (const std::string& program : inUse.programs) op.Log("  held by " + program);
    const bool busy = !inUse.files.empty() || !inUse.programs.empty();
    if (!busy) op.Log("check files in use: none");
    // For the report: what blocks the run now (a second look replaces the first).
    std::vector<BlockingFile>& blocking = context.summary.blockingFiles;
    blocking.clear();
    for (const std::string& path : readOnly) blocking.push_back({path, true, std::string()});
    for (const std::string& path : inUse.files) {
      // The platform names the programs, not which holds which file: one is named when one is.
      blocking.push_back(
          {path, false, inUse.programs.size() == 1 ? inUse.programs.front() : std::string()});
    }

    std::vector<std::string> failures;
    if (!readOnly.empty()) failures.push_back(messages::ReadOnlyTarget(readOnly.front()));
    if (!shortfall.empty()) failures.push_back(messages::DiskSpaceShort(shortfall));
    const std::string inUseText =
        messages::FilesInUse(inUse.programs.empty() ? inUse.files : inUse.programs);
    if (context.dryRun || context.unattended || !failures.empty()) {
      if (busy) failures.push_back(inUseText);
      // Unattended and real, the first failure ends the run; a dry run reports all of them.
      if (!context.dryRun && failures.size() > 1) failures.resize(1);
      for (const std::string& text : failures) {
        op.ShowMessage(text, messages::CaptionConfirm(), Buttons::kOk);
      }
      context.refused = context.refused || !failures.empty();
      return context.dryRun || failures.empty();
    }
    if (!busy) return true;
    if (op.ShowMessage(inUseText, messages::CaptionConfirm(), Buttons::kOkCancel) != Answer::kOk) {
      op.Log("files in use: cancelled");
      op.ShowMessage(messages::Cancelled(), messages::CaptionConfirm(), Buttons::kOk);
      return false;
    }
  }
}

}  // namespace koushin::engine
