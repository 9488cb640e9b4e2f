// Files held open by running programs, found the way fuser finds them: every process's open
// descriptors in /proc/PID/fd and its mapped files in /proc/PID/maps are compared with the files
// asked about by device and inode, so any spelling of a path matches.
#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <utility>

#include "port/port.h"
#include "port/posix/host_fs.h"

namespace koushin::port {

namespace {

using FileKey = std::pair<dev_t, ino_t>;

constexpr char kWineServer[] = "wineserver";  // also "wineserver64"

std::unique_ptr<DIR, int (*)(DIR*)> OpenFolder(const std::string& path) {
  return {opendir(path.c_str()), closedir};
}

bool IsNumber(const char* name) {
  if (*name == '\0') return false;
  for (; *name != '\0'; ++name) {
    if (*name < '0' || *name > '9') return false;
  }
  return true;
}

std::string ReadSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The last component of a path written with '/' or '\\' separators.
std::string LastComponent(const std::string& path) {
  const std::size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The name a person knows the program by. Wine rewrites a Windows program's command line so that
// it starts with the Windows path of its program file ("C:\\EST\\est.exe"); that file's name is
// the program's name. Any other program is named by its first argument, or by the kernel's name.
std::string ProgramName(const std::string& process) {
  const std::string commandLine = ReadSmallFile(process + "/cmdline");
  std::string first = commandLine.substr(0, commandLine.find('\0'));
  std::string name = LastComponent(first);
  if (name.empty()) {
    name = ReadSmallFile(process + "/comm");
    while (!name.empty() && name.back() == '\n') name.pop_back();
  }
  std::string cp932;
  if (Utf8ToCp932(name, &cp932)) return cp932;
  for (char& c : name) {
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  }
  return name;
}

// The files of `wanted` that the process of /proc folder `process` has open or mapped.
std::set<std::size_t> FilesOfProcess(const std::string& process,
                                     const std::map<FileKey, std::size_t>& wanted) {
  std::set<std::size_t> hits;
  const auto look = [&](const std::string& path) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) return;
    const auto found = wanted.find({status.st_dev, status.st_ino});
    if (found != wanted.end()) hits.insert(found->second);
  };
  if (auto fds = OpenFolder(process + "/fd")) {
    while (const dirent* entry = readdir(fds.get())) {
      if (IsNumber(entry->d_name)) look(process + "/fd/" + entry->d_name);
    }
  }
  // A running program's own file and its libraries are mapped, not open.
  std::ifstream maps(process + "/maps");
  std::set<std::string> mapped;
  for (std::string line; std::getline(maps, line);) {
    const std::size_t slash = line.find('/');
    if (slash != std::string::npos) mapped.insert(line.substr(slash));
  }
  for (const std::string& path : mapped) look(path);
  return hits;
}

}  // namespace

bool FindFilesInUse(const std::vector<std::string>& paths, FilesInUse* found, Error* error) {
  *found = FilesInUse();
  std::map<FileKey, std::size_t> wanted;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    std::string host;
    struct stat status;
    if (!posix::ResolveHostPath(paths[i], &host) || stat(host.c_str(), &status) != 0 ||
        !S_ISREG(status.st_mode)) {
      continue;
    }
    wanted.emplace(FileKey{status.st_dev, status.st_ino}, i);
  }
  if (wanted.empty()) return true;
  auto processes = OpenFolder("/proc");
  if (!processes) return posix::Fail(error, errno, "/proc", "list processes in");
  const std::string self = std::to_string(getpid());
  // Per file, the programs holding it. The Wine server holds every file a Windows program has
  // open; it is named only when no Windows program is found beside it.
  std::map<std::size_t, std::set<std::string>> holders;
  while (const dirent* entry = readdir(processes.get())) {
    if (!IsNumber(entry->d_name) || self == entry->d_name) continue;
    const std::string process = std::string("/proc/") + entry->d_name;
    const std::set<std::size_t> hits = FilesOfProcess(process, wanted);
    if (hits.empty()) continue;
    const std::string program = ProgramName(process);
    for (std::size_t hit : hits) holders[hit].insert(program);
  }
  std::set<std::string> programs;
  for (auto& [file, names] : holders) {
    const auto isWineServer = [](const std::string& name) {
      return name.rfind(kWineServer, 0) == 0;
    };
    if (!std::all_of(names.begin(), names.end(), isWineServer)) {
      for (auto name = names.begin(); name != names.end();) {
        name = isWineServer(*name) ? names.erase(name) : std::next(name);
      }
    }
    programs.insert(names.begin(), names.end());
    found->files.push_back(paths[file]);
  }
  found->programs.assign(programs.begin(), programs.end());
  return true;
}

}  // namespace koushin::port
