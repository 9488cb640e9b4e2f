// koushin: the update wizard in a terminal. The same steps as the Windows wizard, over the same
// engine: notice, destination, confirmation, update.
#include <cstdio>
#include <string>
#include <vector>

#include "command_line.h"
#include "console_operator.h"
#include "console_screens.h"
#include "description/update_description.h"
#include "engine/installation_check.h"
#include "engine/media_check.h"
#include "engine/product.h"
#include "engine/support_log.h"
#include "engine/update_run.h"
#include "journal/journal.h"
#include "port/port.h"
#include "run_log.h"
#include "run_report.h"
#include "terminal.h"
#include "text/cp932.h"
#include "text/path.h"
#include "wizard/sequencer.h"
#include "wizard/texts.h"

namespace koushin::console {

namespace {

constexpr int kExitUpdated = 0;
constexpr int kExitFailed = 3;
constexpr int kExitUsage = 64;

// Every way a run ends, by its report name (OutcomeName): the console's exit status and, for
// deployment tools that read them, Windows Installer's codes (success, cancelled by the person,
// another installation in progress (here also files in use), fatal error).
struct ExitCodes {
  const char* outcome;
  int status;
  int msi;
};
constexpr int kMsiBusy = 1618;
constexpr ExitCodes kExitCodes[] = {
    {"updated", 0, 0},
    {"current", 0, 0},
    {"planned", 0, 0},
    {"recovered", 0, 0},
    {"nothing to recover", 0, 0},
    {"undone", 0, 0},
    {"cancelled", 1, 1602},
    {"check failed", 2, 1603},
    {"stopped restored", 3, 1603},
    {"busy", 3, kMsiBusy},
    {"media invalid", 4, 1603},
    {"stopped not restored", 5, 1603},
    {"journal refused", 6, 1603},
    {"undo refused", 6, 1603},
    {"preflight refused", 7, 1603},
};

const ExitCodes& CodesOf(const std::string& outcome) {
  for (const ExitCodes& codes : kExitCodes) {
    if (outcome == codes.outcome) return codes;
  }
  return kExitCodes[8];  // stopped restored: a failure
}

constexpr char kProgramName[] = "koushin";
constexpr char kProgramVersion[] = "3.0.0";
constexpr char kVersion[] = "koushin 3.0.0 (console)";
constexpr char kHelpHint[] = "koushin --help で使い方を表示します。\n";

// Writes the text as it is to a C stream (stdout, stderr).
void Print(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

// The Windows Installer code of a run: the table's, but a run refused for a file in use is busy.
int MsiExitStatus(const RunRecord& record) {
  if (record.outcome == "preflight refused") {
    for (const engine::BlockingFile& file : record.summary.blockingFiles) {
      if (!file.readOnly) return kMsiBusy;
    }
  }
  return CodesOf(record.outcome).msi;
}

// The end of every run whose options could be read: the exit status (mapped when asked), the
// report when one was asked for, and the exit status in the log.
class Ending {
 public:
  Ending(const CommandLine& commandLine, RunLog& log) : commandLine_(commandLine), log_(log) {
    record_.program = kProgramName;
    record_.version = kProgramVersion;
    record_.host = port::HostNameUtf8();
    record_.startedAt = UtcNow();
    record_.dryRun = commandLine.dryRun;
    if (commandLine.folder) record_.folder = *commandLine.folder;
  }

  RunRecord& Record() { return record_; }

  // Ends with `outcome` (a report name) and its exit status, or `status` where the console's
  // own reason overrides it (a bad command line).
  int End(const std::string& outcome, const std::string& message, int status = -1) {
    record_.outcome = outcome;
    record_.exitStatus = commandLine_.msiExitCodes ? MsiExitStatus(record_)
                         : status >= 0             ? status
                                                   : CodesOf(outcome).status;
    if (!message.empty()) record_.message = message;
    record_.endedAt = UtcNow();
    if (!commandLine_.reportFile.empty()) {
      std::string problem;
      if (!WriteReportFile(commandLine_.reportFile, ReportJson(record_), &problem)) {
        Print(stderr, "koushin: 結果の報告ファイルを書けません: " + problem + "\n");
        log_.Write("cannot write the report: " + problem);
      }
    }
    log_.Write("outcome " + outcome + ", exit status " + std::to_string(record_.exitStatus));
    return record_.exitStatus;
  }

  // Ends a run of the engine: the summary on the terminal and in the log, then End.
  int EndRun(Terminal& terminal, engine::RunOutcome outcome, const engine::RunSummary& summary,
             const std::string& message) {
    record_.summary = summary;
    if (outcome != engine::RunOutcome::kCurrent && outcome != engine::RunOutcome::kCheckFailed) {
      const std::string summaryText = SummaryText(summary, commandLine_.dryRun);
      terminal.ShowUtf8(summaryText);
      log_.Write(summaryText.substr(0, summaryText.size() - 1));
    }
    return End(OutcomeName(outcome, commandLine_.dryRun), message);
  }

 private:
  const CommandLine& commandLine_;
  RunLog& log_;
  RunRecord record_;
};

// A usage problem found once the options were read: one line, the hint, exit 64.
int Usage(const std::string& problem) {
  Print(stderr, "koushin: " + problem + "\n" + kHelpHint);
  return kExitUsage;
}

// The public keys of --trusted-key. False with `problem` when one cannot be read or is no ECDSA
// P-256 public key: a key the administrator named must never be dropped quietly.
bool ReadTrustedKeys(const CommandLine& commandLine, std::vector<engine::TrustedKey>* keys,
                     std::string* problem) {
  for (const std::string& file : commandLine.trustedKeys) {
    engine::TrustedKey key;
    port::Utf8ToCp932(file, &key.name);
    std::FILE* f = port::OpenHostFile(file, "rb");
    if (f != nullptr) {
      char buffer[4096];
      std::size_t got;
      while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) key.pem.append(buffer, got);
      std::fclose(f);
    }
    if (f == nullptr || !engine::IsUsableKey(key.pem)) {
      *problem =
          "--trusted-key " + file + " は読める PEM 形式の ECDSA P-256 公開鍵ではありません。";
      return false;
    }
    keys->push_back(key);
  }
  return true;
}

// --check-media: the report, one line per finding and a summary, on standard output. Exit 0 when
// the media are sound (notes and warnings allowed), 4 when they have a problem.
int CheckMediaCommand(const CommandLine& commandLine, const std::string& programArgument,
                      RunLog& log, Ending& ending) {
  std::vector<std::string> folders;
  for (const std::string& given : commandLine.checkMedia) {
    std::string folder;
    std::string problem;
    if (!port::ResolveFolder(given, programArgument, &folder, &problem)) {
      Usage(problem);
      return ending.End("media invalid", problem, kExitUsage);
    }
    folders.push_back(folder);
  }
  ending.Record().media = ForTerminal(folders.front());
  const std::uint64_t capacity = commandLine.medium == Medium::kFloppy  ? engine::kFloppyBytes
                                 : commandLine.medium == Medium::kCd    ? engine::kCdBytes
                                 : commandLine.medium == Medium::kBytes ? commandLine.mediumBytes
                                                                        : 0;
  const auto usage = [&](const std::string& text) {
    Usage(text);
    return ending.End("media invalid", text, kExitUsage);
  };
  std::vector<engine::TrustedKey> keys;
  std::string problem;
  if (!ReadTrustedKeys(commandLine, &keys, &problem)) return usage(problem);
  if (commandLine.folder) {
    // The keys an installation trusts, for checking media as that installation would take them.
    std::string folder;
    std::string bad;
    if (!port::Utf8ToCp932(*commandLine.folder, &folder)) {
      return usage("--folder にシフトJIS で表せない文字があります。");
    }
    if (text::FindLastSeparator(folder) + 1 != folder.size()) {
      folder += port::IsWindowsPath(folder) ? '\\' : '/';
    }
    if (!engine::LoadInstalledKeys(folder, &keys, &bad)) {
      return usage("信頼する鍵 " + ForTerminal(bad) + " を使えません。");
    }
  }
  port::UseUtf8Console();
  const std::vector<engine::MediaFinding> findings = engine::CheckMedia(folders, capacity, keys);
  const engine::FindingsText text =
      engine::FormatFindings(findings, engine::DiskFolders(folders).size() > 1);
  std::string json;
  for (std::size_t i = 0; i < findings.size(); ++i) {
    const engine::MediaFinding& finding = findings[i];
    const std::string line = ForTerminal(text.lines[i].text);
    Print(stdout, line + "\n");
    log.Write(line);
    const char* kind = finding.severity == engine::Severity::kProblem   ? "problem"
                       : finding.severity == engine::Severity::kWarning ? "warning"
                                                                        : "note";
    json += std::string(json.empty() ? "" : ",") + "\n    {\"severity\": \"" + kind +
            "\", \"disk\": " + std::to_string(finding.disk) +
            ", \"entry\": " + std::to_string(finding.entry) +
            ", \"line\": " + std::to_string(finding.line) +
            ", \"text\": " + JsonUtf8(port::Cp932ToUtf8Lossy(finding.text)) + "}";
  }
  const std::string summary = ForTerminal(text.summary);
  Print(stdout, summary + "\n");
  log.Write(summary);
  ending.Record().findingsJson = "[" + json + (json.empty() ? "" : "\n  ") + "]";
  // The media check writes nothing: its outcome is the plan's (sound) or the media's fault.
  return text.firstProblem.empty() ? ending.End("planned", summary)
                                   : ending.End("media invalid", ForTerminal(text.firstProblem));
}

// The installation folder of --folder in the engine's form (code page 932).
bool EngineFolder(const CommandLine& commandLine, std::string* folder, std::string* problem) {
  if (!port::Utf8ToCp932(*commandLine.folder, folder)) {
    *problem = "--folder にシフトJIS で表せない文字があります。";
    return false;
  }
  return true;
}

// The files of ours in the installation's journal folder that --status reads: the report of the
// last run that took the installation's lock, and of the last update (the undo point).
std::string StateFile(const std::string& folder, const char* name) {
  std::string path = folder;
  if (!text::EndsWithBackslash(path)) path += '\\';
  return path + journal::kJournalFolderName + "\\" + name;
}
constexpr char kLastRunFile[] = "last-run.json";
constexpr char kLastUpdateFile[] = "last-update.json";

// Keeps the report of a run that changed (or tried to change) the installation in its journal
// folder, for --status. Runs that wrote nothing (current, refused, dry) keep nothing, so a
// second run of the same media leaves every byte as it was.
void KeepRunState(const std::string& folder, engine::RunOutcome outcome, bool dryRun,
                  const RunRecord& record, RunLog& log) {
  using engine::RunOutcome;
  const bool touched =
      !dryRun && (outcome == RunOutcome::kUpdated || outcome == RunOutcome::kStoppedRestored ||
                  outcome == RunOutcome::kStoppedNotRestored || outcome == RunOutcome::kRecovered ||
                  outcome == RunOutcome::kUndone ||
                  (outcome == RunOutcome::kCancelled && record.summary.restored));
  if (!touched || !port::IsFolder(StateFile(folder, ""))) return;
  const std::string json = ReportJson(record);
  port::Error error;
  if (!port::WriteFileAtomically(StateFile(folder, kLastRunFile), json, &error)) {
    log.Write("cannot keep the run's state: " + error.Describe());
  }
  if (outcome == RunOutcome::kUpdated) {
    port::WriteFileAtomically(StateFile(folder, kLastUpdateFile), json, &error);
  } else if (outcome == RunOutcome::kUndone) {
    port::RemoveFile(StateFile(folder, kLastUpdateFile));
  }
}

// Leaves the run's log in the installation's .koushin\logs\ when the run wrote to it, and tells
// the person where it is: what support asks for.
void KeepSupportLog(const std::string& folder, const std::string& media, engine::RunOutcome outcome,
                    const RunRecord& record, Terminal& terminal, RunLog& log) {
  if (!engine::RunWroteToInstallation(outcome, record.summary, record.dryRun)) return;
  engine::SupportLog& support = log.Support();
  support.SetHead(engine::SupportLogHead(kVersion, media, folder, record.summary));
  std::string path;
  port::Error error;
  if (support.Keep(folder, &path, &error)) {
    terminal.ShowUtf8("この実行の記録: " + ForTerminal(text::OneSeparator(path)) + "\n");
  } else {
    log.Write("cannot keep the run's log in the installation: " + error.Describe());
  }
}

// A JSON value read back from a file we wrote, or null.
std::string KeptJson(const std::string& path) {
  std::string bytes;
  if (!port::ReadWholeFile(path, &bytes) || bytes.empty() || bytes[0] != '{') return "null";
  while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.pop_back();
  return bytes;
}

// The value of a top-level string field of a report we wrote ("" when missing).
std::string KeptField(const std::string& json, const std::string& name) {
  const std::string key = "\n  \"" + name + "\": \"";
  const std::size_t at = json.find(key);
  if (at == std::string::npos) return std::string();
  const std::size_t begin = at + key.size();
  std::size_t end = begin;
  while (end < json.size() && json[end] != '"') end += json[end] == '\\' ? 2 : 1;
  return json.substr(begin, end - begin);
}

// --status: what a detection rule reads, as JSON on standard output. Reads only; exit 0.
int StatusCommand(const CommandLine& commandLine, const std::string& sourceFolder) {
  std::string folder;
  std::string problem;
  if (!EngineFolder(commandLine, &folder, &problem)) return Usage(problem);
  // The installation check's first steps on a record of the media, when they can be read: they
  // find the INI file and the variant the START rule would pick.
  description::UpdateDescription record;
  const bool media = description::LoadUpdateDescription(sourceFolder, &record).status ==
                     description::LoadStatus::kRead;
  if (!media) record.systemIniName = "NULL";
  std::string working = folder;
  const bool found = engine::LocateSystemIni(working, record) != 0;
  std::string json = "{\n  \"schema\": 1,\n";
  json += "  \"folder\": " + JsonUtf8(*commandLine.folder) + ",\n";
  json += "  \"installed\": " + std::string(found ? "true" : "false") + ",\n";
  const std::string version =
      found ? port::ProfileRead(engine::product::kSystemSection, engine::product::kVersionKey, "",
                                working + record.systemIniName)
            : "";
  json += "  \"version\": " + (found ? JsonUtf8(ForTerminal(version)) : "null") + ",\n";
  json +=
      "  \"systemIni\": " +
      (found ? JsonUtf8(ForTerminal(text::OneSeparator(working + record.systemIniName))) : "null") +
      ",\n";
  std::string variant = "null";
  std::string target = "null";
  if (found && media) {
    target = JsonUtf8(ForTerminal(record.newVersion));
    const int index = engine::IdentifySystem(working, record.systemIniName, record);
    if (index != engine::kSystemIndexNotIdentified) {
      variant = "{\"systemIndex\": " + std::to_string(index) + ", \"startArchive\": \"" +
                engine::product::kStartArchive + std::to_string(index) + "\"}";
    }
  }
  json += "  \"mediaVersion\": " + target + ",\n";
  json += "  \"variant\": " + variant + ",\n";
  std::string why;
  const journal::JournalState state = engine::OpenInstallation(working)->Peek(&why);
  const char* recover = state == journal::JournalState::kUnfinished
                            ? "puts the unfinished run back (the next update does so first)"
                        : state == journal::JournalState::kDamaged
                            ? "refuses: the journal cannot be read"
                            : "nothing to recover";
  json += "  \"unfinishedRun\": " +
          std::string(state == journal::JournalState::kUnfinished ? "true" : "false") + ",\n";
  json += "  \"journalReadable\": " +
          std::string(state == journal::JournalState::kDamaged ? "false" : "true") + ",\n";
  json += "  \"recover\": " + JsonUtf8(recover) + ",\n";
  journal::Installation installation(working);
  std::vector<std::string> changed;
  const journal::UndoCheck undo = installation.CheckUndo(&changed);
  const std::string lastUpdate = KeptJson(StateFile(working, kLastUpdateFile));
  if (undo == journal::UndoCheck::kNothing || undo == journal::UndoCheck::kDamaged) {
    json += "  \"undo\": null,\n";
  } else {
    // An update made by the Windows wizard keeps no report: its "to" is the version found now
    // (an undo that is not refused finds every file as that update left it).
    json += "  \"undo\": {\"from\": " +
            (lastUpdate == "null" ? "null" : JsonUtf8(KeptField(lastUpdate, "versionBefore"))) +
            ", \"to\": " +
            (lastUpdate != "null" ? JsonUtf8(KeptField(lastUpdate, "versionAfter"))
             : found              ? JsonUtf8(ForTerminal(version))
                                  : "null") +
            ", \"filesChangedSince\": " + std::to_string(changed.size()) + "},\n";
  }
  const std::string lastRun = KeptJson(StateFile(working, kLastRunFile));
  json += "  \"lastRunOutcome\": " +
          (lastRun == "null" ? "null" : JsonUtf8(KeptField(lastRun, "outcome"))) + ",\n";
  json += "  \"lastRun\": " + lastRun + "\n}\n";
  Print(stdout, json);
  return kExitUpdated;
}

int Run(int argc, char** argv) {
  CommandLine commandLine;
  std::string problem;
  // UTF-8 on every platform: on Windows from the wide command line, not the ANSI code page.
  const std::vector<std::string> arguments = port::ProgramArgumentsUtf8(argc, argv);
  if (!ParseCommandLine(arguments, &commandLine, &problem)) return Usage(problem);
  if (commandLine.help) {
    Print(stdout, UsageText());
    return kExitUpdated;
  }
  if (commandLine.version) {
    Print(stdout, std::string(kVersion) + "\n");
    return kExitUpdated;
  }

  port::Options options;
  for (const auto& [letter, folder] : commandLine.drives) {
    options.drives[letter] = port::AbsoluteHostPath(folder);
  }
  options.removable = commandLine.removable;
  options.registryFile = port::AbsoluteHostPath(commandLine.registryFile);
  options.winePrefix = port::AbsoluteHostPath(commandLine.winePrefix);
  if (!commandLine.windowsFolder.empty() &&
      !port::Utf8ToCp932(commandLine.windowsFolder, &options.windowsFolder)) {
    return Usage("--windows-dir にシフトJIS で表せない文字があります。");
  }
  port::Error error;
  if (!port::Configure(options, &error)) return Usage(error.Describe());
  // The report's place is checked before anything happens: a run whose report cannot be written
  // is not begun.
  if (!commandLine.reportFile.empty() && !CheckReportPath(commandLine.reportFile, &problem)) {
    return Usage(problem);
  }

  RunLog log;
  if (!commandLine.logFile.empty() && !log.Open(commandLine.logFile)) {
    return Usage("ログファイル " + commandLine.logFile + " を書けません。");
  }
  log.Write(std::string(kVersion) + " started");
  Ending ending(commandLine, log);
  const auto usage = [&](const std::string& text) {
    Usage(text);
    log.Write("bad command line: " + text);
    return ending.End("check failed", text, kExitUsage);
  };

  const std::string programArgument = arguments.empty() ? std::string() : arguments[0];
  if (!commandLine.checkMedia.empty()) {
    return CheckMediaCommand(commandLine, programArgument, log, ending);
  }

  ScreenSettings settings;
  settings.unattended = commandLine.yes;
  settings.dryRun = commandLine.dryRun;
  if (!port::ResolveFolder(commandLine.media, programArgument, &settings.sourceFolder, &problem)) {
    return usage(problem);
  }
  ending.Record().media = ForTerminal(settings.sourceFolder);
  if (commandLine.folder) {
    std::string folder;
    if (!EngineFolder(commandLine, &folder, &problem)) return usage(problem);
    settings.firstFolder = folder;
  }
  if (!ReadTrustedKeys(commandLine, &settings.trustedKeys, &problem)) return usage(problem);
  if (commandLine.status) return StatusCommand(commandLine, settings.sourceFolder);

  port::UseUtf8Console();
  Terminal terminal(stdin, stdout, port::IsTerminal(stdin), port::IsTerminal(stdout));
  if (commandLine.recover || commandLine.undo) {
    ConsoleOperator op(terminal, log, true);
    engine::RunSummary summary;
    // The installed version before and after, for the report: an undo or a recovery changes it.
    const auto installedVersion = [&]() {
      description::UpdateDescription probe;
      probe.systemIniName = "NULL";
      std::string working = *settings.firstFolder;
      if (engine::LocateSystemIni(working, probe) == 0) return std::string();
      return port::ProfileRead(engine::product::kSystemSection, engine::product::kVersionKey, "",
                               working + probe.systemIniName);
    };
    summary.versionBefore = installedVersion();
    const engine::RunOutcome outcome =
        commandLine.recover
            ? engine::RecoverInstallation(*settings.firstFolder, op, &summary.restore)
            : engine::UndoLastUpdate(*settings.firstFolder, commandLine.force, op,
                                     &summary.restore);
    // Only a restore that ran says so: a refused undo put nothing back.
    summary.restored = outcome == engine::RunOutcome::kRecovered ||
                       outcome == engine::RunOutcome::kUndone ||
                       outcome == engine::RunOutcome::kStoppedNotRestored;
    summary.versionAfter = installedVersion();
    const int status = ending.EndRun(terminal, outcome, summary, op.LastMessage());
    KeepRunState(*settings.firstFolder, outcome, false, ending.Record(), log);
    KeepSupportLog(*settings.firstFolder, settings.sourceFolder, outcome, ending.Record(), terminal,
                   log);
    return status;
  }
  description::UpdateDescription record;
  const description::LoadResult loaded =
      description::LoadUpdateDescription(settings.sourceFolder, &record);
  if (loaded.status == description::LoadStatus::kNotFound) {
    const std::string text = "koushin: 更新ディスク " + ForTerminal(settings.sourceFolder) +
                             " に info.txt がありません。";
    Print(stderr, text + "\n");
    log.Write(text);
    return ending.End("media invalid", text);
  }
  if (loaded.status == description::LoadStatus::kInvalid) {
    // The wizard's own words, as the Windows wizard shows them; the detail goes to the log.
    const std::string text =
        "koushin: " + ForTerminal(wizard::texts::DescriptionInvalid(loaded.line));
    Print(stderr, text + "\n");
    log.Write(text + " (" + loaded.problem + ")");
    return ending.End("media invalid", text);
  }
  log.WriteCp932("media " + settings.sourceFolder + ", " + std::to_string(record.entries.size()) +
                 " entries");
  // The window title: the first line of info.txt.
  terminal.ShowUtf8("*** " + ForTerminal(record.uninstallKeys[0]) + " ***\n");

  ConsoleOperator op(terminal, log, commandLine.yes);
  settings.reinstall = commandLine.reinstall;
  ConsoleScreens screens(terminal, log, op, settings);
  const wizard::WizardResult result = wizard::RunWizard(record, screens);
  ending.Record().folder = ForTerminal(record.installFolder);

  if (!commandLine.yes && terminal.InputEnded() &&
      (!op.Ran() || op.Outcome() == engine::RunOutcome::kCancelled)) {
    const std::string text =
        "質問に答える前に入力が終わったため、取り消しました（--yes を付けると自動で答えます）。";
    Print(stderr, "koushin: " + text + "\n");
    log.Write(text);
    ending.Record().summary = op.Summary();
    return ending.End("cancelled", text);
  }
  switch (result.kind) {
    case wizard::WizardResult::kCancelled:
      return ending.End("cancelled", op.LastMessage());
    case wizard::WizardResult::kScreenFailed:
      return ending.End("check failed", op.LastMessage(), kExitFailed);
    case wizard::WizardResult::kUpdateEnded:
      break;
  }
  if (!op.Ran()) return ending.End("stopped restored", op.LastMessage());
  const int status = ending.EndRun(terminal, op.Outcome(), op.Summary(), op.LastMessage());
  KeepRunState(record.installFolder, op.Outcome(), commandLine.dryRun, ending.Record(), log);
  KeepSupportLog(record.installFolder, settings.sourceFolder, op.Outcome(), ending.Record(),
                 terminal, log);
  return status;
}

}  // namespace
}  // namespace koushin::console

int main(int argc, char** argv) { return koushin::console::Run(argc, argv); }
