// Directory search with '*' and '?' patterns, as FindFirstFile / CFileFind deliver entries.
#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "port/port.h"
#include "port/posix/host_fs.h"
#include "port/posix/host_path.h"
#include "text/cp932.h"

namespace koushin::port {

using posix::Fail;

namespace {

// The characters of a code page 932 text, each upper-cased as Windows compares names.
std::vector<std::string> Characters(const std::string& text) {
  const std::string upper = text::ToUpper(text);
  std::vector<std::string> characters;
  for (std::size_t i = 0; i < upper.size();) {
    const std::size_t length = text::CharLength(upper, i);
    characters.push_back(upper.substr(i, length));
    i += length;
  }
  return characters;
}

// '*' matches any run of characters, '?' exactly one; a double-byte character is one.
bool Glob(const std::vector<std::string>& pattern, const std::vector<std::string>& name) {
  std::size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == "?" || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == "*") {
      starP = p++;
      starN = n;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == "*") ++p;
  return p == pattern.size();
}

// Windows' own rules on top of the plain match: a pattern ending in ".*" also matches a name
// without any dot ("*.*" matches every name, "README.*" matches README), and one ending in "."
// matches the names without a dot ("*." lists the names without an extension).
bool MatchesPattern(const std::string& pattern, const std::string& name) {
  const std::vector<std::string> nameCharacters = Characters(name);
  std::vector<std::string> patternCharacters = Characters(pattern);
  if (Glob(patternCharacters, nameCharacters)) return true;
  const bool nameHasDot =
      std::find(nameCharacters.begin(), nameCharacters.end(), ".") != nameCharacters.end();
  if (nameHasDot) return false;
  const std::size_t size = patternCharacters.size();
  if (size >= 2 && patternCharacters[size - 2] == "." && patternCharacters[size - 1] == "*") {
    patternCharacters.resize(size - 2);
    return Glob(patternCharacters, nameCharacters);
  }
  if (size >= 1 && patternCharacters[size - 1] == ".") {
    patternCharacters.resize(size - 1);
    return Glob(patternCharacters, nameCharacters);
  }
  return false;
}

}  // namespace

bool FindEntries(const std::string& pattern, std::vector<FoundEntry>* entries, Error* error) {
  entries->clear();
  // The folder part keeps its separator, so "c:\\*.*" searches c's root and "c:*.*" its current
  // folder; a bare pattern searches the current folder.
  const std::size_t separator = text::FindLastSeparator(pattern);
  std::string folder, namePattern;
  if (separator != std::string::npos) {
    folder = pattern.substr(0, separator + 1);
    namePattern = pattern.substr(separator + 1);
  } else if (pattern.size() >= 2 && pattern[1] == ':') {
    folder = pattern.substr(0, 2);
    namePattern = pattern.substr(2);
  } else {
    folder = ".";
    namePattern = pattern;
  }
  if (namePattern.empty()) return Fail(error, ENOENT, pattern, "search", "no name pattern");

  posix::ResolvedPath resolved;
  if (!posix::ResolveWindowsPath(folder, &resolved, error, "search")) return false;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(resolved.hostPath.c_str()), closedir);
  if (!dir) return Fail(error, errno, pattern, "search");

  std::vector<FoundEntry> found;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string hostName = entry->d_name;
    const bool isDots = hostName == "." || hostName == "..";
    if (isDots && resolved.isRoot) continue;  // a drive's root has neither
    // A name with no code page 932 form, or with a '\\' in it (Linux allows one), cannot be
    // named by the caller; it is not delivered.
    std::string name;
    if (hostName.find('\\') != std::string::npos || !Utf8ToCp932(hostName, &name)) continue;
    if (!MatchesPattern(namePattern, name)) continue;
    struct stat info;
    const bool isFolder =
        stat(posix::JoinHostPath(resolved.hostPath, hostName).c_str(), &info) == 0 &&
        S_ISDIR(info.st_mode);
    found.push_back(FoundEntry{name, isFolder});
  }
  if (found.empty()) return Fail(error, ENOENT, pattern, "search", "no matching entry");
  std::sort(found.begin(), found.end(),
            [](const FoundEntry& a, const FoundEntry& b) { return a.name < b.name; });
  *entries = std::move(found);
  return true;
}

}  // namespace koushin::port
