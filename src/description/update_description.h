// The update description: info.txt on the media, loaded into one record for the whole run.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace koushin::description {

constexpr int kHeaderLines = 42;  // lines before the first entry line
constexpr int kMaxEntries = 100;
constexpr int kMaxKeys = 15;
constexpr std::size_t kMaxEntryColumn = 31;  // bytes per entry column
// The largest info.txt read. A real one has 42 header lines of at most a few hundred bytes and
// at most 100 short entry lines, a few kilobytes in all; a file of more than a megabyte is no
// description, and reading it whole could exhaust the memory of the 32-bit programs.
constexpr std::size_t kMaxDescriptionBytes = 1 << 20;

// One entry line: an archive to extract or a plain file to copy, from one update disk into one
// folder of the installation. Texts are code page 932 bytes.
struct UpdateEntry {
  int diskNumber = 0;           // column 1: the update disk (1, 2, ...) that holds the item
  int kind = 0;                 // column 2: 1 = an LZH archive (NAME.lzh), else a plain file
  std::string fileName;         // column 3, upper case: the archive without ".lzh", or the file
  std::string targetSubfolder;  // column 4: appended unchanged to the installation folder
};

// The record, fields in their declared order. Texts are code page 932 bytes.
struct UpdateDescription {
  std::string installFolder;                        // line 16
  std::string systemIniName;                        // line 19 ("NULL": detect)
  std::array<std::string, kMaxKeys> uninstallKeys;  // lines 1-15
  std::string versionIniCode;                       // line 17
  std::string masterAdjust;                         // line 18
  std::string categoryCode;                         // line 20
  std::string viewBitmap;                           // line 22
  std::string noticeBitmap;                         // line 23
  std::string destinationBitmap;                    // line 24
  std::string confirmBitmap;                        // line 25
  std::string noticeText;                           // line 26, TABs converted
  std::string destinationText;                      // line 27, TABs converted
  std::vector<UpdateEntry> entries;                 // lines 43-, at most kMaxEntries
  std::string newVersion;                           // line 21
  std::array<std::string, kMaxKeys> titleKeywords;  // lines 28-42
  int systemIndex = 0;                              // set by the installation check
};

enum class LoadStatus { kRead, kNotFound, kInvalid };

struct LoadResult {
  LoadStatus status = LoadStatus::kNotFound;
  int line = 0;         // for kInvalid: the 1-based line at fault
  std::string problem;  // for kInvalid: what is wrong, in English
};

// The lines of an info.txt file as a text-mode read gives them: a Ctrl+Z byte (26) ends the file,
// a CR right before an LF is dropped (a CR anywhere else stays in the line), an LF ends a line, a
// last line without a line break still counts. A line's value ends at its first NUL byte, as the
// C string it is read into does, so that no text of the record holds a NUL that a path, a
// registry key or an INI value would silently cut in another place.
std::vector<std::string_view> DescriptionLines(std::string_view bytes);

// Parses the bytes of an info.txt file into `record` (which is reset first), as a text-mode read
// sees them: lines end in CR LF or LF, nothing is trimmed, a Ctrl+Z byte (26) ends the file, a
// NUL byte ends the value of its line (the rest of that line is dropped). The first 42 lines are
// the header; every further line, an empty one included, is an entry
// scanned into four columns that keep the previous line's values when empty or missing.
// kInvalid, with the 1-based line number and the problem, when the file has fewer than 42 lines
// (the line is the first one missing), an empty line 19 (system INI name), more than 100 entry
// lines or an entry column (of the four scanned) longer than 31 bytes; the record is then left
// empty, so that nothing is installed from a description that was not read whole. A file of
// exactly 42 lines has no entries and is valid.
LoadResult ParseUpdateDescription(const std::string& bytes, UpdateDescription* record);

// Every rule of the file that ParseUpdateDescription enforces, checked to the end rather than to
// the first broken one: each problem with its line, in the order of the file (empty when the file
// is valid). For the media check, which tells a vendor all of them at once.
std::vector<LoadResult> FindDescriptionProblems(const std::string& bytes);

// Reads sourceFolder + "info.txt" through the port and parses it. kNotFound leaves the empty
// record, which the wizards never run with (it would match any installation); its `problem` then
// holds the port's description of the failure, for the log. A file larger than
// kMaxDescriptionBytes is not read (kNotFound, the problem says so).
LoadResult LoadUpdateDescription(const std::string& sourceFolder, UpdateDescription* record);

}  // namespace koushin::description
