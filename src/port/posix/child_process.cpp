// Test builds: a child process killed at any moment, forked.
#ifdef KOUSHIN_FAULT_INJECTION
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "port/port.h"

namespace koushin::port {

long RunChildProcess(const std::string&, int (*work)(), long killAfter) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) _exit(work());
  if (killAfter >= 0) {
    std::this_thread::sleep_for(std::chrono::microseconds(killAfter));
    kill(child, SIGKILL);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count());
}

}  // namespace koushin::port
#endif
