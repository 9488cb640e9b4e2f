// The update run as one transaction, on the demo installation and media of examples/: a fault at
// every file operation in turn, a restore that fails, undo, a run killed at random moments, an
// operator that throws, the lock. After each, the installation is byte for byte as before
// (attributes and last-write times included) or, after a commit, the new one. And a master
// conversion killed at random moments: every master file holds its old or its new content, never a
// torn one.
#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "engine/master_conversion.h"
#include "engine/update_run.h"
#include "engine_fixture.h"
#include "port/port.h"

namespace koushin::engine {
namespace {

namespace fs = std::filesystem;
using namespace testing;

// C:\EST but our journal folder, with (`times`) or without the last-write times.
std::string Tree(Machine& machine, bool times) { return machine.Snapshot("C:\\EST", false, times); }

// Runs `work` in a child process and kills it at a random moment of round `round` of `rounds`:
// the rounds' moments sweep from the start to half again `micros`, so that kills land early, late
// and after the end whatever the machine's speed.
void KilledAtRandom(const char* work, long micros, int round, int rounds, std::mt19937& random) {
  const long span = micros * 3 / 2 / rounds + 1;
  InChild(work, span * round + random() % span);
}

// The works the kill rounds end: the demo update, and the conversion of master files.
int UpdateWork() {
  ScriptedOperator op;
  return RunDemo(op) == RunOutcome::kUpdated ? 0 : 1;
}
int ConvertWork() {
  const auto transaction = journal::Transaction::InMemory();
  const bool converted = MaterialSizeConversion(SW("C:\\EST\\tamiro1.ini"), *transaction) == 1;
  return converted && transaction->Commit() ? 0 : 1;
}
const bool registered =
    RegisterChildWork("update", UpdateWork) && RegisterChildWork("convert", ConvertWork);

class UpdateTransactionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine.CopyDemo();
    before = Tree(machine, true);
  }
  void TearDown() override { port::SetInjectedFaults(0); }

  RunOutcome Run(ScriptedOperator& op, bool reinstall = false) {
    return RunDemo(op, "D:\\MEDIA\\", [&](RunContext& context) { context.reinstall = reinstall; });
  }

  // The tree after a run without faults (times left out: the settings are written "now"), and
  // how many changing operations the run made.
  std::string Updated(long* operations = nullptr) {
    ScriptedOperator op;
    port::SetInjectedFaults(0);
    EXPECT_EQ(Run(op), RunOutcome::kUpdated);
    if (operations != nullptr) *operations = port::ChangingOperationCount();
    const std::string after = Tree(machine, false);
    machine.CopyDemo();
    return after;
  }

  Machine machine;
  std::string before;
};

// Every changing file operation of a whole run fails in turn. The run either stops with its
// message and puts the installation back exactly, or (a fault in the tidying after the commit)
// ends updated; no temporary file is left either way. With every operation from the Nth on
// failing, the restore fails too: the journal stays, and a later recovery puts everything back.
TEST_F(UpdateTransactionTest, FaultAtEveryFileOperation) {
  long operations = 0;
  const std::string after = Updated(&operations);
  ASSERT_NE(after, Tree(machine, false));
  ASSERT_GT(operations, 50);
  int stopped = 0, notRestored = 0;
  for (long n = 1; n <= operations; ++n) {
    SCOPED_TRACE("fault at operation " + std::to_string(n));
    for (long count : {1L, 1000000L}) {
      ScriptedOperator op;
      port::SetInjectedFaults(n, count);
      const RunOutcome outcome = Run(op);
      port::SetInjectedFaults(0);
      if (outcome == RunOutcome::kUpdated) {
        ASSERT_EQ(Tree(machine, false), after);
      } else if (outcome == RunOutcome::kStoppedNotRestored) {
        ++notRestored;
        ASSERT_EQ(count, 1000000L) << op.LogText();
        journal::RestoreReport report;
        ScriptedOperator recovery;
        ASSERT_EQ(RecoverInstallation(SW("C:\\EST"), recovery, &report), RunOutcome::kRecovered);
        ASSERT_EQ(Tree(machine, true), before);
      } else {
        ++stopped;
        ASSERT_EQ(outcome, RunOutcome::kStoppedRestored);
        // One message when the journal could not even begin; else the failure, then the restore.
        ASSERT_TRUE(op.shown.size() == 1 || op.Texts().back() == kRestored) << op.Texts().back();
        ASSERT_EQ(Tree(machine, true), before);
      }
      machine.CopyDemo();
    }
  }
  EXPECT_GT(stopped, operations / 2);
  EXPECT_GT(notRestored, 10);
}

TEST_F(UpdateTransactionTest, UndoGivesTheOldTreeAndRefusesChangedFiles) {
  ScriptedOperator op;
  ASSERT_EQ(Run(op), RunOutcome::kUpdated);
  journal::RestoreReport report;
  EXPECT_EQ(UndoLastUpdate(SW("C:\\EST"), false, op, &report), RunOutcome::kUndone);
  EXPECT_EQ(Tree(machine, true), before);
  EXPECT_EQ(UndoLastUpdate(SW("C:\\EST"), false, op, &report), RunOutcome::kUndoRefused);

  ASSERT_EQ(Run(op), RunOutcome::kUpdated);
  machine.Write("C:\\EST\\formater.exe", "changed by hand");
  op.shown.clear();
  EXPECT_EQ(UndoLastUpdate(SW("C:\\EST"), false, op, &report), RunOutcome::kUndoRefused);
  ASSERT_EQ(op.shown.size(), 1u);
  EXPECT_NE(op.shown[0].text.find("formater.exe"), std::string::npos);
  EXPECT_EQ(machine.Read("C:\\EST\\formater.exe"), "changed by hand");
  EXPECT_EQ(UndoLastUpdate(SW("C:\\EST"), true, op, &report), RunOutcome::kUndone);
  EXPECT_EQ(Tree(machine, true), before);
}

// The version rule, our mend of the damage a second run did (each master conversion run cuts
// another byte from some records) and of the downgrade that "succeeded". A second run of the
// same media changes no byte, our journal folder included, and keeps the undo point of the
// first; older media are refused with nothing written; a repair puts back a file deleted by hand
// without converting the master files again, and is undone like any run.
TEST_F(UpdateTransactionTest, MediaAlreadyInstalledOrOlderChangeNothing) {
  ScriptedOperator first;
  ASSERT_EQ(Run(first), RunOutcome::kUpdated);
  const std::string updated = machine.Snapshot("C:\\EST", true, true);

  ScriptedOperator second;
  EXPECT_EQ(Run(second), RunOutcome::kCurrent);
  EXPECT_EQ(second.Texts(),
            std::vector<std::string>{"このシステムは既に 8.1S に更新されています。"});
  EXPECT_EQ(machine.Snapshot("C:\\EST", true, true), updated);

  // The repair: a file deleted by hand comes back; the master files stay as the update left
  // them; the settings are written again.
  const std::string masters = machine.Snapshot("C:\\EST\\MASTER", false, false);
  const std::string program = machine.Read("C:\\EST\\ESTCALC.DLL");
  machine.Remove("C:\\EST\\ESTCALC.DLL");
  ScriptedOperator repair;
  EXPECT_EQ(Run(repair, true), RunOutcome::kUpdated) << repair.LogText();
  EXPECT_EQ(machine.Read("C:\\EST\\ESTCALC.DLL"), program);
  EXPECT_EQ(machine.Snapshot("C:\\EST\\MASTER", false, false), masters);
  EXPECT_EQ(repair.Texts().back(), kDone);
  journal::RestoreReport report;
  ScriptedOperator undo;
  EXPECT_EQ(UndoLastUpdate(SW("C:\\EST"), false, undo, &report), RunOutcome::kUndone);
  EXPECT_FALSE(fs::exists(machine.HostDrive('c') / "EST" / "ESTCALC.DLL"));

  // Older media on a newer installation: refused before anything is written.
  machine.CopyDemo();
  machine.Write("C:\\EST\\tamiro1.ini",
                Sj("[SYSTEM]\r\nTITLE=見積積算システム Ver8.2S\r\nVersion=8.2S\r\n"));
  const std::string newer = machine.Snapshot("C:\\EST", true, true);
  for (bool reinstall : {false, true}) {
    ScriptedOperator downgrade;
    EXPECT_EQ(Run(downgrade, reinstall), RunOutcome::kCheckFailed);
    ASSERT_EQ(downgrade.shown.size(), 1u);
    EXPECT_NE(downgrade.shown[0].text.find("(8.2S)"), std::string::npos) << downgrade.shown[0].text;
    EXPECT_NE(downgrade.shown[0].text.find("(8.1S)"), std::string::npos) << downgrade.shown[0].text;
    EXPECT_EQ(machine.Snapshot("C:\\EST", true, true), newer);
  }
}

// A run that stopped after it wrote the new version and could not be put back leaves that
// version in the INI file: the next run must put the unfinished run back and then update, not
// take the installation for current.
TEST_F(UpdateTransactionTest, AnUnfinishedRunIsNotTakenForCurrent) {
  bool found = false;
  for (long n = 20; n < 400 && !found; n += 5) {
    ScriptedOperator op;
    port::SetInjectedFaults(n, 1000000);
    const RunOutcome outcome = Run(op);
    port::SetInjectedFaults(0);
    found = outcome == RunOutcome::kStoppedNotRestored &&
            machine.Read("C:\\EST\\tamiro1.ini").find("Version=8.1S") != std::string::npos;
    if (!found) machine.CopyDemo();
  }
  ASSERT_TRUE(found) << "no fault left the new version behind";
  ScriptedOperator op;
  EXPECT_EQ(Run(op), RunOutcome::kUpdated) << op.LogText();
  EXPECT_EQ(op.Texts().back(), kDone);
}

// A run killed at random moments over its whole length: the next start puts back what it had
// begun, or finds it committed.
TEST_F(UpdateTransactionTest, KilledAtAnyMomentTheNextStartRecovers) {
  const std::string after = Updated();
  // How long the work takes in a child process, as the rounds run it: starting a child (a fork
  // of a large sanitized process, or a program under Wine) and a busy machine can make it far
  // slower than the same work here.
  const long length = InChild("update");
  machine.CopyDemo();
  std::mt19937 random(20261207);
  int recovered = 0, committed = 0;
  constexpr int kRounds = 60;
  // Should the machine slow down after the timing, up to 30 more rounds sweep on past the end.
  int round = 0;
  for (; round < kRounds || (committed == 0 && round < kRounds + 30); ++round) {
    KilledAtRandom("update", length, round, kRounds, random);
    SCOPED_TRACE("round " + std::to_string(round));
    journal::RestoreReport report;
    ScriptedOperator op;
    const RunOutcome outcome = RecoverInstallation(SW("C:\\EST"), op, &report);
    if (outcome == RunOutcome::kRecovered) {
      ++recovered;
      ASSERT_EQ(Tree(machine, true), before);
    } else {
      // Nothing unfinished: killed before or committed.
      ASSERT_EQ(outcome, RunOutcome::kNothingToRecover);
      const bool isNew = Tree(machine, false) == after;
      committed += isNew;
      ASSERT_TRUE(isNew || Tree(machine, true) == before);
    }
    machine.CopyDemo();
  }
  // Kills landed inside the run, before its commit, and after it.
  EXPECT_GT(recovered, 0);
  EXPECT_GT(committed, 0);
  std::printf("killed runs put back: %d, found committed: %d, of %d\n", recovered, committed,
              round);
}

// An operator that throws from its progress report stops the run, which puts everything back.
TEST_F(UpdateTransactionTest, AThrowingOperatorStopsTheRunAndPutsBack) {
  ScriptedOperator op;
  op.onProgress = [](const Progress& p) {
    if (p.entry == 3) throw std::runtime_error("screen gone");
  };
  EXPECT_EQ(Run(op), RunOutcome::kStoppedRestored);
  ASSERT_GE(op.shown.size(), 2u);
  EXPECT_EQ(op.Texts().back(), kRestored);
  EXPECT_EQ(Tree(machine, true), before);
}

TEST_F(UpdateTransactionTest, SecondRunWhileOneHoldsTheLockChangesNothing) {
  journal::Installation first(SW("C:\\EST"));
  bool busy = false;
  ASSERT_TRUE(first.Lock(&busy));
  ScriptedOperator op;
  EXPECT_EQ(Run(op), RunOutcome::kBusy);
  EXPECT_EQ(op.Texts(), std::vector<std::string>{"別の更新が実行中です。"});
  EXPECT_EQ(Tree(machine, true), before);
}

// Natively only: under Wine the child is this program started again, and its start-up, which
// varies far more than the conversion takes, is part of the timing the kills sweep over, so the
// kills too seldom fall between two files. The kills of the whole update run under Wine as well.
#ifndef _WIN32
TEST(MasterConversionKilled, EachMasterFileIsOldOrNew) {
  Machine machine;
  machine.Write("C:\\EST\\tamiro1.ini", "[DIR]\r\nMASTER=" + SW("C:\\M\\") + "\r\n");
  // About 2 MB per file: large enough that a kill often lands inside a conversion.
  std::string before;
  for (int i = 0; i < 12000; ++i) {
    before += "400400000107" + std::to_string(100000 + i) + std::string(168, 'x') + "\n";
  }
  const std::string after = ConvertMasterText(before, MasterRule::kSize, nullptr);
  ASSERT_NE(before, after);
  const char* files[] = {"C:\\M\\1\\zai001-3.mst", "C:\\M\\1\\zai002-3.mst",
                         "C:\\M\\21\\zai001-3.mst"};
  for (const char* file : files) machine.Write(file, before);

  const long length = InChild("convert");
  for (const char* file : files) machine.Write(file, before);
  std::mt19937 random(12345);
  int killedMidway = 0;
  constexpr int kRounds = 12;
  // Should the machine's pace change after the timing, the sweep is repeated up to three times.
  int round = 0;
  for (; round < kRounds || (killedMidway < 2 && round < 4 * kRounds); ++round) {
    KilledAtRandom("convert", length, round % kRounds, kRounds, random);
    int converted = 0;
    for (const char* file : files) {
      SCOPED_TRACE(file);
      const std::string now = machine.Read(file);
      ASSERT_TRUE(now == before || now == after) << "torn or missing, size " << now.size();
      converted += now == after;
      machine.Write(file, before);  // for the next round
    }
    if (converted > 0 && converted < 3) ++killedMidway;
  }
  // The first file is converted after a third of the run and the last at its end: of twelve
  // kills sweeping the run and half as much again, some fall between two files of one conversion.
  EXPECT_GE(killedMidway, 2);
  std::printf("kills between master files: %d of %d\n", killedMidway, round);
}
#endif

}  // namespace
}  // namespace koushin::engine
