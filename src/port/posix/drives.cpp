// Drive letters on a POSIX host: the drive map, per-drive current folders, the current drive,
// drive types and the Windows folder.
#include "port/posix/drives.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <dirent.h>

#include <fstream>
#include <iterator>
#include <map>
#include <memory>

#include "port/posix/host_fs.h"
#include "port/posix/host_path.h"
#include "port/posix/registry.h"

namespace koushin::port::posix {

namespace {

struct PortState {
  std::map<char, DriveState> drives;
  char currentDrive = 0;
  std::string windowsFolder = "C:\\WINDOWS";
};

PortState& State() {
  static PortState state;
  return state;
}

// A whole host file (UTF-8 path), read as the host names it: a registry file given on the command
// line is not a Windows path to resolve.
bool ReadHostFile(const std::string& hostPath, std::string* bytes) {
  std::ifstream in(hostPath, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

std::string CanonicalFolder(const std::string& hostFolder) {
  char buffer[PATH_MAX];
  if (realpath(hostFolder.c_str(), buffer) == nullptr) return std::string();
  return buffer;
}

// The drives of a Wine prefix: every "x:" link in its dosdevices folder whose target exists.
void AddWineDrives(const std::string& prefix, std::map<char, DriveState>* drives) {
  const std::string folder = JoinHostPath(prefix, "dosdevices");
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) return;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name.size() != 2 || name[1] != ':') continue;
    const char letter = static_cast<char>(name[0] & ~0x20);
    if (letter < 'A' || letter > 'Z') continue;
    const std::string root = CanonicalFolder(JoinHostPath(folder, name));
    if (root.empty()) continue;
    (*drives)[letter].hostRoot = root;
  }
}

// Wine keeps the type of a drive in HKLM\Software\Wine\Drives ("a:" = "floppy", ...).
int WineDriveType(char letter) {
  std::string value;
  const std::string name = std::string(1, static_cast<char>(letter | 0x20)) + ":";
  if (RegistryReadString("Software\\Wine\\Drives", name, &value) != RegistryLookup::kFound) {
    return 0;
  }
  if (value == "floppy") return 2;
  if (value == "network") return 4;
  if (value == "cdrom") return 5;
  if (value == "hd") return 3;
  return 0;
}

}  // namespace

DriveState* FindDrive(char letter) {
  auto& drives = State().drives;
  const auto found = drives.find(letter);
  return found == drives.end() ? nullptr : &found->second;
}

char CurrentDriveLetter() { return State().currentDrive; }

void SetCurrentDriveLetter(char letter) { State().currentDrive = letter; }

}  // namespace koushin::port::posix

namespace koushin::port {

using posix::Fail;

bool Configure(const Options& options, Error* error) {
  posix::PortState state;
  if (!options.winePrefix.empty()) {
    struct stat info;
    if (stat(options.winePrefix.c_str(), &info) != 0) {
      return Fail(error, errno, options.winePrefix, "use Wine prefix");
    }
    if (!S_ISDIR(info.st_mode)) return Fail(error, ENOTDIR, options.winePrefix, "use Wine prefix");
    posix::AddWineDrives(options.winePrefix, &state.drives);
    state.windowsFolder = "C:\\windows";
  }
  for (const auto& [letter, folder] : options.drives) {
    const char upper = static_cast<char>(letter & ~0x20);
    if (upper < 'A' || upper > 'Z') {
      return Fail(error, EINVAL, std::string(1, letter), "map drive", "not a drive letter");
    }
    const std::string root = posix::CanonicalFolder(folder);
    struct stat info;
    if (root.empty() || stat(root.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
      return Fail(error, root.empty() ? errno : ENOTDIR, folder, "map drive");
    }
    state.drives[upper] = posix::DriveState{root, {}, 3};
  }
  if (!options.windowsFolder.empty()) state.windowsFolder = options.windowsFolder;

  std::string registryFile = options.registryFile;
  if (registryFile.empty() && !options.winePrefix.empty()) {
    const std::string systemReg = posix::JoinHostPath(options.winePrefix, "system.reg");
    if (access(systemReg.c_str(), F_OK) == 0) registryFile = systemReg;
  }
  posix::RegistryData registry;
  if (!registryFile.empty()) {
    std::string bytes;
    if (!posix::ReadHostFile(registryFile, &bytes)) {
      return Fail(error, errno != 0 ? errno : EIO, registryFile, "read registry");
    }
    if (!posix::ParseRegistryFile(bytes, &registry)) {
      return Fail(error, EINVAL, registryFile, "read registry", "not a registry file");
    }
  }

  if (options.currentDrive != 0) {
    state.currentDrive = static_cast<char>(options.currentDrive & ~0x20);
    if (state.drives.count(state.currentDrive) == 0) {
      return Fail(error, ENOENT, std::string(1, options.currentDrive) + ":", "select drive",
                  "no such drive");
    }
  } else if (state.drives.count('C') != 0) {
    state.currentDrive = 'C';
  } else if (!state.drives.empty()) {
    state.currentDrive = state.drives.begin()->first;
  }

  posix::InstallRegistry(std::move(registry));
  posix::State() = std::move(state);
  for (auto& [letter, drive] : posix::State().drives) {
    if (options.removable.count(letter) != 0 ||
        options.removable.count(static_cast<char>(letter | 0x20)) != 0) {
      drive.type = 2;
    } else if (!options.winePrefix.empty()) {
      const int wineType = posix::WineDriveType(letter);
      if (wineType != 0) drive.type = wineType;
    }
  }
  return true;
}

int CurrentDrive() {
  const char letter = posix::CurrentDriveLetter();
  return letter == 0 ? 0 : letter - 'A' + 1;
}

bool ChangeDrive(int number) {
  if (number < 1 || number > 26) return false;
  const char letter = static_cast<char>('A' + number - 1);
  if (posix::FindDrive(letter) == nullptr) return false;
  posix::SetCurrentDriveLetter(letter);
  return true;
}

bool ChangeFolder(const std::string& path, Error* error) {
  posix::ResolvedPath resolved;
  if (!posix::ResolveWindowsPath(path, &resolved, error, "change folder")) return false;
  if (resolved.drive == 0) {
    return Fail(error, EINVAL, path, "change folder", "not a path on a drive");
  }
  struct stat info;
  if (stat(resolved.hostPath.c_str(), &info) != 0) return Fail(error, errno, path, "change folder");
  if (!S_ISDIR(info.st_mode)) return Fail(error, ENOTDIR, path, "change folder");
  for (const std::string& name : resolved.names) {
    std::string cp932;
    if (!Utf8ToCp932(name, &cp932)) {
      return Fail(error, EILSEQ, path, "change folder", "folder name has no code page 932 form");
    }
  }
  posix::FindDrive(resolved.drive)->currentFolder = resolved.names;
  posix::SetCurrentDriveLetter(resolved.drive);
  return true;
}

std::string CurrentFolder() {
  const char letter = posix::CurrentDriveLetter();
  if (letter == 0) {
    char buffer[4096];
    std::string cp932;
    if (getcwd(buffer, sizeof buffer) == nullptr || !Utf8ToCp932(buffer, &cp932)) return {};
    return cp932;
  }
  std::string folder = std::string(1, letter) + ":";
  const auto& names = posix::FindDrive(letter)->currentFolder;
  if (names.empty()) return folder + "\\";
  for (const std::string& name : names) {
    std::string cp932;
    Utf8ToCp932(name, &cp932);
    folder += "\\" + cp932;
  }
  return folder;
}

std::vector<char> AvailableDrives() {
  std::vector<char> letters;
  for (const auto& entry : posix::State().drives) {
    letters.push_back(static_cast<char>(entry.first | 0x20));
  }
  return letters;
}

int DriveTypeOf(const std::string& path) {
  char letter = 0;
  if (path.size() >= 2 && path[1] == ':') {
    letter = static_cast<char>(path[0] & ~0x20);
  } else if (!path.empty() && path[0] == '/') {
    return 3;  // the host's own file system
  } else {
    letter = posix::CurrentDriveLetter();
  }
  const posix::DriveState* drive = posix::FindDrive(letter);
  return drive == nullptr ? 1 : drive->type;
}

std::string WindowsFolder() { return posix::State().windowsFolder; }

}  // namespace koushin::port
