// Windows paths to host paths: drives, separators, dots, and case-insensitive names.
#include "port/posix/host_path.h"

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "port/posix/drives.h"
#include "port/posix/host_fs.h"
#include "text/cp932.h"

namespace koushin::port::posix {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Drops the trailing dots and blanks Windows ignores ("EST." and "EST " name EST). A name made of
// dots only stays, so that "." and ".." keep their meaning.
std::string TrimName(const std::string& name) {
  if (name.find_first_not_of('.') == std::string::npos) return name;
  std::size_t end = name.size();
  while (end > 0 && (name[end - 1] == '.' || name[end - 1] == ' ')) --end;
  return end == 0 ? std::string(".") : name.substr(0, end);
}

std::vector<std::string> SplitHostPath(const std::string& path) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) names.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

// The host entry of `folder` that `name` stands for: the exact spelling when it exists, else the
// first entry in sorted order whose folded form is the same; empty when there is none.
std::string MatchEntry(const std::string& folder, const std::string& name) {
  struct stat info;
  if (lstat(JoinHostPath(folder, name).c_str(), &info) == 0) return name;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) return std::string();
  const std::string folded = FoldName(name);
  std::string best;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string candidate = entry->d_name;
    if (candidate == "." || candidate == "..") continue;
    if (FoldName(candidate) != folded) continue;
    if (best.empty() || candidate < best) best = candidate;
  }
  return best;
}

}  // namespace

std::string FoldName(const std::string& utf8) {
  std::string out(utf8);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto byte = static_cast<unsigned char>(out[i]);
    if (byte >= 'a' && byte <= 'z') {
      out[i] = static_cast<char>(byte - 'a' + 'A');
    } else if (byte == 0xEF && i + 2 < out.size() &&
               static_cast<unsigned char>(out[i + 1]) == 0xBD) {
      // U+FF41..U+FF5A (EF BD 81..9A) -> U+FF21..U+FF3A (EF BC A1..BA).
      const auto last = static_cast<unsigned char>(out[i + 2]);
      if (last >= 0x81 && last <= 0x9A) {
        out[i + 1] = static_cast<char>(0xBC);
        out[i + 2] = static_cast<char>(last + 0x20);
      }
      i += 2;
    }
  }
  return out;
}

std::string JoinHostPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::vector<std::string> SplitWindowsPath(const std::string& path) {
  std::vector<std::string> pieces;
  std::string piece;
  for (std::size_t i = 0; i < path.size();) {
    const std::size_t length = text::CharLength(path, i);
    if (length == 1 && IsSeparator(path[i])) {
      if (!piece.empty()) pieces.push_back(piece);
      piece.clear();
    } else {
      piece.append(path, i, length);
    }
    i += length;
  }
  if (!piece.empty()) pieces.push_back(piece);
  return pieces;
}

bool ResolveWindowsPath(const std::string& path, ResolvedPath* resolved, Error* error,
                        const char* operation) {
  *resolved = ResolvedPath();
  if (path.empty()) return Fail(error, ENOENT, path, operation, "empty path");
  if (path.find('\0') != std::string::npos) {
    return Fail(error, EINVAL, path, operation, "NUL byte in path");
  }

  std::string root;
  std::vector<std::string> names;  // host spelling, UTF-8
  std::size_t rest = 0;
  char drive = 0;
  const auto first = static_cast<unsigned char>(path[0]);
  if (path[0] == '/') {
    root = "/";
  } else if (path.size() >= 2 && path[1] == ':' &&
             ((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z'))) {
    drive = static_cast<char>(first & ~0x20);
    const DriveState* state = FindDrive(drive);
    if (state == nullptr) return Fail(error, ENOENT, path, operation, "no such drive");
    root = state->hostRoot;
    rest = 2;
    if (rest >= path.size() || !IsSeparator(path[rest])) names = state->currentFolder;
  } else if (IsSeparator(path[0])) {
    if (path.size() > 1 && IsSeparator(path[1])) {
      return Fail(error, ENOENT, path, operation, "network paths are not supported");
    }
    drive = CurrentDriveLetter();
    if (drive == 0) return Fail(error, ENOENT, path, operation, "no current drive");
    root = FindDrive(drive)->hostRoot;
  } else {
    drive = CurrentDriveLetter();
    if (drive != 0) {
      const DriveState* state = FindDrive(drive);
      root = state->hostRoot;
      names = state->currentFolder;
    } else {
      // No drives at all: relative to the host process's working folder.
      char buffer[4096];
      if (getcwd(buffer, sizeof buffer) == nullptr) {
        return Fail(error, errno, path, operation);
      }
      root = "/";
      names = SplitHostPath(buffer);
    }
  }

  // Lexical part, as Windows does it before touching the disk: dots, and names to UTF-8.
  for (const std::string& piece : SplitWindowsPath(path.substr(rest))) {
    const std::string name = TrimName(piece);
    if (name == ".") continue;
    if (name == "..") {
      if (!names.empty()) names.pop_back();
      continue;
    }
    std::string utf8;
    if (!Cp932ToUtf8(name, &utf8)) {
      return Fail(error, EILSEQ, path, operation, "name is not valid code page 932");
    }
    names.push_back(utf8);
  }

  if (!names.empty()) resolved->givenName = names.back();
  // Host part: each name as the folder holds it.
  std::string host = root;
  bool missing = false;
  for (std::string& name : names) {
    if (!missing) {
      const std::string found = MatchEntry(host, name);
      if (found.empty()) {
        missing = true;
      } else {
        name = found;
      }
    }
    host = JoinHostPath(host, name);
  }
  const bool trailingSeparator = path.back() == '/' || text::EndsWithBackslash(path);
  if (!names.empty() && trailingSeparator) host += '/';
  resolved->hostPath = host;
  resolved->drive = drive;
  resolved->isRoot = names.empty();
  resolved->names = std::move(names);
  return true;
}

bool ResolveHostPath(const std::string& path, std::string* hostPath, Error* error) {
  ResolvedPath resolved;
  if (!ResolveWindowsPath(path, &resolved, error, "resolve")) return false;
  *hostPath = resolved.hostPath;
  return true;
}

}  // namespace koushin::port::posix
