// The check that the chosen folder holds an installation this update fits, and which variant it
// is. Nothing here writes a file: the probes test for files and read INI values only.
//
// Every probe takes the run's working folder by reference and may extend it by a trailing "\\"
// (or ":\\" for a folder typed as a bare drive letter), never shorten it: later paths are built by
// plain concatenation of the working folder and a name, so it must end in "\\" once the system's
// INI file has been found.
#pragma once

#include <string>

#include "description/update_description.h"
#include "engine/operator.h"

namespace koushin::engine {

// SystemIndex values besides the keyword numbers 1 to 15.
constexpr int kSystemIndexVelmoraMaker1 = 0;   // velmora1.ini whose MAKER reads as 1
constexpr int kSystemIndexVelmoraOther = 99;   // velmora1.ini whose MAKER reads otherwise
constexpr int kSystemIndexNotIdentified = -1;  // no title keyword found

// 1 when `name` is in `folder`: folder + name exists (folder unchanged), or folder + "\\" + name
// exists (folder gets the "\\"). 0, folder unchanged, when the folder itself is missing or the
// file is in neither place.
int ProbeFolder(std::string& folder, const std::string& name);

// ProbeFolder, then ProbeFolder on folder + ":\\" (so "D" is tried as "D:\\"); on a hit there the
// folder takes the form the retry found. 0 leaves the folder unchanged.
int ProbeFolderOrDrive(std::string& folder, const std::string& name);

// Finds the system's INI file in the folder. A systemIniName of exactly "NULL" asks for
// detection: "tamiro1.ini" is tried, then "velmora1.ini" (from the folder as it was), and the
// name tried last stays in record.systemIniName whether found or not.
int LocateSystemIni(std::string& folder, description::UpdateDescription& record);

// 1 when the marker files of the right product are there: bmp\LAYER2L.BMP, and for a TAMIRO1.INI
// or SORIMU1.INI system also ta2menu.ini, ta1menu.ini or formater.exe. May extend the folder by
// "\\" where a marker was found only that way.
int CheckProductMarkers(std::string& folder, const std::string& systemIniName);

// The SystemIndex: for VELMORA1.INI (any case) 0 or 99 by [SYSTEM] MAKER (default "1"); otherwise
// the number (1-15) of the first title keyword found in [SYSTEM] TITLE at a character boundary,
// or -1. Values are read whole, however long.
int IdentifySystem(const std::string& folder, const std::string& systemIniName,
                   const description::UpdateDescription& record);

// The three steps in order, stopping at the first that fails with its message (caption "エラー",
// OK only) through `op`. Stores the SystemIndex into record.systemIndex (-1 included) when the
// third step runs. Returns 1 when the update may go on, else 0.
int CheckTargetInstallation(std::string& folder, description::UpdateDescription& record,
                            Operator& op);

// How two version texts compare: by their numeric parts first ("8.2S" < "9.1"; a missing part
// counts as 0, so "9" equals "9.0"), then by what follows the numbers, letters without regard to
// case ("8.0S" < "8.1S", "8.1s" equals "8.1S", no suffix before any). Blanks around a version do
// not count. False, `order` untouched, when either text is empty or does not begin with a digit,
// or a part has more than nine digits: such versions cannot be compared.
bool CompareVersions(const std::string& a, const std::string& b, int* order);

// Where the installed system stands to the version the media install.
enum class VersionStanding {
  kUnknown,  // either version empty or not comparable: the run goes on as it always has
  kOlder,    // the update is due
  kSame,     // the media are already installed
  kNewer,    // the installation is newer: the update would be a downgrade
};

struct InstalledVersion {
  std::string installed;  // [SYSTEM] Version of the system's INI file ("" when missing)
  VersionStanding standing = VersionStanding::kUnknown;
  std::string why;  // for the log: how the standing was found
};

// Reads [SYSTEM] Version of folder + record.systemIniName (the check has located it) and compares
// it with record.newVersion. Two texts that are byte for byte the same (letters without regard to
// case) are the same version even when they cannot be compared otherwise.
InstalledVersion ReadInstalledVersion(const std::string& folder,
                                      const description::UpdateDescription& record);

}  // namespace koushin::engine
