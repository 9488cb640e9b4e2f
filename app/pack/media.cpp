#include "pack/media.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <system_error>
#include <vector>

#include "archive/byte_stream.h"
#include "archive/lzh_writer.h"
#include "engine/media_check.h"
#include "engine/media_list.h"
#include "gfx/bitmap_file.h"
#include "pack/manifest.h"
#include "port/port.h"
#include "text/cp932.h"

namespace koushin::pack {
namespace {

namespace fs = std::filesystem;

// Reads a host file.
class FileSource : public archive::ByteSource {
 public:
  explicit FileSource(std::FILE* file) : file_(file) {}
  ~FileSource() override { std::fclose(file_); }
  std::size_t Read(std::uint8_t* buffer, std::size_t size) override {
    return std::fread(buffer, 1, size, file_);
  }
  bool Failed() const override { return std::ferror(file_) != 0; }

 private:
  std::FILE* file_;
};

// Writes an archive file, going back to patch headers. Archives stay under 2 GiB, far more than
// any medium holds, so plain fseek offsets serve on every platform.
class FileArchiveSink : public archive::ArchiveSink {
 public:
  explicit FileArchiveSink(const std::string& utf8Path)
      : path_(utf8Path), file_(port::OpenHostFile(utf8Path, "w+b")) {}
  ~FileArchiveSink() override {
    if (file_) std::fclose(file_);
  }
  bool Open() const { return file_ != nullptr; }
  bool Write(const std::uint8_t* data, std::size_t size) override {
    if (pos_ + size > kLimit) return false;
    pos_ += size;
    return std::fwrite(data, 1, size, file_) == size;
  }
  bool Seek(std::uint64_t offset) override {
    pos_ = offset;
    return std::fseek(file_, static_cast<long>(offset), SEEK_SET) == 0;
  }
  bool Truncate(std::uint64_t size) override {
    if (std::fflush(file_) != 0) return false;
    std::fclose(file_);
    file_ = nullptr;
    std::error_code code;
    fs::resize_file(fs::u8path(path_), size, code);
    return !code;
  }

 private:
  static constexpr std::uint64_t kLimit = 0x7FFFFFFF;
  std::string path_;
  std::FILE* file_;
  std::uint64_t pos_ = 0;
};

struct MediaFile {
  std::string name;    // code page 932, on the media
  std::string source;  // host path to copy from
  std::uint64_t size = 0;
  // Archives: members and their total size, for the report.
  int members = 0;
  std::uint64_t original = 0;
};

struct Disk {
  std::vector<MediaFile> files;
  std::uint64_t used = 0;       // the files' footprint, without the list and its signature
  std::uint64_t listBytes = 0;  // the size of its koushin.sha256
};

// A list line: 64 digits, two spaces, the name in UTF-8, LF.
std::uint64_t ListLineBytes(const MediaFile& f) {
  return 64 + 2 + port::Cp932ToUtf8Lossy(f.name).size() + 1;
}

// The longest DER ECDSA P-256 signature.
constexpr std::uint64_t kSignatureBytes = 72;

std::string Utf8(const std::string& cp932) { return port::Cp932ToUtf8Lossy(cp932); }

std::string Grouped(std::uint64_t n) {
  std::string s = std::to_string(n);
  for (int i = static_cast<int>(s.size()) - 3; i > 0; i -= 3) s.insert(i, ",");
  return s;
}

class Maker {
 public:
  Maker(const PackOptions& options, std::FILE* errors) : options_(options), errors_(errors) {}

  void Refuse(int line, const std::string& reason) {
    if (line > 0) {
      std::fprintf(errors_, "%s:%d: %s\n", options_.manifest.c_str(), line, reason.c_str());
    } else {
      std::fprintf(errors_, "%s: %s\n", options_.manifest.c_str(), reason.c_str());
    }
    refused_ = true;
  }

  std::uint64_t Footprint(std::uint64_t size) const {
    const std::uint64_t unit = options_.allocationUnit;
    return (size + unit - 1) / unit * unit;
  }

  // What disk `d` takes with `more` bytes of files and `lines` bytes of list lines added: the
  // files, its list and, when signing, the signature.
  std::uint64_t Total(const Disk& d, std::uint64_t more, std::uint64_t lines) const {
    return d.used + more + Footprint(d.listBytes + lines) +
           (options_.signKey.empty() ? 0 : Footprint(kSignatureBytes));
  }

  // The member time: SOURCE_DATE_EPOCH when set, so builds agree whatever the files' times.
  static bool MemberTime(const std::string& utf8Path, std::int64_t* time) {
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
      *time = std::strtoll(epoch, nullptr, 10);
      return true;
    }
    std::string cp932;
    port::FileStatus status;
    if (!port::Utf8ToCp932(utf8Path, &cp932) || !port::ReadFileStatus(cp932, &status)) return false;
    *time = port::UnixFromFileTime(status.lastWriteTime);
    return true;
  }

  // Packs every file below `folder` (flattened, in name order) into `archivePath`.
  bool MakeArchive(const ManifestEntry& e, const std::string& folder, MediaFile* out) {
    std::error_code code;
    if (!fs::is_directory(fs::u8path(folder), code)) {
      Refuse(e.line, "フォルダ " + folder + " がありません");
      return false;
    }
    std::map<std::string, std::string> members;  // cp932 name -> host path
    std::map<std::string, std::string> byUpper;
    for (fs::recursive_directory_iterator it(fs::u8path(folder), code), end; !code && it != end;
         it.increment(code)) {
      if (!it->is_regular_file()) continue;
      const std::string path = it->path().u8string();
      std::string name;
      if (!port::Utf8ToCp932(it->path().filename().u8string(), &name)) {
        Refuse(e.line, path + ": 名前にシフト JIS（コードページ 932）にない文字があります");
        return false;
      }
      auto [at, fresh] = byUpper.emplace(text::ToUpper(name), path);
      if (!fresh) {
        Refuse(e.line, path + " と " + at->second +
                           " が同じファイルになります（更新ウィザードは書庫の中のファイルを "
                           "すべて target のフォルダにそのまま展開します）");
        return false;
      }
      members[name] = path;
    }
    if (code) {
      Refuse(e.line, "フォルダ " + folder + " を読めません: " + code.message());
      return false;
    }
    const std::string archivePath = (scratch_ / fs::u8path(Utf8(out->name))).u8string();
    FileArchiveSink sink(archivePath);
    if (!sink.Open()) {
      Refuse(0, archivePath + " を書けません");
      return false;
    }
    archive::WriterOptions writerOptions;
    writerOptions.method = manifest_.method;
    writerOptions.headerLevel = manifest_.headerLevel;
    archive::LzhWriter writer(sink, writerOptions);
    for (const auto& [name, path] : members) {
      archive::MemberInput input;
      input.name = name;
      std::error_code sizeCode;
      input.size = fs::file_size(fs::u8path(path), sizeCode);
      if (sizeCode || !MemberTime(path, &input.unixTime)) {
        Refuse(e.line, path + " を読めません");
        return false;
      }
      input.open = [path = path]() -> std::unique_ptr<archive::ByteSource> {
        std::FILE* f = port::OpenHostFile(path, "rb");
        if (!f) return nullptr;
        return std::make_unique<FileSource>(f);
      };
      std::string error;
      if (!writer.Add(input, nullptr, &error)) {
        Refuse(e.line, path + ": " + error);
        return false;
      }
      ++out->members;
      out->original += input.size;
    }
    std::string error;
    if (!writer.Finish(&out->size, &error)) {
      Refuse(0, archivePath + ": " + error);
      return false;
    }
    out->source = archivePath;
    return true;
  }

  bool PlainFile(int line, const std::string& name, const std::string& path, MediaFile* out) {
    std::error_code code;
    out->name = name;
    out->source = path;
    if (!fs::is_regular_file(fs::u8path(path), code)) {
      Refuse(line, "ファイル " + path + " がありません");
      return false;
    }
    out->size = fs::file_size(fs::u8path(path), code);
    return !code;
  }

  // The files of every entry, made in the scratch folder where they are archives.
  bool MakeEntries() {
    for (const ManifestEntry& e : manifest_.entries) {
      std::vector<MediaFile> files;
      for (std::size_t i = 0; i < e.sources.size(); ++i) {
        MediaFile f;
        if (e.kind == EntryKind::kFile) {
          PlainFile(e.line, e.name, e.sources[i], &f);
        } else {
          f.name = text::ToUpper(e.name) +
                   (e.kind == EntryKind::kStart ? std::to_string(i + 1) : std::string()) + ".lzh";
          MakeArchive(e, e.sources[i], &f);
        }
        files.push_back(f);
      }
      entryFiles_.push_back(files);
    }
    return !refused_;
  }

  // Puts disk 1's own files first, then each entry on its disk: the one the manifest gives, or
  // the current one while it has room, else the next. Disks never go down, since the wizard
  // asks only for a disk above the current one.
  bool AssignDisks() {
    disks_.assign(1, Disk());
    Disk& first = disks_[0];
    MediaFile info;
    info.name = "info.txt";
    info.size = InfoText(manifest_, std::vector<int>(manifest_.entries.size(), 99)).size();
    first.files.push_back(info);
    for (const Picture& p : manifest_.pictures) {
      if (p.name.empty()) continue;
      MediaFile f;
      if (!PlainFile(p.line, p.name, p.source, &f)) continue;
      // The picture is read as the wizard will read it, before anything is written.
      std::string cp932;
      gfx::BitmapImage image;
      if (!port::Utf8ToCp932(p.source, &cp932) || !gfx::ReadBitmapFile(cp932, &image)) {
        Refuse(p.line, p.source + " は更新ウィザードが表示できる BMP ではありません");
        continue;
      }
      first.files.push_back(f);
    }
    // The wizards go under the names the media are started by, whatever their files are called.
    const std::pair<const std::string*, const char*> programs[] = {
        {&options_.wizard, kWizardFileName}, {&options_.console, kConsoleFileName}};
    for (const auto& [source, name] : programs) {
      MediaFile f;
      if (!source->empty() && PlainFile(0, name, *source, &f)) first.files.push_back(f);
    }
    for (const MediaFile& f : first.files) {
      first.used += Footprint(f.size);
      first.listBytes += ListLineBytes(f);
    }
    if (Total(first, 0, 0) > options_.diskBytes) {
      std::string sizes;
      for (const MediaFile& f : first.files) {
        sizes += (sizes.empty() ? "" : "、") + Utf8(f.name) + " " + Grouped(f.size);
      }
      Refuse(0, "1 枚目に入れる info.txt、絵、更新ウィザードで " + Grouped(Total(first, 0, 0)) +
                    " バイトになり、ディスク（" + Grouped(options_.diskBytes) +
                    " バイト）に入りません（" + sizes + " バイト）");
    }
    int current = 1;
    for (std::size_t i = 0; i < manifest_.entries.size(); ++i) {
      const ManifestEntry& e = manifest_.entries[i];
      std::uint64_t need = 0;
      std::uint64_t lines = 0;
      bool tooLarge = false;
      for (const MediaFile& f : entryFiles_[i]) {
        need += Footprint(f.size);
        lines += ListLineBytes(f);
        if (Total(Disk(), Footprint(f.size), ListLineBytes(f)) > options_.diskBytes) {
          Refuse(e.line, Utf8(f.name) + "（" + Grouped(f.size) + " バイト）は 1 枚のディスク（" +
                             Grouped(options_.diskBytes) + " バイト）に入りません");
          tooLarge = true;
        }
      }
      int disk = current;
      if (e.disk != 0) {
        if (e.disk < current) {
          Refuse(e.line, "disk = " + std::to_string(e.disk) + " ですが、前の項目はもうディスク " +
                             std::to_string(current) +
                             " にあります（更新ウィザードは前のディスクを二度と求めません）");
        }
        disk = std::max(e.disk, current);
      } else if (!tooLarge && Total(disks_[current - 1], need, lines) > options_.diskBytes) {
        disk = current + 1;
      }
      // An entry refused for its size takes no disk: the entries after it are placed as if it
      // were not there, so that only the root cause is reported.
      if (tooLarge) {
        entryDisks_.push_back(disk);
        continue;
      }
      if (static_cast<int>(disks_.size()) < disk) disks_.resize(disk);
      Disk& d = disks_[disk - 1];
      if (Total(d, need, lines) > options_.diskBytes) {
        Refuse(e.line, "項目がディスク " + std::to_string(disk) + " に入りません（あと " +
                           Grouped(Total(d, need, lines) - options_.diskBytes) + " バイト）");
      }
      if (disk > current && e.kind != EntryKind::kArchive) {
        // The disk prompt waits for NAME.lzh of the first entry of the new disk.
        Refuse(e.line,
               "ディスク " + std::to_string(disk) +
                   " の最初の項目は START 以外の書庫（folder）にしてください（更新ウィザードは"
                   "その 名前.lzh があるかでディスクが入ったことを確かめます）");
      }
      current = disk;
      entryDisks_.push_back(disk);
      for (const MediaFile& f : entryFiles_[i]) d.files.push_back(f);
      d.used += need;
      d.listBytes += lines;
    }
    // Disk 1's room was kept for the longest info.txt; the report shows the real one.
    disks_[0].files[0].size = InfoText(manifest_, entryDisks_).size();
    return !refused_;
  }

  void Report(std::FILE* out) const {
    for (std::size_t i = 0; i < disks_.size(); ++i) {
      const Disk& d = disks_[i];
      const std::uint64_t total = Total(d, 0, 0);
      std::fprintf(out, "disk %zu: %s bytes used, %s free\n", i + 1, Grouped(total).c_str(),
                   Grouped(options_.diskBytes - std::min(total, options_.diskBytes)).c_str());
      std::vector<MediaFile> files = d.files;
      MediaFile list;
      list.name = engine::kFileListName;
      list.size = d.listBytes;
      files.push_back(list);
      for (const MediaFile& f : files) {
        std::fprintf(out, "  %s %12s", Column(f.name, 24).c_str(), Grouped(f.size).c_str());
        if (f.members > 0) {
          std::fprintf(out, "  %d %s, %s bytes, ratio %.1f%%", f.members,
                       f.members == 1 ? "file" : "files", Grouped(f.original).c_str(),
                       f.original ? 100.0 * static_cast<double>(f.size) / f.original : 100.0);
        }
        std::fprintf(out, "\n");
      }
      if (!options_.signKey.empty()) {
        std::fprintf(out, "  %s %12s\n", Column(engine::kSignatureName, 24).c_str(), "~72");
      }
    }
  }

  // A name in UTF-8 padded to `width` columns of the terminal. In code page 932 a double-byte
  // character is full width and a single byte half width, so its bytes are its columns.
  static std::string Column(const std::string& cp932, std::size_t width) {
    std::string utf8 = Utf8(cp932);
    if (cp932.size() < width) utf8.append(width - cp932.size(), ' ');
    return utf8;
  }

  // Copies everything into the output folder: DIR itself for one disk, DIR/diskN for more.
  bool Write() {
    const fs::path out = staged_;
    std::error_code code;
    const std::string info = InfoText(manifest_, entryDisks_);
    const fs::path infoPath = scratch_ / "info.txt";
    if (std::FILE* f = port::OpenHostFile(infoPath.u8string(), "wb")) {
      const bool ok = std::fwrite(info.data(), 1, info.size(), f) == info.size();
      if (std::fclose(f) != 0 || !ok) return Fail(infoPath.u8string() + " を書けません");
    } else {
      return Fail(infoPath.u8string() + " を書けません");
    }
    disks_[0].files[0].source = infoPath.u8string();
    disks_[0].files[0].size = info.size();
    for (std::size_t i = 0; i < disks_.size(); ++i) {
      const fs::path folder = disks_.size() == 1 ? out : out / ("disk" + std::to_string(i + 1));
      fs::create_directories(folder, code);
      if (code) return Fail(folder.u8string() + " を作れません: " + code.message());
      for (const MediaFile& f : disks_[i].files) {
        const fs::path to = folder / fs::u8path(Utf8(f.name));
        fs::copy_file(fs::u8path(f.source), to, fs::copy_options::overwrite_existing, code);
        if (!code) fs::last_write_time(to, fs::last_write_time(fs::u8path(f.source)), code);
        if (code) return Fail(to.u8string() + " を書けません: " + code.message());
      }
      if (!WriteList(folder, disks_[i])) return false;
    }
    return true;
  }

  // The disk's list: every file just written with its SHA-256, read back from the disk folder,
  // so the list vouches for what is there; then its signature when a key was given.
  bool WriteList(const fs::path& folder, const Disk& disk) {
    std::string list;
    for (const MediaFile& f : disk.files) {
      const fs::path path = folder / fs::u8path(Utf8(f.name));
      std::string cp932;
      port::Sha256Digest digest;
      port::Error error;
      if (!port::Utf8ToCp932(path.u8string(), &cp932) ||
          !port::Sha256OfFile(cp932, &digest, &error)) {
        return Fail("書いた " + path.u8string() + " を読み返せません: " + error.Describe());
      }
      list += engine::FileListLine(port::HexDigest(digest), Utf8(f.name));
    }
    if (!WriteHostFile(folder / engine::kFileListName, list)) return false;
    if (signKeyPem_.empty()) return true;
    std::string signature;
    std::string problem;
    if (!port::SignMessage(signKeyPem_, list, &signature, &problem)) return Fail(problem);
    return WriteHostFile(folder / engine::kSignatureName, signature);
  }

  bool WriteHostFile(const fs::path& path, const std::string& bytes) {
    std::FILE* f = port::OpenHostFile(path.u8string(), "wb");
    const bool ok = f != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f != nullptr && std::fclose(f) != 0) return Fail(path.u8string() + " を書けません");
    return ok || Fail(path.u8string() + " を書けません");
  }

  // Reads the signing key before anything is made: a key that cannot sign refuses the run.
  bool ReadSignKey() {
    if (options_.signKey.empty()) return true;
    std::FILE* f = port::OpenHostFile(options_.signKey, "rb");
    if (f != nullptr) {
      char buffer[4096];
      std::size_t got;
      while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) signKeyPem_.append(buffer, got);
      std::fclose(f);
    }
    std::string signature;
    std::string problem = "読めません";
    if (f == nullptr || !port::SignMessage(signKeyPem_, "", &signature, &problem)) {
      Refuse(0, "--sign " + options_.signKey + " の秘密鍵で署名できません: " + problem);
      signKeyPem_.clear();
      return false;
    }
    return true;
  }

  bool Fail(const std::string& what) {
    std::fprintf(errors_, "koushin-pack: %s\n", what.c_str());
    return false;
  }

  int Run(std::FILE* report) {
    std::vector<Refusal> refusals;
    if (!LoadManifest(options_.manifest, &manifest_, &refusals)) {
      for (const Refusal& r : refusals) Refuse(r.line, r.reason);
      return kPackRefused;
    }
    std::error_code code;
    const fs::path out = fs::u8path(options_.out);
    if (!options_.dryRun && fs::exists(out, code) && !fs::is_empty(out, code)) {
      Fail("書き出すフォルダ " + options_.out + " が空ではありません");
      return kPackRefused;
    }
    if (!ReadSignKey()) return kPackRefused;
    if (!MakeScratch()) return kPackFailed;
    if (!MakeEntries() || !AssignDisks()) return kPackRefused;
    Report(report);
    if (options_.dryRun) return kPackDone;
    // The media are written and checked in the scratch folder; only sound media reach the output
    // folder, so a refusal at any point leaves it as it was and the run can simply be repeated.
    staged_ = scratch_ / "media";
    if (!Write()) return kPackFailed;
    if (!CheckWritten(report)) return kPackFailed;
    return Publish() ? kPackDone : kPackFailed;
  }

  // Runs the wizard's media check on the folders just written and reports what it finds. False
  // when it finds a problem: the media are written but must not be used.
  bool CheckWritten(std::FILE* report) {
    std::vector<std::string> folders;
    const fs::path out = staged_;
    for (std::size_t i = 0; i < disks_.size(); ++i) {
      const fs::path folder = disks_.size() == 1 ? out : out / ("disk" + std::to_string(i + 1));
      std::string cp932;
      if (!port::Utf8ToCp932(folder.u8string(), &cp932)) {
        return Fail(folder.u8string() + " はシフト JIS で表せないため検査できません");
      }
      // The check takes folders ending in a separator, in the host's own spelling.
      const bool windows = cp932.size() > 1 && (cp932[1] == ':' || cp932[0] == '\\');
      folders.push_back(cp932 + (windows ? '\\' : '/'));
    }
    const std::vector<engine::MediaFinding> findings =
        engine::CheckMedia(folders, options_.diskBytes);
    const engine::FindingsText text = engine::FormatFindings(findings, disks_.size() > 1);
    for (const engine::FindingsText::Line& line : text.lines) {
      std::fprintf(line.problem ? errors_ : report, "media check: %s\n", Utf8(line.text).c_str());
    }
    if (!text.firstProblem.empty()) {
      return Fail("媒体の検査で問題が見つかったため、" + options_.out + " には何も書いていません");
    }
    std::fprintf(report, "media check: %s\n", Utf8(text.summary).c_str());
    return true;
  }

  // Copies the checked media into the output folder, with their times.
  bool Publish() {
    const fs::path out = fs::u8path(options_.out);
    std::error_code code;
    fs::create_directories(out, code);
    if (code) return Fail(options_.out + " を作れません: " + code.message());
    for (fs::recursive_directory_iterator it(staged_, code), end; !code && it != end;
         it.increment(code)) {
      const fs::path to = out / fs::relative(it->path(), staged_);
      if (it->is_directory()) {
        fs::create_directories(to, code);
      } else {
        fs::copy_file(it->path(), to, code);
        if (!code) fs::last_write_time(to, fs::last_write_time(it->path()), code);
      }
      if (code) return Fail(to.u8string() + " を書けません: " + code.message());
    }
    return !code || Fail(options_.out + " に書けません: " + code.message());
  }

  bool MakeScratch() {
    std::random_device random;
    std::error_code code;
    for (int attempt = 0; attempt < 100; ++attempt) {
      const fs::path candidate =
          fs::temp_directory_path(code) / ("koushin-pack-" + std::to_string(random() & 0xFFFFFF));
      if (!code && fs::create_directory(candidate, code)) {
        scratch_ = candidate;
        return true;
      }
    }
    return Fail("作業用のフォルダを作れません");
  }

  ~Maker() {
    std::error_code code;
    if (!scratch_.empty()) fs::remove_all(scratch_, code);
  }

 private:
  const PackOptions& options_;
  std::FILE* errors_;
  Manifest manifest_;
  fs::path scratch_;
  fs::path staged_;  // the media as written, below scratch_, before they are checked
  std::vector<std::vector<MediaFile>> entryFiles_;
  std::vector<Disk> disks_;
  std::vector<int> entryDisks_;
  std::string signKeyPem_;
  bool refused_ = false;
};

}  // namespace

int MakeMedia(const PackOptions& options, std::FILE* report, std::FILE* errors) {
  Maker maker(options, errors);
  return maker.Run(report);
}

}  // namespace koushin::pack
