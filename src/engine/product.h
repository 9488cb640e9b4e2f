// The installed system's own names: its files, INI sections, keys and values, the master files,
// and the archives with a role of their own on the media. The update reads and writes these on
// disk, so they live here once, apart from the texts shown to the person (messages.h): rewording a
// message can never change a byte of an installation. Each is in code page 932, as the installed
// system reads it; the Japanese ones are spelled out byte by byte, so no converter stands between
// them and the disk (their spelling is in the comment above each; a hex escape is cut off from a
// following letter that would extend it).
#pragma once

namespace koushin::engine::product {

// --- The media: info.txt's entries ---

// The entry kind of an archive (NAME.lzh on the disk); any other kind is a plain file.
constexpr int kArchiveKind = 1;
constexpr char kArchiveExtension[] = ".lzh";
// The archive that comes in one variant per installed system: START3 for system index 3.
constexpr char kStartArchive[] = "START";
// START1 .. START15, one per title keyword; the system's Version is written after a variant up
// to this index only.
constexpr int kStartVariants = 15;
// The archive of the Excel template, extracted only when the template is due.
constexpr char kExcelArchive[] = "EXCEL";

// --- The installation's files ---

// The system INI files that auto-detection tries, in this order. The first is also the master
// set-up file, whose [DIR] MASTER names the master folder.
constexpr char kTamiroIni[] = "tamiro1.ini";
constexpr char kVelmoraIni[] = "velmora1.ini";
constexpr char kMasterSetupIni[] = "tamiro1.ini";
// The history INI file, below the installation folder.
constexpr char kHistoryIni[] = "kov3.ini";
// The material master files, in the subfolders "1\\" and "21\\" of the master folder. Split so
// that no "??-" trigraph appears.
constexpr char kMasterPattern[] =
    "zai??"
    "?-3.mst";
constexpr const char* kMasterSubfolders[] = {"1\\", "21\\"};
// The byte strings are cut by hand where a letter follows a hex escape.
// clang-format off
// The Excel template, below the installation folder: \形式\横A-A4g.xlsm.
constexpr char kExcelTemplatePath[] = "\x5C\x8C`\x8E\xAE\x5C\x89\xA1" "A-A4g.xlsm";

// --- INI sections and keys ---

constexpr char kSystemSection[] = "SYSTEM";
constexpr char kVersionKey[] = "Version";
constexpr char kTitleKey[] = "TITLE";
constexpr char kMakerKey[] = "MAKER";
constexpr char kEraKey[] = "GENGOU";
// Value of [SYSTEM] GENGOU, the era the system dates in: 令和.
constexpr char kEraName[] = "\x97\xDF\x98" "a";
// What TITLE says of the old version; the media's version takes its place.
constexpr char kOldVersionInTitle[] = "8.0S";
// [SYSTEM] category flags, set to 1 according to the trade category code: 種別電気, 種別水道,
// 種別設備, 種別建築.
constexpr char kCategoryElectric[] = "\x8E\xED\x95\xCA\x93" "d\x8B" "C";
constexpr char kCategoryWater[] = "\x8E\xED\x95\xCA\x90\x85\x93\xB9";
constexpr char kCategoryFacility[] = "\x8E\xED\x95\xCA\x90\xDD\x94\xF5";
constexpr char kCategoryBuilding[] = "\x8E\xED\x95\xCA\x8C\x9A\x92z";

constexpr char kHistorySection[] = "HISTORY";
// [HISTORY] keys of the history INI file, set to 1 after an update: 抽出開始日ON, 抽出終了日ON.
constexpr char kHistoryStartKey[] = "\x92\x8A\x8Fo\x8AJ\x8En\x93\xFAON";
constexpr char kHistoryEndKey[] = "\x92\x8A\x8Fo\x8FI\x97\xB9\x93\xFAON";
// clang-format on

constexpr char kDirSection[] = "DIR";
constexpr char kMasterKey[] = "MASTER";

}  // namespace koushin::engine::product
