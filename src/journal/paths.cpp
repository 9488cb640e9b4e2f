// Paths a journal may name: the spelling that compares folders, the names that stay where they
// are named, and the reach that every record is checked against before it is written or read.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>

#include "journal/journal_internal.h"
#include "text/cp932.h"
#include "text/path.h"

namespace koushin::journal {

// A tag of this process for temporary names, so that two programs never pick the same one.
const std::string& ProcessTag() {
  static const std::string tag = [] {
    std::random_device device;
    char text[16];
    std::snprintf(text, sizeof text, "%06x", static_cast<unsigned>(device()) & 0xFFFFFFu);
    return std::string(text);
  }();
  return tag;
}

std::string FolderOf(const std::string& path) {
  const std::size_t cut = text::FindLastSeparator(path);
  if (cut != std::string::npos) return path.substr(0, cut + 1);
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  return std::string();
}

std::string WithoutTrailingSeparator(const std::string& folder) {
  return text::EndsWithBackslash(folder) ? folder.substr(0, folder.size() - 1) : folder;
}

// One spelling per folder, so that each is synced once and two spellings of one path compare
// equal: letters upper-cased, separators single '\\' (but for a leading pair, which names a
// share).
std::string FolderKey(const std::string& folder) {
  std::string key;
  bool separator = false;
  for (std::size_t i = 0; i < folder.size();) {
    const std::size_t n = text::CharLength(folder, i);
    const bool isSeparator = n == 1 && (folder[i] == '\\' || folder[i] == '/');
    if (!(isSeparator && separator && i > 1)) {
      if (isSeparator) {
        key += '\\';
      } else {
        key.append(folder, i, n);
      }
    }
    separator = isSeparator;
    i += n;
  }
  return text::ToUpper(key);
}

// The names of a path key (FolderKey) after `from`, split at its separators.
std::vector<std::string> NamesOf(const std::string& key, std::size_t from) {
  std::vector<std::string> names(1);
  for (std::size_t i = from; i < key.size();) {
    const std::size_t n = text::CharLength(key, i);
    if (n == 1 && key[i] == '\\') {
      names.emplace_back();
    } else {
      names.back().append(key, i, n);
    }
    i += n;
  }
  if (names.back().empty()) names.pop_back();
  return names;
}

// A name that stays where it is named: no "." or ".." (Windows drops trailing dots and blanks,
// so "..." and ". ." climb too), no drive, stream or wildcard character, no control character.
bool PlainName(const std::string& name) {
  std::size_t end = name.size();
  while (end > 0 && (name[end - 1] == '.' || name[end - 1] == ' ')) --end;
  if (end == 0) return false;
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t n = text::CharLength(name, i);
    const auto c = static_cast<unsigned char>(name[i]);
    if (n == 1 && (c < 0x20 || std::strchr(":*?\"<>|/", c) != nullptr)) return false;
    i += n;
  }
  return true;
}

// The name prefix of a run's temporary files, "~kz" and the process tag (ProcessTag) and '-'.
bool TemporaryPrefixName(const std::string& name) {
  if (name.size() != 10 || name.compare(0, 3, "~KZ") != 0 || name[9] != '-') return false;
  return std::all_of(name.begin() + 3, name.begin() + 9,
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

// A kept file's name in the generation folder: 'k' and a number.
bool KeptName(const std::string& name) {
  return name.size() >= 2 && name.size() <= 12 && name[0] == 'k' &&
         std::all_of(name.begin() + 1, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Matches a name key against a pattern with '?' (one character) and '*' (any run), both
// upper-cased.
bool MatchesPattern(const std::string& pattern, std::size_t p, const std::string& name,
                    std::size_t i) {
  while (p < pattern.size()) {
    if (pattern[p] == '*') {
      for (std::size_t j = i;; j += text::CharLength(name, j)) {
        if (MatchesPattern(pattern, p + 1, name, j)) return true;
        if (j >= name.size()) return false;
      }
    }
    if (i >= name.size()) return false;
    const std::size_t n = text::CharLength(name, i);
    if (pattern[p] == '?') {
      ++p;
    } else {
      const std::size_t m = text::CharLength(pattern, p);
      if (m != n || pattern.compare(p, m, name, i, n) != 0) return false;
      p += m;
    }
    i += n;
  }
  return i == name.size();
}

// A name as Windows takes it, without its trailing dots and blanks.
std::string Trimmed(const std::string& name) {
  std::size_t end = name.size();
  while (end > 0 && (name[end - 1] == '.' || name[end - 1] == ' ')) --end;
  return name.substr(0, end);
}

// Whether `path` lies below `root` (or is it, with `rootItself`) by names that stay there, not in
// our own journal folder, and is reached without a link or mount point below the root.
bool WithinRoot(const std::string& root, const std::string& path, bool rootItself) {
  const std::string rootKey = FolderKey(root);
  std::string key = FolderKey(path);
  if (!text::EndsWithBackslash(key)) key += '\\';
  if (key == rootKey) return rootItself;
  if (key.size() < rootKey.size() || key.compare(0, rootKey.size(), rootKey) != 0) return false;
  const std::vector<std::string> names = NamesOf(key, rootKey.size());
  if (names.empty() || Trimmed(names[0]) == text::ToUpper(kJournalFolderName)) return false;
  if (!std::all_of(names.begin(), names.end(), PlainName)) return false;
  std::string walked = root;
  for (const std::string& name : names) {
    walked += name;
    if (port::IsLinkOrMountPoint(walked)) return false;
    walked += '\\';
  }
  return true;
}

std::string Reach::Refusal(const Record& record, bool first) const {
  if (first != (record.kind == RecordKind::kBegin)) {
    return record.path.empty() ? std::string("(a journal without its begin record)") : record.path;
  }
  const std::string folder = FolderOf(record.path);
  const std::string name = text::ToUpper(record.path.substr(folder.size()));
  const bool outsideFolder =
      !outside.pattern.empty() &&
      std::any_of(outside.folders.begin(), outside.folders.end(),
                  [&](const std::string& f) { return FolderKey(f) == FolderKey(folder); });
  // A file outside: in one of the folders, named by the pattern, not a link itself.
  auto outsideFile = [&](const std::string& path) {
    const std::string in = FolderOf(path);
    const std::string file = text::ToUpper(path.substr(in.size()));
    return !outside.pattern.empty() && PlainName(file) &&
           std::any_of(outside.folders.begin(), outside.folders.end(),
                       [&](const std::string& f) { return FolderKey(f) == FolderKey(in); }) &&
           MatchesPattern(text::ToUpper(outside.pattern), 0, file, 0) &&
           !port::IsLinkOrMountPoint(path);
  };
  bool ok = false;
  switch (record.kind) {
    case RecordKind::kBegin: {
      std::string key = FolderKey(record.path);
      if (!text::EndsWithBackslash(key)) key += '\\';
      ok = key == FolderKey(root);
      break;
    }
    case RecordKind::kTemporaryTree:
      ok = FolderKey(folder) == FolderKey(root) && TemporaryPrefixName(name);
      break;
    case RecordKind::kTemporary:
      ok = TemporaryPrefixName(name) && (WithinRoot(root, folder, true) || outsideFolder);
      break;
    case RecordKind::kCreatedFile:
    case RecordKind::kCreatedFolder:
      ok = WithinRoot(root, record.path, false);
      break;
    case RecordKind::kReplacedFile:
      if (!KeptName(record.kept)) return record.kept;
      ok = WithinRoot(root, record.path, false) || outsideFile(record.path);
      break;
    case RecordKind::kCommit:
      for (const FileMark& mark : record.files) {
        if (!WithinRoot(root, mark.path, false) && !outsideFile(mark.path)) return mark.path;
      }
      ok = true;
      break;
  }
  return ok ? std::string() : record.path;
}

bool CheckTargets(const std::vector<std::pair<std::string, std::string>>& moves,
                  std::size_t* failed, port::Error* error) {
  std::set<std::string> temporaries;
  for (const auto& move : moves) temporaries.insert(text::ToUpper(move.first));
  for (std::size_t i = 0; i < moves.size(); ++i) {
    const std::string& target = moves[i].second;
    if (failed != nullptr) *failed = i;
    port::FileStatus current;
    const char* why = nullptr;
    int code = 13;
    if (port::IsFolder(target)) {
      why = "a folder of that name";
      code = 21;
    } else if (port::ReadFileStatus(target, &current) &&
               (current.attributes & port::kAttrReadOnly)) {
      // Windows refuses to replace a read-only file; it is refused before anything is kept.
      why = "read-only";
    } else if (temporaries.count(text::ToUpper(target)) != 0) {
      why = "name of a temporary file";
    }
    if (why != nullptr) {
      if (error != nullptr) *error = {code, target, "replace", why};
      return false;
    }
  }
  return true;
}

}  // namespace koushin::journal
