#include "engine/update_run.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <memory>
#include <set>

#include "archive/archive.h"
#include "engine/installation_check.h"
#include "engine/master_conversion.h"
#include "engine/messages.h"
#include "engine/post_update_settings.h"
#include "engine/preflight.h"
#include "engine/product.h"
#include "engine/setting_writer.h"
#include "journal/journal.h"
#include "port/port.h"
#include "text/cp932.h"
#include "text/path.h"

namespace koushin::engine {

namespace {

// A lock that could not be taken: another run holds it, or (with the cause in the log) the lock
// file or journal folder cannot be used. Nothing was changed either way.
RunOutcome LockRefused(const journal::Installation& installation, bool busy,
                       const port::Error& error, Operator& op) {
  if (busy) {
    op.Log("another run holds the lock: " + error.Describe());
    op.ShowMessage(messages::RunBusy(), messages::CaptionConfirm(), Buttons::kOk);
    return RunOutcome::kBusy;
  }
  op.Log("cannot lock the installation: " + error.Describe());
  op.ShowMessage(
      messages::UpdateFailed(error.path.empty() ? installation.JournalFolder() : error.path),
      messages::CaptionConfirm(), Buttons::kOk);
  return RunOutcome::kStoppedRestored;
}

constexpr int kRemovableDrive = 2;

// The archive library's per-member progress, passed to the operator while entry `entry` (of
// `entryCount`) is worked on: each member under its name in the installation (`target` + its
// name), and the bytes of the whole run (`written` counts each member once it is whole).
archive::ProgressCallback ArchiveProgress(Operator& op, int entry, int entryCount,
                                          const std::string& target, std::uint64_t* written,
                                          std::uint64_t planned) {
  return [&op, entry, entryCount, target, written, planned](
             const std::string& member, std::uint64_t done, std::uint64_t total) {
    if (done == total) {
      op.Log("  wrote " + member + " (" + std::to_string(total) + " bytes)");
    }
    Progress progress;
    progress.entry = entry;
    progress.entryCount = entryCount;
    progress.file = text::OneSeparator(target + member);
    progress.bytesDone = done;
    progress.bytesTotal = total;
    progress.runBytesDone = *written + done;
    progress.runBytesTotal = planned;
    if (done == total) *written += total;
    op.ReportProgress(progress);
  };
}

// One run, with the record it may change. Every change goes through the run's transaction;
// every failure shows its message, then the run puts every change back.
class Run {
 public:
  explicit Run(RunContext& context) : context_(context), record_(context.record) {}

  RunOutcome Execute() {
    folder_ = record_.installFolder;
    context_.summary.versionTarget = record_.newVersion;
    if (!CheckTargetInstallation(folder_, record_, context_.op)) return RunOutcome::kCheckFailed;
    // The version rule comes before anything is written. While an unfinished run waits, the
    // installed version may be the one that run wrote before it stopped: the rule is then applied
    // once that run has been put back, under the lock.
    const bool unfinished =
        context_.useJournal && OpenInstallation(folder_)->Peek() != journal::JournalState::kClean;
    RunOutcome versionOutcome;
    if (unfinished && !context_.dryRun) {
      Log("version: an unfinished run waits; the version is read once it is put back");
    } else if (!VersionAllowsRun(&versionOutcome)) {
      return versionOutcome;
    }
    // The keys this installation trusts, then the first disk against its list: before anything
    // is read from the media for the update, and before anything changes.
    keys_ = context_.trustedKeys;
    std::string badKey;
    if (!LoadInstalledKeys(folder_, &keys_, &badKey)) {
      Log("trusted key cannot be used: " + badKey);
      Fail(messages::TrustedKeyUnreadable(badKey));
      return RunOutcome::kMediaRefused;
    }
    entryCount_ = std::min(static_cast<int>(record_.entries.size()), description::kMaxEntries);
    if (!UseDisk(1) || !EntriesVouched(1)) return RunOutcome::kMediaRefused;
    // The plan, as far as the media in the drive reach; a dry run asks for every disk now.
    UpdatePlan& plan = context_.summary.plan;
    plan = UpdatePlan();
    PlanEntries(Input(), &plan);
    for (std::size_t checked = 0; context_.dryRun && plan.problem.empty();) {
      if (!CheckArchives(&checked)) return Stop();
      if (plan.Complete(entryCount_)) break;
      if (!NextDisk(plan.steps.back())) return Stop();
    }
    PlanSettings(Input(), &plan);
    if (!plan.problem.empty() && !RefuseMedia()) return Stop();
    context_.plannedBytes = plan.EntryBytes();
    // The checks before the first change come before the lock and the journal: a run they end
    // leaves nothing behind.
    if (!CheckBeforeChanges(context_, plan, 0, true)) {
      return context_.refused ? RunOutcome::kPreflightRefused : RunOutcome::kCancelled;
    }
    const std::string systemIni = folder_ + record_.systemIniName;
    LogPlan(plan);
    if (context_.dryRun) return DryRun(systemIni);
    if (context_.useJournal) {
      RunOutcome refused;
      if (!BeginTransaction(unfinished, &refused)) return refused;
    } else {
      // A run without the journal keeps its changes in memory and puts them back on failure,
      // but nothing survives a crash.
      transaction_ = journal::Transaction::InMemory();
    }
    context_.summary.versionBefore =
        port::ProfileRead(product::kSystemSection, product::kVersionKey, "", systemIni);
    // Steps are added while the run goes on: a later disk's, once it is in the drive.
    for (std::size_t s = 0; s < plan.steps.size(); ++s) {
      const PlanStep step = plan.steps[s];
      if (!DoStep(step, s)) return Stop();
    }
    currentTarget_ = systemIni;
    if (WritePostUpdateSettings(context_, *transaction_, folder_) != 1) return Stop();
    if (!Commit()) {
      Fail(messages::UpdateFailed(folder_));
      return Stop();
    }
    Log("update finished");
    Op().ShowMessage(messages::UpdateDone(), messages::CaptionConfirm(), Buttons::kOk);
    context_.summary.versionAfter =
        port::ProfileRead(product::kSystemSection, product::kVersionKey, "", systemIni);
    return RunOutcome::kUpdated;
  }

  // The step after the settings: the run's changes stand from here on (a journaled run's old
  // files are kept for an undo).
  bool Commit() {
    port::Error error;
    if (!transaction_->Commit(&error)) {
      Log("commit failed: " + error.Describe());
      return false;
    }
    if (context_.useJournal) Log("committed: the old files are kept for an undo");
    if (!transaction_->Unfinished().empty()) {
      Log("left for the next start: " + transaction_->Unfinished());
    }
    return true;
  }

  // Puts every change back after a failure whose message was shown, and says how that went.
  RunOutcome Stop() {
    const RunOutcome stopped = mediaRefused_      ? RunOutcome::kMediaRefused
                               : context_.refused ? RunOutcome::kPreflightRefused
                               : cancelled_       ? RunOutcome::kCancelled
                                                  : RunOutcome::kStoppedRestored;
    if (context_.dryRun || transaction_ == nullptr || transaction_->Committed()) return stopped;
    CollectChanges();
    Log("restoring the installation");
    context_.summary.restored = true;
    context_.summary.restore = transaction_->Restore();
    const journal::RestoreReport& report = context_.summary.restore;
    Log("restore: " + std::to_string(report.filesPutBack) + " files put back, " +
        std::to_string(report.filesRemoved) + " files and " +
        std::to_string(report.foldersRemoved) + " folders removed");
    DescribeFinalState(report);
    if (!report.Complete()) {
      for (const std::string& path : report.failed) Log("could not put back " + path);
      Op().ShowMessage(messages::RestoreFailed(report.failed), messages::CaptionConfirm(),
                       Buttons::kOk);
      return RunOutcome::kStoppedNotRestored;
    }
    Op().ShowMessage(messages::Restored(), messages::CaptionConfirm(), Buttons::kOk);
    return stopped;
  }

  // After a restore the summary says what the installation holds now, not what the run tried:
  // only the changes that could not be put back remain, and the version is read again.
  void DescribeFinalState(const journal::RestoreReport& report) {
    RunSummary& summary = context_.summary;
    const std::set<std::string> failed(report.failed.begin(), report.failed.end());
    std::vector<journal::Change> remaining;
    for (const journal::Change& change : summary.changes) {
      if (failed.count(change.path) != 0) remaining.push_back(change);
    }
    summary.changes = remaining;
    summary.keptBytes = 0;
    if (report.Complete()) {
      summary.iniKeysWritten = 0;
      summary.masterRecordsConverted = 0;
    }
    summary.versionAfter = port::ProfileRead(product::kSystemSection, product::kVersionKey, "",
                                             folder_ + record_.systemIniName);
  }

  void CollectChanges() {
    // A dry run's changes are those it planned.
    if (context_.dryRun || transaction_ == nullptr) return;
    // A file written more than once (an INI file, one key at a time) is one change, as it
    // was first made; the space counts every kept version.
    context_.summary.changes.clear();
    context_.summary.keptBytes = 0;
    std::set<std::string> seen;
    for (const journal::Change& change : transaction_->Changes()) {
      context_.summary.keptBytes += change.keptSize;
      // The same file, however its path was spelled (the archive's target folder doubles a
      // separator, the conversion does not).
      if (seen.insert(text::ToUpper(text::OneSeparator(change.path))).second) {
        context_.summary.changes.push_back(change);
      }
    }
  }

  // The file the failure message names when something unexpected stops the run.
  bool Committed() const { return transaction_ != nullptr && transaction_->Committed(); }

  // What the run was changing; before its first change, the installation folder.
  const std::string& CurrentTarget() const {
    if (!currentTarget_.empty()) return currentTarget_;
    return folder_.empty() ? record_.installFolder : folder_;
  }

 private:
  Operator& Op() { return context_.op; }

  void Log(const std::string& line) { Op().Log(line); }

  // The version rule: media already installed end the run as current (unless a repair was
  // asked for, which then leaves the master conversions out); an installation newer than the
  // media refuses the run. Nothing has been written when it returns false with the outcome.
  bool VersionAllowsRun(RunOutcome* outcome) {
    const InstalledVersion version = ReadInstalledVersion(folder_, record_);
    context_.summary.versionBefore = version.installed;
    Log("version: " + version.why);
    switch (version.standing) {
      case VersionStanding::kSame:
        if (context_.reinstall) {
          Log("version: repair: the files and settings are written again, the master "
              "conversions are not run a second time");
          context_.convertMasters = false;
          return true;
        }
        context_.summary.versionAfter = version.installed;
        Op().ShowMessage(messages::AlreadyCurrent(version.installed), messages::CaptionConfirm(),
                         Buttons::kOk);
        *outcome = RunOutcome::kCurrent;
        return false;
      case VersionStanding::kNewer:
        context_.summary.versionAfter = version.installed;
        Op().ShowMessage(messages::NewerInstalled(version.installed, record_.newVersion),
                         messages::CaptionError(), Buttons::kOk);
        *outcome = RunOutcome::kCheckFailed;
        return false;
      case VersionStanding::kUnknown:
        // A repair cannot tell whether the conversions ran: they are left out, as each extra
        // run damages records.
        if (context_.reinstall) {
          Log("version: repair: the master conversions are not run");
          context_.convertMasters = false;
        }
        return true;
      case VersionStanding::kOlder:
        return true;
    }
    return true;
  }

  // Takes the installation's lock, puts back an earlier run that did not finish, and opens the
  // journal. False, with the outcome, when the run must not go on. `versionDue`: the version
  // rule has yet to be applied, once an unfinished run has been put back.
  bool BeginTransaction(bool versionDue, RunOutcome* refused) {
    installation_ = OpenInstallation(folder_);
    bool busy = false;
    port::Error error;
    if (!installation_->Lock(&busy, &error)) {
      *refused = LockRefused(*installation_, busy, error, Op());
      return false;
    }
    std::string why;
    const journal::JournalState state = installation_->Inspect(&why);
    for (const std::string& note : installation_->Notes()) Log(note);
    switch (state) {
      case journal::JournalState::kDamaged:
        Log("journal cannot be read: " + why);
        Op().ShowMessage(messages::JournalDamaged(), messages::CaptionConfirm(), Buttons::kOk);
        *refused = RunOutcome::kJournalRefused;
        return false;
      case journal::JournalState::kUnfinished: {
        Log("an earlier run did not finish: restoring it");
        Op().ShowMessage(messages::UnfinishedRun(), messages::CaptionConfirm(), Buttons::kOk);
        const journal::RestoreReport report = installation_->Recover();
        if (!report.Complete()) {
          for (const std::string& path : report.failed) Log("could not put back " + path);
          Op().ShowMessage(messages::RestoreFailed(report.failed), messages::CaptionConfirm(),
                           Buttons::kOk);
          context_.summary.restore = report;
          *refused = RunOutcome::kStoppedNotRestored;
          return false;
        }
        Log("earlier run restored");
        break;
      }
      case journal::JournalState::kClean:
        break;
    }
    if (versionDue && !VersionAllowsRun(refused)) {
      installation_.reset();  // the lock
      return false;
    }
    transaction_ = installation_->Begin(&error);
    if (transaction_ == nullptr) {
      Log("cannot begin the journal: " + error.Describe());
      Fail(messages::UpdateFailed(installation_->JournalFolder()));
      *refused = RunOutcome::kStoppedRestored;
      return false;
    }
    Log("journal: " + installation_->JournalFolder());
    return true;
  }

  void Report(int i, const std::string& file, std::uint64_t done, std::uint64_t total) {
    Progress progress;
    progress.entry = i + 1;
    progress.entryCount = entryCount_;
    progress.file = file;
    progress.bytesDone = done;
    progress.bytesTotal = total;
    progress.runBytesDone = bytesWritten_ + done;
    progress.runBytesTotal = context_.plannedBytes;
    Op().ReportProgress(progress);
  }

  bool Fail(const std::string& text) {
    Op().ShowMessage(text, messages::CaptionConfirm(), Buttons::kOk);
    return false;
  }

  // Checks the disk now in the drive against its file list (and its signature, when keys are
  // trusted), once, when the run first uses it. False, with the message shown, when the disk
  // must not be used.
  bool UseDisk(int disk) {
    disk_ = CheckDisk(context_.sourceFolder, keys_);
    switch (disk_.verdict) {
      case DiskVerdict::kNoList:
        Log("disk " + std::to_string(disk) + ": no file list, the files are not checked");
        return true;
      case DiskVerdict::kSound:
        Log("disk " + std::to_string(disk) + ": " + std::to_string(disk_.files.size()) +
            " files match the list" + (disk_.signer.empty() ? "" : ", signed by " + disk_.signer));
        return true;
      default:
        break;
    }
    const std::string text = DiskRefusal(disk_, disk);
    Log("disk " + std::to_string(disk) + " refused: " + text);
    mediaRefused_ = true;
    return Fail(text);
  }

  // Every file the entries read from disk `disk` must be on its list, so that a disk lacking one
  // is refused before anything changes from it, not halfway through.
  bool EntriesVouched(int disk) {
    const bool removable = port::DriveTypeOf(context_.sourceFolder) == kRemovableDrive;
    for (int i = 0; i < entryCount_; ++i) {
      const int entryDisk = record_.entries[i].diskNumber;
      const bool fromThisDisk = !removable || entryDisk == disk || (disk == 1 && entryDisk < 1);
      if (fromThisDisk && !Vouched(MediaName(record_.entries[i], record_.systemIndex))) {
        return false;
      }
    }
    return true;
  }

  // False, with the message, when the current disk has a list that does not name `name`: the
  // run reads nothing the list does not vouch for.
  bool Vouched(const std::string& name) {
    if (disk_.Covers(name)) return true;
    Log("not in the disk's file list: " + name);
    mediaRefused_ = true;
    return Fail(messages::MediaFileUnlisted(name));
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
        cancelled_ = true;
        Op().ShowMessage(messages::Cancelled(), messages::CaptionConfirm(), Buttons::kOk);
        return false;
      }
      if (port::PathExists(mediaFile)) return true;
    }
  }

  PlanInput Input() const { return MakePlanInput(context_, folder_); }

  // A media file the plan needs is missing or unreadable: found before anything changed from it.
  // Shows the message and returns false; the run then stops.
  bool RefuseMedia() {
    Log("media: " + context_.summary.plan.problem);
    mediaRefused_ = true;
    return Fail(context_.summary.plan.problem);
  }

  // Asks for the disk of step `ask`, checks it, and plans its entries. False when the person
  // cancels or the disk must not be used (the message shown).
  bool NextDisk(const PlanStep& ask) {
    if (!AskForDisk(ask.disk, ask.source)) return false;
    if (!UseDisk(ask.disk) || !EntriesVouched(ask.disk)) return false;
    PlanNextDisk(Input(), &context_.summary.plan);
    return true;
  }

  // A dry run decodes the archives of the steps planned from `*checked` on, while their disk is
  // in the drive, and checks every CRC. False, with the message shown, at the first bad one.
  bool CheckArchives(std::size_t* checked) {
    const std::vector<PlanStep>& steps = context_.summary.plan.steps;
    for (; *checked < steps.size(); ++*checked) {
      if (steps[*checked].kind != StepKind::kExtract) continue;
      std::string problem;
      if (!archive::CheckArchive(steps[*checked].source, {}, &problem)) {
        Log("archive check failed: " + problem);
        return Fail(problem);
      }
      Log("archive sound: " + steps[*checked].source);
    }
    return true;
  }

  // A dry run ends here, its plan checked: the plan logged and counted as the report's; nothing
  // written.
  RunOutcome DryRun(const std::string& systemIni) {
    const UpdatePlan& plan = context_.summary.plan;
    RunSummary& summary = context_.summary;
    summary.changes = plan.Changes();
    summary.keptBytes = plan.KeptBytes();
    summary.iniKeysWritten = plan.IniKeys();
    summary.masterRecordsConverted = plan.MasterRecords();
    summary.versionBefore =
        port::ProfileRead(product::kSystemSection, product::kVersionKey, "", systemIni);
    Log("dry run finished: nothing was written");
    Op().ShowMessage(messages::DryRunDone(), messages::CaptionConfirm(), Buttons::kOk);
    return RunOutcome::kUpdated;
  }

  void LogPlan(const UpdatePlan& plan) {
    for (const std::string& line : PlanLines(plan)) Log("plan: " + line);
  }

  // Carries out one step of the plan; `index` is its place in plan.steps.
  bool DoStep(const PlanStep& step, std::size_t index) {
    if (step.entry != currentEntry_) {
      currentEntry_ = step.entry;
      const description::UpdateEntry& entry = record_.entries[step.entry - 1];
      Log("entry " + std::to_string(step.entry) + " of " + std::to_string(entryCount_) + ": " +
          context_.sourceFolder + MediaName(entry, record_.systemIndex));
      Report(step.entry - 1, std::string(), 0, 0);
    }
    switch (step.kind) {
      case StepKind::kAskForDisk:
        if (!NextDisk(step)) return false;
        if (!context_.summary.plan.problem.empty()) return RefuseMedia();
        context_.plannedBytes = context_.summary.plan.EntryBytes();
        for (const std::string& line : PlanLines(context_.summary.plan, index + 1, false)) {
          Log("plan: " + line);
        }
        // A refusal here stops the run, which then puts back what the earlier disks changed.
        if (!CheckBeforeChanges(context_, context_.summary.plan, index + 1, false)) {
          cancelled_ = !context_.refused;
          return false;
        }
        return true;
      case StepKind::kMakeFolder:
        currentTarget_ = step.path;
        if (port::PathExists(step.path)) return true;
        Log((CreateFolderIfMissing(*transaction_, step.path) ? "created folder "
                                                             : "could not create folder ") +
            step.path);
        return true;
      case StepKind::kExtract:
        return Extract(step);
      case StepKind::kCopy:
        return CopyPlainFile(step);
      case StepKind::kWriteIni:
        currentTarget_ = step.path;
        for (const PlannedKey& key : step.keys) {
          if (!WriteSetting(context_, *transaction_, key.section, key.key, key.newValue,
                            step.path)) {
            return Fail(messages::UpdateFailed(step.path));
          }
        }
        return true;
      case StepKind::kConvertMaster:
        return true;  // the settings' steps (WritePostUpdateSettings)
    }
    return true;
  }

  bool Extract(const PlanStep& step) {
    currentTarget_ = step.path;
    if (!step.startVariant.empty()) {
      // The wizard's record keeps the variant, as a second run with it expects.
      record_.entries[step.entry - 1].fileName = step.startVariant;
      Log(step.reason);
    }
    if (step.excelNotice) {
      Log(step.reason);
      Op().ShowMessage(messages::ExcelTemplateUpdated(), messages::CaptionConfirm(), Buttons::kOk);
    }
    const archive::ProgressCallback progress = ArchiveProgress(
        Op(), step.entry, entryCount_, step.path, &bytesWritten_, context_.plannedBytes);
    archive::ExtractRequest request;
    request.archivePath = step.source;
    request.targetFolder = step.path;
    Log("extract: " + step.source + " into " + step.path);
    const archive::ExtractResult result = archive::Extract(request, *transaction_, progress);
    if (!result.Ok()) {
      Log("extraction failed: " + result.message);
      return Fail(result.message);
    }
    Log("extracted " + step.source + " into " + step.path);
    return true;
  }

  bool CopyPlainFile(const PlanStep& step) {
    const std::string& source = step.source;
    const std::string& targetFile = step.path;
    currentTarget_ = targetFile;
    port::Error error;
    port::FileStatus status;
    if (!port::ReadFileStatus(source, &status, &error)) {
      Log("cannot read " + source + " (" + error.Describe() + ")");
      return Fail(messages::UpdateFailed(targetFile));
    }
    const std::uint64_t size = status.size;
    Report(step.entry - 1, text::OneSeparator(targetFile), 0, size);
    // The copy gets its final status before it is put in place: the source's last-write time
    // and no read-only, hidden, system or archive flag (the installed files must be writable
    // by the installed system), so a crash never leaves a read-only file from the media.
    bool statusFailed = false;
    const bool copied = journal::ReplaceFile(
        *transaction_, targetFile,
        [&](port::OutputFile& out, const std::string& temporary, port::Error* e) {
          if (!journal::CopyInto(source, out, e)) return false;
          port::FileStatus final;
          final.lastWriteTime = status.lastWriteTime;
          final.attributes = step.attributesAfter;
          statusFailed = !port::WriteFileStatus(temporary, final, e);
          return !statusFailed;
        },
        &error);
    if (!copied) {
      Log((statusFailed ? "status write failed: " : "copy failed: ") + error.Describe());
      return Fail(statusFailed ? messages::AttributeUpdateFailed(targetFile)
                               : messages::UpdateFailed(targetFile));
    }
    Log("copied " + source + " to " + targetFile);
    Report(step.entry - 1, text::OneSeparator(targetFile), size, size);
    bytesWritten_ += size;
    return true;
  }

  RunContext& context_;
  description::UpdateDescription& record_;
  std::string folder_;
  std::string currentTarget_;
  int currentEntry_ = 0;  // the entry whose steps are being carried out
  int entryCount_ = 0;
  std::uint64_t bytesWritten_ = 0;  // of the entries done so far, for the progress
  bool cancelled_ = false;
  bool mediaRefused_ = false;     // a disk failed its list or signature
  std::vector<TrustedKey> keys_;  // the command line's and the installation's
  DiskCheck disk_;                // the current disk's list
  std::unique_ptr<journal::Installation> installation_;  // holds the lock
  // The run's changes: journaled, or in memory (a dry run's, which takes none, or a run without
  // the journal).
  std::unique_ptr<journal::Transaction> transaction_;
};

// Runs a step whose failure must not end the program: what it throws is passed over.
void Quietly(const std::function<void()>& step) {
  try {
    step();
  } catch (...) {
  }
}

RunOutcome RunGuarded(RunContext& context) {
  Run run(context);
  RunOutcome outcome;
  try {
    outcome = run.Execute();
  } catch (...) {
    // Nothing the run does is meant to throw; should memory run out or an operator fail, the
    // person still gets a message, the changes are put back and the wizard closes in order. Once
    // committed, the update stands: what failed after that was tidying up. What throws again
    // here is passed over: a restore cut short leaves its journal, which the next start finishes.
    Quietly([&] { context.op.Log("run stopped by an exception"); });
    if (run.Committed()) {
      Quietly([&] {
        context.op.Log("the update was committed before: it stands");
        context.op.ShowMessage(messages::UpdateDone(), messages::CaptionConfirm(), Buttons::kOk);
      });
      outcome = RunOutcome::kUpdated;
    } else {
      Quietly([&] {
        context.op.ShowMessage(messages::UpdateFailed(run.CurrentTarget()),
                               messages::CaptionConfirm(), Buttons::kOk);
      });
      outcome = RunOutcome::kStoppedNotRestored;
      Quietly([&] { outcome = run.Stop(); });
    }
  }
  // The summary of an update that stands; should it fail for want of memory, it is left short.
  if (outcome == RunOutcome::kUpdated) Quietly([&] { run.CollectChanges(); });
  return outcome;
}

}  // namespace

int UpdateRun(RunContext& context) {
  ScopedWait wait(context.op);
  context.summary = RunSummary();
  context.convertMasters = true;
  if (!context.dryRun) {
    context.outcome = RunGuarded(context);
  } else {
    context.op.Log("dry run: nothing will be written");
    description::UpdateDescription copy = context.record;
    RunContext dry{copy, context.sourceFolder, context.op, true, context.unattended};
    dry.reinstall = context.reinstall;
    dry.useJournal = context.useJournal;
    dry.trustedKeys = context.trustedKeys;
    context.outcome = RunGuarded(dry);
    context.summary = dry.summary;
    context.refused = dry.refused;
    // A dry run goes on past a failed check, to report everything; its outcome says so.
    if (dry.refused && context.outcome == RunOutcome::kUpdated) {
      context.outcome = RunOutcome::kPreflightRefused;
    }
  }
  // The version after says what the installation holds now: a run that changed nothing (or
  // whose changes were all put back) leaves the version it found.
  if (context.summary.versionAfter.empty()) {
    context.summary.versionAfter = context.summary.versionBefore;
  }
  return context.outcome == RunOutcome::kCheckFailed ? kRunBackToDestination : kRunClose;
}

std::unique_ptr<journal::Installation> OpenInstallation(const std::string& folder) {
  auto installation = std::make_unique<journal::Installation>(folder);
  std::string root = folder;
  if (!root.empty() && !text::EndsWithBackslash(root) && root.back() != '/') root += '\\';
  installation->AllowOutside(MasterFiles(root + product::kMasterSetupIni));
  return installation;
}

RunOutcome RecoverInstallation(const std::string& folder, Operator& op,
                               journal::RestoreReport* report) {
  const std::unique_ptr<journal::Installation> opened = OpenInstallation(folder);
  journal::Installation& installation = *opened;
  bool busy = false;
  port::Error error;
  std::string why;
  const journal::JournalState peeked = installation.Peek(&why);
  if (peeked == journal::JournalState::kClean) {
    op.ShowMessage(messages::NothingToRecover(), messages::CaptionConfirm(), Buttons::kOk);
    return RunOutcome::kNothingToRecover;
  }
  if (peeked == journal::JournalState::kDamaged) {
    op.Log("journal cannot be read: " + why);
    op.ShowMessage(messages::JournalDamaged(), messages::CaptionConfirm(), Buttons::kOk);
    return RunOutcome::kJournalRefused;
  }
  if (!installation.Lock(&busy, &error)) return LockRefused(installation, busy, error, op);
  const journal::JournalState state = installation.Inspect(&why);
  for (const std::string& note : installation.Notes()) op.Log(note);
  if (state == journal::JournalState::kDamaged) {
    op.Log("journal cannot be read: " + why);
    op.ShowMessage(messages::JournalDamaged(), messages::CaptionConfirm(), Buttons::kOk);
    return RunOutcome::kJournalRefused;
  }
  if (state == journal::JournalState::kClean) {
    op.ShowMessage(messages::NothingToRecover(), messages::CaptionConfirm(), Buttons::kOk);
    return RunOutcome::kNothingToRecover;
  }
  op.ShowMessage(messages::UnfinishedRun(), messages::CaptionConfirm(), Buttons::kOk);
  *report = installation.Recover();
  if (!report->Complete()) {
    for (const std::string& path : report->failed) op.Log("could not put back " + path);
    op.ShowMessage(messages::RestoreFailed(report->failed), messages::CaptionConfirm(),
                   Buttons::kOk);
    return RunOutcome::kStoppedNotRestored;
  }
  op.ShowMessage(messages::Restored(), messages::CaptionConfirm(), Buttons::kOk);
  return RunOutcome::kRecovered;
}

RunOutcome UndoLastUpdate(const std::string& folder, bool force, Operator& op,
                          journal::RestoreReport* report) {
  const std::unique_ptr<journal::Installation> opened = OpenInstallation(folder);
  journal::Installation& installation = *opened;
  bool busy = false;
  port::Error error;
  if (!installation.Lock(&busy, &error)) return LockRefused(installation, busy, error, op);
  std::string why;
  const journal::JournalState state = installation.Inspect(&why);
  for (const std::string& note : installation.Notes()) op.Log(note);
  if (state == journal::JournalState::kDamaged) {
    op.Log("journal cannot be read: " + why);
    op.ShowMessage(messages::JournalDamaged(), messages::CaptionConfirm(), Buttons::kOk);
    return RunOutcome::kJournalRefused;
  }
  if (state == journal::JournalState::kUnfinished) {
    // An unfinished run comes first: --recover, or the next run, puts it back.
    op.Log("an unfinished run waits: it must be put back before an undo");
    op.ShowMessage(messages::RecoverFirst(), messages::CaptionConfirm(), Buttons::kOk);
    return RunOutcome::kUndoRefused;
  }
  std::vector<std::string> changed;
  switch (installation.CheckUndo(&changed, &why)) {
    case journal::UndoCheck::kNothing:
      op.ShowMessage(messages::NothingToUndo(), messages::CaptionConfirm(), Buttons::kOk);
      return RunOutcome::kUndoRefused;
    case journal::UndoCheck::kDamaged:
      op.Log("journal cannot be read: " + why);
      op.ShowMessage(messages::JournalDamaged(), messages::CaptionConfirm(), Buttons::kOk);
      return RunOutcome::kJournalRefused;
    case journal::UndoCheck::kChanged: {
      std::string text = messages::UndoRefused();
      for (const std::string& path : changed) text += "\r\n" + text::OneSeparator(path);
      for (const std::string& path : changed) op.Log("changed since the update: " + path);
      if (!force) {
        op.ShowMessage(text, messages::CaptionConfirm(), Buttons::kOk);
        return RunOutcome::kUndoRefused;
      }
      op.Log("undo forced");
      break;
    }
    case journal::UndoCheck::kReady:
      break;
  }
  *report = installation.Undo();
  if (!report->Complete()) {
    for (const std::string& path : report->failed) op.Log("could not put back " + path);
    op.ShowMessage(messages::RestoreFailed(report->failed), messages::CaptionConfirm(),
                   Buttons::kOk);
    return RunOutcome::kStoppedNotRestored;
  }
  op.ShowMessage(messages::Undone(), messages::CaptionConfirm(), Buttons::kOk);
  return RunOutcome::kUndone;
}

bool CreateFolderIfMissing(journal::Transaction& transaction, const std::string& path) {
  if (port::PathExists(path)) return true;
  return transaction.MakeFolder(path);
}

PlanInput MakePlanInput(const RunContext& context, const std::string& folder) {
  PlanInput input{context.record, folder, context.sourceFolder};
  input.removable = port::DriveTypeOf(context.sourceFolder) == kRemovableDrive;
  input.convertMasters = context.convertMasters;
  input.readMasterMembers = context.dryRun;
  return input;
}

}  // namespace koushin::engine
