#include "engine_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>

#include "engine/update_run.h"
#include "port/port.h"
#include "support/jlha.h"
#include "text/cp932.h"

namespace koushin::engine::testing {

namespace fs = std::filesystem;

std::string Sj(const std::string& utf8) {
  std::string out;
  EXPECT_TRUE(port::Utf8ToCp932(utf8, &out)) << utf8;
  return out;
}

std::string Utf8(const std::string& cp932) { return port::Cp932ToUtf8Lossy(cp932); }

Answer ScriptedOperator::ShowMessage(const std::string& text, const std::string& caption,
                                     Buttons buttons) {
  shown.push_back({Utf8(text), Utf8(caption), buttons});
  waitDepthAtMessage = waitDepth;
  if (onMessage) onMessage(shown.back());
  if (buttons == Buttons::kOk) return Answer::kOk;
  if (answers.empty()) return Answer::kCancel;
  const Answer answer = answers.front();
  answers.pop_front();
  return answer;
}

void ScriptedOperator::BeginWait() { maxWaitDepth = std::max(maxWaitDepth, ++waitDepth); }

void ScriptedOperator::ReportProgress(const Progress& p) {
  progress.push_back(p);
  if (onProgress) onProgress(p);
}

std::vector<std::string> ScriptedOperator::Texts() const {
  std::vector<std::string> texts;
  for (const Shown& s : shown) texts.push_back(s.text);
  return texts;
}

std::string ScriptedOperator::LogText() const {
  std::string all;
  for (const std::string& line : log) all += Utf8(line) + "\n";
  return all;
}

namespace {

const Machine* currentMachine = nullptr;

// Creates every missing folder of a code page 932 path that starts with a drive ("C:\\...").
void MakeFoldersOf(const std::string& path) {
  for (std::size_t pos = 3;; ++pos) {  // after "C:\\"
    pos = text::FindAtCharBoundary(path, "\\", pos);
    if (!port::PathExists(path.substr(0, pos))) port::MakeFolder(path.substr(0, pos));
    if (pos == std::string::npos) break;
  }
}

}  // namespace

std::string W(const std::string& path) {
  return currentMachine != nullptr ? currentMachine->Translate(path) : path;
}

std::string SW(const std::string& path) { return Sj(W(path)); }

Machine::Machine(const std::string& windowsFolder) {
  static std::atomic<int> counter{0};
  std::random_device random;
  // Shared memory when the host has it: every file the engine replaces is flushed to the disk, and
  // on a real disk those flushes would make the suite slow. It is still a real file system.
  std::error_code ignored;
  root_ = fs::is_directory("/dev/shm", ignored) ? "/dev/shm" : fs::temp_directory_path();
  root_ /= "koushin-engine-" + std::to_string(random()) + "-" + std::to_string(counter++);
  fs::create_directories(root_ / "c" / "WINDOWS");
  fs::create_directories(root_ / "d");
  fs::create_directories(root_ / "a");
  currentMachine = this;
  if (!kOwnDrives) return;
  port::Options options;
  options.drives['C'] = (root_ / "c").string();
  options.drives['D'] = (root_ / "d").string();
  options.drives['A'] = (root_ / "a").string();
  options.removable.insert('A');
  options.windowsFolder = Sj(windowsFolder);
  options.currentDrive = 'C';
  port::Error error;
  EXPECT_TRUE(port::Configure(options, &error)) << error.Describe();
}

Machine::Machine(const fs::path& parentRoot) : root_(parentRoot), own_(false) {
  currentMachine = this;
}

std::string Machine::Translate(const std::string& path) const {
  if (kOwnDrives || path.size() < 2 || path[1] != ':') return path;
  const std::string root = root_.u8string();
  if (path.compare(0, root.size(), root) == 0) return path;  // translated already
  const char letter = static_cast<char>(path[0] | 0x20);
  if (letter != 'a' && letter != 'c' && letter != 'd') return path;
  return (root_ / std::string(1, letter)).u8string() + path.substr(2);
}

Machine::~Machine() {
  if (currentMachine == this) currentMachine = nullptr;
  if (!own_) return;
  std::error_code ignored;
  // Read-only files and folders must not keep the temporary tree alive.
  for (auto it = fs::recursive_directory_iterator(root_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(root_, ignored);
}

void Machine::MakeFolders(const std::string& path) { MakeFoldersOf(SW(path)); }

void Machine::Write(const std::string& path, const std::string& bytes) {
  const std::string sj = SW(path);
  const std::size_t slash = text::FindLastSeparator(sj);
  if (slash != std::string::npos && slash > 2) MakeFoldersOf(sj.substr(0, slash));
  port::Error error;
  ASSERT_TRUE(port::WriteWholeFile(sj, bytes, &error)) << error.Describe();
}

std::string Machine::Read(const std::string& path) const {
  std::string bytes;
  port::ReadWholeFile(SW(path), &bytes);
  return bytes;
}

void Machine::Remove(const std::string& path) { port::RemoveFile(SW(path)); }

void Machine::SetAttributes(const std::string& path, unsigned attributes) {
  port::FileStatus status;
  port::Error error;
  ASSERT_TRUE(port::ReadFileStatus(SW(path), &status, &error)) << error.Describe();
  status.attributes = static_cast<std::uint8_t>(attributes);
  status.creationTime = status.lastAccessTime = status.lastWriteTime = 0;
  ASSERT_TRUE(port::WriteFileStatus(SW(path), status, &error)) << error.Describe();
}

unsigned Machine::Attributes(const std::string& path) const {
  port::FileStatus status;
  EXPECT_TRUE(port::ReadFileStatus(SW(path), &status)) << path;
  return status.attributes;
}

void Machine::SetLastWrite(const std::string& path, int year, int month, int day, int hour,
                           int minute, int second) {
  // Days from 1970-01-01 to the civil date.
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yearOfEra = y - era * 400;
  const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  const std::int64_t days = static_cast<std::int64_t>(era) * 146097 + dayOfEra - 719468;
  port::FileStatus status;
  port::Error error;
  ASSERT_TRUE(port::ReadFileStatus(SW(path), &status, &error)) << error.Describe();
  status.creationTime = status.lastAccessTime = 0;
  status.lastWriteTime = port::FileTimeFromUnix(days * 86400 + hour * 3600 + minute * 60 + second);
  ASSERT_TRUE(port::WriteFileStatus(SW(path), status, &error)) << error.Describe();
}

std::string Machine::Snapshot(const std::string& below, bool journal, bool times) const {
  fs::path root = root_;
  if (!below.empty()) {  // "C:\\EST": the host folder of the drive, then the rest
    std::string rest = below.substr(3);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    root = HostDrive(static_cast<char>(below[0] | 0x20)) / fs::u8path(rest);
  }
  std::vector<std::string> lines;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    std::string line = fs::relative(it->path(), root).u8string();
    if (!journal && it->path().filename() == ".koushin") {
      it.disable_recursion_pending();
      continue;
    }
    if (it->is_regular_file()) {
      port::FileStatus status;
      EXPECT_TRUE(port::ReadFileStatus(Sj(it->path().u8string()), &status)) << line;
      line += " attr " + std::to_string(status.attributes);
      if (times) line += " time " + std::to_string(status.lastWriteTime);
      line += " " + HostBytes(it->path());
    }
    lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  std::string all;
  for (const std::string& line : lines) all += line + "\n";
  return all;
}

void Machine::MakeInstallation(const std::string& folder, const std::string& title) {
  Write(folder + "\\tamiro1.ini", Sj("[SYSTEM]\r\nTITLE=" + title + "\r\n"));
  Write(folder + "\\ta1menu.ini", "[MENU]\r\n");
  Write(folder + "\\bmp\\LAYER2L.BMP", "BM");
}

void Machine::CopyDemo() {
  const fs::path demo = DemoFolder();
  fs::remove_all(HostDrive('d') / "MEDIA");
  fs::copy(demo / "demo-media", HostDrive('d') / "MEDIA");
  const fs::path from = demo / "demo-install" / "EST";
  const fs::path to = HostDrive('c') / "EST";
  fs::remove_all(to);
  fs::copy(from, to, fs::copy_options::recursive);
  // Where the drives are not the test's own, the master folder the INI file names moves along.
  if (!kOwnDrives) {
    std::string ini = HostBytes(to / "tamiro1.ini");
    ini.replace(ini.find("C:\\EST\\"), 7, Sj(Translate("C:\\EST\\")));
    std::ofstream(to / "tamiro1.ini", std::ios::binary) << ini;
  }
  // Only the files' times: the comparisons leave folder times out, as a folder's time changes
  // with every name made in it (a run's temporary files too), and Wine cannot set them.
  for (const auto& entry : fs::recursive_directory_iterator(from)) {
    if (entry.is_regular_file()) {
      fs::last_write_time(to / fs::relative(entry.path(), from), entry.last_write_time());
    }
  }
}

fs::path DemoFolder() {  // under Wine the host's / is drive Z:
  return fs::u8path((kOwnDrives ? "" : "Z:") + std::string(KOUSHIN_SOURCE_DIR)) / "examples";
}

RunOutcome RunDemo(Operator& op, const std::string& media,
                   const std::function<void(RunContext&)>& adjust) {
  description::UpdateDescription record;
  EXPECT_EQ(description::LoadUpdateDescription(SW(media), &record).status,
            description::LoadStatus::kRead);
  record.installFolder = SW("C:\\EST");
  RunContext context{record, SW(media), op};
  if (adjust) adjust(context);
  UpdateRun(context);
  return context.outcome;
}

description::UpdateDescription MakeRecord(const std::string& installFolder,
                                          std::initializer_list<Entry> entries,
                                          const std::string& newVersion) {
  description::UpdateDescription record;
  record.installFolder = SW(installFolder);
  record.systemIniName = "tamiro1.ini";
  record.newVersion = Sj(newVersion);
  record.categoryCode = "0";
  record.masterAdjust = "0";
  for (std::string& keyword : record.titleKeywords) keyword = "(none)";
  record.titleKeywords[0] = "EST";
  for (const Entry& entry : entries) {
    record.entries.push_back({entry.disk, entry.kind, Sj(entry.name), Sj(entry.subfolder)});
  }
  return record;
}

namespace {

std::map<std::string, int (*)()>& ChildWorks() {
  static std::map<std::string, int (*)()> works;
  return works;
}

#ifdef _WIN32
// This program started again by InChild ("work|Machine folder"): does the work in the parent's
// folders before any test, and ends.
class ChildWork : public ::testing::Environment {
  void SetUp() override {
    const char* task = std::getenv("KOUSHIN_CHILD");
    if (task == nullptr) return;
    const std::string text = task;
    Machine machine(fs::u8path(text.substr(text.find('|') + 1)));
    std::_Exit(ChildWorks().at(text.substr(0, text.find('|')))());
  }
};
::testing::Environment* const childWork = ::testing::AddGlobalTestEnvironment(new ChildWork);
#endif

}  // namespace

bool RegisterChildWork(const char* name, int (*work)()) {
  return (ChildWorks()[name] = work) != nullptr;
}

long InChild(const char* work, long killAfter) {
  const std::string task = work + ("|" + currentMachine->HostDrive('c').parent_path().u8string());
  const long micros = port::RunChildProcess(task, ChildWorks().at(work), killAfter);
  EXPECT_GE(micros, 0) << "the child did not start";
  return micros;
}

namespace {

// Bump kCatalogueVersion when the contents change, so that cached archives are made anew.
const std::map<std::string, std::vector<std::string>> kCatalogue = {
    {"prog", {"PROG.EXE", "README.TXT"}},
    {"variant", {"VARIANT.TXT"}},
    {"excel", {"横A-A4g.xlsm"}},
    {"big", {"BIG.DAT"}},
};
constexpr char kCatalogueVersion[] = "v1";

fs::path CacheFolder() {
#ifdef _WIN32
  // Under Wine the archives come from the native build.
  return DemoFolder().parent_path() / "build" / "native" / "engine-test-archives";
#else
  return fs::path(KOUSHIN_BINARY_DIR) / "engine-test-archives";
#endif
}

fs::path CachedArchive(const std::string& key) {
  return CacheFolder() / (key + "-" + kCatalogueVersion + ".lzh");
}

}  // namespace

std::string MemberBytes(const std::string& member) {
  std::string bytes;
  if (member == "BIG.DAT") {
    std::mt19937 random(7);
    for (int i = 0; i < 300000; ++i) bytes += static_cast<char>('a' + random() % 8);
    return bytes;
  }
  for (int i = 0; i < 20; ++i)
    bytes += "content of " + member + " line " + std::to_string(i) + "\r\n";
  return bytes;
}

std::string ArchiveBytes(const std::string& key) {
#ifndef _WIN32  // under Wine they come from the native build
  static const bool made = [] {
    std::error_code ignored;
    fs::create_directories(CacheFolder(), ignored);
    std::vector<koushin::testing::JlhaArchive> archives;
    for (const auto& [name, members] : kCatalogue) {
      archives.push_back({CachedArchive(name).filename().u8string(), "a1o5", members});
      for (const std::string& member : members) {
        std::ofstream(CacheFolder() / fs::u8path(member), std::ios::binary) << MemberBytes(member);
      }
    }
    return koushin::testing::MakeWithJlha(CacheFolder(), archives);
  }();
  if (!made) return {};
#endif
  return HostBytes(CachedArchive(key));
}

std::string Damaged(const std::string& archive) {
  std::string copy = archive;
  // The last byte before the end-of-archive mark belongs to the last member's compressed data.
  if (copy.size() > 2) copy[copy.size() - 2] = static_cast<char>(copy[copy.size() - 2] ^ 0x5A);
  return copy;
}

}  // namespace koushin::engine::testing
