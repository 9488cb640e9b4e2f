#include "engine/installation_check.h"

#include <algorithm>
#include <vector>

#include "engine/messages.h"
#include "engine/product.h"
#include "port/port.h"
#include "text/cp932.h"
#include "text/number.h"

namespace koushin::engine {

namespace {

constexpr char kNullName[] = "NULL";
using product::kSystemSection;
using product::kTamiroIni;
using product::kVelmoraIni;

// Probes `base` + name, then `base` + "\\" + name, for each name in turn; on a hit in the second
// form the folder gets the "\\". Nothing is probed when the folder is missing.
bool ProbeNames(std::string& folder, std::initializer_list<const char*> names) {
  if (!port::PathExists(folder)) return false;
  for (const char* name : names) {
    if (port::PathExists(folder + name)) return true;
  }
  for (const char* name : names) {
    if (port::PathExists(folder + "\\" + name)) {
      folder += "\\";
      return true;
    }
  }
  return false;
}

// A version taken apart: its numbers and the text after them.
struct VersionParts {
  std::vector<long> numbers;
  std::string suffix;  // upper-cased, blanks around it removed
};

std::string Trimmed(const std::string& value) {
  const std::size_t first = value.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return value.substr(first, value.find_last_not_of(" \t") - first + 1);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool SplitVersion(const std::string& value, VersionParts* parts) {
  constexpr std::size_t kMaxDigits = 9;
  const std::string version = Trimmed(value);
  std::size_t i = 0;
  if (version.empty() || !IsDigit(version[0])) return false;
  for (;;) {
    std::size_t end = i;
    while (end < version.size() && IsDigit(version[end])) ++end;
    if (end - i > kMaxDigits) return false;
    parts->numbers.push_back(std::stol(version.substr(i, end - i)));
    i = end;
    // Another part only where a digit follows the dot: "8." keeps its dot in the suffix.
    if (i + 1 < version.size() && version[i] == '.' && IsDigit(version[i + 1])) {
      ++i;
      continue;
    }
    break;
  }
  parts->suffix = text::ToUpper(Trimmed(version.substr(i)));
  return true;
}

}  // namespace

bool CompareVersions(const std::string& a, const std::string& b, int* order) {
  VersionParts left, right;
  if (!SplitVersion(a, &left) || !SplitVersion(b, &right)) return false;
  const std::size_t count = std::max(left.numbers.size(), right.numbers.size());
  left.numbers.resize(count, 0);
  right.numbers.resize(count, 0);
  if (left.numbers != right.numbers) {
    *order = left.numbers < right.numbers ? -1 : 1;
  } else {
    const int compared = left.suffix.compare(right.suffix);
    *order = compared < 0 ? -1 : compared > 0 ? 1 : 0;
  }
  return true;
}

InstalledVersion ReadInstalledVersion(const std::string& folder,
                                      const description::UpdateDescription& record) {
  InstalledVersion result;
  result.installed =
      port::ProfileRead(kSystemSection, product::kVersionKey, "", folder + record.systemIniName);
  const std::string& target = record.newVersion;
  const std::string said =
      "installed version '" + result.installed + "', media version '" + target + "'";
  int order = 0;
  if (result.installed.empty() || Trimmed(target).empty()) {
    result.why = said + ": a version is missing, so the versions are not compared";
  } else if (text::ToUpper(Trimmed(result.installed)) == text::ToUpper(Trimmed(target))) {
    result.standing = VersionStanding::kSame;
    result.why = said + ": the same";
  } else if (!CompareVersions(result.installed, target, &order)) {
    result.why = said + ": they cannot be compared (a version begins with its number)";
  } else {
    result.standing = order < 0   ? VersionStanding::kOlder
                      : order > 0 ? VersionStanding::kNewer
                                  : VersionStanding::kSame;
    result.why = said + (order < 0   ? ": the update is due"
                         : order > 0 ? ": the installation is newer"
                                     : ": the same");
  }
  return result;
}

int ProbeFolder(std::string& folder, const std::string& name) {
  if (!port::PathExists(folder)) return 0;
  if (port::PathExists(folder + name)) return 1;
  if (port::PathExists(folder + "\\" + name)) {
    folder += "\\";
    return 1;
  }
  return 0;
}

int ProbeFolderOrDrive(std::string& folder, const std::string& name) {
  if (ProbeFolder(folder, name)) return 1;
  std::string drive = folder + ":\\";
  if (ProbeFolder(drive, name)) {
    folder = drive;
    return 1;
  }
  return 0;
}

int LocateSystemIni(std::string& folder, description::UpdateDescription& record) {
  if (record.systemIniName != kNullName) return ProbeFolderOrDrive(folder, record.systemIniName);
  record.systemIniName = kTamiroIni;
  if (ProbeFolderOrDrive(folder, record.systemIniName)) return 1;
  record.systemIniName = kVelmoraIni;
  return ProbeFolderOrDrive(folder, record.systemIniName);
}

int CheckProductMarkers(std::string& folder, const std::string& systemIniName) {
  bool ok = false;
  const std::string upper = text::ToUpper(systemIniName);
  if (upper != "TAMIRO1.INI" && upper != "SORIMU1.INI") {
    ok = true;
  } else if (ProbeNames(folder, {"ta2menu.ini", "ta1menu.ini"})) {
    ok = true;
  }
  if (ProbeNames(folder, {"formater.exe"})) ok = true;
  if (!ok) return 0;
  return port::PathExists(folder) && port::PathExists(folder + "\\bmp\\LAYER2L.BMP") ? 1 : 0;
}

int IdentifySystem(const std::string& folder, const std::string& systemIniName,
                   const description::UpdateDescription& record) {
  const std::string ini = folder + systemIniName;
  if (text::ToUpper(systemIniName) == "VELMORA1.INI") {
    const std::string maker = port::ProfileRead(kSystemSection, product::kMakerKey, "1", ini);
    return text::ParseInt(maker) == 1 ? kSystemIndexVelmoraMaker1 : kSystemIndexVelmoraOther;
  }
  const std::string title = port::ProfileRead(kSystemSection, product::kTitleKey, "", ini);
  for (int i = 0; i < description::kMaxKeys; ++i) {
    // A keyword matches only where a character starts: "A" is no match for the trail byte of
    // a double-byte character such as 0x83 0x41.
    if (text::FindAtCharBoundary(title, record.titleKeywords[i]) != std::string::npos) {
      return i + 1;
    }
  }
  return kSystemIndexNotIdentified;
}

int CheckTargetInstallation(std::string& folder, description::UpdateDescription& record,
                            Operator& op) {
  // When the name is to be detected, a failed check gives the marker back: the user may choose
  // another folder, and there the detection must run again. Keeping the last name tried would
  // make a second folder with the other INI file fail for the rest of the program's life.
  const bool detecting = record.systemIniName == kNullName;
  const auto fail = [&](const std::string& why, const std::string& message) {
    op.Log(why);
    if (detecting) record.systemIniName = kNullName;
    op.ShowMessage(message, messages::CaptionError(), Buttons::kOk);
    return 0;
  };
  if (!LocateSystemIni(folder, record)) {
    return fail("check: the system's INI file is not in the folder " + folder,
                messages::FolderNotRight());
  }
  op.Log("check: system INI file " + folder + record.systemIniName);
  if (!CheckProductMarkers(folder, record.systemIniName)) {
    return fail("check: marker files missing in " + folder, messages::CannotUpdate());
  }
  record.systemIndex = IdentifySystem(folder, record.systemIniName, record);
  if (record.systemIndex == kSystemIndexNotIdentified) {
    return fail("check: no title keyword matches the installed system", messages::CannotUpdate());
  }
  op.Log("check: system index " + std::to_string(record.systemIndex));
  return 1;
}

}  // namespace koushin::engine
