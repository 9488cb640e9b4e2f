#include "engine/update_run.h"

#include <algorithm>
#include <exception>
#include <set>

#include "archive/archive.h"
#include "engine/installation_check.h"
#include "engine/messages.h"
#include "engine/post_update_settings.h"
#include "engine/preflight.h"
#include "engine/setting_writer.h"
#include "port/port.h"
#include "text/path.h"

namespace koushin::engine {

namespace {

constexpr int kArchiveKind = 1;
constexpr int kRemovableDrive = 2;
constexpr std::size_t kArchiveOutputSize = 256;
constexpr char kArchiveExtension[] = ".lzh";
constexpr char kStartArchive[] = "START";
constexpr char kExcelArchive[] = "EXCEL";
constexpr int kLastKeywordIndex = 15;

// Routes the archive library's per-member progress to the operator while an entry is worked on.
class ArchiveProgress {
 public:
  ArchiveProgress(Operator& op, int entry, int entryCount, bool logMembers) {
    archive::SetProgressCallback([&op, entry, entryCount, logMembers](const std::string& member,
                                                                      std::uint64_t done,
                                                                      std::uint64_t total) {
      if (logMembers && done == total) {
        op.Log("  wrote " + member + " (" + std::to_string(total) + " bytes)");
      }
      Progress progress;
      progress.entry = entry;
      progress.entryCount = entryCount;
      progress.file = member;
      progress.bytesDone = done;
      progress.bytesTotal = total;
      op.ReportProgress(progress);
    });
  }
  ~ArchiveProgress() { archive::SetProgressCallback({}); }
  ArchiveProgress(const ArchiveProgress&) = delete;
  ArchiveProgress& operator=(const ArchiveProgress&) = delete;
};

// Days since 1970-01-01 to a civil (proleptic Gregorian) date.
void CivilFromDays(std::int64_t days, int* year, int* month, int* day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  *day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  *month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  *year = static_cast<int>(yearOfEra + era * 400 + (*month <= 2 ? 1 : 0));
}

// One run, with the record it may change. Every failure inside the entry loop shows its message
// and ends the run with 1; nothing is undone.
class Run {
 public:
  explicit Run(RunContext& context) : context_(context), record_(context.record) {}

  int Execute() {
    folder_ = record_.installFolder;
    if (!CheckTargetInstallation(folder_, record_, context_.op)) return kRunBackToDestination;
    windowsFolder_ = port::WindowsFolder();
    archive::ArchiveSetupA(0);
    archive::ArchiveSetupB(1);
    currentDisk_ = 1;
    entryCount_ = std::clamp(record_.entryCount, 0, description::kMaxEntries);
    if (!CheckBeforeChanges(context_, folder_, 0, currentDisk_, true)) return kRunClose;
    for (int i = 0; i < entryCount_; ++i) {
      if (!DoEntry(i)) return kRunClose;
    }
    currentTarget_ = folder_ + record_.systemIniName;
    return WritePostUpdateSettings(context_, folder_);
  }

  // The file the failure message names when something unexpected stops the run.
  const std::string& CurrentTarget() const { return currentTarget_; }

 private:
  Operator& Op() { return context_.op; }

  void Log(const std::string& line) { Op().Log(line); }

  void Report(int i, const std::string& file, std::uint64_t done, std::uint64_t total) {
    Progress progress;
    progress.entry = i + 1;
    progress.entryCount = entryCount_;
    progress.file = file;
    progress.bytesDone = done;
    progress.bytesTotal = total;
    Op().ReportProgress(progress);
  }

  bool Fail(const std::string& text) {
    Op().ShowMessage(text, messages::CaptionConfirm(), Buttons::kOk);
    return false;
  }

  // Asks for update disk `disk` until `mediaFile`, the file this entry will really read, is
  // there. False when the person cancels.
  bool AskForDisk(int disk, const std::string& mediaFile) {
    for (;;) {
      Log("disk: asking for disk " + std::to_string(disk) + " (" + mediaFile + ")");
      const Answer answer = Op().ShowMessage(messages::DiskPrompt(disk), messages::CaptionConfirm(),
                                             Buttons::kOkCancel);
      if (answer != Answer::kOk) {
        Log("disk: cancelled");
        Op().ShowMessage(messages::Cancelled(), messages::CaptionConfirm(), Buttons::kOk);
        return false;
      }
      if (port::PathExists(mediaFile)) return true;
    }
  }

  bool DoEntry(int i) {
    const int disk = record_.entryDiskNumbers[i];
    const bool isArchive = record_.entryKinds[i] == kArchiveKind;
    const std::string name = record_.entryFileNames[i];
    const std::string baseName = text::SplitPath(name).name;
    // The START archive comes in one variant per installed system: START3 for SystemIndex 3.
    const bool isStart = isArchive && baseName == kStartArchive;
    const std::string mediaName = isStart ? name + std::to_string(record_.systemIndex) : name;
    const std::string mediaFile =
        context_.sourceFolder + mediaName + (isArchive ? kArchiveExtension : "");
    Log("entry " + std::to_string(i + 1) + " of " + std::to_string(entryCount_) + ": " + mediaFile);
    Report(i, mediaFile, 0, 0);

    if (disk != 1 && disk != currentDisk_ &&
        port::DriveTypeOf(context_.sourceFolder) == kRemovableDrive) {
      if (!AskForDisk(disk, mediaFile)) return false;
      currentDisk_ = disk;
      if (!CheckBeforeChanges(context_, folder_, i, currentDisk_, false)) return false;
    }

    const std::string target = folder_ + record_.entryTargetSubfolders[i];
    currentTarget_ = target;
    if (!port::PathExists(target)) {
      if (context_.dryRun) {
        // Reported once, though every later entry into it would find it there.
        if (plannedFolders_.insert(target).second) Log("would create folder " + target);
      } else if (CreateFolderIfMissing(target)) {
        Log("created folder " + target);
      } else {
        Log("could not create folder " + target);
      }
    }
    if (!isArchive) return CopyPlainFile(i, target);

    if (isStart) {
      record_.entryFileNames[i] = mediaName;
      Log("START archive: variant " + mediaName + " for system index " +
          std::to_string(record_.systemIndex));
    }
    if (baseName == kExcelArchive) {
      if (!IsExcelTemplateDue(folder_)) {
        Log("excel template is up to date: " + mediaFile + " skipped");
        return true;
      }
      if (context_.dryRun) {
        Log("excel template is due");
      } else {
        Op().ShowMessage(messages::ExcelTemplateUpdated(), messages::CaptionConfirm(),
                         Buttons::kOk);
      }
    }
    if (!Extract(i, mediaName, mediaFile, target)) return false;
    // The version is claimed only once the variant's files are really in place.
    if (isStart && !record_.newVersion.empty() && record_.systemIndex <= kLastKeywordIndex) {
      WriteSetting(context_, "SYSTEM", "Version", record_.newVersion,
                   folder_ + record_.systemIniName);
    }
    return true;
  }

  bool Extract(int i, const std::string& mediaName, const std::string& mediaFile,
               const std::string& target) {
    ArchiveProgress progress(Op(), i + 1, entryCount_, !context_.dryRun);
    if (context_.dryRun) {
      Log("would extract " + mediaFile + " into " + target);
      std::string problem;
      const bool sound = archive::CheckArchive(
          mediaFile,
          [this](const archive::MemberInfo& member) {
            Log("  " + member.name + (member.isFolder ? " (folder)" : "") + " " + member.method +
                " " + std::to_string(member.size) + " bytes");
          },
          &problem);
      if (!sound) {
        Log("archive check failed: " + problem);
        return Fail(problem);
      }
      Log("archive sound: " + mediaFile);
      return true;
    }
    const std::string command = "e -mcw" + windowsFolder_ + " \"" + context_.sourceFolder +
                                mediaName + "\" \"" + target + "\"";
    Log("extract: " + command);
    char output[kArchiveOutputSize] = {};
    const int result = archive::ArchiveCommand(nullptr, command.c_str(), output, sizeof output);
    if (result != 0) {
      output[kArchiveOutputSize - 1] = '\0';
      Log(std::string("extraction failed: ") + output);
      return Fail(output);
    }
    Log("extracted " + mediaFile + " into " + target);
    return true;
  }

  bool CopyPlainFile(int i, const std::string& target) {
    const std::string source = context_.sourceFolder + record_.entryFileNames[i];
    const text::PathParts parts = text::SplitPath(source);
    const std::string targetFile = target + parts.name + parts.extension;
    currentTarget_ = targetFile;
    port::Error error;
    port::FileStatus status;
    if (context_.dryRun) {
      if (!port::ReadFileStatus(source, &status, &error)) {
        Log("cannot read " + source + " (" + error.Describe() + ")");
        return Fail(messages::UpdateFailed(targetFile));
      }
      Log("would copy " + source + " to " + targetFile + " (" + std::to_string(status.size) +
          " bytes) and clear its attributes");
      return true;
    }
    std::uint64_t size = 0;
    if (port::ReadFileStatus(source, &status)) size = status.size;
    Report(i, targetFile, 0, size);
    if (!port::CopyFileReplacing(source, targetFile, &error)) {
      Log("copy failed: " + error.Describe());
      return Fail(messages::UpdateFailed(targetFile));
    }
    Log("copied " + source + " to " + targetFile);
    Report(i, targetFile, size, size);
    // The installed files must be writable by the installed system: no read-only, hidden,
    // system or archive flag stays from the media.
    if (!port::ReadFileStatus(targetFile, &status, &error)) {
      Log("status read failed: " + error.Describe());
      return Fail(messages::AttributeUpdateFailed(targetFile));
    }
    status.attributes = 0;
    if (!port::WriteFileStatus(targetFile, status, &error)) {
      Log("status write failed: " + error.Describe());
      return Fail(messages::AttributeUpdateFailed(targetFile));
    }
    return true;
  }

  RunContext& context_;
  description::UpdateDescription& record_;
  std::string folder_;
  std::string windowsFolder_;
  std::string currentTarget_;
  int currentDisk_ = 1;
  int entryCount_ = 0;
  std::set<std::string> plannedFolders_;  // dry run: folders the run would create
};

int RunGuarded(RunContext& context) {
  Run run(context);
  try {
    return run.Execute();
  } catch (const std::exception& e) {
    // Nothing the run does is meant to throw; should memory run out, the person still gets
    // a message and the wizard closes in order.
    context.op.Log(std::string("run stopped: ") + e.what());
    context.op.ShowMessage(messages::UpdateFailed(run.CurrentTarget()), messages::CaptionConfirm(),
                           Buttons::kOk);
    return kRunClose;
  }
}

}  // namespace

int UpdateRun(RunContext& context) {
  ScopedWait wait(context.op);
  if (!context.dryRun) return RunGuarded(context);
  context.op.Log("dry run: nothing will be written");
  description::UpdateDescription copy = context.record;
  RunContext dry{copy, context.sourceFolder, context.op, true, context.unattended};
  const int result = RunGuarded(dry);
  context.refused = dry.refused;
  return result;
}

bool CreateFolderIfMissing(const std::string& path) {
  if (port::PathExists(path)) return true;
  return port::MakeFolder(path);
}

int IsExcelTemplateDue(const std::string& folder) {
  if (!port::PathExists(folder)) return 0;
  const std::string path = folder + messages::ExcelTemplatePath();
  if (!port::PathExists(path)) return 1;
  port::ExclusiveFile file;
  port::FileTime time = 0;
  if (!file.Open(path, false) || !file.LastWriteTime(&time)) return 1;
  file.Close();
  const std::int64_t seconds = port::UnixFromFileTime(time);
  std::int64_t days = seconds / 86400;
  if (seconds % 86400 < 0) --days;
  int year = 0, month = 0, day = 0;
  CivilFromDays(days, &year, &month, &day);
  const long date = year * 10000L + month * 100L + day;
  return date <= 20220205L ? 1 : 0;
}

}  // namespace koushin::engine
