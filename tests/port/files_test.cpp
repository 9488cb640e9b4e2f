#include <errno.h>

#include "port_fixture.h"

namespace koushin::port::testing {
namespace {

using FilesTest = PortTest;

const FileTime kJan2001 = FileTimeFromUnix(978307200, 123456700);  // 2001-01-01 00:00:00.1234567

TEST_F(FilesTest, ExistenceAndFolders) {
  MakeFile("c/Est/a.ini");
  struct Case {
    std::string path;
    bool exists;
    bool folder;
  };
  const Case cases[] = {
      {"C:\\EST", true, true},
      {"C:\\est\\", true, true},
      {"c:\\Est\\A.INI", true, false},
      {"C:\\Est\\a.ini\\", false, false},  // a file named as a folder
      {"C:\\Est\\b.ini", false, false},
      {"C:\\", true, true},
      {"Q:\\", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PathExists(c.path), c.exists) << c.path;
    EXPECT_EQ(IsFolder(c.path), c.folder) << c.path;
  }

  Error error;
  EXPECT_TRUE(MakeFolder("C:\\EST\\New", &error)) << error.Describe();
  EXPECT_TRUE(fs::is_directory(Host("c/Est/New")));
  EXPECT_FALSE(MakeFolder("C:\\Est\\new", &error));  // exists, in another case
  EXPECT_EQ(error.hostCode, EEXIST);
  EXPECT_FALSE(MakeFolder("C:\\Missing\\Sub", &error));  // one level only
  EXPECT_EQ(error.hostCode, ENOENT);
  EXPECT_EQ(error.path, "C:\\Missing\\Sub");
}

TEST_F(FilesTest, CopyReplacesAtomicallyAndKeepsTimeAndAttributes) {
  MakeFile("d/src/FOO.DLL", "new contents");
  MakeFile("c/Est/foo.dll", "old");
  fs::create_hard_link(Host("c/Est/foo.dll"), Host("c/old-link"));
  FileStatus status;
  ASSERT_TRUE(ReadFileStatus("D:\\src\\FOO.DLL", &status));
  status.lastWriteTime = kJan2001;
  status.attributes = kAttrReadOnly | kAttrHidden | kAttrArchive;
  ASSERT_TRUE(WriteFileStatus("D:\\src\\FOO.DLL", status));

  Error error;
  ASSERT_TRUE(CopyFileReplacing("D:\\SRC\\foo.dll", "C:\\EST\\FOO.DLL", &error))
      << error.Describe();
  EXPECT_EQ(Contents("c/Est/foo.dll"), "new contents");
  EXPECT_EQ(Contents("c/old-link"), "old");  // the old file was replaced, not overwritten
  EXPECT_EQ(Listing("c/Est"), (std::vector<std::string>{"foo.dll"}));  // no temporary file left
  FileStatus copied;
  ASSERT_TRUE(ReadFileStatus("C:\\Est\\foo.dll", &copied));
  EXPECT_EQ(copied.lastWriteTime, kJan2001);
  EXPECT_EQ(copied.attributes, kAttrReadOnly | kAttrHidden | kAttrArchive);
  EXPECT_EQ(copied.size, 12u);

  // The copy is read-only now: CopyFile refuses to overwrite it, and it stays as it is.
  EXPECT_FALSE(CopyFileReplacing("D:\\src\\FOO.DLL", "C:\\Est\\foo.dll", &error));
  EXPECT_EQ(error.hostCode, EACCES);
  EXPECT_EQ(error.path, "C:\\Est\\foo.dll");

  struct Failure {
    std::string from, to;
    int code;
    std::string path;
  };
  const Failure failures[] = {
      {"D:\\src\\none.dll", "C:\\Est\\x.dll", ENOENT, "D:\\src\\none.dll"},
      {"D:\\src\\FOO.DLL", "C:\\NoFolder\\x.dll", ENOENT, "C:\\NoFolder\\x.dll"},
      {"D:\\src", "C:\\Est\\x.dll", EISDIR, "D:\\src"},
      {"D:\\src\\FOO.DLL", "C:\\Est", EISDIR, "C:\\Est"},
  };
  for (const Failure& f : failures) {
    error = Error();
    EXPECT_FALSE(CopyFileReplacing(f.from, f.to, &error)) << f.from;
    EXPECT_EQ(error.hostCode, f.code) << f.from;
    EXPECT_EQ(error.path, f.path) << f.from;
  }
  EXPECT_EQ(Listing("c/Est"), (std::vector<std::string>{"foo.dll"}));
}

TEST_F(FilesTest, WholeFilesRemoveAndRename) {
  const std::string bytes("a\0\x83\x5c\r\n", 6);
  Error error;
  ASSERT_TRUE(WriteWholeFile("C:\\W.bin", bytes, &error)) << error.Describe();
  std::string read;
  ASSERT_TRUE(ReadWholeFile("c:\\w.BIN", &read, &error));
  EXPECT_EQ(read, bytes);

  fs::create_hard_link(Host("c/W.bin"), Host("c/link"));
  ASSERT_TRUE(WriteFileAtomically("C:\\w.bin", "second", &error));
  EXPECT_EQ(Contents("c/W.bin"), "second");
  EXPECT_EQ(Contents("c/link"), bytes);
  EXPECT_EQ(Listing("c"), (std::vector<std::string>{"W.bin", "link"}));

  EXPECT_FALSE(ReadWholeFile("C:\\none", &read, &error));
  EXPECT_EQ(error.hostCode, ENOENT);
  EXPECT_EQ(error.path, "C:\\none");
  EXPECT_FALSE(ReadWholeFile("C:\\", &read, &error));
  EXPECT_EQ(error.hostCode, EISDIR);

  MakeFile("c/temp.mst", "converted");
  ASSERT_TRUE(RenameReplacing("C:\\TEMP.MST", "C:\\w.bin", &error));
  EXPECT_EQ(Contents("c/W.bin"), "converted");
  EXPECT_FALSE(fs::exists(Host("c/temp.mst")));

  // Read-only files are neither replaced nor deleted nor written, as on Windows.
  FileStatus status;
  ASSERT_TRUE(ReadFileStatus("C:\\w.bin", &status));
  status.attributes = kAttrReadOnly;
  ASSERT_TRUE(WriteFileStatus("C:\\w.bin", status));
  MakeFile("c/temp.mst", "again");
  EXPECT_FALSE(RenameReplacing("C:\\temp.mst", "C:\\w.bin", &error));
  EXPECT_EQ(error.hostCode, EACCES);
  EXPECT_FALSE(RemoveFile("C:\\w.bin", &error));
  EXPECT_EQ(error.hostCode, EACCES);
  EXPECT_FALSE(WriteWholeFile("C:\\w.bin", "x", &error));
  EXPECT_EQ(error.hostCode, EACCES);
  EXPECT_FALSE(WriteFileAtomically("C:\\w.bin", "x", &error));
  EXPECT_EQ(error.hostCode, EACCES);
  EXPECT_EQ(Contents("c/W.bin"), "converted");

  ASSERT_TRUE(RenameReplacing("C:\\temp.mst", "C:\\TEMP.MST", &error)) << error.Describe();
  EXPECT_EQ(Listing("c"), (std::vector<std::string>{"TEMP.MST", "W.bin", "link"}));
  EXPECT_TRUE(RemoveFile("C:\\Temp.mst", &error));
  EXPECT_FALSE(fs::exists(Host("c/temp.mst")));
  EXPECT_FALSE(RemoveFile("C:\\Temp.mst", &error));
  EXPECT_EQ(error.hostCode, ENOENT);
  EXPECT_EQ(error.path, "C:\\Temp.mst");
  EXPECT_EQ(error.operation, "delete");
}

TEST_F(FilesTest, ExclusiveFileKeepsOutOtherExclusiveOpens) {
  MakeFile("c/tpl.xlsm", "template");
  FileStatus status;
  ASSERT_TRUE(ReadFileStatus("C:\\tpl.xlsm", &status));
  status.lastWriteTime = kJan2001;
  ASSERT_TRUE(WriteFileStatus("C:\\tpl.xlsm", status));

  ExclusiveFile holder;
  Error error;
  ASSERT_TRUE(holder.Open("C:\\TPL.xlsm", true, &error)) << error.Describe();
  std::string bytes;
  ASSERT_TRUE(holder.ReadAll(&bytes));
  EXPECT_EQ(bytes, "template");
  FileTime time = 0;
  ASSERT_TRUE(holder.LastWriteTime(&time));
  EXPECT_EQ(time, kJan2001);

  ExclusiveFile other;
  EXPECT_FALSE(other.Open("C:\\tpl.xlsm", false, &error));
  EXPECT_EQ(error.hostCode, EBUSY);
  EXPECT_FALSE(other.Open("C:\\tpl.xlsm", true, &error));
  EXPECT_FALSE(other.IsOpen());
  holder.Close();
  EXPECT_TRUE(other.Open("C:\\tpl.xlsm", false, &error));
  other.Close();

  EXPECT_FALSE(other.Open("C:\\none.xlsm", false, &error));
  EXPECT_EQ(error.hostCode, ENOENT);
  status.attributes = kAttrReadOnly;
  ASSERT_TRUE(WriteFileStatus("C:\\tpl.xlsm", status));
  EXPECT_FALSE(other.Open("C:\\tpl.xlsm", true, &error));  // no write access to a read-only file
  EXPECT_EQ(error.hostCode, EACCES);
  EXPECT_TRUE(other.Open("C:\\tpl.xlsm", false, &error));
}

}  // namespace
}  // namespace koushin::port::testing
