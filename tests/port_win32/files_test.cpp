// Files and folders through the Win32 port, on real files in a temporary folder under Wine.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "port/port.h"
#include "support/temp_folder.h"

namespace koushin::port {
namespace {

using koushin::testing::TempFolder;

// Names whose trail byte is '\\', '[' or ']': ソ 表 能 ー ゾ.
const char* const kNames[] = {"\x83\x5C", "\x95\x5C", "\x94\x5C", "\x81\x5B", "\x83\x5D"};

std::vector<std::string> NamesIn(const std::string& pattern) {
  std::vector<FoundEntry> entries;
  FindEntries(pattern, &entries);
  std::vector<std::string> names;
  for (const FoundEntry& entry : entries) names.push_back(entry.name + (entry.isFolder ? "/" : ""));
  return names;
}

FileStatus StatusOf(const std::string& path) {
  FileStatus status;
  EXPECT_TRUE(ReadFileStatus(path, &status)) << path;
  return status;
}

TEST(Win32Files, CodePage932NamesRoundTripThroughFolderFileAndSearch) {
  TempFolder folder;
  for (const char* name : kNames) {
    std::string base = name;
    SCOPED_TRACE(Cp932ToUtf8Lossy(base));
    std::string sub = folder.PathOf(base);
    std::string file = sub + "\\" + base + ".txt";
    ASSERT_TRUE(MakeFolder(sub));
    EXPECT_TRUE(IsFolder(sub));
    ASSERT_TRUE(WriteFileAtomically(file, "data " + base));
    // The file carries the right Unicode name on the disk, not the bytes read as another code page.
    EXPECT_TRUE(std::filesystem::exists(folder.HostOf(base + "\\" + base + ".txt")));
    EXPECT_EQ(folder.Read(base + "\\" + base + ".txt"), "data " + base);
    EXPECT_TRUE(PathExists(file));
    EXPECT_FALSE(IsFolder(file));
    std::string bytes;
    EXPECT_TRUE(ReadWholeFile(file, &bytes));
    EXPECT_EQ(bytes, "data " + base);
    EXPECT_EQ(NamesIn(sub + "\\*.*"), (std::vector<std::string>{"./", "../", base + ".txt"}));
    std::string renamed = sub + "\\" + base + base;
    EXPECT_TRUE(RenameReplacing(file, renamed));
    EXPECT_FALSE(PathExists(file));
    EXPECT_TRUE(RemoveFile(renamed));
    EXPECT_FALSE(PathExists(renamed));
  }
}

TEST(Win32Files, CopyReplacesWholeKeepsTimeAndAttributesAndLeavesNoTemporaryFile) {
  TempFolder folder;
  std::string source = folder.PathOf("\x83\x5C.dat");
  std::string target = folder.PathOf("\x95\x5C.dat");
  folder.Write("\x83\x5C.dat", std::string(100000, 'n'));
  folder.Write("\x95\x5C.dat", "old");
  FileStatus wanted;
  wanted.lastWriteTime = FileTimeFromUnix(1000000000);
  wanted.attributes = kAttrReadOnly | kAttrArchive;
  ASSERT_TRUE(WriteFileStatus(source, wanted));

  Error error;
  ASSERT_TRUE(CopyFileReplacing(source, target, &error)) << error.Describe();
  EXPECT_TRUE(folder.Read("\x95\x5C.dat") == std::string(100000, 'n'));
  FileStatus copied = StatusOf(target);
  EXPECT_EQ(UnixFromFileTime(copied.lastWriteTime), 1000000000);
  EXPECT_EQ(copied.attributes, kAttrReadOnly | kAttrArchive);
  EXPECT_EQ(copied.size, 100000u);
  EXPECT_EQ(NamesIn(folder.PathOf("*")),
            (std::vector<std::string>{"./", "../", "\x83\x5C.dat", "\x95\x5C.dat"}));

  // As CopyFile: a read-only target is refused and stays as it is.
  folder.Write("new.dat", "new");
  EXPECT_FALSE(CopyFileReplacing(folder.PathOf("new.dat"), target, &error));
  EXPECT_EQ(error.hostCode, 5);
  EXPECT_EQ(error.path, target);
  EXPECT_TRUE(folder.Read("\x95\x5C.dat") == std::string(100000, 'n'));

  // A missing source names the source and leaves nothing behind.
  EXPECT_FALSE(CopyFileReplacing(folder.PathOf("missing.dat"), folder.PathOf("new.dat"), &error));
  EXPECT_EQ(error.hostCode, 2);
  EXPECT_EQ(error.path, folder.PathOf("missing.dat"));
  EXPECT_EQ(folder.Read("new.dat"), "new");
  EXPECT_EQ(NamesIn(folder.PathOf("*")).size(), 5u);
}

TEST(Win32Files, AtomicWriteKeepsTheReplacedFilesAttributesAndRefusesReadOnly) {
  TempFolder folder;
  std::string hidden = folder.PathOf("h.ini");
  std::string locked = folder.PathOf("r.ini");
  folder.Write("h.ini", "old");
  folder.Write("r.ini", "old");
  FileStatus status;
  status.attributes = kAttrHidden | kAttrArchive;
  ASSERT_TRUE(WriteFileStatus(hidden, status));
  status.attributes = kAttrReadOnly;
  ASSERT_TRUE(WriteFileStatus(locked, status));

  ASSERT_TRUE(WriteFileAtomically(hidden, "new\r\n"));
  EXPECT_EQ(folder.Read("h.ini"), "new\r\n");
  EXPECT_EQ(StatusOf(hidden).attributes, kAttrHidden | kAttrArchive);
  Error error;
  EXPECT_FALSE(WriteFileAtomically(locked, "new", &error));
  EXPECT_EQ(error.hostCode, 5);
  EXPECT_EQ(folder.Read("r.ini"), "old");
  // As MoveFileEx and DeleteFile on Windows: a read-only file is neither replaced nor deleted.
  EXPECT_FALSE(RenameReplacing(hidden, locked, &error));
  EXPECT_EQ(error.hostCode, 5);
  EXPECT_FALSE(RemoveFile(locked, &error));
  EXPECT_EQ(error.hostCode, 5);
  EXPECT_EQ(folder.Read("r.ini"), "old");
  EXPECT_EQ(NamesIn(folder.PathOf("*.*")),
            (std::vector<std::string>{"./", "../", "h.ini", "r.ini"}));

  // A plain write creates, truncates and flushes.
  ASSERT_TRUE(WriteWholeFile(folder.PathOf("w.txt"), "0123456789"));
  ASSERT_TRUE(WriteWholeFile(folder.PathOf("w.txt"), "ab"));
  EXPECT_EQ(folder.Read("w.txt"), "ab");
  EXPECT_FALSE(WriteWholeFile(folder.PathOf("no\\w.txt"), "ab", &error));
  EXPECT_EQ(error.hostCode, 3);
}

TEST(Win32Files, StatusWritesEveryTimeAndTheAttributeByte) {
  TempFolder folder;
  std::string file = folder.PathOf("t.txt");
  folder.Write("t.txt", "12345");
  FileStatus wanted;
  wanted.creationTime = FileTimeFromUnix(900000000, 500000000);
  wanted.lastWriteTime = FileTimeFromUnix(950000000);
  wanted.lastAccessTime = FileTimeFromUnix(960000000);
  // Wine keeps the archive bit on every file, so the attribute bytes here all carry it.
  wanted.attributes = kAttrSystem | kAttrReadOnly | kAttrArchive;
  ASSERT_TRUE(WriteFileStatus(file, wanted));
  FileStatus got = StatusOf(file);
  // Linux file systems cannot store a creation time; Wine reports the last-write time for it.
  if (got.creationTime != got.lastWriteTime) {
    EXPECT_EQ(got.creationTime, wanted.creationTime);
  }
  EXPECT_EQ(got.lastWriteTime, wanted.lastWriteTime);
  EXPECT_EQ(got.lastAccessTime, wanted.lastAccessTime);
  EXPECT_EQ(got.attributes, wanted.attributes);
  EXPECT_EQ(got.size, 5u);

  // Times of 0 stay; a read-only file still takes new times.
  FileStatus later;
  later.lastWriteTime = FileTimeFromUnix(970000000);
  later.attributes = kAttrArchive;
  ASSERT_TRUE(WriteFileStatus(file, later));
  got = StatusOf(file);
  EXPECT_EQ(got.lastWriteTime, later.lastWriteTime);
  EXPECT_EQ(got.lastAccessTime, wanted.lastAccessTime);
  EXPECT_EQ(got.attributes, kAttrArchive);

  EXPECT_EQ(StatusOf(folder.Path()).attributes & kAttrDirectory, kAttrDirectory);
  Error error;
  EXPECT_FALSE(ReadFileStatus(folder.PathOf("missing"), &got, &error));
  EXPECT_EQ(error.hostCode, 2);
}

TEST(Win32Files, ExclusiveFileKeepsOthersOutAndIsKeptOutByThem) {
  TempFolder folder;
  std::string path = folder.PathOf("\x95\x5C.mst");
  folder.Write("\x95\x5C.mst", "master");
  {
    ExclusiveFile file;
    Error error;
    ASSERT_TRUE(file.Open(path, true, &error)) << error.Describe();
    EXPECT_TRUE(file.IsOpen());
    std::string bytes;
    EXPECT_TRUE(file.ReadAll(&bytes));
    EXPECT_EQ(bytes, "master");
    EXPECT_TRUE(file.ReadAll(&bytes));  // reads from the start again
    EXPECT_EQ(bytes, "master");
    FileTime time = 0;
    EXPECT_TRUE(file.LastWriteTime(&time));
    EXPECT_EQ(time, StatusOf(path).lastWriteTime);

    ExclusiveFile second;
    EXPECT_FALSE(second.Open(path, false, &error));
    EXPECT_EQ(error.hostCode, 32);  // ERROR_SHARING_VIOLATION
    EXPECT_FALSE(second.IsOpen());
    std::FILE* other = _wfopen(folder.HostOf("\x95\x5C.mst").c_str(), L"rb");
    EXPECT_EQ(other, nullptr);
    if (other != nullptr) std::fclose(other);
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(second.Open(path, false));
  }
  // Held open by another opener (the C library shares reading and writing, as most programs do).
  std::FILE* holder = _wfopen(folder.HostOf("\x95\x5C.mst").c_str(), L"rb");
  ASSERT_NE(holder, nullptr);
  ExclusiveFile file;
  Error error;
  EXPECT_FALSE(file.Open(path, true, &error));
  EXPECT_EQ(error.hostCode, 32);
  std::fclose(holder);
  EXPECT_TRUE(file.Open(path, true));
  EXPECT_FALSE(file.Open(folder.PathOf("missing.mst"), false, &error));
  EXPECT_EQ(error.hostCode, 2);
  EXPECT_FALSE(file.IsOpen());
}

TEST(Win32Files, FindEntriesMatchesPatternsCaseInsensitivelyIncludingHiddenEntries) {
  TempFolder folder;
  for (const char* name : {"zai001-3.mst", "ZAI002-3.MST", "zai01-3.mst", "zai0001-3.mst",
                           "zai100-3.mst", "temp.mst", "\x83\x5C-3.mst"}) {
    folder.Write(std::string("M\\1\\") + name, name);
  }
  folder.MakeFolder("M\\1\\sub");
  FileStatus hidden;
  hidden.attributes = kAttrHidden | kAttrSystem;
  ASSERT_TRUE(WriteFileStatus(folder.PathOf("M\\1\\zai100-3.mst"), hidden));

  struct Case {
    std::string pattern;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"M\\1\\zai??"
       "?-3.mst",
       {"zai001-3.mst", "ZAI002-3.MST", "zai100-3.mst"}},
      {"m\\1\\*.MST",
       {"temp.mst", "zai0001-3.mst", "zai001-3.mst", "ZAI002-3.MST", "zai01-3.mst", "zai100-3.mst",
        "\x83\x5C-3.mst"}},
      {"M\\1\\s*", {"sub/"}},
      {"M\\1\\\x83\x5C*", {"\x83\x5C-3.mst"}},
      {"M\\1\\sub\\*.*", {"./", "../"}},
      {"M\\1\\nothing*", {}},
      {"M\\missing\\*.*", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(NamesIn(folder.PathOf(c.pattern)), c.names);
  }
  std::vector<FoundEntry> entries{{"stale", false}};
  Error error;
  EXPECT_FALSE(FindEntries(folder.PathOf("M\\missing\\*.*"), &entries, &error));
  EXPECT_TRUE(entries.empty());
  EXPECT_EQ(error.hostCode, 3);
}

TEST(Win32Files, StreamsWriteAndReadInPiecesAndCreateNeverClobbers) {
  TempFolder folder;
  std::string path = folder.PathOf("\x95\x5C.bin");
  std::string data(300000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 251);
  OutputFile out;
  Error error;
  ASSERT_TRUE(out.Create(path, &error)) << error.Describe();
  ASSERT_TRUE(out.Write(data.data(), 100000));
  ASSERT_TRUE(out.Write(data.data() + 100000, 200000));
  ASSERT_TRUE(out.Finish());
  EXPECT_FALSE(out.IsOpen());
  EXPECT_TRUE(folder.Read("\x95\x5C.bin") == data);

  OutputFile again;
  EXPECT_FALSE(again.Create(path, &error));
  EXPECT_EQ(error.hostCode, 80);  // ERROR_FILE_EXISTS
  EXPECT_FALSE(again.Create(folder.Path(), &error));
  EXPECT_TRUE(folder.Read("\x95\x5C.bin") == data);

  InputFile in;
  ASSERT_TRUE(in.Open(path));
  std::string back;
  char buffer[65536];
  std::size_t got = 0;
  while (in.Read(buffer, sizeof buffer, &got) && got > 0) back.append(buffer, got);
  EXPECT_TRUE(back == data);
  EXPECT_FALSE(in.Open(folder.Path(), &error));
  EXPECT_FALSE(in.IsOpen());
  EXPECT_FALSE(in.Open(folder.PathOf("missing"), &error));
  EXPECT_EQ(error.hostCode, 2);
}

}  // namespace
}  // namespace koushin::port
