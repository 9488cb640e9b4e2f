#include "engine/update_plan.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "archive/byte_stream.h"
#include "archive/lzh_decoder.h"
#include "archive/lzh_reader.h"
#include "engine/installation_check.h"
#include "engine/messages.h"
#include "engine/product.h"
#include "port/port.h"
#include "text/cp932.h"
#include "text/number.h"
#include "text/path.h"
#include "text/replace.h"

namespace koushin::engine {

namespace {

// A path as the plan remembers it: the same file however its path is spelled.
std::string Key(const std::string& path) {
  std::string key = text::ToUpper(text::OneSeparator(path));
  if (key.size() > 3 && text::EndsWithBackslash(key)) key.pop_back();
  return key;
}

// What is at `path` once the planned steps are done: the plan's own memory first, the disk
// otherwise.
FileState StateOf(const PlanState& plan, const std::string& path) {
  const auto known = plan.files.find(Key(path));
  if (known != plan.files.end()) return known->second;
  FileState state;
  port::FileStatus status;
  if (port::ReadFileStatus(path, &status)) {
    state.exists = true;
    state.isFolder = (status.attributes & port::kAttrDirectory) != 0;
    state.bytes = state.isFolder ? 0 : status.size;
    state.attributes = status.attributes;
  }
  return state;
}

void Leaves(PlanState* plan, const std::string& path, std::uint64_t bytes, unsigned attributes) {
  FileState& state = plan->files[Key(path)];
  state = FileState();
  state.exists = true;
  state.bytes = bytes;
  state.attributes = attributes;
}

// Reads an archive's headers from the media, streaming past the packed data without decoding it.
class FileSource : public archive::ByteSource {
 public:
  explicit FileSource(port::InputFile& file) : file_(file) {}
  std::size_t Read(std::uint8_t* buffer, std::size_t size) override {
    std::size_t got = 0;
    if (!file_.Read(buffer, size, &got)) failed_ = true;
    return failed_ ? 0 : got;
  }
  bool Failed() const override { return failed_; }

 private:
  port::InputFile& file_;
  bool failed_ = false;
};

std::string TwoDigits(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

std::string DateText(int year, int month, int day, int hour, int minute, int second) {
  return std::to_string(year) + "-" + TwoDigits(month) + "-" + TwoDigits(day) + " " +
         TwoDigits(hour) + ":" + TwoDigits(minute) + ":" + TwoDigits(second);
}

// Days since 1970-01-01 to a civil (proleptic Gregorian) date.
void CivilFromDays(std::int64_t days, int* year, int* month, int* day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  *day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  *month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  *year = static_cast<int>(yearOfEra + era * 400 + (*month <= 2 ? 1 : 0));
}

std::string UnixText(std::int64_t seconds) {
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  if (rest < 0) {
    --days;
    rest += 86400;
  }
  int year = 0, month = 0, day = 0;
  CivilFromDays(days, &year, &month, &day);
  return DateText(year, month, day, static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                  static_cast<int>(rest % 60));
}

std::string StoredTime(const archive::MemberHeader& header) {
  if (header.hasFileTime) return UnixText(port::UnixFromFileTime(header.fileTime));
  if (header.hasUnixTime) return UnixText(header.unixTime);
  if (!header.hasDosTime) return std::string();
  const unsigned date = header.dosTime >> 16, time = header.dosTime & 0xFFFF;
  return DateText(static_cast<int>((date >> 9) + 1980), static_cast<int>((date >> 5) & 15),
                  static_cast<int>(date & 31), static_cast<int>(time >> 11),
                  static_cast<int>((time >> 5) & 63), static_cast<int>((time & 31) * 2));
}

// The file members of an archive as their headers tell them. False when the archive cannot be
// opened or a header is damaged.
bool ReadHeaders(const std::string& archivePath, std::vector<archive::MemberHeader>* headers) {
  port::InputFile file;
  if (!file.Open(archivePath)) return false;
  FileSource source(file);
  archive::LzhReader reader(source);
  for (;;) {
    archive::MemberHeader header;
    std::string error;
    const archive::ReadStatus status = reader.Next(&header, &error);
    if (status == archive::ReadStatus::kEnd) return true;
    if (status == archive::ReadStatus::kError) return false;
    if (!header.IsFolder()) headers->push_back(header);
  }
}

// The bytes of one member, decoded (a dry run's master file, to count its records).
bool DecodeMemberBytes(const std::string& archivePath, const std::string& name,
                       std::string* bytes) {
  std::string whole;
  if (!port::ReadWholeFile(archivePath, &whole)) return false;
  archive::MemorySource source(whole.data(), whole.size());
  archive::LzhReader reader(source);
  archive::MemberHeader header;
  std::string error;
  while (reader.Next(&header, &error) == archive::ReadStatus::kMember) {
    if (header.IsFolder() || header.FileName() != name) continue;
    archive::StringSink sink;
    const archive::DecodeResult result =
        archive::DecodeMember(header.method, reader.Data(), header.packedSize, header.originalSize,
                              sink, header.hasCrc ? &header.crc : nullptr);
    if (result.status != archive::DecodeStatus::kOk) return false;
    *bytes = std::move(sink.bytes);
    return true;
  }
  return false;
}

// '?' stands for one byte, '*' for any run, letters match without regard to case.
bool Matches(std::string_view name, std::string_view pattern) {
  if (pattern.empty()) return name.empty();
  if (pattern[0] == '*') {
    for (std::size_t skip = 0; skip <= name.size(); ++skip) {
      if (Matches(name.substr(skip), pattern.substr(1))) return true;
    }
    return false;
  }
  if (name.empty()) return false;
  const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
  if (pattern[0] != '?' && upper(pattern[0]) != upper(name[0])) return false;
  return Matches(name.substr(1), pattern.substr(1));
}

std::string IniKey(const std::string& file, const std::string& section, const std::string& key) {
  return Key(file) + "\n" + text::ToUpper(section) + "\n" + text::ToUpper(key);
}

// The sections of an INI file on the disk, upper case.
std::set<std::string> SectionsOf(const std::string& bytes) {
  std::set<std::string> sections;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    const std::size_t open = line.find_first_not_of(" \t");
    const std::size_t close = line.find(']');
    if (open != std::string::npos && line[open] == '[' && close != std::string::npos &&
        close > open) {
      std::string name = line.substr(open + 1, close - open - 1);
      const std::size_t first = name.find_first_not_of(" \t");
      const std::size_t last = name.find_last_not_of(" \t");
      sections.insert(first == std::string::npos
                          ? std::string()
                          : text::ToUpper(name.substr(first, last - first + 1)));
    }
    start = end + 1;
  }
  return sections;
}

// A step writing `keys` into `file`: the old values, and the file's size after, estimated as the
// profile services write (an existing key's value replaced in its line, a new key as key=value
// at the end of its section, a new section at the end of the file).
PlanStep IniStep(PlanState* plan, int entry, const std::string& file,
                 std::vector<PlannedKey> keys) {
  PlanStep step;
  step.kind = StepKind::kWriteIni;
  step.entry = entry;
  step.path = file;
  step.before = StateOf(*plan, file);
  const std::string fileKey = Key(file);
  if (plan->iniRead.insert(fileKey).second) {
    std::string bytes;
    port::ReadWholeFile(file, &bytes);
    for (const std::string& section : SectionsOf(bytes)) {
      plan->iniSections.insert(fileKey + "\n" + section);
    }
    if (!bytes.empty() && bytes.back() != '\n' && bytes.back() != '\r') {
      plan->iniUnterminated.insert(fileKey);
    }
  }
  std::uint64_t bytes = step.before.exists ? step.before.bytes : 0;
  const std::string missing = "\x7F";  // no value a profile read trims to
  for (PlannedKey& key : keys) {
    const std::string id = IniKey(file, key.section, key.key);
    const auto known = plan->iniValues.find(id);
    if (known != plan->iniValues.end()) {
      key.oldValue = known->second;
      key.existed = true;
    } else {
      key.oldValue = port::ProfileRead(key.section, key.key, missing, file);
      key.existed = key.oldValue != missing;
      if (!key.existed) key.oldValue.clear();
    }
    if (key.existed) {
      bytes += key.newValue.size();
      bytes -= std::min<std::uint64_t>(bytes, key.oldValue.size());
    } else {
      const std::string section = fileKey + "\n" + text::ToUpper(key.section);
      if (plan->iniSections.insert(section).second) {
        if (plan->iniUnterminated.erase(fileKey) != 0) bytes += 2;
        bytes += key.section.size() + 4;  // [section] CR LF
      }
      bytes += key.key.size() + 1 + key.newValue.size() + 2;
    }
    plan->iniValues[id] = key.newValue;
  }
  step.keys = std::move(keys);
  step.bytes = bytes;
  step.attributesAfter = step.before.exists ? step.before.attributes : 0;
  Leaves(plan, file, bytes, step.attributesAfter);
  return step;
}

// The category flags set for a trade category code, in the order they are written.
std::vector<std::string> CategoryKeys(int category) {
  switch (category) {
    case 1:
      return {product::kCategoryElectric};
    case 2:
      return {product::kCategoryWater};
    case 3:
      return {product::kCategoryFacility};
    case 4:
      return {product::kCategoryBuilding};
    case 5:
      return {product::kCategoryWater, product::kCategoryFacility};
    case 6:
      return {product::kCategoryElectric, product::kCategoryFacility};
    default:
      return {};
  }
}

std::string StartReason(const description::UpdateDescription& record) {
  const int index = record.systemIndex;
  std::string why;
  if (index == kSystemIndexVelmoraMaker1) {
    why = "velmora1.ini whose [SYSTEM] MAKER reads as 1";
  } else if (index == kSystemIndexVelmoraOther) {
    why = "velmora1.ini whose [SYSTEM] MAKER reads as another number";
  } else {
    why = "[SYSTEM] TITLE holds title keyword " + std::to_string(index) + " \"" +
          record.titleKeywords[std::clamp(index, 1, description::kMaxKeys) - 1] + "\"";
  }
  return "system index " + std::to_string(index) + ": " + why;
}

class Planner {
 public:
  Planner(const PlanInput& input, UpdatePlan* plan)
      : input_(input), record_(input.record), plan_(plan) {}

  void Entry(int i) {
    const description::UpdateEntry& entry = record_.entries[i];
    const std::string target = input_.folder + entry.targetSubfolder;
    const FileState folder = StateOf(plan_->afterEntries, target);
    if (!folder.exists) {
      PlanStep step;
      step.kind = StepKind::kMakeFolder;
      step.entry = i + 1;
      step.path = target;
      plan_->steps.push_back(step);
      FileState& made = plan_->afterEntries.files[Key(target)];
      made.exists = made.isFolder = true;
    }
    if (entry.kind == product::kArchiveKind) {
      Archive(i, target);
    } else {
      Copy(i, target);
    }
  }

 private:
  void Problem(const std::string& message) {
    if (plan_->problem.empty()) plan_->problem = message;
  }

  void Archive(int i, const std::string& target) {
    const description::UpdateEntry& entry = record_.entries[i];
    const std::string baseName = text::SplitPath(entry.fileName).name;
    const std::string mediaName = MediaName(entry, record_.systemIndex);
    PlanStep step;
    step.kind = StepKind::kExtract;
    step.entry = i + 1;
    step.source = input_.sourceFolder + mediaName;
    step.path = target;
    if (IsStartEntry(entry)) {
      step.startVariant = entry.fileName + std::to_string(record_.systemIndex);
      step.reason = "START variant " + step.startVariant + " for " + StartReason(record_);
      step.systemIndex = record_.systemIndex;
      if (record_.systemIndex >= 1 && record_.systemIndex <= description::kMaxKeys) {
        step.keyword = record_.titleKeywords[record_.systemIndex - 1];
      }
    }
    if (baseName == product::kExcelArchive) {
      if (!IsExcelTemplateDue(input_.folder)) {
        plan_->notes.push_back(mediaName + " is not extracted: the Excel template is newer than " +
                               "2022-02-05");
        return;
      }
      step.excelNotice = true;
      step.reason =
          "the Excel template is due: missing, in use, or written on or before "
          "2022-02-05";
    }
    std::vector<archive::MemberHeader> headers;
    if (!ReadHeaders(step.source, &headers)) {
      Problem(port::PathExists(step.source) ? messages::MediaFileDamaged(mediaName)
                                            : messages::MediaFileMissing(mediaName));
    }
    // Members go flat into the folder under their last component, as the extraction writes them.
    std::string folder = target;
    if (!folder.empty() && !text::EndsWithBackslash(folder) && folder.back() != '/' &&
        !(folder.size() == 2 && folder[1] == ':')) {
      folder += '\\';
    }
    for (const archive::MemberHeader& header : headers) {
      PlannedMember member;
      member.name = header.FileName();
      member.path = folder + member.name;
      member.bytes = header.originalSize;
      member.crc = header.crc;
      member.hasCrc = header.hasCrc;
      member.storedTime = StoredTime(header);
      member.before = StateOf(plan_->afterEntries, member.path);
      step.bytes += member.bytes;
      Leaves(&plan_->afterEntries, member.path, member.bytes, 0);
      plan_->written[Key(member.path)] = {member.path, step.source, member.name};
      step.members.push_back(member);
    }
    plan_->steps.push_back(step);
    // The version is claimed once the variant's files are in place.
    if (IsStartEntry(entry) && !record_.newVersion.empty() &&
        record_.systemIndex <= product::kStartVariants) {
      plan_->steps.push_back(IniStep(
          &plan_->afterEntries, i + 1, input_.folder + record_.systemIniName,
          {{product::kSystemSection, product::kVersionKey, "", false, record_.newVersion}}));
    }
  }

  void Copy(int i, const std::string& target) {
    const description::UpdateEntry& entry = record_.entries[i];
    PlanStep step;
    step.kind = StepKind::kCopy;
    step.entry = i + 1;
    step.source = input_.sourceFolder + entry.fileName;
    const text::PathParts parts = text::SplitPath(step.source);
    step.path = target + parts.name + parts.extension;
    port::FileStatus status;
    if (!port::ReadFileStatus(step.source, &status) ||
        (status.attributes & port::kAttrDirectory) != 0) {
      Problem(messages::MediaFileMissing(entry.fileName));
    }
    step.bytes = status.size;
    step.before = StateOf(plan_->afterEntries, step.path);
    Leaves(&plan_->afterEntries, step.path, step.bytes, 0);
    plan_->written[Key(step.path)] = {step.path, std::string(), std::string()};
    plan_->steps.push_back(step);
  }

  const PlanInput& input_;
  const description::UpdateDescription& record_;
  UpdatePlan* plan_;
};

}  // namespace

bool IsStartEntry(const description::UpdateEntry& entry) {
  return entry.kind == product::kArchiveKind &&
         text::SplitPath(entry.fileName).name == product::kStartArchive;
}

std::string MediaName(const description::UpdateEntry& entry, int systemIndex) {
  if (entry.kind != product::kArchiveKind) return entry.fileName;
  return (IsStartEntry(entry) ? entry.fileName + std::to_string(systemIndex) : entry.fileName) +
         product::kArchiveExtension;
}

void PlanEntries(const PlanInput& input, UpdatePlan* plan) {
  const int count =
      std::min(static_cast<int>(input.record.entries.size()), description::kMaxEntries);
  Planner planner(input, plan);
  for (int i = plan->nextEntry; i < count; ++i) {
    const description::UpdateEntry& entry = input.record.entries[i];
    if (input.removable && entry.diskNumber != 1 && entry.diskNumber != plan->disk) {
      // The disk is asked for until the file this entry reads is there.
      PlanStep ask;
      ask.kind = StepKind::kAskForDisk;
      ask.entry = i + 1;
      ask.disk = entry.diskNumber;
      ask.source = input.sourceFolder + MediaName(entry, input.record.systemIndex);
      plan->steps.push_back(ask);
      plan->nextEntry = i;
      return;
    }
    planner.Entry(i);
  }
  plan->nextEntry = count;
}

void PlanNextDisk(const PlanInput& input, UpdatePlan* plan) {
  if (!plan->steps.empty() && plan->steps.back().kind == StepKind::kAskForDisk) {
    plan->disk = plan->steps.back().disk;
  }
  PlanEntries(input, plan);
}

void PlanSettings(const PlanInput& input, UpdatePlan* plan, bool entriesDone) {
  const description::UpdateDescription& record = input.record;
  plan->settings.clear();
  plan->settingsNotes.clear();
  // The settings' state starts where the entries leave the files: as planned, or as they are.
  plan->afterAll = entriesDone ? PlanState() : plan->afterEntries;
  PlanState* state = &plan->afterAll;
  const std::string systemIni = input.folder + record.systemIniName;
  std::vector<PlannedKey> eraAndTitle = {
      {product::kSystemSection, product::kEraKey, "", false, product::kEraName}};
  if (!record.newVersion.empty()) {
    const auto known =
        state->iniValues.find(IniKey(systemIni, product::kSystemSection, product::kTitleKey));
    std::string title =
        known != state->iniValues.end()
            ? known->second
            : port::ProfileRead(product::kSystemSection, product::kTitleKey, "", systemIni);
    text::ReplaceAllInPlace(title, product::kOldVersionInTitle, record.newVersion);
    eraAndTitle.push_back({product::kSystemSection, product::kTitleKey, "", false, title});
  }
  std::vector<PlannedKey> categories;
  for (const std::string& key : CategoryKeys(text::ParseInt(record.categoryCode))) {
    categories.push_back({product::kSystemSection, key, "", false, "1"});
  }
  const std::string history = input.folder + product::kHistoryIni;
  std::vector<PlannedKey> historyKeys = {
      {product::kHistorySection, product::kHistoryStartKey, "", false, "1"},
      {product::kHistorySection, product::kHistoryEndKey, "", false, "1"}};
  // The keys in their order; written together, each file in one rewrite.
  std::set<std::string> rewritten;
  for (auto& [file, keys] :
       {std::make_pair(systemIni, eraAndTitle), std::make_pair(history, historyKeys),
        std::make_pair(systemIni, categories)}) {
    if (keys.empty()) continue;
    plan->settings.push_back(IniStep(state, 0, file, keys));
    plan->settings.back().joined = !rewritten.insert(Key(file)).second;
  }
  if (text::ParseInt(record.masterAdjust) != 1) return;

  // The master files: those in the folders now, then those the entries bring; each converted by
  // the size rule, then all by the type rule.
  const journal::OutsideFiles masters = MasterFiles(input.folder + product::kMasterSetupIni);
  std::map<std::string, std::string> contents;  // Key -> bytes as the conversions leave them
  std::set<std::string> unknown;                // Key of files not there yet, not decoded
  for (const MasterRule rule : {MasterRule::kSize, MasterRule::kType}) {
    for (const std::string& folder : masters.folders) {
      std::vector<std::string> paths;
      std::vector<std::string> names;
      ListMasterFiles(names, folder + masters.pattern);
      for (const std::string& name : names) paths.push_back(folder + name);
      for (const auto& [key, origin] : plan->written) {
        const std::string& path = origin.path;
        const std::size_t cut = text::FindLastSeparator(path);
        if (cut == std::string::npos || Key(path.substr(0, cut + 1)) != Key(folder)) continue;
        if (!Matches(path.substr(cut + 1), masters.pattern)) continue;
        bool listed = false;
        for (const std::string& p : paths) listed = listed || Key(p) == key;
        if (!listed) paths.push_back(folder + path.substr(cut + 1));
      }
      for (const std::string& path : paths) {
        const std::string key = Key(path);
        const auto origin = plan->written.find(key);
        if (!input.convertMasters && origin == plan->written.end()) {
          plan->settingsNotes.push_back("master file " + path +
                                        " was converted before: left as it is");
          continue;
        }
        PlanStep step;
        step.kind = StepKind::kConvertMaster;
        step.path = path;
        step.rule = rule;
        step.before = StateOf(*state, path);
        if (contents.count(key) == 0 && unknown.count(key) == 0) {
          std::string bytes;
          const bool onDisk =
              entriesDone || origin == plan->written.end() || origin->second.member.empty();
          const bool read =
              onDisk ? port::ReadWholeFile(path, &bytes)
                     : input.readMasterMembers &&
                           DecodeMemberBytes(origin->second.archive, origin->second.member, &bytes);
          if (read) {
            contents[key] = bytes;
          } else {
            unknown.insert(key);
          }
        }
        const auto content = contents.find(key);
        if (content != contents.end()) {
          int changed = 0;
          std::string converted = ConvertMasterText(content->second, rule, &changed);
          if (converted == content->second) continue;  // a file that would not change is left
          step.records = changed;
          step.bytes = converted.size();
          content->second = std::move(converted);
        } else {
          step.bytes = step.before.bytes;
        }
        step.attributesAfter = step.before.attributes;
        Leaves(state, path, step.bytes, step.attributesAfter);
        plan->settings.push_back(step);
      }
    }
  }
}

std::uint64_t UpdatePlan::EntryBytes() const {
  std::uint64_t bytes = 0;
  for (const PlanStep& step : steps) {
    if (step.kind == StepKind::kExtract || step.kind == StepKind::kCopy) bytes += step.bytes;
  }
  return bytes;
}

namespace {

template <typename Visit>
void ForEachWrite(const UpdatePlan& plan, const Visit& visit) {
  for (const std::vector<PlanStep>* list : {&plan.steps, &plan.settings}) {
    for (const PlanStep& step : *list) {
      if (step.joined) continue;
      switch (step.kind) {
        case StepKind::kAskForDisk:
          break;
        case StepKind::kMakeFolder:
          visit(step.path, FileState(), true);
          break;
        case StepKind::kExtract:
          for (const PlannedMember& member : step.members) visit(member.path, member.before, false);
          break;
        default:
          visit(step.path, step.before, false);
      }
    }
  }
}

}  // namespace

std::uint64_t UpdatePlan::KeptBytes() const {
  std::uint64_t bytes = 0;
  ForEachWrite(*this, [&](const std::string&, const FileState& before, bool folder) {
    if (!folder && before.exists && !before.isFolder) bytes += before.bytes;
  });
  return bytes;
}

int UpdatePlan::IniKeys() const {
  int keys = 0;
  for (const std::vector<PlanStep>* list : {&steps, &settings}) {
    for (const PlanStep& step : *list) keys += static_cast<int>(step.keys.size());
  }
  return keys;
}

int UpdatePlan::MasterRecords() const {
  int records = 0;
  for (const PlanStep& step : settings) records += std::max(step.records, 0);
  return records;
}

std::vector<journal::Change> UpdatePlan::Changes() const {
  std::vector<journal::Change> changes;
  std::set<std::string> seen;
  ForEachWrite(*this, [&](const std::string& path, const FileState& before, bool folder) {
    if (!seen.insert(Key(path)).second) return;
    if (folder) {
      changes.push_back({journal::RecordKind::kCreatedFolder, path, 0});
    } else if (before.exists && !before.isFolder) {
      changes.push_back({journal::RecordKind::kReplacedFile, path, before.bytes});
    } else {
      changes.push_back({journal::RecordKind::kCreatedFile, path, 0});
    }
  });
  return changes;
}

std::uint64_t UpdatePlan::BytesAfter(const std::string& path) const {
  const auto known = afterAll.files.find(Key(path));
  return known == afterAll.files.end() || known->second.isFolder ? 0 : known->second.bytes;
}

std::vector<std::string> PlanLines(const UpdatePlan& plan, std::size_t first, bool whole) {
  std::vector<std::string> lines;
  const auto n = [](std::uint64_t value) { return std::to_string(value); };
  const auto before = [&](const FileState& state) {
    return state.exists && !state.isFolder ? ", replaces " + n(state.bytes) + " bytes"
                                           : std::string(", new");
  };
  for (const std::vector<PlanStep>* list : {&plan.steps, &plan.settings}) {
    if (list == &plan.settings && !whole) break;
    for (std::size_t i = list == &plan.steps ? first : 0; i < list->size(); ++i) {
      const PlanStep& step = (*list)[i];
      switch (step.kind) {
        case StepKind::kAskForDisk:
          lines.push_back("ask for disk " + n(step.disk) + " until " + step.source + " is there");
          break;
        case StepKind::kMakeFolder:
          lines.push_back("make folder " + step.path);
          break;
        case StepKind::kExtract:
          lines.push_back("extract " + step.source + " into " + step.path + " (" +
                          n(step.members.size()) + " files, " + n(step.bytes) + " bytes" +
                          (step.reason.empty() ? "" : "; " + step.reason) + ")");
          for (const PlannedMember& member : step.members) {
            char crc[8];
            std::snprintf(crc, sizeof crc, "%04X", member.crc);
            lines.push_back("  " + member.name + " -> " + member.path + ": " + n(member.bytes) +
                            " bytes, CRC " + (member.hasCrc ? crc : "none") + ", stored " +
                            (member.storedTime.empty() ? "without time" : member.storedTime) +
                            before(member.before));
          }
          break;
        case StepKind::kCopy:
          lines.push_back("copy " + step.source + " to " + step.path + ": " + n(step.bytes) +
                          " bytes, attributes " + n(step.attributesAfter) + " after" +
                          before(step.before));
          break;
        case StepKind::kWriteIni:
          lines.push_back("write " + step.path + before(step.before));
          for (const PlannedKey& key : step.keys) {
            lines.push_back("  [" + key.section + "] " + key.key + ": " +
                            (key.existed ? key.oldValue : "(none)") + " -> " + key.newValue);
          }
          break;
        case StepKind::kConvertMaster:
          lines.push_back("convert master file " + step.path + " by the " +
                          (step.rule == MasterRule::kSize ? "size" : "type") + " rule: " +
                          (step.records < 0 ? "records counted once it is there"
                                            : n(step.records) + " records") +
                          before(step.before));
          break;
      }
    }
  }
  if (!whole) return lines;
  for (const std::vector<std::string>* notes : {&plan.notes, &plan.settingsNotes}) {
    for (const std::string& note : *notes) lines.push_back(note);
  }
  lines.push_back("old bytes kept: " + n(plan.KeptBytes()));
  return lines;
}

int IsExcelTemplateDue(const std::string& folder) {
  if (!port::PathExists(folder)) return 0;
  const std::string path = folder + product::kExcelTemplatePath;
  if (!port::PathExists(path)) return 1;
  port::ExclusiveFile file;
  port::FileTime time = 0;
  if (!file.Open(path, false) || !file.LastWriteTime(&time)) return 1;
  file.Close();
  const std::int64_t seconds = port::UnixFromFileTime(time);
  std::int64_t days = seconds / 86400;
  if (seconds % 86400 < 0) --days;
  int year = 0, month = 0, day = 0;
  CivilFromDays(days, &year, &month, &day);
  const long date = year * 10000L + month * 100L + day;
  return date <= 20220205L ? 1 : 0;
}

}  // namespace koushin::engine
