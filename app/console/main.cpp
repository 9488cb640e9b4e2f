// koushin: the update wizard in a terminal. The same steps as the Windows wizard, over the same
// engine: notice, destination, confirmation, update.
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

#include "command_line.h"
#include "console_operator.h"
#include "console_screens.h"
#include "description/update_description.h"
#include "port/port.h"
#include "run_log.h"
#include "terminal.h"
#include "text/path.h"
#include "wizard/sequencer.h"

namespace koushin::console {

namespace {

// Exit statuses.
constexpr int kExitUpdated = 0;
constexpr int kExitCancelled = 1;
constexpr int kExitCheckFailed = 2;
constexpr int kExitFailed = 3;
constexpr int kExitBadDescription = 4;
constexpr int kExitUsage = 64;

constexpr char kVersion[] = "koushin 3.0.0 (console)";

// A host path made absolute, so that the port does not depend on the current folder that the
// destination step moves. Windows-style paths ("C:\\EST") stay as given.
std::string AbsoluteHostPath(const std::string& path) {
  if (path.empty()) return path;
  std::error_code error;
  const std::filesystem::path absolute =
      std::filesystem::absolute(std::filesystem::u8path(path), error);
  return error ? path : absolute.u8string();
}

bool IsWindowsStyle(const std::string& path) {
  return path.find('\\') != std::string::npos || (path.size() >= 2 && path[1] == ':');
}

// The media folder as the engine wants it: code page 932, ending with a separator.
bool MediaFolder(const std::string& given, const char* argv0, std::string* sourceFolder,
                 std::string* problem) {
  std::string folder = given;
  if (folder.empty()) {
    std::error_code error;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) program = std::filesystem::absolute(argv0, error);
    folder = program.parent_path().u8string();
  } else if (!IsWindowsStyle(folder)) {
    folder = AbsoluteHostPath(folder);
  }
  std::string cp932;
  if (!port::Utf8ToCp932(folder, &cp932)) {
    *problem = "the media folder has characters outside code page 932: " + folder;
    return false;
  }
  const char last = cp932.empty() ? '\0' : cp932.back();
  if (last != '\\' && last != '/') cp932 += IsWindowsStyle(cp932) ? '\\' : '/';
  *sourceFolder = cp932;
  return true;
}

int Usage(const std::string& problem) {
  std::cerr << "koushin: " << problem << "\n" << UsageText();
  return kExitUsage;
}

int Run(int argc, char** argv) {
  CommandLine commandLine;
  std::string problem;
  if (!ParseCommandLine(argc, argv, &commandLine, &problem)) return Usage(problem);
  if (commandLine.help) {
    std::cout << UsageText();
    return kExitUpdated;
  }
  if (commandLine.version) {
    std::cout << kVersion << "\n";
    return kExitUpdated;
  }

  RunLog log;
  if (!commandLine.logFile.empty() && !log.Open(commandLine.logFile)) {
    return Usage("cannot write the log file " + commandLine.logFile);
  }
  log.Write(std::string(kVersion) + " started");

  port::Options options;
  for (const auto& [letter, folder] : commandLine.drives) {
    options.drives[letter] = AbsoluteHostPath(folder);
  }
  options.removable = commandLine.removable;
  options.registryFile = AbsoluteHostPath(commandLine.registryFile);
  options.winePrefix = AbsoluteHostPath(commandLine.winePrefix);
  if (!commandLine.windowsFolder.empty() &&
      !port::Utf8ToCp932(commandLine.windowsFolder, &options.windowsFolder)) {
    return Usage("--windows-dir has characters outside code page 932");
  }
  port::Error error;
  if (!port::Configure(options, &error)) return Usage(error.Describe());

  ScreenSettings settings;
  settings.unattended = commandLine.yes;
  settings.dryRun = commandLine.dryRun;
  if (!MediaFolder(commandLine.media, argv[0], &settings.sourceFolder, &problem)) {
    return Usage(problem);
  }
  if (commandLine.folder) {
    std::string folder;
    if (!port::Utf8ToCp932(*commandLine.folder, &folder)) {
      return Usage("--folder has characters outside code page 932");
    }
    settings.firstFolder = folder;
  }

  PrepareTerminal();
  Terminal terminal(std::cin, std::cout, IsTerminal(0), IsTerminal(1));
  description::UpdateDescription record;
  const description::LoadResult loaded =
      description::LoadUpdateDescription(settings.sourceFolder, &record);
  if (loaded.status == description::LoadStatus::kNotFound) {
    const std::string text = "koushin: no info.txt in " + ForTerminal(settings.sourceFolder);
    std::cerr << text << "\n";
    log.Write(text);
    return kExitBadDescription;
  }
  if (loaded.status == description::LoadStatus::kInvalid) {
    const std::string text =
        "koushin: info.txt is invalid, line " + std::to_string(loaded.line) + ": " + loaded.problem;
    std::cerr << text << "\n";
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
      switch (op.Outcome()) {
        case RunOutcome::kUpdated:
          status = kExitUpdated;
          break;
        case RunOutcome::kCancelled:
          status = kExitCancelled;
          break;
        case RunOutcome::kCheckFailed:
          status = kExitCheckFailed;
          break;
        case RunOutcome::kFailed:
        case RunOutcome::kNotRun:
          status = kExitFailed;
          break;
      }
      break;
  }
  log.Write("exit status " + std::to_string(status));
  return status;
}

}  // namespace

}  // namespace koushin::console

int main(int argc, char** argv) { return koushin::console::Run(argc, argv); }
