#include "text/path.h"

#include <gtest/gtest.h>

namespace koushin::text {
namespace {

TEST(PathTest, SourceFolder) {
  struct Case {
    std::string program, folder;
  } cases[] = {
      {"D:\\KOUSHIN.EXE", "D:\\"},  // the root keeps its backslash
      {"D:\\UPD\\KOUSHIN.EXE", "D:\\UPD\\"},
      {"\\\\server\\share\\dir\\x.exe", "\\\\server\\share\\dir\\"},
      {"E:\\\x83\x5C\\x.exe", "E:\\\x83\x5C\\"},  // ソ folder
      {"E:\\UPD\\\x95\x5C.exe", "E:\\UPD\\"},     // 表.exe
      {"E:\\" + std::string(200, 'a') + "\\x.exe", "E:\\" + std::string(200, 'a') + "\\"},
  };
  for (const auto& c : cases) EXPECT_EQ(SourceFolderFromProgramPath(c.program), c.folder);
}

// Paths as shown: the run's concatenations double a separator ("C:\\EST\\" + "\\ta1menu.ini").
TEST(PathTest, OneSeparator) {
  struct Case {
    std::string path, shown;
  } cases[] = {
      {"C:\\EST\\\\ta1menu.ini", "C:\\EST\\ta1menu.ini"},
      {"C:\\EST\\\\MASTER\\1\\", "C:\\EST\\MASTER\\1\\"},
      {"C:\\EST\\/\\x", "C:\\EST\\x"},
      {"\\\\server\\share\\\\x", "\\\\server\\share\\x"},  // the UNC pair stays
      {"\\\\\\server", "\\\\server"},
      {"C:\\\x83\x5C\\x", "C:\\\x83\x5C\\x"},  // ソ then a separator: both stay
      {"/srv/c//EST", "/srv/c/EST"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(OneSeparator(c.path), c.shown) << c.path;
}

TEST(PathTest, SplitPath) {
  struct Case {
    std::string path, drive, directory, name, extension;
  } cases[] = {
      {"SUB\\FOO.DLL", "", "SUB\\", "FOO", ".DLL"},
      {"C:\\APPS\\EST\\SETUP.LOG", "C:", "\\APPS\\EST\\", "SETUP", ".LOG"},
      {"\"C:\\A\\B.LOG\"", "", "\"C:\\A\\", "B", ".LOG\""},
      {"START", "", "", "START", ""},
      {"a.b.c", "", "", "a.b", ".c"},
  };
  for (const auto& c : cases) {
    const PathParts p = SplitPath(c.path);
    EXPECT_EQ(p.drive + "|" + p.directory + "|" + p.name + "|" + p.extension,
              c.drive + "|" + c.directory + "|" + c.name + "|" + c.extension);
  }
}

}  // namespace
}  // namespace koushin::text
