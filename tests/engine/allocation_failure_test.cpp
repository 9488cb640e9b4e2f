// Memory that runs out during an update: the Nth allocation of the demo update fails (this test
// program replaces the global operator new, so it is a program of its own), for every N from the
// first allocation of the run to its last. The run ends with its message, every change put back
// (or, when the failure comes after the commit, the update stands), and nothing crashes; the
// sanitizer builds check that nothing leaks or is used after being freed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>

#include "engine/update_run.h"
#include "engine_fixture.h"

namespace {

long allocations = 0;    // counted while armed
long failAt = 0;         // the allocation that fails; 0: none
bool armed = false;

void* Allocate(std::size_t size) {
  if (armed && ++allocations == failAt) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

// The replacements pair malloc with free, which GCC cannot see through.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
  void* p = Allocate(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t size) {
  void* p = Allocate(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace koushin::engine {
namespace {

namespace fs = std::filesystem;
using namespace testing;

const fs::path kDemo = fs::path(KOUSHIN_SOURCE_DIR) / "examples";

class AllocationFailureTest : public ::testing::Test {
 protected:
  void Fresh() {
    fs::remove_all(machine.HostDrive('d') / "MEDIA");
    fs::copy(kDemo / "demo-media", machine.HostDrive('d') / "MEDIA");
    const fs::path from = kDemo / "demo-install" / "EST";
    const fs::path to = machine.HostDrive('c') / "EST";
    fs::remove_all(to);
    fs::copy(from, to, fs::copy_options::recursive);
    for (const auto& entry : fs::recursive_directory_iterator(from)) {
      fs::last_write_time(to / fs::relative(entry.path(), from), entry.last_write_time());
    }
  }
  std::string Tree(bool times) { return machine.Snapshot("C:\\EST", false, times); }

  // The demo update, with the allocation `fail` of the run failing (0: none); returns how many
  // allocations the run made.
  long Run(ScriptedOperator& op, long fail, RunOutcome* outcome) {
    description::UpdateDescription record;
    const std::string media = (machine.HostDrive('d') / "MEDIA").string() + "/";
    EXPECT_EQ(description::LoadUpdateDescription(media, &record).status,
              description::LoadStatus::kRead);
    record.installFolder = "C:\\EST";
    RunContext context{record, media, op};
    allocations = 0;
    failAt = fail;
    armed = true;
    UpdateRun(context);
    armed = false;
    *outcome = context.outcome;
    return allocations;
  }

  Machine machine;
};

TEST_F(AllocationFailureTest, EveryAllocationOfTheDemoUpdateFailsInTurn) {
  Fresh();
  const std::string before = Tree(true);
  ScriptedOperator clean;
  RunOutcome outcome;
  const long total = Run(clean, 0, &outcome);
  ASSERT_EQ(outcome, RunOutcome::kUpdated);
  const std::string after = Tree(false);
  ASSERT_GT(total, 1000);
  // Every allocation of the first and the last 500 (the start of the journal; the commit and the
  // settings after it), and every 17th in between: about 1,800 runs.
  int restored = 0, updated = 0, runs = 0;
  for (long n = 1; n <= total; n += (n < 500 || n > total - 500) ? 1 : 17) {
    ++runs;
    SCOPED_TRACE("allocation " + std::to_string(n) + " of " + std::to_string(total));
    Fresh();
    ScriptedOperator op;
    try {
      Run(op, n, &outcome);
    } catch (const std::exception& e) {
      armed = false;
      FAIL() << "the run let through: " << e.what() << "\n" << op.LogText();
    }
    if (outcome == RunOutcome::kUpdated) {
      ++updated;
      ASSERT_EQ(op.Texts().back(), kDone) << op.LogText();
      ASSERT_EQ(Tree(false), after) << op.LogText();
    } else {
      ++restored;
      ASSERT_EQ(outcome, RunOutcome::kStoppedRestored) << op.LogText();
      // The failure's message, then (once the journal had begun) the restore's.
      ASSERT_FALSE(op.shown.empty());
      const std::string last = op.Texts().back();
      const std::string failed = "の更新に失敗しました。";
      ASSERT_TRUE(last == kRestored ||
                  (op.shown.size() == 1 && last.rfind(W("C:\\EST"), 0) == 0 &&
                   last.substr(last.size() - failed.size()) == failed))
          << last << "\n" << op.LogText();
      ASSERT_EQ(Tree(true), before) << op.LogText();
    }
  }
  std::printf("allocations of the run: %ld, failed in turn: %d, put back: %d, after the commit: %d\n",
              total, runs, restored, updated);
  EXPECT_GT(restored, 0);
}

}  // namespace
}  // namespace koushin::engine
