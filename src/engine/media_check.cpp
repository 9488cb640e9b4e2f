#include "engine/media_check.h"

#include <map>
#include <utility>

#include "archive/archive.h"
#include "description/update_description.h"
#include "gfx/bitmap_file.h"
#include "engine/messages.h"
#include "engine/product.h"
#include "engine/update_plan.h"
#include "port/port.h"
#include "text/cp932.h"
#include "text/number.h"
#include "text/path.h"

namespace koushin::engine {

namespace {

using product::kArchiveKind;
constexpr int kVariants = product::kStartVariants;  // START1 .. START15, one per title keyword
constexpr std::size_t kMaxPath = 259;  // the longest path Windows opens, without its NUL
constexpr int kFirstEntryLine = description::kHeaderLines + 1;
constexpr int kFirstKeywordLine = 28;
constexpr char kWizardName[] = "koushin.exe";

// A text of this file (UTF-8 here) in code page 932, as the findings carry it.
std::string J(const std::string& utf8) {
  std::string cp932;
  return port::Utf8ToCp932(utf8, &cp932) ? cp932 : utf8;
}

class MediaChecker {
 public:
  MediaChecker(const std::vector<std::string>& diskFolders, std::uint64_t capacity,
               const std::vector<TrustedKey>& keys)
      : folders_(DiskFolders(diskFolders)), capacity_(capacity), keys_(keys) {}

  std::vector<MediaFinding> Run() {
    if (folders_.empty()) {
      Add(Severity::kProblem, 0, 0, 0, J("媒体のフォルダが指定されていません"));
      return std::move(findings_);
    }
    for (std::size_t d = 0; d < folders_.size(); ++d) CheckList(static_cast<int>(d) + 1);
    if (CheckDescription()) {
      CheckHeaderValues();
      for (std::size_t i = 0; i < record_.entries.size(); ++i) CheckEntry(static_cast<int>(i));
      CheckPictures();
      CheckWizard();
    }
    for (std::size_t d = 0; d < folders_.size(); ++d) CheckDiskSize(static_cast<int>(d) + 1);
    return std::move(findings_);
  }

 private:
  void Add(Severity severity, int line, int entry, int disk, const std::string& text) {
    findings_.push_back({severity, line, entry, disk, text});
  }

  // The disk's file list and signature, as the wizard checks them when it first uses the disk.
  void CheckList(int disk) {
    const DiskCheck check = CheckDisk(folders_[disk - 1], keys_);
    lists_.push_back(check);
    switch (check.verdict) {
      case DiskVerdict::kNoList:
        Add(Severity::kNote, 0, 0, disk,
            J("ファイル一覧 koushin.sha256 がありません: 更新ウィザードはファイルを検査しません"));
        return;
      case DiskVerdict::kSound:
        Add(Severity::kNote, 0, 0, disk,
            J("ファイル一覧のとおり ") + std::to_string(check.files.size()) +
                J(" 個のファイルがそろっています") +
                (check.signer.empty()
                     ? (check.signedList ? J("（署名は信頼する鍵が指定されていないため未検査）")
                                         : std::string())
                     : J("。署名: ") + check.signer));
        return;
      default:
        Add(Severity::kProblem, 0, 0, disk, DiskRefusal(check, disk));
    }
  }

  // Whether the wizard may read `name` from disk `disk`: a disk with a list must list it.
  void CheckListed(int i, int disk, const std::string& name) {
    const std::size_t d = folders_.size() == 1 ? 0 : static_cast<std::size_t>(disk - 1);
    // A disk refused as a whole has said so once; its files are not named again.
    if (d >= lists_.size() || lists_[d].verdict != DiskVerdict::kSound) return;
    if (lists_[d].Covers(name)) return;
    Add(Severity::kProblem, kFirstEntryLine + i, i + 1, disk, messages::MediaFileUnlisted(name));
  }

  // Loads info.txt from disk 1 with the wizard's own loader. False when there is no record to
  // check further.
  bool CheckDescription() {
    const std::string path = folders_[0] + "info.txt";
    if (!port::ReadWholeFile(path, &bytes_)) {
      Add(Severity::kProblem, 0, 0, 1, J("info.txt を読めません: ") + path);
      return false;
    }
    const std::vector<description::LoadResult> problems =
        description::FindDescriptionProblems(bytes_);
    for (const description::LoadResult& problem : problems) {
      Add(Severity::kProblem, problem.line, 0, 1, problem.problem);
    }
    return problems.empty() && description::ParseUpdateDescription(bytes_, &record_).status ==
                                   description::LoadStatus::kRead;
  }

  // Values the loader takes as they are, but which the wizard reads in a way a vendor may not
  // expect.
  void CheckHeaderValues() {
    if (record_.uninstallKeys[0].empty()) {
      Add(Severity::kWarning, 1, 0, 0,
          J("1 行目が空です: "
            "ウィンドウのタイトルも、インストール先を探すアンインストール情報のキーもありません"));
    }
    if (record_.installFolder.empty()) {
      Add(Severity::kWarning, 16, 0, 0, J("16 行目に既定のインストール先がありません"));
    }
    const int master = text::ParseInt(record_.masterAdjust);
    if (master != 0 && master != 1) {
      Add(Severity::kWarning, 18, 0, 0,
          J("18 行目が 0 でも 1 でもありません: 材料マスタの変換は行われません"));
    }
    const int category = text::ParseInt(record_.categoryCode);
    if (category < 1 || category > 6) {
      Add(Severity::kWarning, 20, 0, 0, J("20 行目が 1 から 6 の業種コードではありません"));
    }
    if (record_.newVersion.empty()) {
      Add(Severity::kWarning, 21, 0, 0, J("21 行目が空です: 版は書き換えられません"));
    }
    // An entry line of fewer than four fields silently repeats columns of the line before.
    const std::vector<std::string_view> lines = description::DescriptionLines(bytes_);
    for (std::size_t i = description::kHeaderLines; i < lines.size(); ++i) {
      std::string_view line = lines[i];
      int fields = 0;
      for (; fields < 4; ++fields) {
        const std::size_t comma = line.find(',');
        if (line.substr(0, comma).empty()) break;
        if (comma == std::string_view::npos) {
          ++fields;
          break;
        }
        line.remove_prefix(comma + 1);
      }
      if (fields < 4) {
        const int number = static_cast<int>(i) + 1;
        Add(Severity::kWarning, number, number - description::kHeaderLines, 0,
            J("項目の行の欄が 4 つより少ない: 足りない欄は前の行の値が繰り返されます"));
      }
    }
  }

  // The folder of the disk an entry is on, or "" with a problem when that disk was not given.
  std::string DiskFolder(int i) {
    if (folders_.size() == 1) return folders_[0];
    const int disk = record_.entries[i].diskNumber;
    if (disk >= 1 && disk <= static_cast<int>(folders_.size())) return folders_[disk - 1];
    Add(Severity::kProblem, kFirstEntryLine + i, i + 1, 0,
        J("項目はディスク ") + std::to_string(disk) + J(" にありますが、指定されたディスクは ") +
            std::to_string(folders_.size()) + J(" 枚です"));
    return std::string();
  }

  void CheckEntry(int i) {
    const int line = kFirstEntryLine + i;
    const int disk = record_.entries[i].diskNumber;
    if (disk < 1) Add(Severity::kProblem, line, i + 1, 0, J("ディスク番号が 1 以上ではありません"));
    CheckTargetFolder(i);
    const std::string folder = DiskFolder(i);
    if (folder.empty()) return;
    // The media file the plan reads for the entry; for START, one per variant the installation
    // may turn out to be (START3 for the third keyword).
    const description::UpdateEntry& entry = record_.entries[i];
    const std::string& name = entry.fileName;
    if (entry.kind != kArchiveKind) {
      const std::string file = MediaName(entry, 0);
      if (!port::PathExists(folder + file) || port::IsFolder(folder + file)) {
        Add(Severity::kProblem, line, i + 1, disk, J("ファイルがありません: ") + folder + file);
      } else {
        CheckListed(i, disk, file);
        NoteWritten(i, text::SplitPath(file).name + text::SplitPath(file).extension);
      }
      return;
    }
    if (!IsStartEntry(entry)) {
      CheckArchiveFile(i, folder, MediaName(entry, 0));
      return;
    }
    std::string found;
    for (int v = 1; v <= kVariants; ++v) {
      const std::string archive = MediaName(entry, v);
      if (port::PathExists(folder + archive)) {
        found += (found.empty() ? "" : ", ") + name + std::to_string(v);
        CheckArchiveFile(i, folder, archive);
      } else if (KeywordCanWin(v)) {
        Add(Severity::kProblem, line, i + 1, disk,
            J("タイトルキーワード ") + std::to_string(v) + J("「") + record_.titleKeywords[v - 1] +
                J("」（") + std::to_string(kFirstKeywordLine - 1 + v) + J(" 行目）の書庫 ") +
                archive + J(" がありません: その製品の更新はここで止まります"));
      }
    }
    if (found.empty()) {
      Add(Severity::kProblem, line, i + 1, disk,
          J("書庫 ") + name + "1" + product::kArchiveExtension + J("～") + name +
              std::to_string(kVariants) + product::kArchiveExtension + J(" がどれもありません"));
    } else {
      Add(Severity::kNote, line, i + 1, disk, J("ある製品別書庫: ") + found);
    }
  }

  // Whether title keyword `v` can ever identify a variant: it can be found in a title, and the
  // first keyword found wins, so one that contains an earlier keyword that can be found (an empty
  // one is found in every title) never does.
  bool KeywordCanWin(int v) const {
    const std::string& keyword = record_.titleKeywords[v - 1];
    if (!KeywordCanMatch(keyword)) return false;
    for (int k = 1; k < v; ++k) {
      const std::string& earlier = record_.titleKeywords[k - 1];
      if (KeywordCanMatch(earlier) &&
          text::FindAtCharBoundary(keyword, earlier) != std::string::npos) {
        return false;
      }
    }
    return true;
  }

  // Two entries that write one file: the later one wins, which is seldom what was meant.
  void NoteWritten(int i, const std::string& name) {
    std::string folder = record_.entries[i].targetSubfolder;
    const std::string key = text::ToUpper(folder + name);
    const auto [at, fresh] = written_.emplace(key, i);
    if (fresh || at->second == i) return;
    Add(Severity::kWarning, kFirstEntryLine + i, i + 1, 0,
        J("項目 ") + std::to_string(at->second + 1) + J(" と同じファイル ") + folder + name +
            J(" を書きます: 後の項目の内容が残ります"));
    at->second = i;
  }

  // Headers, every member's CRC, names and methods, through the wizard's own archive library;
  // each member's path below the default installation folder must stay within what Windows
  // opens.
  void CheckArchiveFile(int i, const std::string& diskFolder, const std::string& archive) {
    const int line = kFirstEntryLine + i;
    const int disk = record_.entries[i].diskNumber;
    const std::string path = diskFolder + archive;
    if (!port::PathExists(path)) {
      Add(Severity::kProblem, line, i + 1, disk, J("書庫がありません: ") + path);
      return;
    }
    CheckListed(i, disk, archive);
    // Every variant of START writes for one product only: their members do not meet.
    const bool variant = IsStartEntry(record_.entries[i]);
    std::string folder = record_.installFolder;
    const std::size_t separator = text::FindLastSeparator(folder);
    if (folder.empty() || separator != folder.size() - 1) folder += '\\';
    folder += record_.entries[i].targetSubfolder;
    std::string tooLong;
    std::string message;
    const bool sound = archive::CheckArchive(
        path,
        [&](const archive::MemberInfo& member) {
          if (tooLong.empty() && !member.isFolder &&
              folder.size() + member.name.size() > kMaxPath) {
            tooLong = member.name;
          }
          if (!member.isFolder && !variant) NoteWritten(i, member.name);
        },
        &message);
    if (!sound) Add(Severity::kProblem, line, i + 1, disk, message);
    if (!tooLong.empty()) {
      Add(Severity::kWarning, line, i + 1, disk,
          J("書庫の中のファイル ") + tooLong + J(" は ") + folder + tooLong + J(" になり、") +
              std::to_string(kMaxPath) + J(" バイトを超えます"));
    }
  }

  // The wizard appends the target folder to the installation folder as it stands; one that
  // climbs out of it or names a drive or another root writes elsewhere.
  void CheckTargetFolder(int i) {
    const std::string& target = record_.entries[i].targetSubfolder;
    bool dots = false;
    std::size_t start = 0;
    for (std::size_t pos = 0; pos <= target.size();) {
      const bool end = pos == target.size();
      if (end || target[pos] == '\\' || target[pos] == '/') {
        if (target.compare(start, pos - start, "..") == 0) dots = true;
        start = pos + 1;
        if (end) break;
        ++pos;
        continue;
      }
      pos += text::CharLength(target, pos);
    }
    const bool drive = target.find(':') != std::string::npos;
    const bool root = target.size() >= 2 && (target[0] == '\\' || target[0] == '/') &&
                      (target[1] == '\\' || target[1] == '/');
    if (dots || drive || root) {
      Add(Severity::kWarning, kFirstEntryLine + i, i + 1, 0,
          J("展開先 ") + target + J(" はインストール先の外を指しています"));
    }
  }

  void CheckPictures() {
    const std::pair<int, const std::string*> pictures[] = {{22, &record_.viewBitmap},
                                                           {23, &record_.noticeBitmap},
                                                           {24, &record_.destinationBitmap},
                                                           {25, &record_.confirmBitmap}};
    for (const auto& picture : pictures) {
      const std::string& name = *picture.second;
      if (name.empty()) {
        Add(Severity::kWarning, picture.first, 0, 1, J("絵が指定されていません"));
        continue;
      }
      gfx::BitmapImage image;
      if (!gfx::ReadBitmapFile(folders_[0] + name, &image)) {
        Add(Severity::kProblem, picture.first, 0, 1,
            J("絵がないか、更新ウィザードが表示できる BMP ではありません: ") + folders_[0] + name);
      }
    }
  }

  // Adds up the sizes of every file below `folder`.
  std::uint64_t FolderBytes(const std::string& folder, int depth) {
    std::vector<port::FoundEntry> entries;
    std::uint64_t total = 0;
    if (depth > 32 || !port::FindEntries(folder + "*", &entries)) return 0;
    for (const port::FoundEntry& entry : entries) {
      if (entry.name == "." || entry.name == "..") continue;
      if (entry.isFolder) {
        total += FolderBytes(folder + entry.name + "\\", depth + 1);
        continue;
      }
      port::FileStatus status;
      if (port::ReadFileStatus(folder + entry.name, &status)) total += status.size;
    }
    return total;
  }

  void CheckDiskSize(int disk) {
    if (capacity_ == 0) return;
    const std::uint64_t bytes = FolderBytes(folders_[disk - 1], 0);
    if (bytes > capacity_) {
      Add(Severity::kProblem, 0, 0, disk,
          J("ディスクのファイルは ") + std::to_string(bytes) + J(" バイトあり、媒体の容量 ") +
              std::to_string(capacity_) + J(" バイトを超えます"));
    }
  }

  // Media the wizard cannot start from: no koushin.exe beside info.txt.
  void CheckWizard() {
    if (!port::PathExists(folders_[0] + kWizardName)) {
      Add(Severity::kWarning, 0, 0, 1,
          J("1 枚目に更新ウィザード koushin.exe がありません（koushin-pack の --wizard）"));
    }
  }

  const std::vector<std::string> folders_;
  const std::uint64_t capacity_;
  const std::vector<TrustedKey>& keys_;
  std::vector<DiskCheck> lists_;        // one per disk, in order
  std::map<std::string, int> written_;  // target file (upper case) -> the entry writing it
  std::string bytes_;
  description::UpdateDescription record_;
  std::vector<MediaFinding> findings_;
};

}  // namespace

std::vector<MediaFinding> CheckMedia(const std::vector<std::string>& diskFolders,
                                     std::uint64_t capacity, const std::vector<TrustedKey>& keys) {
  return MediaChecker(diskFolders, capacity, keys).Run();
}

bool KeywordCanMatch(const std::string& keyword) {
  return keyword.find_first_of("\r\n") == std::string::npos;
}

std::vector<std::string> DiskFolders(const std::vector<std::string>& diskFolders) {
  if (diskFolders.size() != 1 || port::PathExists(diskFolders[0] + "info.txt")) return diskFolders;
  const std::string& folder = diskFolders[0];
  const char separator = folder.empty() ? '\\' : folder.back();
  std::vector<std::string> disks;
  for (int n = 1;; ++n) {
    const std::string disk = folder + "disk" + std::to_string(n) + separator;
    if (!port::IsFolder(disk.substr(0, disk.size() - 1))) break;
    disks.push_back(disk);
  }
  return disks.empty() ? diskFolders : disks;
}

std::string FindingLine(const MediaFinding& finding, bool showDisk) {
  std::string where;
  if (finding.entry != 0) where += J("項目 ") + std::to_string(finding.entry) + J("、");
  if (finding.line != 0) {
    where += J("info.txt ") + std::to_string(finding.line) + J(" 行目、");
  }
  if (finding.disk != 0 && showDisk) {
    where += J("ディスク ") + std::to_string(finding.disk) + J("、");
  }
  const std::string comma = J("、");
  if (!where.empty()) where = where.substr(0, where.size() - comma.size()) + ": ";
  const char* kind = finding.severity == Severity::kProblem   ? "問題"
                     : finding.severity == Severity::kWarning ? "警告"
                                                              : "参考";
  return J(kind) + ": " + where + finding.text;
}

std::string FindingsSummary(const std::vector<MediaFinding>& findings) {
  int problems = 0;
  int warnings = 0;
  for (const MediaFinding& finding : findings) {
    if (finding.severity == Severity::kProblem) ++problems;
    if (finding.severity == Severity::kWarning) ++warnings;
  }
  return J("問題 ") + std::to_string(problems) + J(" 件、警告 ") + std::to_string(warnings) +
         J(problems == 0 ? " 件: 媒体は使えます" : " 件: この媒体はそのままでは使えません");
}

FindingsText FormatFindings(const std::vector<MediaFinding>& findings, bool showDisk) {
  FindingsText text;
  for (const MediaFinding& finding : findings) {
    const bool problem = finding.severity == Severity::kProblem;
    text.lines.push_back({FindingLine(finding, showDisk), problem});
    if (problem && text.firstProblem.empty()) text.firstProblem = text.lines.back().text;
  }
  text.summary = FindingsSummary(findings);
  return text;
}

bool HasProblem(const std::vector<MediaFinding>& findings) {
  for (const MediaFinding& finding : findings) {
    if (finding.severity == Severity::kProblem) return true;
  }
  return false;
}

}  // namespace koushin::engine
