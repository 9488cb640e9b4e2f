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
  kMediaFilePrefix,
  kMediaFileMissingSuffix,
  kMediaFileDamagedSuffix,
  kMediaFileUnlistedSuffix,
  kMediaListUnreadable,
  kMediaDiskSuffixUnsigned,
  kMediaDiskSuffixUntrusted,
  kTrustedKeyPrefix,
  kTrustedKeySuffix,
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
    "更新ディスクのファイル ",
    " がありません。",
    " が壊れています。",
    " はファイル一覧 koushin.sha256 にありません。",
    "更新ディスクのファイル一覧 koushin.sha256 を読めません。",
    " 枚目の更新ディスクには署名がありません。信頼された鍵で署名された更新ディスクが必要です。",
    " 枚目の更新ディスクの署名は信頼された鍵のものではないか、ファイル一覧が書き換えられています。",
    "信頼する鍵 ",
    " を読めません。",
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

std::string UpdateFailed(const std::string& path) {
  return Tidy(path) + Cp932(kUpdateFailedSuffix);
}

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

std::string MediaFileMissing(const std::string& path) {
  return Cp932(kMediaFilePrefix) + path + Cp932(kMediaFileMissingSuffix);
}
std::string MediaFileDamaged(const std::string& path) {
  return Cp932(kMediaFilePrefix) + path + Cp932(kMediaFileDamagedSuffix);
}
std::string MediaFileUnlisted(const std::string& path) {
  return Cp932(kMediaFilePrefix) + path + Cp932(kMediaFileUnlistedSuffix);
}
const std::string& MediaListUnreadable() { return Cp932(kMediaListUnreadable); }
std::string MediaUnsigned(int disk) {
  return std::to_string(disk) + Cp932(kMediaDiskSuffixUnsigned);
}
std::string MediaUntrusted(int disk) {
  return std::to_string(disk) + Cp932(kMediaDiskSuffixUntrusted);
}
std::string TrustedKeyUnreadable(const std::string& path) {
  return Cp932(kTrustedKeyPrefix) + path + Cp932(kTrustedKeySuffix);
}

}  // namespace koushin::engine::messages
