// The log a run leaves in the installation for support: where it goes, what it holds, that it
// never overwrites another run's log, that only the last runs are kept and nothing else in the
// folder is touched, and which runs leave one.
#include "engine/support_log.h"

#include <gtest/gtest.h>

#include "engine_fixture.h"

namespace koushin::engine {
namespace {

using namespace testing;

TEST(SupportLogTest, KeepsOneFilePerRunAndOnlyTheLastRuns) {
  Machine machine;
  machine.MakeInstallation("C:\\EST", "EST");
  const std::string logs = "C:\\EST\\.koushin\\logs\\";

  SupportLog log;
  log.Add(Sj("message [確認] 一行目\r\n二行目"));
  log.Add("outcome: updated");
  log.SetHead({"koushin 3.0.0 (test)", "media: D:\\"});
  // The name is the start time: "20261207T150102Z.log".
  ASSERT_EQ(log.FileName().size(), 20u);
  EXPECT_EQ(log.FileName()[8], 'T');

  // Other runs' logs, older than this one (25 of them), a log of this run's very second, and
  // files that are not ours.
  for (int i = 0; i < 25; ++i) {
    machine.Write(logs + "2000010" + std::to_string(i / 10 + 1) + "T0000" +
                      std::to_string(10 + i % 10) + "Z.log",
                  "old");
  }
  machine.Write(logs + log.FileName(), "same second");
  machine.Write(logs + "notes.log", "ours? no");
  machine.Write(logs + "readme.txt", "kept");

  std::string path;
  port::Error error;
  ASSERT_TRUE(log.Keep(SW("C:\\EST"), &path, &error)) << error.Describe();
  const std::string second = log.FileName().substr(0, 16) + "_2.log";
  EXPECT_EQ(Utf8(path), W(logs + second));
  EXPECT_EQ(machine.Read(logs + log.FileName()), "same second");
  const std::string text = machine.Read(logs + second);
  EXPECT_EQ(text.substr(0, 34), "koushin 3.0.0 (test)\r\nmedia: D:\\\r\n");
  EXPECT_NE(text.find("  " + Sj("message [確認] 一行目 / 二行目") + "\r\n"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 18), "outcome: updated\r\n");

  // The newest 20 of ours remain (this run's two among them); the others' files stay.
  std::vector<port::FoundEntry> entries;
  port::FindEntries(SW(logs + "*.*"), &entries);
  std::vector<std::string> names;
  for (const auto& entry : entries) {
    if (!entry.isFolder) names.push_back(entry.name);
  }
  ASSERT_EQ(names.size(), 22u);
  EXPECT_EQ(names.front(), "20000101T000017Z.log");  // the 8 oldest went
  EXPECT_EQ(machine.Read(logs + "notes.log"), "ours? no");
  EXPECT_EQ(machine.Read(logs + "readme.txt"), "kept");
}

TEST(SupportLogTest, OnlyRunsThatWroteLeaveALog) {
  struct Case {
    RunOutcome outcome;
    bool restored;
    bool dryRun;
    bool leaves;
  };
  const Case cases[] = {
      {RunOutcome::kUpdated, false, false, true},
      {RunOutcome::kUpdated, false, true, false},  // a dry run writes nothing
      {RunOutcome::kCurrent, false, false, false},
      {RunOutcome::kPreflightRefused, false, false, false},
      {RunOutcome::kPreflightRefused, true, false, true},  // a later disk's check, put back
      {RunOutcome::kCancelled, false, false, false},
      {RunOutcome::kCancelled, true, false, true},
      {RunOutcome::kBusy, false, false, false},
      {RunOutcome::kCheckFailed, false, false, false},
      {RunOutcome::kStoppedRestored, true, false, true},
      {RunOutcome::kStoppedNotRestored, false, false, true},
      {RunOutcome::kRecovered, false, false, true},
      {RunOutcome::kUndone, false, false, true},
      {RunOutcome::kUndoRefused, false, false, false},
      {RunOutcome::kNothingToRecover, false, false, false},
  };
  for (const Case& c : cases) {
    RunSummary summary;
    summary.restored = c.restored;
    EXPECT_EQ(RunWroteToInstallation(c.outcome, summary, c.dryRun), c.leaves)
        << static_cast<int>(c.outcome) << " restored " << c.restored << " dry " << c.dryRun;
  }
}

}  // namespace
}  // namespace koushin::engine
