// koushin: the update wizard in a terminal. The same steps as the Windows wizard, over the same
// engine: notice, destination, confirmation, update.
#include <cstdio>
#include <string>
#include <vector>

#include "command_line.h"
#include "console_operator.h"
#include "console_screens.h"
#include "description/update_description.h"
#include "engine/update_run.h"
#include "engine/media_check.h"
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

// Exit statuses.
constexpr int kExitUpdated = 0;
constexpr int kExitCancelled = 1;
constexpr int kExitCheckFailed = 2;
constexpr int kExitFailed = 3;
constexpr int kExitBadDescription = 4;
constexpr int kExitNotRestored = 5;
constexpr int kExitJournalRefused = 6;
constexpr int kExitPreflightRefused = 7;
constexpr int kExitUsage = 64;

constexpr char kVersion[] = "koushin 3.0.0 (console)";

// Writes the text as it is to a C stream (stdout, stderr).
void Print(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

// For a code page 932 path. A backslash counts only at a character boundary: it is also the trail
// byte of ソ, 表 and 能, which a host path may hold.
bool IsWindowsStyle(const std::string& path) {
  return text::FindAtCharBoundary(path, "\\") != std::string::npos ||
         (path.size() >= 2 && path[1] == ':');
}

// True for a Windows path that names the same folder whatever the current drive and folders are:
// "C:\\x", "C:/x", "\\\\server\\share".
bool IsFullWindowsPath(const std::string& path) {
  const auto isSeparator = [](char c) { return c == '\\' || c == '/'; };
  if (path.size() >= 3 && path[1] == ':' && isSeparator(path[2])) return true;
  return path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1]);
}

// The full path of a relative Windows folder ("upd\\", ".\\", "M:upd", "\\upd"), as the current
// drive and folders name it now; false when it cannot be entered. The current drive and the
// folders of the drives involved are put back as they were.
bool FullWindowsFolder(const std::string& path, std::string* full) {
  const int drive = port::CurrentDrive();
  const std::string before = port::CurrentFolder();
  std::string namedBefore;
  if (path.size() >= 2 && path[1] == ':') {
    const int named = (path[0] & ~0x20) - 'A' + 1;
    if (named != drive && port::ChangeDrive(named)) {
      namedBefore = port::CurrentFolder();
      port::ChangeDrive(drive);
    }
  }
  if (!port::ChangeFolder(path)) return false;
  *full = port::CurrentFolder();
  if (!namedBefore.empty()) port::ChangeFolder(namedBefore);
  if (!before.empty()) port::ChangeFolder(before);
  return !full->empty();
}

// The media folder as the engine wants it: code page 932, ending with a separator. A relative
// Windows path is made full here, once: the destination step moves the current drive's folder (to
// its root, and into every folder the user browses), and the media must not move with it.
bool MediaFolder(const std::string& given, const std::string& programArgument,
                 std::string* sourceFolder, std::string* problem) {
  std::string folder = given;
  if (folder.empty()) {
    folder = port::ProgramFolderUtf8(programArgument);
  } else {
    std::string spelled;  // the test reads code page 932, as every test below does
    if (port::Utf8ToCp932(folder, &spelled) && !IsWindowsStyle(spelled)) {
      folder = port::AbsoluteHostPath(folder);
    }
  }
  std::string cp932;
  if (!port::Utf8ToCp932(folder, &cp932)) {
    *problem = "the media folder has characters outside code page 932: " + folder;
    return false;
  }
  // A bare drive "A:" keeps meaning its root, as the separator added below makes it.
  const bool bareDrive = cp932.size() == 2 && cp932[1] == ':';
  if (IsWindowsStyle(cp932) && !IsFullWindowsPath(cp932) && !bareDrive) {
    std::string full;
    if (FullWindowsFolder(cp932, &full)) cp932 = full;
  }
  // The last byte may be the trail byte 0x5C of a double-byte character (ソ, 表), which is no
  // separator: "M:\ソ" still needs one.
  const std::size_t separator = text::FindLastSeparator(cp932);
  if (cp932.empty() || separator != cp932.size() - 1) {
    cp932 += IsWindowsStyle(cp932) ? '\\' : '/';
  }
  *sourceFolder = cp932;
  return true;
}

int ExitStatus(engine::RunOutcome outcome) {
  switch (outcome) {
    case engine::RunOutcome::kUpdated:
    case engine::RunOutcome::kRecovered:
      return kExitUpdated;
    case engine::RunOutcome::kCancelled:
      return kExitCancelled;
    case engine::RunOutcome::kCheckFailed:
      return kExitCheckFailed;
    case engine::RunOutcome::kStoppedRestored:
    case engine::RunOutcome::kBusy:
      return kExitFailed;
    case engine::RunOutcome::kStoppedNotRestored:
      return kExitNotRestored;
    case engine::RunOutcome::kJournalRefused:
      return kExitJournalRefused;
    case engine::RunOutcome::kPreflightRefused:
      return kExitPreflightRefused;
    case engine::RunOutcome::kMediaRefused:
      return kExitBadDescription;
  }
  return kExitFailed;
}

// The summary on the terminal and in the log, and the report file when one was asked for.
void Finish(const CommandLine& commandLine, Terminal& terminal, RunLog& log,
            engine::RunOutcome outcome, int status, const engine::RunSummary& summary) {
  const std::string summaryText = SummaryText(summary, commandLine.dryRun);
  terminal.ShowUtf8(summaryText);
  log.Write(summaryText.substr(0, summaryText.size() - 1));
  if (commandLine.reportFile.empty()) return;
  std::string problem;
  if (!WriteReportFile(commandLine.reportFile,
                       ReportJson(outcome, status, commandLine.dryRun, summary), &problem)) {
    Print(stderr, "koushin: cannot write the report: " + problem + "\n");
    log.Write("cannot write the report: " + problem);
  }
}

int Usage(const std::string& problem) {
  Print(stderr, "koushin: " + problem + "\n" + UsageText());
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
      *problem = "--trusted-key " + file + " is no readable PEM ECDSA P-256 public key";
      return false;
    }
    keys->push_back(key);
  }
  return true;
}

// A JSON string of a UTF-8 text.
std::string JsonText(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// --check-media: the report, one line per finding and a summary, on standard output. Exit 0 when
// the media are sound (notes and warnings allowed), 4 when they have a problem.
int CheckMediaCommand(const CommandLine& commandLine, const std::string& programArgument,
                      RunLog& log) {
  std::vector<std::string> folders;
  for (const std::string& given : commandLine.checkMedia) {
    std::string folder;
    std::string problem;
    if (!MediaFolder(given, programArgument, &folder, &problem)) return Usage(problem);
    folders.push_back(folder);
  }
  const std::uint64_t capacity = commandLine.medium == Medium::kFloppy ? engine::kFloppyBytes
                                 : commandLine.medium == Medium::kCd   ? engine::kCdBytes
                                 : commandLine.medium == Medium::kBytes ? commandLine.mediumBytes
                                                                        : 0;
  std::vector<engine::TrustedKey> keys;
  std::string problem;
  if (!ReadTrustedKeys(commandLine, &keys, &problem)) return Usage(problem);
  if (commandLine.folder) {
    // The keys an installation trusts, for checking media as that installation would take them.
    std::string folder;
    std::string bad;
    if (!port::Utf8ToCp932(*commandLine.folder, &folder)) {
      return Usage("--folder has characters outside code page 932");
    }
    if (text::FindLastSeparator(folder) + 1 != folder.size()) {
      folder += IsWindowsStyle(folder) ? '\\' : '/';
    }
    if (!engine::LoadInstalledKeys(folder, &keys, &bad)) {
      return Usage("the trusted key " + ForTerminal(bad) + " cannot be used");
    }
  }
  port::UseUtf8Console();
  const std::vector<engine::MediaFinding> findings = engine::CheckMedia(folders, capacity, keys);
  const std::size_t disks = engine::DiskFolders(folders).size();
  std::string json;
  int problems = 0;
  int warnings = 0;
  for (const engine::MediaFinding& finding : findings) {
    const char* kind = "note";
    if (finding.severity == engine::Severity::kProblem) {
      kind = "problem";
      ++problems;
    } else if (finding.severity == engine::Severity::kWarning) {
      kind = "warning";
      ++warnings;
    }
    const std::string line = ForTerminal(engine::FindingLine(finding, disks > 1));
    Print(stdout, line + "\n");
    log.Write(line);
    json += std::string(json.empty() ? "" : ",") + "\n    {\"severity\": \"" + kind +
            "\", \"disk\": " + std::to_string(finding.disk) +
            ", \"entry\": " + std::to_string(finding.entry) +
            ", \"line\": " + std::to_string(finding.line) +
            ", \"text\": " + JsonText(port::Cp932ToUtf8Lossy(finding.text)) + "}";
  }
  const std::string summary = ForTerminal(engine::FindingsSummary(findings));
  Print(stdout, summary + "\n");
  log.Write(summary);
  const int status = problems == 0 ? kExitUpdated : kExitBadDescription;
  if (!commandLine.reportFile.empty()) {
    const std::string report = "{\n  \"version\": 1,\n  \"kind\": \"media check\",\n"
                               "  \"exitStatus\": " + std::to_string(status) +
                               ",\n  \"problems\": " + std::to_string(problems) +
                               ",\n  \"warnings\": " + std::to_string(warnings) +
                               ",\n  \"findings\": [" + json + (json.empty() ? "" : "\n  ") +
                               "]\n}\n";
    if (!WriteReportFile(commandLine.reportFile, report, &problem)) {
      Print(stderr, "koushin: cannot write the report: " + problem + "\n");
      return kExitFailed;
    }
  }
  return status;
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

  RunLog log;
  if (!commandLine.logFile.empty() && !log.Open(commandLine.logFile)) {
    return Usage("cannot write the log file " + commandLine.logFile);
  }
  log.Write(std::string(kVersion) + " started");

  port::Options options;
  for (const auto& [letter, folder] : commandLine.drives) {
    options.drives[letter] = port::AbsoluteHostPath(folder);
  }
  options.removable = commandLine.removable;
  options.registryFile = port::AbsoluteHostPath(commandLine.registryFile);
  options.winePrefix = port::AbsoluteHostPath(commandLine.winePrefix);
  if (!commandLine.windowsFolder.empty() &&
      !port::Utf8ToCp932(commandLine.windowsFolder, &options.windowsFolder)) {
    return Usage("--windows-dir has characters outside code page 932");
  }
  port::Error error;
  if (!port::Configure(options, &error)) return Usage(error.Describe());

  const std::string programArgument = arguments.empty() ? std::string() : arguments[0];
  if (!commandLine.checkMedia.empty()) {
    return CheckMediaCommand(commandLine, programArgument, log);
  }

  ScreenSettings settings;
  settings.unattended = commandLine.yes;
  settings.dryRun = commandLine.dryRun;
  if (!MediaFolder(commandLine.media, programArgument, &settings.sourceFolder, &problem)) {
    return Usage(problem);
  }
  if (commandLine.folder) {
    std::string folder;
    if (!port::Utf8ToCp932(*commandLine.folder, &folder)) {
      return Usage("--folder has characters outside code page 932");
    }
    settings.firstFolder = folder;
  }
  if (!ReadTrustedKeys(commandLine, &settings.trustedKeys, &problem)) return Usage(problem);

  port::UseUtf8Console();
  Terminal terminal(stdin, stdout, port::IsTerminal(stdin), port::IsTerminal(stdout));
  if (commandLine.recover || commandLine.undo) {
    ConsoleOperator op(terminal, log, true);
    engine::RunSummary summary;
    summary.restored = true;
    const engine::RunOutcome outcome =
        commandLine.recover
            ? engine::RecoverInstallation(*settings.firstFolder, op, &summary.restore)
            : engine::UndoLastUpdate(*settings.firstFolder, commandLine.force, op,
                                     &summary.restore);
    const int status = ExitStatus(outcome);
    Finish(commandLine, terminal, log, outcome, status, summary);
    log.Write("exit status " + std::to_string(status));
    return status;
  }
  description::UpdateDescription record;
  const description::LoadResult loaded =
      description::LoadUpdateDescription(settings.sourceFolder, &record);
  if (loaded.status == description::LoadStatus::kNotFound) {
    const std::string text = "koushin: no info.txt in " + ForTerminal(settings.sourceFolder);
    Print(stderr, text + "\n");
    log.Write(text);
    return kExitBadDescription;
  }
  if (loaded.status == description::LoadStatus::kInvalid) {
    // The wizard's own words, as the Windows wizard shows them, then the detail.
    const std::string text =
        "koushin: " + ForTerminal(wizard::texts::DescriptionInvalid(loaded.line)) + " (" +
        loaded.problem + ")";
    Print(stderr, text + "\n");
    log.Write(text);
    return kExitBadDescription;
  }
  log.WriteCp932("media " + settings.sourceFolder + ", " + std::to_string(record.entryCount) +
                 " entries");
  // The window title: the first line of info.txt.
  terminal.ShowUtf8("*** " + ForTerminal(record.uninstallKeys[0]) + " ***\n");

  ConsoleOperator op(terminal, log, commandLine.yes);
  ConsoleScreens screens(terminal, log, op, settings);
  const wizard::WizardResult result = wizard::RunWizard(record, screens);

  int status = kExitFailed;
  switch (result.kind) {
    case wizard::WizardResult::kCancelled:
      status = kExitCancelled;
      break;
    case wizard::WizardResult::kScreenFailed:
      status = kExitFailed;
      break;
    case wizard::WizardResult::kUpdateEnded:
      status = op.Ran() ? ExitStatus(op.Outcome()) : kExitFailed;
      break;
  }
  if (op.Ran()) Finish(commandLine, terminal, log, op.Outcome(), status, op.Summary());
  log.Write("exit status " + std::to_string(status));
  return status;
}

}  // namespace
}  // namespace koushin::console

int main(int argc, char** argv) { return koushin::console::Run(argc, argv); }
