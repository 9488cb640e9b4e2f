// The port's contract, compiled into both suites: the POSIX port runs it natively (the temporary
// folder mapped as drive C:), the Win32 port under Wine. Each port's own behaviour (drive roots,
// per-drive current folders, the attribute byte's extended attribute) is tested beside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "port/port.h"
#include "support/temp_folder.h"

namespace koushin::port {
namespace {

using koushin::testing::TempFolder;

// The host codes each port reports for the same failure.
#ifdef _WIN32
constexpr int kNoFile = 2;          // ERROR_FILE_NOT_FOUND
constexpr int kNoPath = 3;          // ERROR_PATH_NOT_FOUND
constexpr int kDenied = 5;          // ERROR_ACCESS_DENIED
constexpr int kIsFolder = 5;        // ERROR_ACCESS_DENIED
constexpr int kInUse = 32;          // ERROR_SHARING_VIOLATION
constexpr int kExists = 80;         // ERROR_FILE_EXISTS
constexpr int kFolderExists = 183;  // ERROR_ALREADY_EXISTS
#else
constexpr int kNoFile = ENOENT;
constexpr int kNoPath = ENOENT;
constexpr int kDenied = EACCES;
constexpr int kIsFolder = EISDIR;
constexpr int kInUse = EBUSY;
constexpr int kExists = EEXIST;
constexpr int kFolderExists = EEXIST;
#endif

const FileTime kJan2001 = FileTimeFromUnix(978307200, 123456700);  // 2001-01-01 00:00:00.1234567

// The host code of a call that failed, 0 when it succeeded.
int Code(bool ok, const Error& error) { return ok ? 0 : error.hostCode; }

class PortContract : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = folder_.AsDrive('C') + "W";
    folder_.MakeFolder("W");
  }
  void TearDown() override { Configure(Options()); }

  // A Windows path below the test folder, and the same file on the host side.
  std::string P(const std::string& relative) const { return root_ + "\\" + relative; }
  std::string Read(const std::string& relative) const { return folder_.Read("W\\" + relative); }
  void Write(const std::string& relative, const std::string& bytes = "x") const {
    folder_.Write("W\\" + relative, bytes);
  }
  std::filesystem::path Host(const std::string& relative) const {
    return folder_.HostOf("W\\" + relative);
  }
  void SetStatus(const std::string& relative, std::uint8_t attributes, FileTime write = 0) {
    FileStatus status;
    status.attributes = attributes;
    status.lastWriteTime = write;
    Error error;
    ASSERT_TRUE(WriteFileStatus(P(relative), status, &error)) << error.Describe();
  }
  FileStatus StatusOf(const std::string& relative) const {
    FileStatus status;
    EXPECT_TRUE(ReadFileStatus(P(relative), &status)) << relative;
    return status;
  }
  // "name/" for a folder; sorted, as the two ports order a search differently.
  std::vector<std::string> Found(const std::string& pattern, int* code = nullptr) const {
    std::vector<FoundEntry> entries{{"stale", false}};
    Error error;
    const bool found = FindEntries(P(pattern), &entries, &error);
    if (code != nullptr) *code = found ? 0 : error.hostCode;
    std::vector<std::string> names;
    for (const FoundEntry& entry : entries)
      names.push_back(entry.name + (entry.isFolder ? "/" : ""));
    std::sort(names.begin(), names.end());
    return names;
  }

  koushin::testing::TempFolder folder_;
  std::string root_;
};

using Names = std::vector<std::string>;

// Names whose trail byte is '\\', '[' or ']': ソ 表 能 ー ゾ.
TEST_F(PortContract, CodePage932NamesRoundTripThroughFolderFileAndSearch) {
  for (const std::string name : {"\x83\x5C", "\x95\x5C", "\x94\x5C", "\x81\x5B", "\x83\x5D"}) {
    SCOPED_TRACE(Cp932ToUtf8Lossy(name));
    const std::string file = P(name + "\\" + name + ".txt");
    ASSERT_TRUE(MakeFolder(P(name)));
    EXPECT_TRUE(IsFolder(P(name)));
    ASSERT_TRUE(WriteFileAtomically(file, "data " + name));
    // The right Unicode name on the disk, not the bytes read as another code page.
    EXPECT_EQ(Read(name + "\\" + name + ".txt"), "data " + name);
    EXPECT_TRUE(PathExists(file));
    EXPECT_EQ(Found(name + "\\*.*"), (Names{"../", "./", name + ".txt"}));
    EXPECT_TRUE(RenameReplacing(file, P(name + "\\" + name + name)));
    EXPECT_FALSE(PathExists(file));
    EXPECT_TRUE(RemoveFile(P(name + "\\" + name + name)));
  }
}

TEST_F(PortContract, ExistenceAndFolders) {
  Write("Est\\a.ini");
  const std::tuple<std::string, bool, bool> cases[] = {
      // path, exists, is a folder
      {"EST", true, true},          {"est\\", true, true},
      {"Est\\A.INI", true, false},  {"Est\\a.ini\\", false, false},  // a file named as a folder
      {"Est\\b.ini", false, false},
  };
  for (const auto& [path, exists, folder] : cases) {
    EXPECT_EQ(PathExists(P(path)), exists) << path;
    EXPECT_EQ(IsFolder(P(path)), folder) << path;
  }
  Error error;
  EXPECT_TRUE(MakeFolder(P("EST\\New"), &error)) << error.Describe();
  EXPECT_EQ(Code(MakeFolder(P("Est\\new"), &error), error), kFolderExists);  // in another case
  EXPECT_EQ(Code(MakeFolder(P("Missing\\Sub"), &error), error), kNoPath);    // one level only
  EXPECT_EQ(error.path, P("Missing\\Sub"));
}

TEST_F(PortContract, CopyReplacesWholeKeepsTimeAndAttributesAndLeavesNoTemporaryFile) {
  Write("src\\FOO.DLL", "new contents");
  Write("Est\\foo.dll", "old");
  std::filesystem::create_hard_link(Host("Est\\foo.dll"), Host("old-link"));
  SetStatus("src\\FOO.DLL", kAttrReadOnly | kAttrHidden | kAttrArchive, kJan2001);
  Error error;
  ASSERT_TRUE(CopyFileReplacing(P("SRC\\foo.dll"), P("EST\\FOO.DLL"), &error)) << error.Describe();
  EXPECT_EQ(Read("Est\\foo.dll"), "new contents");
  EXPECT_EQ(Read("old-link"), "old");  // the old file was replaced, not overwritten
  const FileStatus copied = StatusOf("Est\\foo.dll");
  EXPECT_EQ(copied.lastWriteTime, kJan2001);
  EXPECT_EQ(copied.attributes, kAttrReadOnly | kAttrHidden | kAttrArchive);

  Write("src\\other.dll", "other");
  // From, to, the host code, the path the error names.
  const std::tuple<std::string, std::string, int, std::string> failures[] = {
      // The copy, read-only now, is not replaced and stays as it is.
      {"src\\other.dll", "Est\\foo.dll", kDenied, "Est\\foo.dll"},
      {"src\\none.dll", "Est\\x.dll", kNoFile, "src\\none.dll"},
      {"src\\other.dll", "NoFolder\\x.dll", kNoPath, "NoFolder\\x.dll"},
      {"src", "Est\\x.dll", kIsFolder, "src"},
      {"src\\other.dll", "Est", kIsFolder, "Est"},
  };
  for (const auto& [from, to, code, path] : failures) {
    EXPECT_EQ(Code(CopyFileReplacing(P(from), P(to), &error), error), code) << from;
    EXPECT_EQ(error.path, P(path)) << from;
  }
  EXPECT_EQ(Read("Est\\foo.dll"), "new contents");
  EXPECT_EQ(Found("Est\\*.*"), (Names{"../", "./", "foo.dll"}));  // no temporary file left
}

TEST_F(PortContract, WholeFilesRemoveAndRenameAndReadOnlyFilesStay) {
  const std::string bytes("a\0\x83\x5c\r\n", 6);
  Error error;
  ASSERT_TRUE(WriteWholeFile(P("W.bin"), "0123456789", &error)) << error.Describe();
  ASSERT_TRUE(WriteWholeFile(P("w.BIN"), bytes));  // truncates what was there
  std::string read;
  ASSERT_TRUE(ReadWholeFile(P("w.bin"), &read, &error));
  EXPECT_EQ(read, bytes);

  std::filesystem::create_hard_link(Host("W.bin"), Host("link"));
  ASSERT_TRUE(WriteFileAtomically(P("w.bin"), "second", &error));
  EXPECT_EQ(Read("W.bin"), "second");
  EXPECT_EQ(Read("link"), bytes);
  EXPECT_EQ(Found("*"), (Names{"../", "./", "W.bin", "link"}));

  EXPECT_EQ(Code(ReadWholeFile(P("none"), &read, &error), error), kNoFile);
  EXPECT_EQ(error.path, P("none"));
  EXPECT_EQ(Code(WriteWholeFile(P("no\\w.txt"), "ab", &error), error), kNoPath);

  Write("temp.mst", "converted");
  ASSERT_TRUE(RenameReplacing(P("TEMP.MST"), P("w.bin"), &error));
  EXPECT_EQ(Read("W.bin"), "converted");
  EXPECT_FALSE(std::filesystem::exists(Host("temp.mst")));

  // A replaced file keeps its attribute byte.
  Write("h.ini", "old");
  SetStatus("h.ini", kAttrHidden | kAttrArchive);
  ASSERT_TRUE(WriteFileAtomically(P("h.ini"), "new\r\n"));
  EXPECT_EQ(Read("h.ini"), "new\r\n");
  EXPECT_EQ(StatusOf("h.ini").attributes, kAttrHidden | kAttrArchive);

  // Read-only files are neither replaced nor deleted nor written, as on Windows.
  SetStatus("w.bin", kAttrReadOnly | kAttrArchive);
  Write("temp.mst", "again");
  EXPECT_EQ(Code(RenameReplacing(P("temp.mst"), P("w.bin"), &error), error), kDenied);
  EXPECT_EQ(Code(RemoveFile(P("w.bin"), &error), error), kDenied);
  EXPECT_EQ(Code(WriteWholeFile(P("w.bin"), "x", &error), error), kDenied);
  EXPECT_EQ(Code(WriteFileAtomically(P("w.bin"), "x", &error), error), kDenied);
  EXPECT_EQ(Read("W.bin"), "converted");

#ifndef _WIN32  // under Wine a rename that changes only the case keeps the old spelling
  ASSERT_TRUE(RenameReplacing(P("temp.mst"), P("TEMP.MST"), &error)) << error.Describe();
  EXPECT_EQ(Found("*.*"), (Names{"../", "./", "TEMP.MST", "W.bin", "h.ini", "link"}));
#endif
  EXPECT_TRUE(RemoveFile(P("Temp.mst"), &error));
  EXPECT_FALSE(std::filesystem::exists(Host("temp.mst")));
  EXPECT_EQ(Code(RemoveFile(P("\x95\x5C.txt"), &error), error), kNoFile);
  EXPECT_EQ(error.path, P("\x95\x5C.txt"));
  // An error's description names the path in UTF-8.
  EXPECT_NE(error.Describe().find("\xE8\xA1\xA8.txt"), std::string::npos) << error.Describe();
}

TEST_F(PortContract, StatusWritesTheTimesAndTheAttributeByte) {
  Write("t.txt", "12345");
  FileStatus wanted;
  wanted.lastWriteTime = FileTimeFromUnix(950000000, 500);
  wanted.lastAccessTime = FileTimeFromUnix(960000000);
  wanted.attributes = kAttrSystem | kAttrReadOnly | kAttrArchive;
  ASSERT_TRUE(WriteFileStatus(P("T.TXT"), wanted));
  FileStatus got = StatusOf("t.txt");
  EXPECT_EQ(got.lastWriteTime, wanted.lastWriteTime);
  EXPECT_EQ(got.lastAccessTime, wanted.lastAccessTime);
  EXPECT_EQ(got.attributes, wanted.attributes);
  EXPECT_EQ(got.size, 5u);

  // Times of 0 stay; a read-only file still takes new times.
  FileStatus later;
  later.lastWriteTime = FileTimeFromUnix(970000000);
  later.attributes = kAttrArchive;
  ASSERT_TRUE(WriteFileStatus(P("t.txt"), later));
  got = StatusOf("t.txt");
  EXPECT_EQ(got.lastWriteTime, later.lastWriteTime);
  EXPECT_EQ(got.lastAccessTime, wanted.lastAccessTime);
  EXPECT_EQ(got.attributes, kAttrArchive);

  folder_.MakeFolder("W\\Dir");
  EXPECT_EQ(StatusOf("Dir").attributes & kAttrDirectory, kAttrDirectory);
  Error error;
  EXPECT_EQ(Code(ReadFileStatus(P("missing"), &got, &error), error), kNoFile);
  EXPECT_EQ(error.path, P("missing"));
  EXPECT_FALSE(WriteFileStatus(P("missing"), got, &error));
  EXPECT_EQ(error.path, P("missing"));
}

TEST_F(PortContract, ExclusiveFileKeepsOtherExclusiveOpensOut) {
  Write("\x95\x5C.mst", "master");
  SetStatus("\x95\x5C.mst", kAttrArchive, kJan2001);
  const std::string path = P("\x95\x5C.MST");
  ExclusiveFile holder;
  Error error;
  ASSERT_TRUE(holder.Open(path, true, &error)) << error.Describe();
  std::string bytes;
  EXPECT_TRUE(holder.ReadAll(&bytes) && holder.ReadAll(&bytes));  // from the start each time
  EXPECT_EQ(bytes, "master");
  FileTime time = 0;
  EXPECT_TRUE(holder.LastWriteTime(&time));
  EXPECT_EQ(time, kJan2001);

  ExclusiveFile other;
  EXPECT_EQ(Code(other.Open(path, false, &error), error), kInUse);
  EXPECT_FALSE(other.Open(path, true, &error));
  EXPECT_FALSE(other.IsOpen());
  holder.Close();
  EXPECT_FALSE(holder.IsOpen());
  EXPECT_TRUE(other.Open(path, false, &error));
  other.Close();

#ifdef _WIN32
  // Another program (the C library shares reading and writing) is kept out, and keeps us out.
  ASSERT_TRUE(holder.Open(path, true, &error));
  std::FILE* stranger = _wfopen(Host("\x95\x5C.mst").c_str(), L"rb");
  EXPECT_EQ(stranger, nullptr);
  if (stranger != nullptr) std::fclose(stranger);
  holder.Close();
  stranger = _wfopen(Host("\x95\x5C.mst").c_str(), L"rb");
  ASSERT_NE(stranger, nullptr);
  EXPECT_EQ(Code(holder.Open(path, true, &error), error), kInUse);
  std::fclose(stranger);
#endif
  EXPECT_EQ(Code(other.Open(P("none.mst"), false, &error), error), kNoFile);
  SetStatus("\x95\x5C.mst", kAttrReadOnly | kAttrArchive);
  // No write access to a read-only file.
  EXPECT_EQ(Code(other.Open(path, true, &error), error), kDenied);
  EXPECT_TRUE(other.Open(path, false, &error));
}

TEST_F(PortContract, FindMatchesPatternsCaseInsensitivelyIncludingHiddenEntries) {
  for (const char* name : {"zai001-3.mst", "ZAI002-3.MST", "zai01-3.mst", "zai0001-3.mst",
                           "zai100-3.mst", "temp.mst", "\x83\x5C-3.mst"}) {
    Write(std::string("M\\1\\") + name, name);
  }
  folder_.MakeFolder("W\\M\\1\\sub");
  SetStatus("M\\1\\zai100-3.mst", kAttrHidden | kAttrSystem | kAttrArchive);
  const std::tuple<std::string, Names, int> cases[] = {
      // pattern, names found, host code
      {"M\\1\\zai??\?-3.mst", {"ZAI002-3.MST", "zai001-3.mst", "zai100-3.mst"}, 0},
      {"m\\1\\*.MST",
       {"ZAI002-3.MST", "temp.mst", "zai0001-3.mst", "zai001-3.mst", "zai01-3.mst", "zai100-3.mst",
        "\x83\x5C-3.mst"},
       0},
      {"M\\1\\s*", {"sub/"}, 0},
      {"M\\1\\\x83\x5C*", {"\x83\x5C-3.mst"}, 0},  // ソ's trail byte is no separator
      {"M\\1\\\x83\x5C?3.MST", {"\x83\x5C-3.mst"}, 0},
      {"M\\1\\sub\\*.*", {"../", "./"}, 0},
      {"M\\1\\nothing*", {}, kNoFile},
      {"M\\missing\\*.*", {}, kNoPath},
  };
  for (const auto& [pattern, names, code] : cases) {
    int got = -1;
    EXPECT_EQ(Found(pattern, &got), names) << pattern;
    EXPECT_EQ(got, code) << pattern;
  }
}

TEST_F(PortContract, StreamsWriteAndReadInPiecesAndCreateNeverClobbers) {
  const std::string path = P("\x95\x5C.bin");
  std::string data(300000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 251);
  OutputFile out;
  Error error;
  ASSERT_TRUE(out.Create(path, &error)) << error.Describe();
  ASSERT_TRUE(out.Write(data.data(), 100000));
  ASSERT_TRUE(out.Write(data.data() + 100000, 200000));
  ASSERT_TRUE(out.Finish());
  EXPECT_FALSE(out.IsOpen());
  EXPECT_TRUE(Read("\x95\x5C.bin") == data);

  OutputFile again;
  EXPECT_EQ(Code(again.Create(path, &error), error), kExists);
  EXPECT_FALSE(again.Create(root_, &error));
  EXPECT_TRUE(Read("\x95\x5C.bin") == data);

  InputFile in;
  ASSERT_TRUE(in.Open(path));
  std::string back;
  char buffer[65536];
  std::size_t got = 0;
  while (in.Read(buffer, sizeof buffer, &got) && got > 0) back.append(buffer, got);
  EXPECT_TRUE(back == data);
  EXPECT_FALSE(in.Open(root_, &error));
  EXPECT_FALSE(in.IsOpen());
  EXPECT_EQ(Code(in.Open(P("missing"), &error), error), kNoFile);
}

// Code page 932 named explicitly: the same table holds whatever the ANSI code page is (the Win32
// suite runs under Wine with 932 and with 1252).
TEST(PortText, ConvertsCodePage932BothWaysAndRefusesWhatDoesNotConvert) {
  // Code page 932, UTF-8, and whether each converts to the other.
  const std::tuple<std::string, std::string, bool, bool> cases[] = {
      {"", "", true, true},
      {"C:\\EST\\a~", "C:\\EST\\a~", true, true},  // 0x5C, 0x7E stay
      {"\x83\x5C\x95\x5C\x94\x5C", "\xE3\x82\xBD\xE8\xA1\xA8\xE8\x83\xBD", true, true},  // ソ表能
      {"\x81\x5B\x83\x5D", "\xE3\x83\xBC\xE3\x82\xBE", true, true},  // ーゾ: '[' ']' trails
      {"\xB1\xAF\xCC\xDF", "\xEF\xBD\xB1\xEF\xBD\xAF\xEF\xBE\x8C\xEF\xBE\x9F", true, true},  // ｱｯﾌﾟ
      {"\x82\x60\x82\x81", "\xEF\xBC\xA1\xEF\xBD\x81", true, true},  // Ａａ
      {"a\x83", "", false, true},             // a lead byte without its trail byte
      {"\x81\x20", "", false, true},          // a trail byte out of range
      {"", "\xC3\xA9", true, false},          // é: no best-fit 'e'
      {"", "\xF0\x9F\x98\x80", true, false},  // outside the code page
      {"", "\xC3\xA9t\xC3", true, false},     // truncated UTF-8
  };
  for (const auto& [cp932, utf8, toUtf8, fromUtf8] : cases) {
    SCOPED_TRACE(::testing::PrintToString(cp932) + " / " + ::testing::PrintToString(utf8));
    std::string gotUtf8 = "junk", gotCp932 = "junk";
    EXPECT_EQ(Cp932ToUtf8(cp932, &gotUtf8), toUtf8);
    EXPECT_EQ(Utf8ToCp932(utf8, &gotCp932), fromUtf8);
    if (toUtf8 && fromUtf8) {
      EXPECT_EQ(gotUtf8 + "|" + gotCp932, utf8 + "|" + cp932);
    }
  }
  // The lossy form costs one '?' for one bad character.
  EXPECT_EQ(Cp932ToUtf8Lossy("a\x83\x5C\x81\x20z\x83"), "a\xE3\x82\xBD? z?");
}

// The profile: code page 932 sections, keys and values reach the file as code page 932 bytes and
// come back unchanged (on Windows under ANSI code page 932 and 1252 alike), and buffer reads cut
// as the kernel cuts. 表 (section), ソ and ゾ (keys), 能力ア and ー (values): trail bytes '\\', ']'
// and '['.
const std::string kSection = "\x95\x5C";
const std::string kKey1 = "\x83\x5C";
const std::string kKey2 = "\x83\x5D";
const std::string kValue1 = "\x94\x5C\x97\xCD\x83\x41";
const std::string kValue2 = "\x81\x5B";

TEST(PortProfile, WritesCodePage932BytesAndReadsThemBack) {
  TempFolder folder;
  folder.MakeFolder(kKey1);
  std::string file = folder.PathOf(kKey1 + "\\" + kSection + ".ini");
  Error error;
  ASSERT_TRUE(ProfileWrite(kSection.c_str(), kKey1.c_str(), kValue1.c_str(), file, &error))
      << error.Describe();
  ASSERT_TRUE(ProfileWrite(kSection.c_str(), kKey2.c_str(), kValue2.c_str(), file));
  ASSERT_TRUE(ProfileWrite("SYSTEM", "Version", "3.10", file));
  EXPECT_EQ(folder.Read(kKey1 + "\\" + kSection + ".ini"),
            "[" + kSection + "]\r\n" + kKey1 + "=" + kValue1 + "\r\n" + kKey2 + "=" + kValue2 +
                "\r\n[SYSTEM]\r\nVersion=3.10\r\n");

  EXPECT_EQ(ProfileRead(kSection, kKey1, "", file), kValue1);
  EXPECT_EQ(ProfileRead(kSection, kKey2, "", file), kValue2);
  EXPECT_EQ(ProfileRead("system", "VERSION", "", file), "3.10");
  EXPECT_EQ(ProfileRead(kSection, "none", "\x8A\xF9\x92\xE8  ", file), "\x8A\xF9\x92\xE8");

  char buffer[260];
  std::size_t got = ProfileReadBuffer(kSection.c_str(), nullptr, "", buffer, sizeof buffer, file);
  EXPECT_EQ(std::string(buffer, got + 1), kKey1 + '\0' + kKey2 + '\0' + '\0');
  got = ProfileReadBuffer(nullptr, nullptr, "", buffer, sizeof buffer, file);
  EXPECT_EQ(std::string(buffer, got + 1), kSection + '\0' + "SYSTEM" + '\0' + '\0');

  // Deleting a key, then a section.
  ASSERT_TRUE(ProfileWrite(kSection.c_str(), kKey1.c_str(), nullptr, file));
  EXPECT_EQ(ProfileRead(kSection, kKey1, "gone", file), "gone");
  EXPECT_EQ(ProfileRead(kSection, kKey2, "", file), kValue2);
  ASSERT_TRUE(ProfileWrite(kSection.c_str(), nullptr, nullptr, file));
  EXPECT_EQ(folder.Read(kKey1 + "\\" + kSection + ".ini"), "[SYSTEM]\r\nVersion=3.10\r\n");

  EXPECT_FALSE(ProfileWrite("S", "k", "v", folder.PathOf("missing\\a.ini"), &error));
  EXPECT_EQ(error.path, folder.PathOf("missing\\a.ini"));
}

TEST(PortProfile, BufferReadCountsBytesNeverSplitsACharacterAndReadsAnyLength) {
  TempFolder folder;
  std::string file = folder.PathOf("a.ini");
  // アイ is 83 41 83 43; the keys list as k 00 83 5C 00 83 5D 00.
  folder.Write("a.ini", "[s]\r\nk=\x83\x41\x83\x43\r\n\x83\x5C=1\r\n\x83\x5D=2\r\n");
  // Key, buffer size, the count returned, the bytes up to it and what follows it.
  const std::tuple<const char*, std::size_t, std::size_t, std::string> cases[] = {
      {"k", 1, 0, std::string(1, '\0')},
      {"k", 2, 0, std::string(1, '\0')},  // one byte would be half of ア
      {"k", 3, 2, std::string("\x83\x41\0", 3)},
      {"k", 4, 2, std::string("\x83\x41\0", 3)},
      {"k", 5, 4, std::string("\x83\x41\x83\x43\0", 5)},
      {"k", 260, 4, std::string("\x83\x41\x83\x43\0", 5)},
      {"none", 260, 7, std::string("default\0", 8)},
      {"none", 4, 3, std::string("def\0", 4)},
      {nullptr, 260, 8, std::string("k\0\x83\x5C\0\x83\x5D\0\0", 9)},
      // A cut list ends with two NULs and counts size - 2; ゾ is not split.
      {nullptr, 8, 6, std::string("k\0\x83\x5C\0\0\0\0", 8)},
      {nullptr, 6, 4, std::string("k\0\x83\x5C\0\0", 6)},
      {nullptr, 2, 0, std::string("\0\0", 2)},
  };
  for (const auto& [key, size, returned, bytes] : cases) {
    SCOPED_TRACE(std::string(key ? key : "(null)") + " size " + std::to_string(size));
    char buffer[300];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(ProfileReadBuffer("s", key, "default  ", buffer, size, file), returned);
    EXPECT_EQ(std::string(buffer, bytes.size()), bytes);
  }
  char untouched[4] = {'k', 'u', 'm', 0};
  EXPECT_EQ(ProfileReadBuffer("s", "k", "d", untouched, 0, file), 0u);
  EXPECT_STREQ(untouched, "kum");
  EXPECT_EQ(ProfileReadBuffer("s", "k", "default", untouched, 4, folder.PathOf("none.ini")), 3u);
  EXPECT_STREQ(untouched, "def");

  // A value of any length is read whole.
  std::string value;
  for (int i = 0; i < 3000; ++i) value += "\x95\x5C";
  ASSERT_TRUE(ProfileWrite("s", "long", (value + "end").c_str(), file));
  EXPECT_EQ(ProfileRead("s", "long", "", file), value + "end");
  EXPECT_EQ(ProfileReadBuffer("s", "long", "", untouched, sizeof untouched, file), 2u);
  EXPECT_EQ(std::string(untouched), "\x95\x5C");
}

// The process and host calls.
#ifdef _WIN32
constexpr char kSeparator = '\\';
constexpr char kTestProgram[] = "port_win32_tests.exe";
#else
constexpr char kSeparator = '/';
constexpr char kTestProgram[] = "port_tests";
#endif

// ソ表: both trail bytes are '\\' in code page 932, so a path that went through the ANSI code page
// or was cut at a 0x5C byte would not name the folder.
const std::string kFolderCp932 = "\x83\x5C\x95\x5C";
const std::string kFileUtf8 = "\xE8\xA8\x98\xE9\x8C\xB2.log";  // 記録.log
const std::string kFileCp932 = "\x8B\x4C\x98\x5E.log";

TEST(HostProcess, RelativeJapanesePathsResolveAndOpenOutsideTheAnsiCodePage) {
  TempFolder temp;
  temp.MakeFolder(kFolderCp932);
  const std::string folderUtf8 = temp.HostOf(kFolderCp932).u8string();
  const std::filesystem::path working = std::filesystem::current_path();
  std::filesystem::current_path(temp.HostOf(kFolderCp932));
  const std::string absolute = AbsoluteHostPath(kFileUtf8);
  // Absolute and empty paths stay as given.
  const std::string asGiven = AbsoluteHostPath(folderUtf8) + AbsoluteHostPath("");
  std::filesystem::current_path(working);
  EXPECT_EQ(folderUtf8 + kSeparator + kFileUtf8, absolute);
  EXPECT_EQ(folderUtf8, asGiven);
  std::FILE* file = OpenHostFile(absolute, "wb");
  ASSERT_NE(nullptr, file);
  EXPECT_FALSE(IsTerminal(file));
  EXPECT_EQ(3u, std::fwrite("log", 1, 3, file));
  std::fclose(file);
  EXPECT_EQ(temp.Read(kFolderCp932 + "\\" + kFileCp932), "log");

  EXPECT_EQ(nullptr, OpenHostFile(folderUtf8 + kSeparator + "missing" + kSeparator + "x", "rb"));
  EXPECT_EQ(nullptr, OpenHostFile("", "rb"));
  EXPECT_FALSE(IsTerminal(nullptr));
}

TEST(HostProcess, ProgramFolderAndArgumentsComeFromThePlatform) {
  const std::string folder = ProgramFolderUtf8("");
  ASSERT_FALSE(folder.empty());
  std::FILE* program = OpenHostFile(folder + kSeparator + kTestProgram, "rb");
  EXPECT_NE(nullptr, program) << folder;
  if (program != nullptr) std::fclose(program);
#ifdef _WIN32
  // The wide command line, whatever the run-time library's argv holds.
  const std::vector<std::string> arguments = ProgramArgumentsUtf8(0, nullptr);
  ASSERT_FALSE(arguments.empty());
  EXPECT_NE(std::string::npos, arguments[0].find("port_win32_tests")) << arguments[0];
#else
  char first[] = "koushin";
  char second[] = "--folder=\xE3\x82\xBD";
  char* argv[] = {first, second, nullptr};
  EXPECT_EQ((std::vector<std::string>{"koushin", "--folder=\xE3\x82\xBD"}),
            ProgramArgumentsUtf8(2, argv));
#endif
}

}  // namespace
}  // namespace koushin::port
