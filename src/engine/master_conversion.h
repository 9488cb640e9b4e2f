// The two material master conversions: the installed system keeps its material master data in
// text files "zai???-3.mst" in the subfolders "1\\" and "21\\" of its master folder, one record
// per line, and an update may ask for them to be brought to the new record layout.
//
// - The size conversion drops byte 66 of every record of item "400400", sub code "000107" or
//   "000111", that is not already 185 bytes long (and is longer than 66 bytes).
// - The type conversion turns a type flag (byte 13) of "A" or "B" into "Z".
//
// Master files are read as bytes (a byte 26 is just a byte); a CR LF pair or a lone LF ends a
// line, and every line is written back with CR LF. A converted file is written whole to a new
// temporary file of ours in its folder (never through an existing name or link), flushed, given
// the master file's attributes, and put in place through the caller's transaction, so at every
// moment the master file holds either its old or its new content. A master file whose bytes would
// not change is left alone.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/operator.h"
#include "journal/journal.h"

namespace koushin::engine {

// At most this many master files are converted per subfolder (the first ones the directory search
// delivers); the rest are named in the log.
constexpr int kMaxMasterFiles = 1000;

// How a conversion runs: where it reports, and whether it may write.
struct ConversionOptions {
  // Log lines, and a progress report for each master file once its new content is written to
  // "temp.mst", right before it replaces the master file (may be null).
  Operator* op = nullptr;
  int* recordsChanged = nullptr;  // (may be null) increased by the records each file changed
  // (may be empty) when set, only the master files (full path as the folder and name give it)
  // for which it is true are converted: a repair converts the files it has just written from
  // the media, never one that was converted before.
  std::function<bool(const std::string& path)> only;
};

enum class MasterRule { kSize, kType };

// The master files the conversions of an installation may replace, as the journal is to allow
// them outside the installation folder: the two subfolders of the master folder that
// `setupFile` names, and the master file pattern.
journal::OutsideFiles MasterFiles(const std::string& setupFile);

// Converts the text of one master file by `rule`; `changedRecords` (may be null) gets the number of
// records whose bytes changed.
std::string ConvertMasterText(std::string_view bytes, MasterRule rule, int* changedRecords);

// The names (no folder part) of the files matching `pattern` (a path whose last component may
// hold '?' and '*'), in the order the directory search delivers them, folders and "." / ".."
// left out, at most kMaxMasterFiles. Returns their number; 0 when the folder is missing.
// `leftOut` (may be null) gets the number of further matching files beyond the limit.
int ListMasterFiles(std::vector<std::string>& table, const std::string& pattern,
                    int* leftOut = nullptr);

// Converts the master file `path` by `rule` through `transaction`; a file whose bytes would not
// change is left alone. False, with the file untouched, when it cannot be opened, read or
// replaced.
bool ConvertMasterFile(const std::string& path, MasterRule rule, journal::Transaction& transaction,
                       const ConversionOptions& options = {});

// The whole conversions. `setupFile` is the installation's tamiro1.ini, whose [DIR] MASTER (read
// whole) is the master folder, used as a plain prefix. "1\\" is converted, then "21\\" only if
// "1\\" succeeded. Each returns 1 when every master file was converted (or there was none), 0 at
// the first master file that could not be opened, read or replaced; that file keeps its content
// and the later ones are not visited.
// Every file is replaced through `transaction`.
int MaterialSizeConversion(const std::string& setupFile, journal::Transaction& transaction,
                           const ConversionOptions& options = {});
int MaterialTypeConversion(const std::string& setupFile, journal::Transaction& transaction,
                           const ConversionOptions& options = {});

}  // namespace koushin::engine
