// libFuzzer target for recovery and undo over a journal folder made from the input, inside a
// temporary installation: whatever the journal says, nothing outside the installation changes
// (but the master files it may name), and nothing crashes.
//
// The input is a journal's records without their heads: byte 0 picks the generation (bit 0: the
// unfinished run, recovered; else the last run, undone by force), then each record is a length
// byte and that many payload bytes, which get a sound head and checksum, so every mutation
// reaches the checks of where a record may act rather than the checksum.
#include <stdlib.h>

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "journal/journal.h"
#include "journal/journal_file.h"
#include "port/port.h"

namespace {

namespace fs = std::filesystem;
using namespace koushin;

void Put(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Everything below `root` but the installation (and the master files a journal may name):
// kinds, link targets and file bytes.
std::map<std::string, std::string> Outside(const fs::path& root) {
  std::map<std::string, std::string> seen;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    const fs::path path = it->path();
    const std::string name = fs::relative(path, root).string();
    if (name == "c/EST") {
      it.disable_recursion_pending();
      continue;
    }
    if (name.rfind("c/M/1/zai", 0) == 0) continue;
    if (it->is_symlink()) {
      seen[name] = "link " + fs::read_symlink(path).string();
    } else if (it->is_directory()) {
      seen[name] = "folder";
    } else {
      seen[name] = Bytes(path);
    }
  }
  return seen;
}

struct Machine {
  Machine() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                          "/koushin-recovery-fuzz.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) __builtin_trap();
    root = pattern;
    Put(root / "c/OTHER/keep.txt", "keep");
    Put(root / "c/OTHER/~kz0a1b2c-1.tmp", "not ours: beyond a link");
    Put(root / "c/OTHER/sub/x.txt", "x");
    Put(root / "c/M/1/keep.txt", "not a master file");
    Put(root / "d/EST/keep.txt", "another drive");
    port::Options options;
    options.drives['C'] = (root / "c").string();
    options.drives['D'] = (root / "d").string();
    if (!port::Configure(options)) __builtin_trap();
    before = Outside(root);
  }
  ~Machine() {
    std::error_code error;
    fs::remove_all(root, error);
  }
  // A fresh installation, with a link inside it that leads out.
  void Fresh() {
    const fs::path est = root / "c/EST";
    std::error_code error;
    fs::remove_all(est, error);
    Put(est / "tamiro1.ini", "[DIR]\r\nMASTER=C:\\M\\\r\n");
    Put(est / "a.txt", "a");
    Put(est / "SUB/b.txt", "b");
    Put(est / "~kz0a1b2c-1.tmp", "ours");
    Put(root / "c/M/1/zai001-3.mst", "master");
    fs::create_directory_symlink(root / "c/OTHER", est / "LINK");
    for (const char* generation : {"run", "last"}) {
      Put(est / ".koushin" / generation / "k1", "kept one");
      Put(est / ".koushin" / generation / "k2", "kept two");
    }
  }
  fs::path root;
  std::map<std::string, std::string> before;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Machine machine;
  if (size == 0) return 0;
  machine.Fresh();
  const bool run = (data[0] & 1) != 0;
  std::string journal = journal::Signature();
  for (std::size_t pos = 1; pos < size;) {
    const std::size_t length = data[pos++];
    const std::string payload(reinterpret_cast<const char*>(data) + pos,
                              std::min(length, size - pos));
    pos += payload.size();
    journal += journal::FrameRecord(payload);
  }
  Put(machine.root / "c/EST/.koushin" / (run ? "run" : "last") / "journal", journal);
  {
    journal::Installation installation("C:\\EST");
    installation.AllowOutside({{"C:\\M\\1\\", "C:\\M\\21\\"},
                               "zai??"
                               "?-3.mst"});
    bool busy = false;
    if (!installation.Lock(&busy)) __builtin_trap();
    const journal::JournalState state = installation.Inspect();
    if (run && state == journal::JournalState::kUnfinished) installation.Recover();
    if (!run && state == journal::JournalState::kClean) {
      std::vector<std::string> changed;
      const journal::UndoCheck check = installation.CheckUndo(&changed);
      if (check == journal::UndoCheck::kReady || check == journal::UndoCheck::kChanged) {
        installation.Undo();
      }
    }
  }
  if (Outside(machine.root) != machine.before) __builtin_trap();
  return 0;
}
