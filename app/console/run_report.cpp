#include "run_report.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "port/port.h"
#include "text/cp932.h"
#include "text/path.h"

namespace koushin::console {

namespace {

const char* ChangeName(journal::RecordKind kind) {
  switch (kind) {
    case journal::RecordKind::kReplacedFile:
      return "replaced";
    case journal::RecordKind::kCreatedFile:
      return "created";
    case journal::RecordKind::kCreatedFolder:
      return "folder created";
    default:
      return "other";
  }
}

std::string Utf8(const std::string& cp932) { return port::Cp932ToUtf8Lossy(cp932); }

// A JSON string of a code page 932 text.
std::string Json(const std::string& cp932) { return JsonUtf8(Utf8(cp932)); }

// A JSON string of a path of the installation (code page 932): one separator between its parts.
std::string JsonPath(const std::string& cp932) { return Json(text::OneSeparator(cp932)); }

struct Counts {
  int replaced = 0, created = 0, folders = 0;
};

Counts Count(const engine::RunSummary& summary) {
  Counts counts;
  for (const journal::Change& change : summary.changes) {
    if (change.kind == journal::RecordKind::kReplacedFile) ++counts.replaced;
    if (change.kind == journal::RecordKind::kCreatedFile) ++counts.created;
    if (change.kind == journal::RecordKind::kCreatedFolder) ++counts.folders;
  }
  return counts;
}

}  // namespace

std::string JsonUtf8(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string PlanText(const engine::UpdatePlan& plan) {
  using engine::StepKind;
  const auto n = [](auto value) { return std::to_string(value); };
  const auto path = [](const std::string& cp932) { return Utf8(text::OneSeparator(cp932)); };
  const auto file = [&](const std::string& target, std::uint64_t bytes,
                        const engine::FileState& before) {
    return std::string(before.exists && !before.isFolder ? "置き換え " : "作成 ") + path(target) +
           "（" + n(bytes) + " バイト" +
           (before.exists && !before.isFolder ? "、元 " + n(before.bytes) + " バイト" : "") + "）";
  };
  std::string text = "更新の計画:\n";
  for (const std::vector<engine::PlanStep>* list : {&plan.steps, &plan.settings}) {
    for (const engine::PlanStep& step : *list) {
      switch (step.kind) {
        case StepKind::kAskForDisk:
          text += "  " + n(step.disk) + " 枚目の更新ディスクを求めます（" + path(step.source) +
                  " で確かめます）\n";
          break;
        case StepKind::kMakeFolder:
          text += "  フォルダを作成 " + path(step.path) + "\n";
          break;
        case StepKind::kExtract: {
          std::string why;
          if (!step.startVariant.empty()) {
            why = "製品別の書庫 " + Utf8(step.startVariant) + "（システム番号 " +
                  n(step.systemIndex) + ": " +
                  (step.keyword.empty() && step.systemIndex == 0 ? "velmora1.ini の MAKER が 1"
                   : step.keyword.empty() && step.systemIndex == 99
                       ? "velmora1.ini の MAKER が 1 以外"
                       : "TITLE にキーワード " + n(step.systemIndex) + "「" + Utf8(step.keyword) +
                             "」") +
                  "）";
          } else if (step.excelNotice) {
            why = "エクセルひな形がないか、使用中か、2022-02-05 以前のものなので更新します";
          }
          text += "  書庫 " + path(step.source) + " を " + path(step.path) + " に展開" +
                  (why.empty() ? "" : ": " + why) + "\n";
          for (const engine::PlannedMember& member : step.members) {
            text += "    " + file(member.path, member.bytes, member.before) + "\n";
          }
          break;
        }
        case StepKind::kCopy:
          text += "  " + file(step.path, step.bytes, step.before) + "（" + path(step.source) +
                  " から、属性なし）\n";
          break;
        case StepKind::kWriteIni:
          for (const engine::PlannedKey& key : step.keys) {
            text += "  INI " + path(step.path) + " [" + Utf8(key.section) + "] " + Utf8(key.key) +
                    ": " + (key.existed ? "「" + Utf8(key.oldValue) + "」" : "（なし）") + " → 「" +
                    Utf8(key.newValue) + "」\n";
          }
          break;
        case StepKind::kConvertMaster:
          text += "  マスタ " + path(step.path) + ": " +
                  (step.rule == engine::MasterRule::kSize ? "材料ｻｲｽﾞ変換" : "材料ﾀｲﾌﾟ変換") +
                  (step.records < 0 ? std::string("（レコード数は展開後に数えます）")
                                    : " " + n(step.records) + " レコード") +
                  "\n";
          break;
      }
    }
  }
  return text + "  元のファイルの控えに要る容量: " + n(plan.KeptBytes()) + " バイト\n";
}

std::string SummaryText(const engine::RunSummary& summary, bool dryRun) {
  const auto n = [](auto value) { return std::to_string(value); };
  if (dryRun) {
    return PlanText(summary.plan) + "確認のみ（何も変更していません）: INI の設定 " +
           n(summary.iniKeysWritten) + " 件を書き、マスタのレコード " +
           n(summary.masterRecordsConverted) + " 件を変換する予定です。元のファイルの控えに " +
           n(summary.keptBytes) + " バイトを使います。\n";
  }
  const Counts counts = Count(summary);
  std::string text;
  // After a complete restore nothing is left changed: the restore's line says it all.
  const bool changed = counts.replaced + counts.created + counts.folders + summary.iniKeysWritten +
                           summary.masterRecordsConverted >
                       0;
  if (changed || !summary.restored) {
    text = "変更: ファイルの置き換え " + n(counts.replaced) + " 件、新規作成 " + n(counts.created) +
           " 件、フォルダの作成 " + n(counts.folders) + " 件、INI の設定 " +
           n(summary.iniKeysWritten) + " 件、マスタのレコードの変換 " +
           n(summary.masterRecordsConverted) + " 件。元のファイルの控え: " + n(summary.keptBytes) +
           " バイト\n";
  }
  if (summary.restored) {
    const journal::RestoreReport& r = summary.restore;
    text += "元に戻したもの: 置き換えたファイル " + n(r.filesPutBack) + " 件を元に戻し、作成した" +
            "ファイル " + n(r.filesRemoved) + " 件とフォルダ " + n(r.foldersRemoved) +
            " 件を削除しました";
    text += r.failed.empty() ? "。\n" : "。戻せなかったもの " + n(r.failed.size()) + " 件。\n";
  }
  return text;
}

std::string OutcomeName(engine::RunOutcome outcome, bool dryRun) {
  switch (outcome) {
    case engine::RunOutcome::kUpdated:
      return dryRun ? "planned" : "updated";
    case engine::RunOutcome::kCurrent:
      return "current";
    case engine::RunOutcome::kCancelled:
      return "cancelled";
    case engine::RunOutcome::kCheckFailed:
      return "check failed";
    case engine::RunOutcome::kPreflightRefused:
      return "preflight refused";
    case engine::RunOutcome::kBusy:
      return "busy";
    case engine::RunOutcome::kStoppedRestored:
      return "stopped restored";
    case engine::RunOutcome::kStoppedNotRestored:
      return "stopped not restored";
    case engine::RunOutcome::kRecovered:
      return "recovered";
    case engine::RunOutcome::kNothingToRecover:
      return "nothing to recover";
    case engine::RunOutcome::kUndone:
      return "undone";
    case engine::RunOutcome::kUndoRefused:
      return "undo refused";
    case engine::RunOutcome::kJournalRefused:
      return "journal refused";
    case engine::RunOutcome::kMediaRefused:
      return "media invalid";
  }
  return "journal refused";
}

std::string UtcNow() {
  const std::time_t seconds =
      std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  // One thread only: std::gmtime's shared result is safe here.
  const std::tm utc = *std::gmtime(&seconds);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
  return text;
}

std::string ReportJson(const RunRecord& record) {
  const engine::RunSummary& summary = record.summary;
  const Counts counts = Count(summary);
  const auto field = [](const char* name, const std::string& json, bool last = false) {
    return std::string("  \"") + name + "\": " + json + (last ? "\n" : ",\n");
  };
  const auto number = [](std::uint64_t n) { return std::to_string(n); };
  std::string json = "{\n";
  json += field("schema", "1");
  json += field("program", "{\"name\": " + JsonUtf8(record.program) +
                               ", \"version\": " + JsonUtf8(record.version) + "}");
  json += field("host", JsonUtf8(record.host));
  json += field("startedAt", JsonUtf8(record.startedAt));
  json += field("endedAt", JsonUtf8(record.endedAt));
  json += field("folder", JsonUtf8(text::OneSeparator(record.folder)));
  json += field("media", JsonUtf8(text::OneSeparator(record.media)));
  json += field("versionBefore", Json(summary.versionBefore));
  json += field("versionAfter", Json(summary.versionAfter));
  json += field("versionTarget", Json(summary.versionTarget));
  json += field("outcome", JsonUtf8(record.outcome));
  json += field("exitStatus", std::to_string(record.exitStatus));
  json += field("message", JsonUtf8(record.message));
  json += field("dryRun", record.dryRun ? "true" : "false");
  std::string changes = "[";
  for (std::size_t i = 0; i < summary.changes.size(); ++i) {
    const journal::Change& change = summary.changes[i];
    // The bytes of the file as the run left it (a folder: 0); a dry run's, as planned.
    port::FileStatus status;
    const std::uint64_t bytes = change.kind == journal::RecordKind::kCreatedFolder ? 0
                                : record.dryRun ? summary.plan.BytesAfter(change.path)
                                : port::ReadFileStatus(change.path, &status) ? status.size
                                                                             : 0;
    changes += std::string(i == 0 ? "\n" : ",\n") + "    {\"change\": \"" +
               ChangeName(change.kind) + "\", \"path\": " + JsonPath(change.path) +
               ", \"bytes\": " + number(bytes) + "}";
  }
  json += field("changes", changes + (summary.changes.empty() ? "]" : "\n  ]"));
  std::string blocking = "[";
  for (std::size_t i = 0; i < summary.blockingFiles.size(); ++i) {
    const engine::BlockingFile& file = summary.blockingFiles[i];
    blocking += std::string(i == 0 ? "\n" : ",\n") + "    {\"path\": " + JsonPath(file.path) +
                ", \"reason\": \"" + (file.readOnly ? "read-only" : "in use") +
                "\", \"program\": " + (file.program.empty() ? "null" : Json(file.program)) + "}";
  }
  json += field("blockingFiles", blocking + (summary.blockingFiles.empty() ? "]" : "\n  ]"));
  json += field("filesReplaced", number(counts.replaced));
  json += field("filesCreated", number(counts.created));
  json += field("foldersCreated", number(counts.folders));
  json += field("iniKeysWritten", number(summary.iniKeysWritten));
  json += field("masterRecordsConverted", number(summary.masterRecordsConverted));
  json += field("keptBytes", number(summary.keptBytes));
  const journal::RestoreReport& restore = summary.restore;
  // "restored": a restore ran and put everything back (a refused undo restored nothing).
  json += field("restored", summary.restored && restore.Complete() ? "true" : "false");
  json += field("filesPutBack", number(restore.filesPutBack));
  json += field("filesRemoved", number(restore.filesRemoved));
  json += field("foldersRemoved", number(restore.foldersRemoved));
  std::string failed = "[";
  for (std::size_t i = 0; i < restore.failed.size(); ++i) {
    failed += (i == 0 ? "" : ", ") + JsonPath(restore.failed[i]);
  }
  json += field("findings", record.findingsJson.empty() ? "[]" : record.findingsJson);
  json += field("notRestored", failed + "]", true);
  return json + "}\n";
}

bool CheckReportPath(const std::string& utf8Path, std::string* problem) {
  std::string cp932;
  if (!port::Utf8ToCp932(port::AbsoluteHostPath(utf8Path), &cp932)) {
    *problem = "報告ファイルの名前にシフトJIS で表せない文字があります。";
    return false;
  }
  const std::size_t separator = text::FindLastSeparator(cp932);
  const std::string folder = separator == std::string::npos ? "." : cp932.substr(0, separator + 1);
  if (!port::IsFolder(folder)) {
    *problem = "報告ファイルのフォルダがありません: " + utf8Path;
    return false;
  }
  if (port::IsFolder(cp932)) {
    *problem = "報告ファイルの名前はフォルダです: " + utf8Path;
    return false;
  }
  // A file of our own beside it, made and removed: the folder takes new files.
  const std::string probe = cp932 + ".koushin-probe";
  port::Error error;
  if (!port::WriteWholeFile(probe, std::string(), &error)) {
    *problem = "報告ファイル " + utf8Path + " を書けません: " + error.Describe();
    return false;
  }
  port::RemoveFile(probe);
  return true;
}

bool WriteReportFile(const std::string& utf8Path, const std::string& bytes, std::string* problem) {
  std::string cp932;
  if (!port::Utf8ToCp932(port::AbsoluteHostPath(utf8Path), &cp932)) {
    *problem = "報告ファイルの名前にシフトJIS で表せない文字があります。";
    return false;
  }
  port::Error error;
  if (!port::WriteFileAtomically(cp932, bytes, &error)) {
    *problem = error.Describe();
    return false;
  }
  return true;
}

}  // namespace koushin::console
