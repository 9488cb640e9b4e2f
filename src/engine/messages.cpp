// The Japanese texts of the engine, written in UTF-8 and converted to code page 932 once, on
// first use.
#include "engine/messages.h"

#include <vector>

#include "port/port.h"
#include "text/path.h"

namespace koushin::engine::messages {
namespace {

enum Id {
  kFolderNotRight,
  kCannotUpdate,
  kCaptionError,
  kCaptionConfirm,
  kCancelled,
  kExcelTemplateUpdated,
  kSizeConversionFailed,
  kTypeConversionFailed,
  kUpdateDone,
  kEraName,
  kHistoryStartKey,
  kHistoryEndKey,
  kCategoryElectric,
  kCategoryWater,
  kCategoryFacility,
  kCategoryBuilding,
  kExcelTemplatePath,
  kDryRunDone,
  kDiskPromptSuffix,
  kUpdateFailedSuffix,
  kAttributeFailedSuffix,
  kRestored,
  kRunBusy,
  kUnfinishedRun,
  kJournalDamaged,
  kNothingToRecover,
  kNothingToUndo,
  kUndone,
  kUndoRefused,
  kRestoreFailedSuffix,
  kReadOnlySuffix,
  kFilesInUse,
  kDiskSpacePrefix,
  kDiskSpaceSuffix,
  kCurrentPrefix,
  kCurrentSuffix,
  kNewerInstalledPrefix,
  kNewerInstalledMiddle,
  kNewerInstalledSuffix,
  kRecoverFirst,
  kCount,
};

const char* const kUtf8[] = {
    "ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞが正しくないと思われます。",
    "このバージョンへの更新はできません。",
    "エラー",
    "確認",
    "ｱｯﾌﾟﾃﾞｲﾄを取消しました。",
    "原価計算書のエクセルひな形を更新しました。",
    "材料ｻｲｽﾞ変換が正常に更新されませんでした。",
    "材料ﾀｲﾌﾟ変換が正常に更新されませんでした。",
    "システムは正常に更新されました。",
    "令和",
    "抽出開始日ON",
    "抽出終了日ON",
    "種別電気",
    "種別水道",
    "種別設備",
    "種別建築",
    "\\形式\\横A-A4g.xlsm",
    "更新内容の確認が終わりました。ファイルは変更していません。",
    " 枚目のｱｯﾌﾟﾃﾞｲﾄFDをｾｯﾄしてください。",
    "の更新に失敗しました。",
    "の属性更新に失敗しました。",
    "更新前の状態に戻しました。",
    "別の更新が実行中です。",
    "前回の更新が途中で終わっています。更新前の状態に戻します。",
    "前回の更新の記録を読めません。インストール先は変更していません。",
    "途中で終わった更新はありません。",
    "元に戻せる更新はありません。",
    "前回の更新の前の状態に戻しました。",
    "次のファイルが更新後に変更されているため、元に戻しません。",
    " を元に戻せませんでした。",
    " は読み取り専用のため更新できません。",
    "次のプログラムが更新するファイルを使用しています。終了してから OK を押して下さい。",
    "ディスクの空き容量が足りません。あと ",
    " MB 必要です。",
    "このシステムは既に ",
    " に更新されています。",
    "インストールされているシステム (",
    ") はこの更新 (",
    ") より新しいため、更新できません。",
    "前回の更新が途中で終わっています。先に --recover で更新前の状態に戻してください。",
};
static_assert(sizeof kUtf8 / sizeof kUtf8[0] == kCount, "one text for each Id");

const std::string& Cp932(Id id) {
  // Every text is in the code page; should a platform's converter refuse one, the UTF-8 bytes
  // are still better shown than nothing.
  static const std::vector<std::string> converted = port::Utf8TableToCp932(kUtf8, kCount);
  return converted[id];
}

// A path as shown: one separator between its parts.
std::string Tidy(const std::string& path) { return koushin::text::OneSeparator(path); }

}  // namespace

const std::string& FolderNotRight() { return Cp932(kFolderNotRight); }
const std::string& CannotUpdate() { return Cp932(kCannotUpdate); }
const std::string& CaptionError() { return Cp932(kCaptionError); }
const std::string& CaptionConfirm() { return Cp932(kCaptionConfirm); }
const std::string& Cancelled() { return Cp932(kCancelled); }
const std::string& ExcelTemplateUpdated() { return Cp932(kExcelTemplateUpdated); }
const std::string& SizeConversionFailed() { return Cp932(kSizeConversionFailed); }
const std::string& TypeConversionFailed() { return Cp932(kTypeConversionFailed); }
const std::string& UpdateDone() { return Cp932(kUpdateDone); }
const std::string& EraName() { return Cp932(kEraName); }
const std::string& HistoryStartKey() { return Cp932(kHistoryStartKey); }
const std::string& HistoryEndKey() { return Cp932(kHistoryEndKey); }
const std::string& CategoryElectric() { return Cp932(kCategoryElectric); }
const std::string& CategoryWater() { return Cp932(kCategoryWater); }
const std::string& CategoryFacility() { return Cp932(kCategoryFacility); }
const std::string& CategoryBuilding() { return Cp932(kCategoryBuilding); }
const std::string& ExcelTemplatePath() { return Cp932(kExcelTemplatePath); }
const std::string& DryRunDone() { return Cp932(kDryRunDone); }
const std::string& Restored() { return Cp932(kRestored); }
const std::string& RunBusy() { return Cp932(kRunBusy); }
const std::string& UnfinishedRun() { return Cp932(kUnfinishedRun); }
const std::string& JournalDamaged() { return Cp932(kJournalDamaged); }
const std::string& NothingToRecover() { return Cp932(kNothingToRecover); }
const std::string& NothingToUndo() { return Cp932(kNothingToUndo); }
const std::string& Undone() { return Cp932(kUndone); }
const std::string& UndoRefused() { return Cp932(kUndoRefused); }

const std::string& RecoverFirst() { return Cp932(kRecoverFirst); }

std::string AlreadyCurrent(const std::string& version) {
  return Cp932(kCurrentPrefix) + version + Cp932(kCurrentSuffix);
}

std::string NewerInstalled(const std::string& installed, const std::string& target) {
  return Cp932(kNewerInstalledPrefix) + installed + Cp932(kNewerInstalledMiddle) + target +
         Cp932(kNewerInstalledSuffix);
}

std::string DiskPrompt(int disk) { return std::to_string(disk) + Cp932(kDiskPromptSuffix); }

std::string UpdateFailed(const std::string& path) { return Tidy(path) + Cp932(kUpdateFailedSuffix); }

std::string AttributeUpdateFailed(const std::string& path) {
  return Tidy(path) + Cp932(kAttributeFailedSuffix);
}

std::string RestoreFailed(const std::vector<std::string>& paths) {
  std::string text;
  for (const std::string& path : paths) {
    text += (text.empty() ? "" : "\r\n") + Tidy(path) + Cp932(kRestoreFailedSuffix);
  }
  return text;
}

std::string ReadOnlyTarget(const std::string& path) { return Tidy(path) + Cp932(kReadOnlySuffix); }

std::string FilesInUse(const std::vector<std::string>& names) {
  std::string text = Cp932(kFilesInUse);
  for (const std::string& name : names) text += "\r\n" + Tidy(name);
  return text;
}

std::string DiskSpaceShort(const std::string& megabytes) {
  return Cp932(kDiskSpacePrefix) + megabytes + Cp932(kDiskSpaceSuffix);
}

}  // namespace koushin::engine::messages
