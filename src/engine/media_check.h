// The media check: everything a vendor should know about a set of update media before they are
// copied to disks or burnt, found without an installation and without changing anything. The
// console wizard (--check-media) and the media compiler both call it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/media_list.h"

namespace koushin::engine {

// Capacities of the media a set is written to, in bytes.
constexpr std::uint64_t kFloppyBytes = 1457664;  // a 1.44 MB floppy disk as formatted
constexpr std::uint64_t kCdBytes = 681984000;    // a 650 MB CD

enum class Severity {
  kNote,     // for the vendor's information (the START variants found)
  kWarning,  // the wizard works, but perhaps not as meant
  kProblem,  // the wizard would fail, or do harm
};

struct MediaFinding {
  Severity severity = Severity::kProblem;
  int line = 0;      // the info.txt line it concerns, 0 for none
  int entry = 0;     // the 1-based entry it concerns, 0 for none
  int disk = 0;      // the 1-based disk it concerns, 0 for none
  std::string text;  // what is wrong, code page 932 (names from the media as they are)
};

// Checks the media whose disks are the folders `diskFolders` (code page 932 Windows or host paths
// as the port takes them, each ending with a separator): disk 1 first, and with a single folder
// every entry is looked for in it. `capacity` is the size of one disk, 0 for no limit. Returns
// the findings in the order they were found: the rules of info.txt (with its lines), every
// entry's file as the wizard looks for it (case-insensitively, on the disk its number names, and
// for START every variant START1..START15), every archive's headers, member CRCs, names and
// methods, each disk's size, the four pictures, target folders that lead out of the
// installation folder, and each disk's file list (koushin.sha256): every listed file with its
// digest, and with `keys` a signature by one of them. A single folder without info.txt whose
// subfolders disk1, disk2, ... hold the disks (as koushin-pack writes several disks) is taken as
// those disks. Nothing on the media is changed.
std::vector<MediaFinding> CheckMedia(const std::vector<std::string>& diskFolders,
                                     std::uint64_t capacity,
                                     const std::vector<TrustedKey>& keys = {});

// The folders of the disks as CheckMedia takes them: `diskFolders` as given, or for one folder
// holding disk1, disk2, ... those subfolders (ending with the given folder's separator).
std::vector<std::string> DiskFolders(const std::vector<std::string>& diskFolders);

// Whether a title keyword can be found in an installed system's title at all: a profile value
// ends at a line break, so a keyword holding a CR is found in none (koushin-pack fills the
// positions a manifest leaves unused so; an empty keyword, by contrast, is found in every title).
bool KeywordCanMatch(const std::string& keyword);

// One finding as the media check shows it, code page 932: its kind ("問題", "警告", "参考"),
// where it is (the entry, the info.txt line and, with `showDisk`, the disk) and what it is.
std::string FindingLine(const MediaFinding& finding, bool showDisk);
// The closing line: how many problems and warnings, and whether the media can be used.
std::string FindingsSummary(const std::vector<MediaFinding>& findings);

// The findings as the media check shows them, code page 932: one line each (FindingLine), in
// their order, with whether it is a problem, then the closing line (FindingsSummary). The console
// and koushin-pack print them so.
struct FindingsText {
  struct Line {
    std::string text;
    bool problem = false;
  };
  std::vector<Line> lines;
  std::string summary;
  std::string firstProblem;  // the first problem's line; empty when the media are sound
};
FindingsText FormatFindings(const std::vector<MediaFinding>& findings, bool showDisk);

// True when one of the findings is a problem (notes and warnings leave the media sound).
bool HasProblem(const std::vector<MediaFinding>& findings);

}  // namespace koushin::engine
