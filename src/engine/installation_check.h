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

}  // namespace koushin::engine
