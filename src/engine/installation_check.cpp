#include "engine/installation_check.h"

#include "engine/messages.h"
#include "port/port.h"
#include "text/cp932.h"
#include "text/number.h"

namespace koushin::engine {

namespace {

constexpr char kNullName[] = "NULL";
constexpr char kTamiroIni[] = "tamiro1.ini";
constexpr char kVelmoraIni[] = "velmora1.ini";
constexpr char kSystemSection[] = "SYSTEM";

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

}  // namespace

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
    const std::string maker = port::ProfileRead(kSystemSection, "MAKER", "1", ini);
    return text::ParseInt(maker) == 1 ? kSystemIndexVelmoraMaker1 : kSystemIndexVelmoraOther;
  }
  const std::string title = port::ProfileRead(kSystemSection, "TITLE", "", ini);
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
