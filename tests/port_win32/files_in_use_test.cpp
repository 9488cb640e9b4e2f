// Files held open, through the Win32 port under Wine. Wine's Restart Manager names nobody, so
// there each file is looked at by opening it without sharing.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "port/port.h"
#include "support/temp_folder.h"

namespace koushin::port {
namespace {

// A file held is found; a search that could look at none of the files fails instead of saying
// that nobody holds them.
TEST(Win32FilesInUse, FindsHeldFilesAndFailsWhereItCouldLookAtNone) {
  koushin::testing::TempFolder folder;
  const std::string held = folder.Path() + "\\HELD.EXE", free = folder.Path() + "\\FREE.DLL";
  std::ofstream(folder.Host() / "HELD.EXE") << "held";
  std::ofstream(folder.Host() / "FREE.DLL") << "free";
  // Held without sharing, as a running program of the suite holds its own files.
  const HANDLE handle = CreateFileW((folder.Host() / "HELD.EXE").c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  // A device's name in a folder: it is there, but no open can look at it.
  const std::string device = folder.Path() + "\\CON";
  const struct Case {
    const char* what;
    std::vector<std::string> paths;
    bool searched;
    std::vector<std::string> files;
  } cases[] = {
      {"nothing there", {folder.Path() + "\\NONE.DLL", folder.Path()}, true, {}},
      {"a held file beside a free one", {free, held}, true, {held}},
      {"only a file it cannot look at", {device}, false, {}},
      {"one it cannot look at beside one it can", {device, free}, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FilesInUse found;
    Error error;
    EXPECT_EQ(FindFilesInUse(c.paths, &found, &error), c.searched);
    EXPECT_EQ(found.files, c.files);
    if (!c.searched) EXPECT_EQ(error.path, device) << error.Describe();
  }
  CloseHandle(handle);
}

}  // namespace
}  // namespace koushin::port
