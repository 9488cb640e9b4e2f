// The console wizard's command line.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace koushin::console {

enum class Medium { kNone, kFloppy, kCd, kBytes };

// Options as given (UTF-8, the terminal's text); main converts what the engine needs.
struct CommandLine {
  std::string media;                     // --media DIR; empty: the program's own folder
  std::optional<std::string> folder;     // --folder PATH
  bool yes = false;                      // --yes: unattended
  bool dryRun = false;                   // --dry-run
  std::string logFile;                   // --log FILE
  std::map<char, std::string> drives;    // --drive X=DIR (upper-case letters; the last one wins)
  std::set<char> removable;              // --removable X
  std::string registryFile;              // --registry FILE
  std::string winePrefix;                // --wine-prefix DIR
  std::string windowsFolder;             // --windows-dir PATH
  std::vector<std::string> checkMedia;   // --check-media DIR [DIR2 ...]: disk 1, 2, ...
  bool recover = false;                  // --recover: put back an unfinished run, then end
  bool undo = false;                     // --undo: put back the last update
  bool force = false;                    // --force: undo even over files changed since
  std::string reportFile;                // --report FILE: the run's outcome and changes as JSON
  bool reinstall = false;                // --reinstall: apply media already installed again
  bool status = false;                   // --status: the installation's state as JSON, then end
  bool msiExitCodes = false;             // --exit-codes msi: Windows Installer's exit codes
  Medium medium = Medium::kNone;         // --medium fd|cd|BYTES
  std::uint64_t mediumBytes = 0;         // --medium BYTES: the size of one disk
  std::vector<std::string> trustedKeys;  // --trusted-key FILE (repeatable): PEM public keys
  bool help = false;
  bool version = false;
};

// Parses the arguments after the first (the program), UTF-8 (port::ProgramArgumentsUtf8).
// Options take their value as the next argument or after '=' (--media=DIR). Returns false with
// a one-line `problem` for an unknown option, a missing or malformed value, or a stray argument.
bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine* commandLine,
                      std::string* problem);

// The text of --help.
std::string UsageText();

}  // namespace koushin::console
