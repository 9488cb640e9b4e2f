// Test builds: a child process killed at any moment, this program started again.
#ifdef KOUSHIN_FAULT_INJECTION
#include <windows.h>

#include <chrono>
#include <string>

#include "port/port.h"
#include "port/win32/handles.h"
#include "port/win32/wide_text.h"

namespace koushin::port {

long RunChildProcess(const std::string& task, int (*)(), long killAfter) {
  const auto start = std::chrono::steady_clock::now();
  wchar_t program[MAX_PATH + 1] = {};
  std::wstring wideTask;
  const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
  if (length == 0 || length >= MAX_PATH || !win32::MultiByteToWide(CP_UTF8, task, &wideTask)) {
    return -1;
  }
  // The child's own output goes to the null device; the task goes by the environment, which the
  // child inherits.
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  win32::FileHandle nothing(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                                        0, nullptr));
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = nothing.Get();
  std::wstring line = L"\"" + std::wstring(program) + L"\"";
  PROCESS_INFORMATION child = {};
  SetEnvironmentVariableW(L"KOUSHIN_CHILD", wideTask.c_str());
  // Under Wine a start right after a terminated child now and then fails: tried three times.
  bool started = false;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) {
    if (attempt > 0) Sleep(100);
    started = CreateProcessW(program, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &startup, &child) != 0;
  }
  SetEnvironmentVariableW(L"KOUSHIN_CHILD", nullptr);
  if (!started) return -1;
  win32::FileHandle process(child.hProcess), thread(child.hThread);
  const DWORD wait = killAfter < 0 ? INFINITE : static_cast<DWORD>(killAfter / 1000);
  if (WaitForSingleObject(process.Get(), wait) == WAIT_TIMEOUT) TerminateProcess(process.Get(), 9);
  WaitForSingleObject(process.Get(), INFINITE);
  return static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count());
}

}  // namespace koushin::port
#endif
