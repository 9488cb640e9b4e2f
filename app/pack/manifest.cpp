#include "pack/manifest.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <toml++/toml.h>

#include "archive/target_name.h"
#include "port/port.h"
#include "text/cp932.h"

namespace koushin::pack {
namespace {

namespace fs = std::filesystem;

// The wizard's limits: 31 bytes per entry column, 15 keys and keywords, 100 entries, and 100 line
// breaks converted per text.
constexpr std::size_t kColumnBytes = 31;
constexpr std::size_t kMaxKeys = 15;
constexpr std::size_t kMaxEntries = 100;
constexpr int kMaxLineBreaks = 100;
// A line break in a text is a TAB and a byte the wizard throws away; a second TAB is what the
// hand-written files use, and it stays harmless if a reader keeps it.
constexpr char kLineBreak[] = "\t\t";

const char* const kPictureKeys[4] = {"viewBitmap", "noticeBitmap", "destinationBitmap",
                                     "confirmBitmap"};

class Loader {
 public:
  Loader(const fs::path& folder, std::vector<Refusal>* refusals)
      : folder_(folder), refusals_(refusals) {}

  void Refuse(int line, const std::string& reason) { refusals_->push_back({line, reason}); }

  static int LineOf(const toml::node& node) { return static_cast<int>(node.source().begin.line); }

  // A one-line text in code page 932: no line break, TAB or end-of-file byte, which would break
  // the positional file.
  bool OneLine(const toml::node& node, const std::string& what, std::string* out) {
    const auto* s = node.as_string();
    if (!s) {
      Refuse(LineOf(node), what + " は文字列で書いてください");
      return false;
    }
    const std::string& utf8 = s->get();
    if (utf8.find_first_of(std::string("\r\n\t\x1A\0", 5)) != std::string::npos) {
      Refuse(LineOf(node), what + " は TAB や制御文字のない 1 行にしてください");
      return false;
    }
    return ToCp932(LineOf(node), what, utf8, out);
  }

  bool ToCp932(int line, const std::string& what, const std::string& utf8, std::string* out) {
    if (!port::Utf8ToCp932(utf8, out)) {
      Refuse(line, what + " にシフト JIS（コードページ 932）にない文字があります");
      return false;
    }
    return true;
  }

  // A dialog text: ordinary lines, each line break written as TAB + filler byte.
  void MultiLine(const toml::node& node, const std::string& what, std::string* out) {
    const auto* s = node.as_string();
    if (!s) return Refuse(LineOf(node), what + " は文字列で書いてください");
    std::string utf8 = s->get();
    std::string joined;
    int breaks = 0;
    if (!utf8.empty() && utf8.back() == '\n') utf8.pop_back();  // the closing """ on its own line
    if (!utf8.empty() && utf8.back() == '\r') utf8.pop_back();
    for (std::size_t i = 0; i < utf8.size(); ++i) {
      const char c = utf8[i];
      if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;
      if (c == '\n') {
        joined += kLineBreak;
        ++breaks;
      } else if (c == '\t' || c == '\x1A' || c == '\r' || c == '\0') {
        return Refuse(LineOf(node), what + " に TAB か制御文字があります");
      } else {
        joined += c;
      }
    }
    if (breaks > kMaxLineBreaks) {
      return Refuse(LineOf(node), what + " の改行が " + std::to_string(breaks) +
                                      " 個あります。更新ウィザードが表示できるのは " +
                                      std::to_string(kMaxLineBreaks) + " 個までです");
    }
    ToCp932(LineOf(node), what, joined, out);
  }

  void TextList(const toml::node& node, const std::string& what, bool allowEmpty,
                std::array<std::string, 15>* out) {
    const auto* a = node.as_array();
    if (!a) return Refuse(LineOf(node), what + " は文字列の配列で書いてください");
    if (a->size() > kMaxKeys) {
      return Refuse(LineOf(node), what + " が " + std::to_string(a->size()) +
                                      " 個あります。更新ウィザードが読めるのは 15 個までです");
    }
    for (std::size_t i = 0; i < a->size(); ++i) {
      std::string value;
      if (!OneLine((*a)[i], what, &value)) continue;
      if (value.empty() && !allowEmpty) {
        Refuse(LineOf((*a)[i]), what + " に空の文字列は書けません（そこで一覧が終わります）");
      }
      (*out)[i] = value;
    }
  }

  std::string HostPath(const toml::node& node, const std::string& what) {
    const auto* s = node.as_string();
    if (!s || s->get().empty()) {
      Refuse(LineOf(node), what + " にはパスを書いてください");
      return {};
    }
    return (folder_ / fs::u8path(s->get())).u8string();
  }

  // An entry column: at most 31 bytes in code page 932, no comma (it would split the line).
  bool Column(int line, const std::string& what, const std::string& utf8, std::string* out) {
    if (utf8.find_first_of(std::string("\r\n\t\x1A\0", 5)) != std::string::npos) {
      Refuse(line, what + " は TAB や制御文字のない 1 行にしてください");
      return false;
    }
    if (!ToCp932(line, what, utf8, out)) return false;
    if (out->find(',') != std::string::npos) {
      Refuse(line, what + " \"" + utf8 + "\" にコンマがあります（項目の行が分かれてしまいます）");
      return false;
    }
    if (out->size() > kColumnBytes) {
      Refuse(line, what + " \"" + utf8 + "\" はシフト JIS で " + std::to_string(out->size()) +
                       " バイトあります。更新ウィザードが読めるのは 31 バイトまでです");
      return false;
    }
    return true;
  }

  void Entry(const toml::table& t, Manifest* m) {
    ManifestEntry e;
    e.line = LineOf(t);
    std::string nameUtf8;
    int nameLine = e.line;  // where a bad name is to be found
    int sourceKeys = 0;
    for (auto&& [key, value] : t) {
      const std::string k(key.str());
      const int line = LineOf(value);
      if (k == "folder") {
        e.kind = EntryKind::kArchive;
        e.sources = {HostPath(value, k)};
        nameUtf8 = fs::u8path(value.value_or(std::string())).filename().u8string();
        ++sourceKeys;
      } else if (k == "file") {
        e.kind = EntryKind::kFile;
        e.sources = {HostPath(value, k)};
        nameUtf8 = fs::u8path(value.value_or(std::string())).filename().u8string();
        ++sourceKeys;
      } else if (k == "start") {
        e.kind = EntryKind::kStart;
        ++sourceKeys;
        const auto* a = value.as_array();
        if (!a || a->empty()) {
          Refuse(line, "start には titleKeywords の順にフォルダを 1 つずつ書いてください");
          continue;
        }
        if (a->size() > kMaxKeys) {
          Refuse(line, "start のフォルダが " + std::to_string(a->size()) +
                           " 個あります。titleKeywords は 15 個までです");
        }
        for (auto&& f : *a) e.sources.push_back(HostPath(f, "start"));
      } else if (k == "name") {
        if (!value.is_string()) {
          Refuse(line, "name は文字列で書いてください");
          continue;
        }
        nameUtf8 = value.value_or(std::string());
        nameLine = line;
      } else if (k == "target") {
        if (!value.is_string() ||
            !Column(line, "target", value.value_or(std::string()), &e.target)) {
          if (!value.is_string()) Refuse(line, "target は文字列で書いてください");
          continue;
        }
        if (!e.target.empty() && !text::EndsWithBackslash(e.target)) {
          Refuse(line,
                 "target は \\ "
                 "で終えてください（更新ウィザードはファイル名をそのまま後ろにつなげます）");
        }
      } else if (k == "disk") {
        const auto d = value.value<std::int64_t>();
        if (!d || *d < 1 || *d > 99) {
          Refuse(line, "disk は 1 から 99 の数で書いてください");
          continue;
        }
        e.disk = static_cast<int>(*d);
      } else {
        Refuse(line, "項目に知らないキー \"" + k + "\" があります");
      }
    }
    if (sourceKeys != 1) {
      return Refuse(e.line, "項目には folder、file、start のどれか 1 つだけを書いてください");
    }
    if (e.kind == EntryKind::kStart) {
      // The wizard picks START<n> by the installed variant; the entry itself is named START.
      if (!nameUtf8.empty() && nameUtf8 != "START") {
        Refuse(e.line, "start の項目の名前は必ず START です");
      }
      nameUtf8 = "START";
    }
    if (e.target.empty()) {
      // An empty column would make the wizard repeat the previous entry's target.
      return Refuse(e.line, "項目に target がありません（インストール先そのものは \\）");
    }
    if (!Column(nameLine, "name", nameUtf8, &e.name)) return;
    std::string mediaName = e.kind == EntryKind::kFile ? e.name : e.name + ".lzh";
    if (e.name.empty() || archive::CheckTargetName(mediaName) != archive::NameProblem::kNone) {
      return Refuse(nameLine, "name \"" + nameUtf8 + "\" は Windows のファイル名に使えません");
    }
    m->entries.push_back(std::move(e));
  }

  void Top(const toml::table& root, Manifest* m) {
    bool haveIni = false;
    for (auto&& [key, value] : root) {
      const std::string k(key.str());
      const int line = LineOf(value);
      if (k == "uninstallKeys") {
        TextList(value, k, false, &m->uninstallKeys);
      } else if (k == "titleKeywords") {
        TextList(value, k, true, &m->titleKeywords);
        if (const auto* a = value.as_array()) {
          m->keywordCount = static_cast<int>(std::min<std::size_t>(a->size(), kMaxKeys));
        }
      } else if (k == "installFolder") {
        OneLine(value, k, &m->installFolder);
      } else if (k == "newVersion") {
        OneLine(value, k, &m->newVersion);
      } else if (k == "versionIniCode") {
        const auto n = value.value<std::int64_t>();
        if (!n) Refuse(line, "versionIniCode は数で書いてください");
        if (n) m->versionIniCode = std::to_string(*n);
      } else if (k == "masterAdjust") {
        const auto b = value.value<bool>();
        if (!b) Refuse(line, "masterAdjust は true か false で書いてください");
        if (b) m->masterAdjust = *b ? "1" : "0";
      } else if (k == "categoryCode") {
        const auto n = value.value<std::int64_t>();
        if (!n || *n < 1 || *n > 6) Refuse(line, "categoryCode は 1 から 6 の数で書いてください");
        if (n) m->categoryCode = std::to_string(*n);
      } else if (k == "systemIniName") {
        if (haveIni)
          Refuse(line, "systemIniName と detectSystemIni はどちらか一方だけを書いてください");
        haveIni = true;
        OneLine(value, k, &m->systemIniName);
        if (m->systemIniName.empty() || m->systemIniName == "NULL") {
          Refuse(line,
                 "systemIniName にはファイル名を書いてください（探させるときは detectSystemIni = "
                 "true）");
        }
      } else if (k == "detectSystemIni") {
        if (haveIni)
          Refuse(line, "systemIniName と detectSystemIni はどちらか一方だけを書いてください");
        haveIni = true;
        if (value.value<bool>() != std::optional<bool>(true)) {
          Refuse(line, "detectSystemIni には true だけが書けます");
        }
        m->systemIniName = "NULL";
      } else if (k == "noticeText") {
        MultiLine(value, k, &m->noticeText);
      } else if (k == "destinationText") {
        MultiLine(value, k, &m->destinationText);
      } else if (k == "method") {
        const std::string v = value.value_or(std::string());
        if (v != "lh5" && v != "lh6" && v != "lh7") {
          Refuse(line, "method は \"lh5\"、\"lh6\"、\"lh7\" のどれかです");
        } else {
          m->method = "-" + v + "-";
        }
      } else if (k == "headerLevel") {
        const auto n = value.value<std::int64_t>();
        if (!n || (*n != 1 && *n != 2)) Refuse(line, "headerLevel は 1 か 2 です");
        if (n) m->headerLevel = static_cast<int>(*n);
      } else if (k == "entry") {
        const auto* a = value.as_array();
        if (!a) {
          Refuse(line, "entry は [[entry]] の形で書いてください");
          continue;
        }
        if (a->size() > kMaxEntries) {
          Refuse(line, "項目が " + std::to_string(a->size()) +
                           " 個あります。更新ウィザードが読めるのは 100 個までです");
        }
        for (auto&& e : *a) {
          if (const auto* t = e.as_table()) {
            Entry(*t, m);
          } else {
            Refuse(LineOf(e), "entry は [[entry]] の形で書いてください");
          }
        }
      } else {
        bool picture = false;
        for (int i = 0; i < 4; ++i) {
          if (k != kPictureKeys[i]) continue;
          picture = true;
          m->pictures[i].line = line;
          m->pictures[i].source = HostPath(value, k);
          // The picture keeps its file's name on the media, and info.txt names it so.
          const std::string name = fs::u8path(value.value_or(std::string())).filename().u8string();
          if (ToCp932(line, k, name, &m->pictures[i].name) &&
              archive::CheckTargetName(m->pictures[i].name) != archive::NameProblem::kNone) {
            Refuse(line, k + " \"" + name + "\" は Windows のファイル名に使えません");
          }
        }
        if (!picture) Refuse(line, "知らないキー \"" + k + "\" があります");
      }
    }
    if (!haveIni) Refuse(0, "systemIniName か detectSystemIni = true が必要です");
    if (m->uninstallKeys[0].empty()) Refuse(0, "uninstallKeys が少なくとも 1 つ必要です");
    if (m->categoryCode.empty()) Refuse(0, "categoryCode が必要です");
    if (m->masterAdjust.empty()) m->masterAdjust = "0";
    if (m->versionIniCode.empty()) Refuse(0, "versionIniCode が必要です");
    CheckEntries(*m);
  }

  // What only the entries together can break: two of them written to one file on the media, and
  // START folders for title keywords that do not exist.
  // Whether keyword `k` (0-based) can be the first found in some title: it contains no earlier
  // keyword (an empty one is found in every title).
  static bool KeywordCanWin(const Manifest& m, int k) {
    for (int earlier = 0; earlier < k; ++earlier) {
      if (text::FindAtCharBoundary(m.titleKeywords[k], m.titleKeywords[earlier]) !=
          std::string::npos) {
        return false;
      }
    }
    return true;
  }

  void CheckEntries(const Manifest& m) {
    std::set<std::string> names = {"INFO.TXT"};
    for (const Picture& p : m.pictures) {
      if (!p.name.empty()) names.insert(text::ToUpper(p.name));
    }
    const int keywords = m.keywordCount;
    for (const ManifestEntry& e : m.entries) {
      std::vector<std::string> files;
      if (e.kind == EntryKind::kFile) files = {e.name};
      if (e.kind == EntryKind::kArchive) files = {e.name + ".LZH"};
      for (std::size_t i = 0; e.kind == EntryKind::kStart && i < e.sources.size(); ++i) {
        files.push_back("START" + std::to_string(i + 1) + ".LZH");
      }
      if (e.kind == EntryKind::kStart && static_cast<int>(e.sources.size()) > keywords) {
        Refuse(e.line, "start のフォルダが titleKeywords より多くあります");
      }
      // A keyword that can identify a product needs its variant, or that product's update
      // would stop at START.
      for (int k = static_cast<int>(e.sources.size()); e.kind == EntryKind::kStart && k < keywords;
           ++k) {
        if (!KeywordCanWin(m, k)) continue;
        Refuse(e.line, "タイトルキーワード " + std::to_string(k + 1) + "「" +
                           port::Cp932ToUtf8Lossy(m.titleKeywords[k]) + "」の書庫 START" +
                           std::to_string(k + 1) +
                           ".lzh がありません（start にフォルダがありません）。"
                           "その製品の更新は START で止まります");
      }
      for (const std::string& f : files) {
        if (!names.insert(text::ToUpper(f)).second) {
          Refuse(e.line, "ほかの項目か絵が、もう同じ名前 " + port::Cp932ToUtf8Lossy(f) +
                             " で媒体に書かれます");
        }
      }
    }
  }

 private:
  fs::path folder_;
  std::vector<Refusal>* refusals_;
};

void AddLine(std::string* out, const std::string& line) {
  *out += line;
  *out += "\r\n";
}

}  // namespace

const std::string& UnusedKeyword() {
  // A bare CR stays inside an info.txt line (only LF ends one), but ends a line of an INI file,
  // so no title read from one holds it.
  static const std::string keyword = [] {
    std::string cp932;
    port::Utf8ToCp932("（未使用）\r（どのタイトルにも合いません）", &cp932);
    return cp932;
  }();
  return keyword;
}

bool LoadManifest(const std::string& utf8Path, Manifest* manifest, std::vector<Refusal>* refusals) {
  refusals->clear();
  *manifest = Manifest();
  std::string bytes;
  if (std::FILE* f = port::OpenHostFile(utf8Path, "rb")) {
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, got);
    std::fclose(f);
  } else {
    refusals->push_back({0, "マニフェストを読めません"});
    return false;
  }
  toml::table root;
  try {
    root = toml::parse(bytes, utf8Path);
  } catch (const toml::parse_error& e) {
    refusals->push_back({static_cast<int>(e.source().begin.line), std::string(e.description())});
    return false;
  }
  Loader loader(fs::absolute(fs::u8path(utf8Path)).parent_path(), refusals);
  loader.Top(root, manifest);
  return refusals->empty();
}

std::string InfoText(const Manifest& m, const std::vector<int>& disks) {
  std::string out;
  for (const std::string& key : m.uninstallKeys) AddLine(&out, key);
  AddLine(&out, m.installFolder);
  AddLine(&out, m.versionIniCode);
  AddLine(&out, m.masterAdjust);
  AddLine(&out, m.systemIniName);
  AddLine(&out, m.categoryCode);
  AddLine(&out, m.newVersion);
  for (const Picture& p : m.pictures) AddLine(&out, p.name);
  AddLine(&out, m.noticeText);
  AddLine(&out, m.destinationText);
  // Without keywords every installed product is one (an empty first keyword is found in every
  // title); otherwise the positions after the named ones match nothing.
  const int named = std::max(m.keywordCount, 1);
  for (int k = 0; k < static_cast<int>(m.titleKeywords.size()); ++k) {
    AddLine(&out, k < named ? m.titleKeywords[k] : UnusedKeyword());
  }
  for (std::size_t i = 0; i < m.entries.size(); ++i) {
    const ManifestEntry& e = m.entries[i];
    AddLine(&out, std::to_string(disks[i]) + "," + (e.kind == EntryKind::kFile ? "0" : "1") + "," +
                      e.name + "," + e.target);
  }
  return out;
}

}  // namespace koushin::pack
