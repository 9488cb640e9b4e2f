// Memory that runs out during an update: the Nth allocation of the demo update fails (this test
// program replaces the global operator new, so it is a program of its own), for every N from the
// first allocation of the run to its last. The run ends with its message, every change put back
// (or, when the failure comes after the commit, the update stands), and nothing crashes; the
// sanitizer builds check that nothing leaks or is used after being freed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <utility>
#include <vector>

#include "engine/update_run.h"
#include "engine_fixture.h"

namespace {

long allocations = 0;  // counted while armed
long failAt = 0;       // the allocation that fails; 0: none
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

using namespace testing;

// Counts allocations from the `count`th log line that begins with `from` on (none: from the
// start). The search for files in use reads /proc, whose size changes from run to run, so only
// from the end of the checks on does the Nth allocation name the same step in every run.
class CountingOperator : public ScriptedOperator {
 public:
  explicit CountingOperator(const char* from = nullptr, int count = 1)
      : from_(from), count_(count) {}
  void Log(const std::string& line) override {
    ScriptedOperator::Log(line);
    if (from_ != nullptr && line.rfind(from_, 0) == 0 && --count_ == 0) armed = true;
  }
  bool FromStart() const { return from_ == nullptr; }

 private:
  const char* from_;
  int count_;
};

// Where counting starts: the run's start, the end of the checks, the last master conversion
// (the commit follows it).
struct Phase {
  const char* from;
  int count;
};
constexpr Phase kPhases[] = {{nullptr, 1}, {"check files in use", 1}, {"master (type)", 3}};

class AllocationFailureTest : public ::testing::Test {
 protected:
  std::string Tree(bool times) { return machine.Snapshot("C:\\EST", false, times); }

  // The demo update, with the allocation `fail` of the run failing (0: none); returns how many
  // allocations the run made.
  long Run(CountingOperator& op, long fail, RunOutcome* outcome) {
    *outcome = RunDemo(op, "D:\\MEDIA\\", [&](RunContext&) {
      allocations = 0;
      failAt = fail;
      armed = op.FromStart();
    });
    armed = false;
    return allocations;
  }

  Machine machine;
};

TEST_F(AllocationFailureTest, EveryAllocationOfTheDemoUpdateFailsInTurn) {
  machine.CopyDemo();
  const std::string before = Tree(true);
  RunOutcome outcome;
  // Counted on a second run: the first makes the program's lasting tables too.
  long counts[3] = {};
  for (int round = 0; round < 2; ++round) {
    for (int phase = 0; phase < 3; ++phase) {
      machine.CopyDemo();
      CountingOperator op(kPhases[phase].from, kPhases[phase].count);
      counts[phase] = Run(op, 0, &outcome);
      ASSERT_EQ(outcome, RunOutcome::kUpdated);
    }
  }
  const std::string after = Tree(false);
  ASSERT_GT(counts[1], 1000);
  // Every one of the first 300 allocations of the run (the description, the checks); from the
  // end of the checks on (the journal, every change), the first 300 and every 29th after; from
  // the last master conversion on (the commit and what follows), every one.
  std::vector<std::pair<int, long>> failures;
  for (long n = 1; n <= 300 && n < counts[0]; ++n) failures.push_back({0, n});
  for (long n = 1; n <= counts[1]; n += n < 300 ? 1 : 29) failures.push_back({1, n});
  for (long n = 1; n <= counts[2]; ++n) failures.push_back({2, n});
  int restored = 0, updated = 0;
  for (const auto& [phase, n] : failures) {
    SCOPED_TRACE("allocation " + std::to_string(n) + " of phase " + std::to_string(phase));
    machine.CopyDemo();
    CountingOperator op(kPhases[phase].from, kPhases[phase].count);
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
      ASSERT_TRUE(last == kRestored || (op.shown.size() == 1 && last.rfind(W("C:\\EST"), 0) == 0 &&
                                        last.substr(last.size() - failed.size()) == failed))
          << last << "\n"
          << op.LogText();
      ASSERT_EQ(Tree(true), before) << op.LogText();
    }
  }
  std::printf(
      "allocations of the run: %ld, after the checks %ld, after the last conversion %ld; "
      "failed in turn: %zu, put back: %d, updated: %d\n",
      counts[0], counts[1], counts[2], failures.size(), restored, updated);
  EXPECT_GT(restored, 0);
  EXPECT_GT(updated, 0);
}

}  // namespace
}  // namespace koushin::engine
