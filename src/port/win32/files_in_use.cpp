// Files held open by running programs: the Restart Manager names the programs; where it is
// missing, fails, or names nobody (as it may under an emulation), each file is opened without
// sharing, which any other open handle refuses.
#include <windows.h>
#include <restartmanager.h>

#include <set>
#include <string>
#include <vector>

#include "port/port.h"
#include "port/win32/handles.h"
#include "port/win32/wide_text.h"

namespace koushin::port {

namespace {

using StartSession = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
using RegisterResources = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT,
                                         LPCWSTR*);
using GetList = DWORD(WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, DWORD*);
using EndSession = DWORD(WINAPI*)(DWORD);

template <typename Function>
Function Entry(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The program file's name of a process, or the Restart Manager's name for it.
std::wstring ProgramOf(const RM_PROCESS_INFO& process) {
  win32::FileHandle handle(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process.Process.dwProcessId));
  wchar_t image[MAX_PATH + 1] = {};
  DWORD size = MAX_PATH;
  if (handle.IsValid() && QueryFullProcessImageNameW(handle.Get(), 0, image, &size)) {
    const std::wstring path(image, size);
    return path.substr(path.find_last_of(L"\\/") + 1);
  }
  return process.strAppName;
}

// The programs the Restart Manager finds holding any of `files`; false when it cannot be asked.
bool AskRestartManager(const std::vector<std::wstring>& files, std::set<std::wstring>* programs) {
  const HMODULE module = LoadLibraryW(L"rstrtmgr.dll");
  if (module == nullptr) return false;
  const auto start = Entry<StartSession>(module, "RmStartSession");
  const auto add = Entry<RegisterResources>(module, "RmRegisterResources");
  const auto list = Entry<GetList>(module, "RmGetList");
  const auto end = Entry<EndSession>(module, "RmEndSession");
  bool asked = false;
  DWORD session = 0;
  WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
  if (start && add && list && end && start(&session, 0, key) == ERROR_SUCCESS) {
    std::vector<LPCWSTR> names;
    for (const std::wstring& file : files) names.push_back(file.c_str());
    std::vector<RM_PROCESS_INFO> processes(8);
    DWORD result =
        add(session, static_cast<UINT>(names.size()), names.data(), 0, nullptr, 0, nullptr);
    for (int attempt = 0; result == ERROR_SUCCESS && attempt < 4; ++attempt) {
      UINT needed = 0;
      UINT count = static_cast<UINT>(processes.size());
      DWORD reasons = 0;
      result = list(session, &needed, &count, processes.data(), &reasons);
      if (result == ERROR_MORE_DATA) {
        processes.resize(needed + 8);
        result = ERROR_SUCCESS;
        continue;
      }
      if (result != ERROR_SUCCESS) break;
      asked = true;
      for (UINT i = 0; i < count && i < processes.size(); ++i) {
        if (processes[i].Process.dwProcessId == GetCurrentProcessId()) continue;
        programs->insert(ProgramOf(processes[i]));
      }
      break;
    }
    end(session);
  }
  FreeLibrary(module);
  return asked;
}

}  // namespace

bool FindFilesInUse(const std::vector<std::string>& paths, FilesInUse* found, Error* error) {
  *found = FilesInUse();
  std::vector<std::wstring> existing;
  // The first file no open could tell about, and why: where the Restart Manager names nobody
  // either, no search was made at all.
  std::string unanswered;
  DWORD unansweredCode = ERROR_SUCCESS;
  bool answered = false;
  for (const std::string& path : paths) {
    std::wstring wide;
    if (!win32::Cp932ToWide(path, &wide)) continue;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      continue;
    }
    existing.push_back(wide);
    // Any handle another program holds, whatever it shares, refuses an open without sharing.
    win32::FileHandle file(CreateFileW(wide.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD code = file.IsValid() ? ERROR_SUCCESS : GetLastError();
    if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) {
      found->files.push_back(path);
    }
    if (code == ERROR_SUCCESS || code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) {
      answered = true;
    } else if (unanswered.empty()) {
      unanswered = path;
      unansweredCode = code;
    }
  }
  if (existing.empty()) return true;
  std::set<std::wstring> programs;
  AskRestartManager(existing, &programs);
  for (const std::wstring& program : programs) {
    std::string name;
    if (!win32::WideToCp932(program, &name)) name = win32::WideToUtf8Lossy(program);
    found->programs.push_back(name);
  }
  if (!answered && programs.empty()) {
    return win32::Fail(error, unansweredCode, "look for programs holding", unanswered);
  }
  return true;
}

}  // namespace koushin::port
