// The journal as the engine's entry points meet it, left by others or half tidied.
//
// Journals written by someone else: whoever may write into the installation folder may leave a
// journal there, and the administrator's next recovery, undo or update acts on it. A journal that
// names anything out of the installation's reach (a path outside it, one that climbs out, one
// reached through a link, a kept name that is not ours, our own journal folder) is refused as
// damaged, names the path in the log, and nothing is done; one that stays within reach, spelled
// in another letter case, is recovered.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <vector>

#include "engine/update_run.h"
#include "engine_fixture.h"
#include "journal/journal.h"
#include "journal/journal_file.h"

namespace koushin::engine {
namespace {

namespace fs = std::filesystem;
using namespace testing;

journal::Record Made(journal::RecordKind kind, const std::string& path,
                     const std::string& kept = "") {
  journal::Record record;
  record.kind = kind;
  record.path = SW(path);
  record.kept = kept;
  return record;
}

std::string JournalBytes(const std::vector<journal::Record>& records) {
  std::string bytes = journal::Signature();
  for (const journal::Record& record : records) bytes += journal::EncodeRecord(record);
  return bytes;
}

struct HostileCase {
  const char* name;
  std::vector<journal::Record> records;  // after the begin record (unless `noBegin`)
  const char* named;                     // what the log must name (UTF-8, through W()); null: none
  const char* generation = "run";        // "run": recovery; "last": undo
  std::function<void(Machine&)> prepare = nullptr;
  bool noBegin = false;
};

// The cases, made once the Machine they run on exists (W() names its folders).
std::vector<HostileCase> HostileCases() {
  using K = journal::RecordKind;
  const std::string tag = "~kz0a1b2c-";
  journal::Record commitOutside = Made(K::kCommit, "");
  commitOutside.files.push_back({SW("C:\\OTHER\\keep.txt"), true, 4, 1});
  const std::vector<HostileCase> cases = {
      {"a file outside", {Made(K::kCreatedFile, "C:\\OTHER\\keep.txt")}, "C:\\OTHER\\keep.txt"},
      {"climbing with ..",
       {Made(K::kCreatedFile, "C:\\EST\\..\\OTHER\\keep.txt")},
       "C:\\EST\\..\\OTHER\\keep.txt"},
      // Windows drops the trailing blank: ".. " climbs as ".." does.
      {"climbing with '.. '",
       {Made(K::kCreatedFile, "C:\\EST\\.. \\OTHER\\keep.txt")},
       "C:\\EST\\.. \\OTHER\\keep.txt"},
      {"another drive", {Made(K::kCreatedFile, "D:\\EST\\keep.txt")}, "D:\\EST\\keep.txt"},
#ifndef _WIN32  // Wine cannot make a link
      {"through a link inside the installation",
       {Made(K::kCreatedFile, "C:\\EST\\LINK\\keep.txt")},
       "C:\\EST\\LINK\\keep.txt",
       "run",
       [](Machine& m) {
         fs::create_directory_symlink(m.HostDrive('c') / "OTHER",
                                      m.HostDrive('c') / "EST" / "LINK");
       }},
#endif
      {"a folder outside", {Made(K::kCreatedFolder, "C:\\OTHER")}, "C:\\OTHER"},
      {"our own journal folder",
       {Made(K::kCreatedFile, "C:\\EST\\.koushin\\lock")},
       "C:\\EST\\.koushin\\lock"},
      {"a kept name that climbs",
       {Made(K::kReplacedFile, "C:\\EST\\tamiro1.ini", "..\\..\\..\\OTHER\\keep.txt")},
       nullptr},
      {"temporary files by a wildcard", {Made(K::kTemporary, "C:\\OTHER\\*")}, "C:\\OTHER\\*"},
      {"temporary files of ours outside",
       {Made(K::kTemporary, "C:\\OTHER\\" + tag)},
       "C:\\OTHER\\~kz0a1b2c-"},
      {"a master file that is not one",
       {Made(K::kReplacedFile, "C:\\M\\1\\keep.txt", "k1")},
       "C:\\M\\1\\keep.txt"},
      {"a begin record for another folder",
       {Made(K::kBegin, "C:\\OTHER"), Made(K::kCreatedFile, "C:\\OTHER\\keep.txt")},
       "C:\\OTHER",
       "run",
       nullptr,
       true},
#ifndef _WIN32
      {"a journal folder that is a link",
       {Made(K::kCreatedFile, "C:\\EST\\new.txt")},
       ".koushin",
       "run",
       [](Machine& m) {
         fs::rename(m.HostDrive('c') / "EST" / ".koushin", m.HostDrive('c') / "OTHER" / "j");
         fs::create_directory_symlink(m.HostDrive('c') / "OTHER" / "j",
                                      m.HostDrive('c') / "EST" / ".koushin");
       }},
#endif
      {"a journal too large to be one",
       {Made(K::kCreatedFile, "C:\\EST\\new.txt")},
       "larger than 67108864 bytes",
       "run",
       [](Machine& m) {
         fs::resize_file(m.HostDrive('c') / "EST" / ".koushin" / "run" / "journal", (64 << 20) + 1);
       }},
      {"an undo that names a file outside",
       {Made(K::kCreatedFile, "C:\\OTHER\\keep.txt"), commitOutside},
       "C:\\OTHER\\keep.txt",
       "last"},
      // Within reach: the same installation in another letter case, and a master file outside it.
      {"another letter case",
       {Made(K::kCreatedFile, "c:\\est\\new.txt"),
        Made(K::kReplacedFile, "C:\\M\\1\\zai001-3.mst", "k1")},
       nullptr},
  };
  return cases;
}

TEST(JournalUse, OutOfReachIsRefusedWithNothingDoneAndWithinReachIsRecovered) {
  using K = journal::RecordKind;
  for (std::size_t i = 0, count = 1; i < count; ++i) {
    Machine machine;
    const std::vector<HostileCase> cases = HostileCases();
    count = cases.size();
    const HostileCase& c = cases[i];
    SCOPED_TRACE(c.name);
    machine.MakeInstallation("C:\\EST", "EST 8.0S");
    machine.Write("C:\\EST\\tamiro1.ini",
                  Sj("[SYSTEM]\r\nTITLE=EST\r\n[DIR]\r\nMASTER=") + SW("C:\\M\\") + "\r\n");
    machine.Write("C:\\EST\\new.txt", "made by the run");
    machine.Write("C:\\M\\1\\zai001-3.mst", "converted");
    machine.Write("C:\\EST\\.koushin\\" + std::string(c.generation) + "\\k1", "old master");
    machine.Write("C:\\EST\\.koushin\\lock", "");  // made by any earlier run
    machine.Write("C:\\OTHER\\keep.txt", "keep");
    machine.Write("D:\\EST\\keep.txt", "keep");
    std::vector<journal::Record> records;
    if (!c.noBegin) records.push_back(Made(K::kBegin, "C:\\EST"));
    records.insert(records.end(), c.records.begin(), c.records.end());
    machine.Write("C:\\EST\\.koushin\\" + std::string(c.generation) + "\\journal",
                  JournalBytes(records));
    if (c.prepare) c.prepare(machine);
    const std::string before = machine.Snapshot();

    ScriptedOperator op;
    journal::RestoreReport report;
    const RunOutcome outcome = std::string(c.generation) == "run"
                                   ? RecoverInstallation(SW("C:\\EST"), op, &report)
                                   : UndoLastUpdate(SW("C:\\EST"), true, op, &report);
    if (c.name == std::string("another letter case")) {
      EXPECT_EQ(outcome, RunOutcome::kRecovered) << op.LogText();
      EXPECT_FALSE(fs::exists(machine.HostDrive('c') / "EST" / "new.txt"));
      EXPECT_EQ(machine.Read("C:\\M\\1\\zai001-3.mst"), "old master");
      continue;
    }
    EXPECT_EQ(outcome, RunOutcome::kJournalRefused) << op.LogText();
    EXPECT_EQ(op.Texts().back(), "前回の更新の記録を読めません。インストール先は変更していません。")
        << op.LogText();
    if (c.named != nullptr) {
      const std::string named = std::string(c.named).find(":\\") == 1 ? W(c.named) : c.named;
      EXPECT_NE(op.LogText().find(named), std::string::npos) << op.LogText();
    }
    EXPECT_EQ(machine.Snapshot(), before);
  }
}

// A lock file that cannot be opened for another reason than another run holding it (here it is
// read-only) is not "another run": the failure names the lock file, the log its cause.
TEST(JournalUse, ALockFileThatCannotBeOpenedIsNoBusyRun) {
  Machine machine;
  machine.MakeInstallation("C:\\EST", "EST 8.0S");
  machine.Write("C:\\EST\\.koushin\\lock", "");
  machine.SetAttributes("C:\\EST\\.koushin\\lock", 0x01);
  ScriptedOperator op;
  journal::RestoreReport report;
  EXPECT_EQ(UndoLastUpdate(SW("C:\\EST"), false, op, &report), RunOutcome::kStoppedRestored);
  EXPECT_EQ(op.Texts(),
            std::vector<std::string>{W("C:\\EST\\.koushin\\lock") + "の更新に失敗しました。"});
  EXPECT_NE(op.LogText().find("cannot lock the installation: open " + W("C:\\EST\\.koushin\\lock")),
            std::string::npos)
      << op.LogText();
}

// A kept generation that cannot be replaced at the commit (something of another's lies in
// ".koushin\\last\\"): the run stands, the log says what is left, and the next start that can
// finishes it, so the update can be undone.
TEST(JournalUse, ARotationCutShortIsFinishedByTheNextStart) {
  Machine machine;
  machine.MakeInstallation("C:\\EST", "EST 8.0S");
  machine.Write("D:\\MEDIA\\NEW.TXT", "new");
  machine.Write("C:\\EST\\NEW.TXT", "old");
  const std::string before = machine.Snapshot("C:\\EST", false);
  machine.Write("C:\\EST\\.koushin\\last\\in the way\\x", "");
  description::UpdateDescription record = MakeRecord("C:\\EST", {{1, 0, "NEW.TXT", ""}});
  ScriptedOperator op;
  RunContext context{record, SW("D:\\MEDIA\\"), op};
  UpdateRun(context);
  ASSERT_EQ(context.outcome, RunOutcome::kUpdated) << op.LogText();
  EXPECT_EQ(machine.Read("C:\\EST\\NEW.TXT"), "new");
  EXPECT_NE(
      op.LogText().find("left for the next start: remove folder " + W("C:\\EST\\.koushin\\last")),
      std::string::npos)
      << op.LogText();
  fs::remove_all(machine.HostDrive('c') / "EST" / ".koushin" / "last" / "in the way");
  // Kept as an earlier build keeps it, each file's mark its 64-bit FNV-1a: still undone.
  const std::string kept = SW("C:\\EST\\.koushin\\done\\journal");
  std::string bytes, why;
  std::vector<journal::Record> records;
  ASSERT_TRUE(port::ReadWholeFile(kept, &bytes));
  ASSERT_EQ(journal::ParseJournal(bytes, &records, &why), journal::ParseResult::kRead) << why;
  for (journal::FileMark& mark : records.back().files) {
    mark.hash = 14695981039346656037ull;
    if (mark.exists && port::ReadWholeFile(mark.path, &bytes)) {
      for (unsigned char c : bytes) mark.hash = (mark.hash ^ c) * 1099511628211ull;
    }
  }
  ASSERT_TRUE(port::WriteWholeFile(kept, JournalBytes(records)));
  journal::RestoreReport report;
  EXPECT_EQ(UndoLastUpdate(SW("C:\\EST"), false, op, &report), RunOutcome::kUndone) << op.LogText();
  EXPECT_EQ(machine.Snapshot("C:\\EST", false), before);
}

}  // namespace
}  // namespace koushin::engine
