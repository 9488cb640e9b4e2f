// A master conversion killed at random moments: every master file must always hold either its
// old or its new content, never a torn or missing one.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "engine/master_conversion.h"
#include "engine_fixture.h"

namespace koushin::engine {
namespace {

using testing::Machine;

TEST(MasterConversionKilled, EachMasterFileIsOldOrNew) {
  Machine machine;
  machine.Write("C:\\EST\\tamiro1.ini", "[DIR]\r\nMASTER=C:\\M\\\r\n");
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

  std::mt19937 random(12345);
  int killedMidway = 0;
  for (int round = 0; round < 12; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      _exit(MaterialSizeConversion("C:\\EST\\tamiro1.ini") == 1 ? 0 : 1);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 120000));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
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
  // Not asserted (it depends on the machine's speed), but logged: how often a kill fell between
  // two files of one conversion.
  std::printf("kills between master files: %d of 12\n", killedMidway);
}

}  // namespace
}  // namespace koushin::engine
#endif
