// The Japanese texts the engine shows: messages and captions. Each is returned as code page 932
// bytes, as the message boxes expect them; messages.cpp holds them in UTF-8 and converts them
// once. What the update writes to disk (INI keys and values, file names) is in product.h.
#pragma once

#include <string>
#include <vector>

namespace koushin::engine::messages {

// The installation check did not find the system's INI file.
const std::string& FolderNotRight();
// Marker files missing, or the system not identified.
const std::string& CannotUpdate();
// Caption of error messages: the installation check's, and the wizard's own.
const std::string& CaptionError();
// Caption of every message during and after the update.
const std::string& CaptionConfirm();
// A disk prompt was cancelled.
const std::string& Cancelled();
// Shown before the Excel template archive is extracted.
const std::string& ExcelTemplateUpdated();
// The material size conversion returned 0.
const std::string& SizeConversionFailed();
// The material type conversion returned 0.
const std::string& TypeConversionFailed();
// The final message of a run.
const std::string& UpdateDone();
// The final message of a dry run (nothing was written).
const std::string& DryRunDone();
// The run stopped and every change was put back.
const std::string& Restored();
// Another run holds the installation.
const std::string& RunBusy();
// An unfinished run was found; it is put back before anything else.
const std::string& UnfinishedRun();
// The journal of an earlier run cannot be read; nothing is done.
const std::string& JournalDamaged();
// Recovery found nothing unfinished.
const std::string& NothingToRecover();
// Undo found no kept run.
const std::string& NothingToUndo();
// Undo put the last update back.
const std::string& Undone();
// Undo refuses: files changed since the update (their list follows).
const std::string& UndoRefused();
// Undo refuses while an unfinished run waits: recovery comes first.
const std::string& RecoverFirst();
// "このシステムは既に %s に更新されています。": the installation already has the media's version.
std::string AlreadyCurrent(const std::string& version);
// The installation is newer than the media: both versions named; nothing is written.
std::string NewerInstalled(const std::string& installed, const std::string& target);
// "%s を元に戻せませんでした。" for each path, one line each: what a restore could not put back.
std::string RestoreFailed(const std::vector<std::string>& paths);

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

// The media's file lists and signatures (engine/media_list.h).
// "更新ディスクのファイル %s がありません。": a listed file is not on the disk.
std::string MediaFileMissing(const std::string& path);
// "更新ディスクのファイル %s が壊れています。": a file's bytes differ from its listed digest.
std::string MediaFileDamaged(const std::string& path);
// "更新ディスクのファイル %s はファイル一覧 koushin.sha256 にありません。": the run would read a
// file the disk's list does not vouch for.
std::string MediaFileUnlisted(const std::string& path);
// The disk's list cannot be read.
const std::string& MediaListUnreadable();
// "%d 枚目の更新ディスクには署名がありません。…": trusted keys are known, the disk is unsigned.
std::string MediaUnsigned(int disk);
// "%d 枚目の更新ディスクの署名は信頼された鍵のものではないか、…": another key, or a changed list.
std::string MediaUntrusted(int disk);
// "信頼する鍵 %s を読めません。": a file among the trusted keys is no usable public key.
std::string TrustedKeyUnreadable(const std::string& path);

}  // namespace koushin::engine::messages
