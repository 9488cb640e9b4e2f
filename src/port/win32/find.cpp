// Directory search with '*' and '?' patterns through FindFirstFileW, in a repeatable order.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "port/port.h"
#include "port/win32/handles.h"
#include "port/win32/wide_text.h"

namespace koushin::port {

using win32::Fail;
using win32::WidePath;

bool FindEntries(const std::string& pattern, std::vector<FoundEntry>* entries, Error* error) {
  entries->clear();
  std::wstring wide;
  if (!WidePath(pattern, &wide, "find", error)) return false;
  WIN32_FIND_DATAW data;
  win32::FindHandle search(FindFirstFileW(wide.c_str(), &data));
  if (!search.IsValid()) return Fail(error, GetLastError(), "find", pattern);
  struct Named {
    std::wstring wide;
    FoundEntry entry;
  };
  std::vector<Named> found;
  do {
    Named item;
    item.wide = data.cFileName;
    // A name code page 932 cannot spell cannot be named by any path the program builds.
    if (!win32::WideToCp932(item.wide, &item.entry.name)) continue;
    item.entry.isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    found.push_back(std::move(item));
  } while (FindNextFileW(search.Get(), &data));
  DWORD code = GetLastError();
  if (code != ERROR_NO_MORE_FILES) {
    return Fail(error, code, "find", pattern);
  }
  if (found.empty()) return Fail(error, ERROR_FILE_NOT_FOUND, "find", pattern);
  // The order a directory yields depends on the file system (and under Wine on the host's); sort
  // as NTFS does, by the upper-cased name, with "." and ".." first, so that runs repeat.
  auto rank = [](const std::wstring& name) { return name == L"." ? 0 : name == L".." ? 1 : 2; };
  std::stable_sort(found.begin(), found.end(), [&](const Named& a, const Named& b) {
    int ra = rank(a.wide), rb = rank(b.wide);
    if (ra != rb) return ra < rb;
    return CompareStringOrdinal(a.wide.c_str(), static_cast<int>(a.wide.size()), b.wide.c_str(),
                                static_cast<int>(b.wide.size()), TRUE) == CSTR_LESS_THAN;
  });
  for (auto& item : found) entries->push_back(std::move(item.entry));
  return true;
}

}  // namespace koushin::port
