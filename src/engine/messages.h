// The Japanese texts of the engine: messages, captions, INI keys and values, and the one fixed
// path with Japanese names. They are code page 932 bytes, as the installed system and the message
// boxes expect them; each is written in escaped bytes with its text in a comment above.
#pragma once

#include <string>
#include <vector>

namespace koushin::engine::messages {

// The installation check did not find the system's INI file.
extern const char kFolderNotRight[];
// Marker files missing, or the system not identified.
extern const char kCannotUpdate[];
// Caption of error messages: the installation check's, and the wizard's own.
extern const char kCaptionError[];
// Caption of every message during and after the update.
extern const char kCaptionConfirm[];
// A disk prompt was cancelled.
extern const char kCancelled[];
// Shown before the Excel template archive is extracted.
extern const char kExcelTemplateUpdated[];
// The material size conversion returned 0.
extern const char kSizeConversionFailed[];
// The material type conversion returned 0.
extern const char kTypeConversionFailed[];
// The final message of a run.
extern const char kUpdateDone[];
// Value of [SYSTEM] GENGOU.
extern const char kEraName[];
// [HISTORY] key of kov3.ini.
extern const char kHistoryStartKey[];
// [HISTORY] key of kov3.ini.
extern const char kHistoryEndKey[];
// [SYSTEM] category flag.
extern const char kCategoryElectric[];
// [SYSTEM] category flag.
extern const char kCategoryWater[];
// [SYSTEM] category flag.
extern const char kCategoryFacility[];
// [SYSTEM] category flag.
extern const char kCategoryBuilding[];
// The Excel template, below the working folder.
extern const char kExcelTemplatePath[];
// The final message of a dry run (nothing was written).
extern const char kDryRunDone[];

// "%d 枚目のｱｯﾌﾟﾃﾞｲﾄFDをｾｯﾄしてください。": asks for update disk `disk`.
std::string DiskPrompt(int disk);
// "%sの更新に失敗しました。": a file could not be written; `path` names it.
std::string UpdateFailed(const std::string& path);
// "%sの属性更新に失敗しました。": a file's attributes could not be read or written back.
std::string AttributeUpdateFailed(const std::string& path);

// "%s は読み取り専用のため更新できません。": a file the run would replace is read-only.
std::string ReadOnlyTarget(const std::string& path);
// "次のプログラムが更新するファイルを使用しています。終了してから OK を押して下さい。", followed by
// the programs (or, where the platform does not name them, the files), one a line.
std::string FilesInUse(const std::vector<std::string>& names);
// "ディスクの空き容量が足りません。あと %s MB 必要です。" with `megabytes` for %s.
std::string DiskSpaceShort(const std::string& megabytes);

}  // namespace koushin::engine::messages
