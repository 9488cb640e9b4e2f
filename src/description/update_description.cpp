#include "description/update_description.h"

#include <string_view>
#include <vector>

#include "port/port.h"
#include "text/cp932.h"
#include "text/line_breaks.h"
#include "text/number.h"

namespace koushin::description {

namespace {

constexpr int kSystemIniLine = 19;
constexpr char kEndOfFile = 26;  // Ctrl+Z ends a text file read in text mode

// The four scan fields shared by every entry line, 32 bytes each in the file's format: at most
// kMaxEntryColumn bytes of text.
struct ScanFields {
  std::string columns[4];
};

// Scans one entry line the way "%[^,],%[^,],%[^,],%[^,]\n" does: each field takes the bytes up
// to the next comma or the end of the line, and the scan stops at the first field that would be
// empty (or whose separating comma is missing), so that field and the ones after it keep their
// previous values. Returns the 1-based column that is too long, or 0.
int ScanEntryLine(std::string_view line, ScanFields* fields) {
  std::size_t pos = 0;
  for (int column = 0; column < 4; ++column) {
    if (column > 0) {
      if (pos >= line.size() || line[pos] != ',') return 0;
      ++pos;
    }
    std::size_t stop = line.find(',', pos);
    if (stop == std::string_view::npos) stop = line.size();
    if (stop == pos) return 0;
    if (stop - pos > kMaxEntryColumn) return column + 1;
    fields->columns[column].assign(line.substr(pos, stop - pos));
    pos = stop;
  }
  return 0;
}

const char* const kColumnNames[4] = {"disk number", "kind", "file name", "target subfolder"};

}  // namespace

std::vector<std::string_view> DescriptionLines(std::string_view bytes) {
  const std::size_t end = bytes.find(kEndOfFile);
  if (end != std::string_view::npos) bytes = bytes.substr(0, end);

  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t lf = bytes.find('\n', start);
    const bool terminated = lf != std::string_view::npos;
    if (!terminated) lf = bytes.size();
    std::size_t stop = lf;
    if (terminated && stop > start && bytes[stop - 1] == '\r') --stop;
    std::string_view line = bytes.substr(start, stop - start);
    const std::size_t nul = line.find('\0');
    if (nul != std::string_view::npos) line = line.substr(0, nul);
    lines.push_back(line);
    start = lf + 1;
  }
  return lines;
}

std::vector<LoadResult> FindDescriptionProblems(const std::string& bytes) {
  std::vector<LoadResult> problems;
  const std::vector<std::string_view> lines = DescriptionLines(bytes);
  // A cut-short file (a damaged disk, a copy that stopped) would otherwise run with empty values
  // that match any installation; the header is complete or the file is refused.
  if (static_cast<int>(lines.size()) < kHeaderLines) {
    const int missing = static_cast<int>(lines.size()) + 1;
    problems.push_back({LoadStatus::kInvalid, missing,
                        "the file ends before header line " + std::to_string(missing) + " of " +
                            std::to_string(kHeaderLines)});
    return problems;
  }
  // An empty system INI name makes the installation check probe the folder itself, which is
  // always there: any folder would pass.
  if (lines[kSystemIniLine - 1].empty()) {
    problems.push_back({LoadStatus::kInvalid, kSystemIniLine, "the system INI name is empty"});
  }
  ScanFields fields;
  for (int index = kHeaderLines; index < static_cast<int>(lines.size()); ++index) {
    const int lineNumber = index + 1;
    if (index - kHeaderLines == kMaxEntries) {
      problems.push_back({LoadStatus::kInvalid, lineNumber,
                          "more than " + std::to_string(kMaxEntries) + " entry lines"});
      break;
    }
    const int tooLong = ScanEntryLine(lines[index], &fields);
    if (tooLong != 0) {
      problems.push_back({LoadStatus::kInvalid, lineNumber,
                          std::string("entry column ") + std::to_string(tooLong) + " (" +
                              kColumnNames[tooLong - 1] + ") is longer than " +
                              std::to_string(kMaxEntryColumn) + " bytes"});
    }
  }
  return problems;
}

LoadResult ParseUpdateDescription(const std::string& bytes, UpdateDescription* record) {
  *record = UpdateDescription();
  const std::vector<LoadResult> problems = FindDescriptionProblems(bytes);
  if (!problems.empty()) return problems.front();

  const std::vector<std::string_view> lines = DescriptionLines(bytes);
  auto line = [&lines](int index) { return std::string(lines[index]); };
  for (int i = 0; i < kMaxKeys; ++i) record->uninstallKeys[i] = line(i);
  record->installFolder = line(15);
  record->versionIniCode = line(16);
  record->masterAdjust = line(17);
  record->systemIniName = line(18);
  record->categoryCode = line(19);
  record->newVersion = line(20);
  record->viewBitmap = line(21);
  record->noticeBitmap = line(22);
  record->destinationBitmap = line(23);
  record->confirmBitmap = line(24);
  record->noticeText = line(25);
  record->destinationText = line(26);
  for (int i = 0; i < kMaxKeys; ++i) record->titleKeywords[i] = line(27 + i);

  ScanFields fields;  // the first entry line's missing columns read as "" and 0
  for (int index = kHeaderLines; index < static_cast<int>(lines.size()); ++index) {
    ScanEntryLine(lines[index], &fields);
    record->entries.push_back({text::ParseInt(fields.columns[0]), text::ParseInt(fields.columns[1]),
                               text::ToUpper(fields.columns[2]), fields.columns[3]});
  }

  text::ConvertTabsToLineBreaks(record->noticeText);
  text::ConvertTabsToLineBreaks(record->destinationText);
  return {LoadStatus::kRead, 0, {}};
}

LoadResult LoadUpdateDescription(const std::string& sourceFolder, UpdateDescription* record) {
  *record = UpdateDescription();
  std::string bytes;
  port::Error error;
  if (!port::ReadWholeFileUpTo(sourceFolder + "info.txt", kMaxDescriptionBytes, &bytes, &error)) {
    return {LoadStatus::kNotFound, 0, error.Describe()};
  }
  return ParseUpdateDescription(bytes, record);
}

}  // namespace koushin::description
