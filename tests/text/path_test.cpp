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

TEST(PathTest, SplitPath) {
  PathParts p = SplitPath("SUB\\FOO.DLL");
  EXPECT_EQ(p.drive, "");
  EXPECT_EQ(p.directory, "SUB\\");
  EXPECT_EQ(p.name, "FOO");
  EXPECT_EQ(p.extension, ".DLL");
  p = SplitPath("C:\\APPS\\EST\\SETUP.LOG");
  EXPECT_EQ(p.drive, "C:");
  EXPECT_EQ(p.directory, "\\APPS\\EST\\");
  p = SplitPath("\"C:\\A\\B.LOG\"");
  EXPECT_EQ(p.drive, "");
  EXPECT_EQ(p.directory, "\"C:\\A\\");
  p = SplitPath("START");
  EXPECT_EQ(p.name, "START");
  EXPECT_EQ(p.extension, "");
  p = SplitPath("a.b.c");
  EXPECT_EQ(p.name, "a.b");
  EXPECT_EQ(p.extension, ".c");
}

}  // namespace
}  // namespace koushin::text
