#include "command_line.h"

#include <cctype>
#include <cstdlib>
#include <vector>

namespace koushin::console {

namespace {

// A drive letter as given ("c" or "C"); 0 when the text is not one letter.
char DriveLetter(const std::string& text) {
  if (text.size() != 1 || !std::isalpha(static_cast<unsigned char>(text[0]))) return 0;
  return static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine* commandLine,
                      std::string* problem) {
  CommandLine result;
  const std::size_t count = arguments.size();
  for (std::size_t i = 1; i < count; ++i) {
    std::string arg = arguments[i];
    std::optional<std::string> inlineValue;
    if (arg.rfind("--", 0) == 0) {
      const std::size_t equals = arg.find('=');
      if (equals != std::string::npos) {
        inlineValue = arg.substr(equals + 1);
        arg.resize(equals);
      }
    }
    // Takes the option's value: after '=' or the next argument.
    auto value = [&](std::string* out) {
      if (inlineValue) {
        *out = *inlineValue;
        return true;
      }
      if (i + 1 >= count) {
        *problem = arg + " に値がありません。";
        return false;
      }
      *out = arguments[++i];
      return true;
    };
    auto flag = [&](bool* out) {
      if (inlineValue) {
        *problem = arg + " には値を付けません。";
        return false;
      }
      *out = true;
      return true;
    };

    std::string text;
    if (arg == "--media") {
      if (!value(&result.media)) return false;
      if (result.media.empty()) return *problem = "--media にフォルダがありません。", false;
    } else if (arg == "--folder") {
      if (!value(&text)) return false;
      result.folder = text;
    } else if (arg == "--yes") {
      if (!flag(&result.yes)) return false;
    } else if (arg == "--dry-run") {
      if (!flag(&result.dryRun)) return false;
    } else if (arg == "--log") {
      if (!value(&result.logFile)) return false;
      if (result.logFile.empty()) return *problem = "--log にファイルがありません。", false;
    } else if (arg == "--drive") {
      if (!value(&text)) return false;
      const std::size_t equals = text.find('=');
      const char letter = equals == std::string::npos ? 0 : DriveLetter(text.substr(0, equals));
      if (letter == 0 || equals + 1 >= text.size()) {
        *problem = "--drive は X=フォルダ の形で指定します（指定: '" + text + "'）。";
        return false;
      }
      result.drives[letter] = text.substr(equals + 1);
    } else if (arg == "--removable") {
      if (!value(&text)) return false;
      const char letter = DriveLetter(text);
      if (letter == 0)
        return *problem =
                   "--removable にはドライブ名を 1 文字で指定します（指定: '" + text + "'）。",
               false;
      result.removable.insert(letter);
    } else if (arg == "--registry") {
      if (!value(&result.registryFile)) return false;
    } else if (arg == "--wine-prefix") {
      if (!value(&result.winePrefix)) return false;
    } else if (arg == "--windows-dir") {
      if (!value(&result.windowsFolder)) return false;
    } else if (arg == "--recover") {
      if (!flag(&result.recover)) return false;
    } else if (arg == "--undo") {
      if (!flag(&result.undo)) return false;
    } else if (arg == "--force") {
      if (!flag(&result.force)) return false;
    } else if (arg == "--report") {
      if (!value(&result.reportFile)) return false;
      if (result.reportFile.empty()) return *problem = "--report にファイルがありません。", false;
    } else if (arg == "--check-media") {
      if (!value(&text)) return false;
      result.checkMedia.push_back(text);
      // Further disks follow as plain arguments: disk 2, 3, ...
      while (!inlineValue && i + 1 < count && arguments[i + 1].rfind("-", 0) != 0) {
        result.checkMedia.push_back(arguments[++i]);
      }
      for (const std::string& folder : result.checkMedia) {
        if (folder.empty()) return *problem = "--check-media にフォルダがありません。", false;
      }
    } else if (arg == "--reinstall") {
      if (!flag(&result.reinstall)) return false;
    } else if (arg == "--status") {
      if (!flag(&result.status)) return false;
    } else if (arg == "--exit-codes") {
      if (!value(&text)) return false;
      if (text != "msi")
        return *problem = "--exit-codes には msi を指定します（指定: '" + text + "'）。", false;
      result.msiExitCodes = true;
    } else if (arg == "--medium") {
      if (!value(&text)) return false;
      if (text == "fd") {
        result.medium = Medium::kFloppy;
      } else if (text == "cd") {
        result.medium = Medium::kCd;
      } else {
        // A size in bytes, as koushin-pack takes it.
        char* end = nullptr;
        const unsigned long long bytes = std::strtoull(text.c_str(), &end, 10);
        if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])) || *end != '\0' ||
            bytes == 0) {
          return *problem =
                     "--medium には fd、cd またはバイト数を指定します（指定: '" + text + "'）。",
                 false;
        }
        result.medium = Medium::kBytes;
        result.mediumBytes = bytes;
      }
    } else if (arg == "--trusted-key") {
      if (!value(&text)) return false;
      if (text.empty()) return *problem = "--trusted-key にファイルがありません。", false;
      result.trustedKeys.push_back(text);
    } else if (arg == "--help" || arg == "-h") {
      result.help = true;
    } else if (arg == "--version") {
      result.version = true;
    } else {
      *problem = (arg.rfind("-", 0) == 0 ? "知らないオプションです: " : "余分な引数です: ") + arg;
      return false;
    }
  }
  if ((result.recover || result.undo || result.status) && !result.folder) {
    const char* option = result.undo ? "--undo" : result.recover ? "--recover" : "--status";
    return *problem = std::string(option) + " には --folder が必要です。", false;
  }
  if (result.status && (result.recover || result.undo || result.dryRun || result.reinstall ||
                        !result.checkMedia.empty())) {
    return *problem =
               "--status は単独で使います（--folder、--media "
               "とドライブのオプションは一緒に使えます）。",
           false;
  }
  if (result.reinstall && (result.recover || result.undo || !result.checkMedia.empty())) {
    return *problem = "--reinstall は更新と一緒にだけ使えます。", false;
  }
  if (result.recover && result.undo)
    return *problem = "--recover と --undo は一緒に使えません。", false;
  if (result.force && !result.undo) {
    return *problem = "--force は --undo と一緒にだけ使えます。", false;
  }
  // --recover and --undo always write: a dry run of them would put the installation back while
  // saying it wrote nothing. --status tells what they would do.
  if (result.dryRun && (result.recover || result.undo)) {
    return *problem =
               "--dry-run は更新と一緒にだけ使えます（--recover と --undo で何が起きるかは "
               "--status で分かります）。",
           false;
  }
  if (result.medium != Medium::kNone && result.checkMedia.empty()) {
    *problem = "--medium は --check-media と一緒にだけ使えます。";
    return false;
  }
  for (char letter : result.removable) {
    if (!result.drives.count(letter) && result.winePrefix.empty()) {
      *problem = std::string("--removable ") + letter + ": ドライブ " + letter +
                 ": が割り当てられていません（--drive または --wine-prefix）。";
      return false;
    }
  }
  *commandLine = result;
  return true;
}

std::string UsageText() {
  return "Usage: koushin [options]\n"
         "The update wizard in a terminal: shows the notice, asks for the installation folder,\n"
         "confirms, and updates the installation from the update media.\n"
         "\n"
         "  --media DIR         the update media (the folder with info.txt); default: the\n"
         "                      program's own folder\n"
         "  --folder PATH       the installation folder, as if typed and confirmed\n"
         "                      (C:\\EST with --drive C=/srv/c, or a host path /srv/c/EST)\n"
         "  --yes               unattended: start, take the folder, confirm; questions are\n"
         "                      answered OK only where the run can go on without a person\n"
         "  --dry-run           check the installation and every archive, write nothing;\n"
         "                      say what would change and the space the kept files need\n"
         "  --log FILE          log every step, file, INI key and message, with times\n"
         "                      (added to the end of an existing file)\n"
         "  --report FILE       write the outcome, exit status, versions and every change\n"
         "                      as JSON (also when the run fails)\n"
         "  --reinstall         apply media whose version is already installed again (a\n"
         "                      repair): files and settings, never the master conversions\n"
         "  --status            with --folder: the installation's version, variant, unfinished\n"
         "                      run, undo point and last run as JSON on standard output\n"
         "  --exit-codes msi    exit with Windows Installer's codes: 0 done (or nothing to do),\n"
         "                      1602 cancelled, 1618 another update or files in use, 1603 failed\n"
         "  --recover           with --folder: put back an update that did not finish, end\n"
         "  --undo [--force]    with --folder: put the installation back as it was before\n"
         "                      the last update (--force: even over files changed since)\n"
         "  --drive X=DIR       map drive X: to a host folder (repeatable)\n"
         "  --removable X       drive X: is removable (update disks are asked for)\n"
         "  --registry FILE     a .reg export (or system.reg) holding the uninstall entry\n"
         "  --wine-prefix DIR   take drives and registry from a Wine prefix\n"
         "  --windows-dir PATH  the Windows folder (default C:\\WINDOWS)\n"
         "  --check-media DIR [DIR2 ...]\n"
         "                      check update media for the vendor, disk 1, 2, ... as folders\n"
         "                      (one folder: every disk); install nothing, change nothing\n"
         "  --medium fd|cd|BYTES\n"
         "                      with --check-media: each disk must fit a floppy disk, a CD\n"
         "                      or that many bytes\n"
         "  --trusted-key FILE  demand media signed by this public key (PEM; repeatable);\n"
         "                      the keys in the installation's .koushin\\trusted\\ count too\n"
         "  --help, --version\n"
         "\n"
         "An update is all or nothing: when it stops, every change is put back.\n"
         "Media already installed change nothing (exit 0); an installation newer than the\n"
         "media is not updated (exit 2).\n"
         "Exit status: 0 updated (or current, recovered, undone, nothing to recover), 1\n"
         "cancelled and put back, 2 installation check failed (unattended, or the installation\n"
         "is newer than the media), 3 stopped on an error and put back (or another update is\n"
         "running), 4 info.txt invalid or missing, or the media refused (a file differs from\n"
         "the disk's list, a missing or untrusted signature; with --check-media: the media\n"
         "have a problem), 5 stopped and not fully put back (the\n"
         "journal is kept), 6 recovery or undo refused (a journal that cannot be read, files\n"
         "changed since the update), 7 a check before the first change failed (disk space, a\n"
         "read-only file, files in use; nothing was changed), 64 bad command line (or the\n"
         "--report file cannot be made).\n";
}

}  // namespace koushin::console
