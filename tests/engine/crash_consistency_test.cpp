// Power loss during an update. The port tells this test of every changing operation of the demo
// update (create, write, flush, rename, link, delete, folder creation, status write, folder sync)
// right before it is made, and the test keeps the installation as it stood at each of those
// moments. A power cut before operation k leaves on the disk what the file system had made
// lasting, and perhaps more; every such state is laid out, recovery runs on it, and the
// installation must be, byte for byte and with its attributes, the old tree or the new one.
//
// The model of what a power cut keeps (ext4 with data=ordered and delayed allocation; NTFS is
// alike, its log keeping metadata in order):
// - Names (creations, renames, links, deletions, folders, attributes and times) reach the disk in
//   the order they were made: a cut keeps all of them up to some point m and none after. Every
//   name changed before the last flush of any file or folder is kept (a flush commits the file
//   system's journal, which holds every earlier change of names); a rename synced with its folder
//   is kept too.
// - A file's data is lasting once the file itself was flushed. Data written since may be there,
//   be lost (the file holds what it held at its last flush, or nothing if it never was flushed)
//   or read as zeros where it changed, whether or not the name pointing at it was kept.
// At each cut every m the model allows is tried, each with the data not yet flushed there, lost,
// zeroed, and lost in every other file that has such data.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include "engine/update_run.h"
#include "engine_fixture.h"
#include "port/port.h"

namespace koushin::engine {
namespace {

namespace fs = std::filesystem;
using namespace testing;

struct Entry {
  bool folder = false;
  std::string bytes;
  port::FileStatus status;
};
using Disk = std::map<std::string, Entry>;  // by path below the installation folder, '/' apart

// The Windows path (UTF-8) of a path below C:\EST.
std::string Windows(std::string relative) {
  for (char& c : relative) c = c == '/' ? '\\' : c;
  return W("C:\\EST\\") + relative;
}

// The installation folder C:\EST as it stands, our journal folder included.
Disk Capture(const fs::path& root) {
  Disk disk;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(item.path(), root).generic_u8string();
    Entry entry;
    entry.folder = item.is_directory();
    if (!entry.folder) {
      entry.bytes = HostBytes(item.path());
      port::ReadFileStatus(Sj(Windows(relative)), &entry.status);
    }
    disk[relative] = entry;
  }
  return disk;
}

void Lay(const fs::path& root, const Disk& disk) {
  fs::remove_all(root);
  fs::create_directories(root);
  for (const auto& [relative, entry] : disk) {  // a folder comes before what it holds
    if (entry.folder) {
      fs::create_directories(root / fs::u8path(relative));
      continue;
    }
    std::ofstream(root / fs::u8path(relative), std::ios::binary) << entry.bytes;
    port::WriteFileStatus(Sj(Windows(relative)), entry.status);
  }
}

// The path below C:\EST an operation names ('/' apart, no doubled separators), or empty.
std::string Below(const std::string& cp932) {
  std::string path = Utf8(cp932), root = W("C:\\EST\\");
  for (std::string* text : {&path, &root}) {
    for (char& c : *text) c = c == '\\' ? '/' : c;
  }
  if (path.size() <= root.size() || path.compare(0, root.size(), root) != 0) return std::string();
  std::string out;
  for (std::size_t i = root.size(); i < path.size(); ++i) {
    if (path[i] == '/' && (out.empty() || out.back() == '/')) continue;
    out += path[i];
  }
  if (!out.empty() && out.back() == '/') out.pop_back();
  return out;
}

struct Operation {
  std::string name;
  std::string path;  // below C:\EST
  std::string from;
};

struct Recorder {
  fs::path root;
  std::vector<Disk> disks;  // disks[j]: before operation j; the last, after the run
  std::vector<Operation> operations;
};
Recorder* recorder = nullptr;

void Observe(const char* operation, const std::string& path, const std::string& from) {
  recorder->disks.push_back(Capture(recorder->root));
  recorder->operations.push_back({operation, Below(path), Below(from)});
}

// Where a file's lasting bytes are: in disks[disk] under `path`; disk -1: none (empty).
struct Lasting {
  int disk = -1;
  std::string path;
};

class CrashConsistencyTest : public ::testing::Test {
 public:
  // The demo installation in C:\EST; the demo media in D:\MEDIA, or (`floppy`) its first disk in
  // the floppy drive A: (all but the master archive, which is on the second).
  void Fresh() {
    machine.CopyDemo();
    if (floppy) Insert(1);
  }
  void Insert(int disk) {
    const fs::path a = machine.HostDrive('a');
    fs::remove_all(a);
    fs::create_directories(a);
    for (const auto& item : fs::directory_iterator(DemoFolder() / "demo-media")) {
      // The demo's file list covers both disks at once: split, the disks go without one.
      if (item.path().filename() == "koushin.sha256") continue;
      const bool second = item.path().filename() == "MASTER.lzh";
      if (second == (disk == 2) || item.path().filename() == "info.txt") {
        fs::copy(item.path(), a / item.path().filename());
      }
    }
  }
  std::string Tree(bool times) { return machine.Snapshot("C:\\EST", false, times); }
  RunOutcome Run() {
    ScriptedOperator op;
    op.answers.assign(4, Answer::kOk);
    op.onMessage = [&](const Shown& shown) {
      if (floppy && shown.buttons == Buttons::kOkCancel) Insert(2);
    };
    const RunOutcome outcome = RunDemo(op, floppy ? "A:\\" : "D:\\MEDIA\\");
    if (floppy) {  // disk 2 was asked for
      EXPECT_EQ(op.Texts()[1], "2 枚目のｱｯﾌﾟﾃﾞｲﾄFDをｾｯﾄしてください。") << op.LogText();
    }
    return outcome;
  }

  Machine machine;
  bool floppy = false;
};

struct Counts {
  int points = 0, states = 0, old = 0, updated = 0, mixed = 0, lost = 0;
};

// Runs the update once, recording, then lays out every state a power cut may leave and recovers
// it. Adds to the counts.
void Explore(CrashConsistencyTest& test, Counts* counts) {
  Machine& machine = test.machine;
  test.Fresh();
  const std::string before = test.Tree(true);
  Recorder record;
  record.root = machine.HostDrive('c') / "EST";
  recorder = &record;
  port::SetOperationObserver(&Observe);
  const RunOutcome outcome = test.Run();
  port::SetOperationObserver(nullptr);
  recorder = nullptr;
  ASSERT_EQ(outcome, RunOutcome::kUpdated);
  record.disks.push_back(Capture(record.root));
  const std::string after = test.Tree(false);
  const int count = static_cast<int>(record.operations.size());
  ASSERT_GT(count, 50);

  // Replays what was lasting: before each operation j, each file's lasting bytes, and the first
  // operation whose names a cut may lose.
  std::vector<std::map<std::string, Lasting>> lasting(count + 1);
  std::vector<int> floor(count + 1, 0);
  for (const auto& [path, entry] : record.disks[0]) {
    if (!entry.folder) lasting[0][path] = {0, path};
  }
  for (int j = 0; j < count; ++j) {
    std::map<std::string, Lasting> now = lasting[j];
    int next = floor[j];
    const Operation& o = record.operations[j];
    if (o.name == "create") {
      now[o.path] = {-1, ""};
    } else if (o.name == "flush") {
      if (record.disks[j].count(o.path) && !record.disks[j].at(o.path).folder) {
        now[o.path] = {j, o.path};
      }
      next = j + 1;
    } else if (o.name == "rename to" || o.name == "rename synced") {
      // A file, or a folder with every file in it.
      std::map<std::string, Lasting> moved;
      for (auto it = now.begin(); it != now.end();) {
        if (it->first == o.from || it->first.rfind(o.from + "/", 0) == 0) {
          moved[o.path + it->first.substr(o.from.size())] = it->second;
          it = now.erase(it);
        } else {
          ++it;
        }
      }
      for (const auto& [path, where] : moved) now[path] = where;
      if (o.name == "rename synced") next = j + 1;
    } else if (o.name == "link") {
      if (now.count(o.from)) now[o.path] = now[o.from];
    } else if (o.name == "delete") {
      now.erase(o.path);
    }
    lasting[j + 1] = now;
    floor[j + 1] = next;
  }

  counts->points += count;
  for (int k = 1; k <= count; ++k) {
    for (int m = floor[k]; m <= k; ++m) {
      const Disk& disk = record.disks[m];
      for (int choice = 0; choice < 4; ++choice) {
        // 0: every byte written is there; 1: what was not flushed is lost; 2: it reads as zeros;
        // 3: lost in every other file that has such data, there in the rest.
        int dirty = 0;
        Disk state = disk;
        bool differs = false;
        for (auto& [path, entry] : state) {
          if (entry.folder) continue;
          const auto it = lasting[m].find(path);
          const std::string kept = it == lasting[m].end() || it->second.disk < 0
                                       ? std::string()
                                       : record.disks[it->second.disk].at(it->second.path).bytes;
          if (kept == entry.bytes || choice == 0) continue;
          if (choice == 3 && dirty++ % 2 == 1) continue;
          differs = true;
          if (choice == 1 || choice == 3) {
            entry.bytes = kept;
          } else {
            for (std::size_t i = 0; i < entry.bytes.size(); ++i) {
              if (i >= kept.size() || kept[i] != entry.bytes[i]) entry.bytes[i] = '\0';
            }
          }
        }
        if (choice > 0 && !differs) continue;
        if (choice == 3 && dirty < 2) continue;  // the same as choice 1
        ++counts->states;
        SCOPED_TRACE("cut before operation " + std::to_string(k) + " (" +
                     record.operations[k < count ? k : count - 1].name + "), names up to " +
                     std::to_string(m) + ", data choice " + std::to_string(choice));
        Lay(record.root, state);
        ScriptedOperator op;
        journal::RestoreReport report;
        const RunOutcome recovered = RecoverInstallation(SW("C:\\EST"), op, &report);
        if (recovered != RunOutcome::kRecovered && recovered != RunOutcome::kNothingToRecover) {
          ++counts->lost;
          ADD_FAILURE() << "recovery failed\n" << op.LogText();
        } else if (test.Tree(true) == before) {
          ++counts->old;
        } else if (test.Tree(false) == after) {
          ++counts->updated;
        } else {
          ++counts->mixed;
          ADD_FAILURE() << "neither the old nor the new tree\n"
                        << op.LogText() << "\n"
                        << test.Tree(true);
        }
      }
    }
  }
}

// The demo update from a hard disk, and the same update from two floppy disks (the master files
// on the second, converted after it; only where the test has a removable drive of its own, not
// under Wine): every operation is a cut point.
TEST_F(CrashConsistencyTest, EveryPowerCutRecoversToTheOldOrTheNewTree) {
  Counts counts;
  Explore(*this, &counts);
  floppy = kOwnDrives;
  if (floppy) Explore(*this, &counts);
  std::printf("crash points: %d, states: %d, old %d, new %d, mixed %d, lost %d\n", counts.points,
              counts.states, counts.old, counts.updated, counts.mixed, counts.lost);
  EXPECT_GE(counts.states, kOwnDrives ? 1000 : 500);
  EXPECT_EQ(counts.mixed, 0);
  EXPECT_EQ(counts.lost, 0);
}

}  // namespace
}  // namespace koushin::engine
