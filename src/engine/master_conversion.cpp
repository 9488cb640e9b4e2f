#include "engine/master_conversion.h"

#include <exception>

#include "engine/product.h"
#include "journal/journal.h"
#include "port/port.h"

namespace koushin::engine {

namespace {

using product::kMasterPattern;
constexpr std::size_t kNewRecordLength = 185;
constexpr std::size_t kDroppedByte = 66;
constexpr std::size_t kTypeFlag = 13;

void Log(const ConversionOptions& options, const std::string& line) {
  if (options.op != nullptr) options.op->Log(line);
}

const char* RuleName(MasterRule rule) { return rule == MasterRule::kSize ? "size" : "type"; }

// The size rule: records of item 400400 with sub code 000107 or 000111 lose byte 66 unless they
// already have the new length.
bool ConvertSizeRecord(std::string_view line, std::string* out) {
  const std::string_view item = line.substr(0, 6);
  const std::string_view sub = line.size() > 6 ? line.substr(6, 6) : std::string_view();
  if (item != "400400" || (sub != "000107" && sub != "000111") || line.size() == kNewRecordLength ||
      line.size() <= kDroppedByte) {
    out->append(line);
    return false;
  }
  out->append(line.substr(0, kDroppedByte));
  out->append(line.substr(kDroppedByte + 1));
  return true;
}

// The type rule: an upper-case A or B as byte 13 becomes Z.
bool ConvertTypeRecord(std::string_view line, std::string* out) {
  const std::size_t start = out->size();
  out->append(line);
  if (line.size() > kTypeFlag && (line[kTypeFlag] == 'A' || line[kTypeFlag] == 'B')) {
    (*out)[start + kTypeFlag] = 'Z';
    return true;
  }
  return false;
}

}  // namespace

bool ConvertMasterFile(const std::string& path, MasterRule rule, journal::Transaction& transaction,
                       const ConversionOptions& options) {
  port::Error error;
  // Opened for writing without sharing: a read-only master file, or one another program holds
  // open, fails here, before anything is written.
  port::ExclusiveFile master;
  std::string bytes;
  if (!master.Open(path, true, &error) || !master.ReadAll(&bytes, &error)) {
    Log(options, "master: cannot open " + path + " (" + error.Describe() + ")");
    return false;
  }
  int changed = 0;
  const std::string converted = ConvertMasterText(bytes, rule, &changed);
  if (converted == bytes) {
    Log(options, std::string("master (") + RuleName(rule) + "): " + path + ": unchanged");
    return true;
  }
  port::FileStatus old;
  port::ReadFileStatus(path, &old);
  // Closed before the replace: a file held without sharing cannot be renamed over on Windows.
  master.Close();
  const bool replaced = journal::ReplaceFile(
      transaction, path,
      [&](port::OutputFile& out, const std::string& temporary, port::Error* e) {
        port::FileStatus status;
        status.attributes = old.attributes;
        if (!out.Write(converted.data(), converted.size(), e) || !out.Finish(e)) return false;
        if (options.op != nullptr) {
          Progress progress;
          progress.file = path;
          progress.bytesDone = progress.bytesTotal = converted.size();
          options.op->ReportProgress(progress);
        }
        return status.attributes == 0 || port::WriteFileStatus(temporary, status, e);
      },
      &error);
  // One atomic step: should it fail, the master file still holds its old content.
  if (!replaced) {
    Log(options, "master: cannot replace " + path + " (" + error.Describe() + ")");
    return false;
  }
  if (options.recordsChanged != nullptr) *options.recordsChanged += changed;
  Log(options, std::string("master (") + RuleName(rule) + "): " + path + ": " +
                   std::to_string(changed) +
                   (changed == 1 ? " record changed" : " records changed"));
  return true;
}

namespace {

int ConvertFolder(const std::string& folder, MasterRule rule, journal::Transaction& transaction,
                  const ConversionOptions& options) {
  try {
    std::vector<std::string> table;
    int leftOut = 0;
    const int count = ListMasterFiles(table, folder + kMasterPattern, &leftOut);
    if (leftOut > 0) {
      Log(options, "master: " + std::to_string(leftOut) + " further master files in " + folder +
                       " are left as they are (at most " + std::to_string(kMaxMasterFiles) +
                       " per folder)");
    }
    for (int i = 0; i < count; ++i) {
      if (options.only && !options.only(folder + table[i])) {
        Log(options, std::string("master (") + RuleName(rule) + "): " + folder + table[i] +
                         ": converted before, left as it is");
        continue;
      }
      if (!ConvertMasterFile(folder + table[i], rule, transaction, options)) return 0;
    }
    return 1;
  } catch (const std::exception& e) {
    // Out of memory on a huge master file: the file being converted is untouched.
    Log(options, std::string("master: conversion stopped: ") + e.what());
    return 0;
  }
}

int ConvertBothFolders(const std::string& setupFile, MasterRule rule,
                       journal::Transaction& transaction, const ConversionOptions& options) {
  const journal::OutsideFiles files = MasterFiles(setupFile);
  int result = 1;
  for (const std::string& folder : files.folders) {
    if (result == 1) result = ConvertFolder(folder, rule, transaction, options);
  }
  return result;
}

}  // namespace

journal::OutsideFiles MasterFiles(const std::string& setupFile) {
  const std::string master =
      port::ProfileRead(product::kDirSection, product::kMasterKey, "", setupFile);
  journal::OutsideFiles files;
  for (const char* sub : product::kMasterSubfolders) files.folders.push_back(master + sub);
  files.pattern = kMasterPattern;
  return files;
}

std::string ConvertMasterText(std::string_view bytes, MasterRule rule, int* changedRecords) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 64 + 2);
  int changed = 0;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t lineFeed = bytes.find('\n', start);
    std::size_t end = bytes.size();
    std::size_t next = bytes.size();
    if (lineFeed != std::string_view::npos) {
      end = lineFeed;
      next = lineFeed + 1;
      // A CR right before the LF belongs to the line end; any other CR is part of the record.
      if (end > start && bytes[end - 1] == '\r') --end;
    }
    const std::string_view line = bytes.substr(start, end - start);
    const bool recordChanged =
        rule == MasterRule::kSize ? ConvertSizeRecord(line, &out) : ConvertTypeRecord(line, &out);
    if (recordChanged) ++changed;
    out += "\r\n";
    start = next;
  }
  if (changedRecords != nullptr) *changedRecords = changed;
  return out;
}

int ListMasterFiles(std::vector<std::string>& table, const std::string& pattern, int* leftOut) {
  table.clear();
  if (leftOut != nullptr) *leftOut = 0;
  std::vector<port::FoundEntry> entries;
  if (!port::FindEntries(pattern, &entries)) return 0;
  for (const port::FoundEntry& entry : entries) {
    if (entry.isFolder || entry.name == "." || entry.name == "..") continue;
    if (static_cast<int>(table.size()) == kMaxMasterFiles) {
      if (leftOut != nullptr) ++*leftOut;
      continue;
    }
    table.push_back(entry.name);
  }
  return static_cast<int>(table.size());
}

int MaterialSizeConversion(const std::string& setupFile, journal::Transaction& transaction,
                           const ConversionOptions& options) {
  return ConvertBothFolders(setupFile, MasterRule::kSize, transaction, options);
}

int MaterialTypeConversion(const std::string& setupFile, journal::Transaction& transaction,
                           const ConversionOptions& options) {
  return ConvertBothFolders(setupFile, MasterRule::kType, transaction, options);
}

}  // namespace koushin::engine
