#include "engine/preflight.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

#include "engine/messages.h"
#include "port/port.h"
#include "text/cp932.h"
#include "text/path.h"

namespace koushin::engine {

namespace {

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

// The files the plan's steps write, each once (with the most bytes it takes), and what is at
// each now: read afresh, as a second look after the person closed a program must see the change.
// An INI or master file rewritten in place gets a cluster of room to grow.
class FileList {
 public:
  void Add(const PlanStep& step) {
    switch (step.kind) {
      case StepKind::kAskForDisk:
      case StepKind::kMakeFolder:
        return;
      case StepKind::kExtract:
        for (const PlannedMember& member : step.members) Add(member.path, member.bytes);
        return;
      case StepKind::kCopy:
        Add(step.path, step.bytes);
        return;
      case StepKind::kWriteIni:
      case StepKind::kConvertMaster:
        Add(step.path, std::max(step.bytes, step.before.bytes) + kCluster);
        return;
    }
  }

  std::vector<PlannedFile>& Files() { return files_; }

 private:
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

}  // namespace

bool CheckBeforeChanges(RunContext& context, const UpdatePlan& plan, std::size_t first,
                        bool withSettings) {
  Operator& op = context.op;
  for (;;) {
    FileList list;
    for (std::size_t i = first; i < plan.steps.size(); ++i) list.Add(plan.steps[i]);
    if (withSettings) {
      for (const PlanStep& step : plan.settings) list.Add(step);
    }
    const std::vector<PlannedFile>& files = list.Files();
    op.Log("check before changes: " + std::to_string(files.size()) + " files to write");

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
