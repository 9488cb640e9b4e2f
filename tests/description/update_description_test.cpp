#include "description/update_description.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "support/temp_folder.h"

namespace koushin::description {
namespace {

// ソ 83 5C, 表 95 5C, 能 94 5C: the trail byte is '\'.
const std::string kSo = "\x83\x5C";
const std::string kHyo = "\x95\x5C";
const std::string kNo = "\x94\x5C";

// 42 header lines "H1".."H42", each followed by `eol`.
std::string Header(const std::string& eol = "\r\n") {
  std::string text;
  for (int i = 1; i <= 42; ++i) text += "H" + std::to_string(i) + eol;
  return text;
}

// The entries as lines "disk|kind|name|folder".
std::string Entries(const UpdateDescription& d) {
  std::string text;
  for (const UpdateEntry& e : d.entries) {
    text += std::to_string(e.diskNumber) + "|" + std::to_string(e.kind) + "|" + e.fileName + "|" +
            e.targetSubfolder + "\n";
  }
  return text;
}

TEST(UpdateDescriptionTest, HeaderLinesByPosition) {
  for (const std::string eol : {"\r\n", "\n"}) {
    UpdateDescription d;
    ASSERT_EQ(ParseUpdateDescription(Header(eol), &d).status, LoadStatus::kRead);
    for (int i = 0; i < 15; ++i) {
      EXPECT_EQ(d.uninstallKeys[i], "H" + std::to_string(i + 1));
      EXPECT_EQ(d.titleKeywords[i], "H" + std::to_string(i + 28));
    }
    const std::string* fields[] = {&d.installFolder, &d.versionIniCode, &d.masterAdjust,
                                   &d.systemIniName, &d.categoryCode,   &d.newVersion,
                                   &d.viewBitmap,    &d.noticeBitmap,   &d.destinationBitmap,
                                   &d.confirmBitmap, &d.noticeText,     &d.destinationText};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(*fields[i], "H" + std::to_string(i + 16));
  }
}

// The rest of a header after a case's own first lines: "H<first>".."H42", each ended by CR LF.
std::string HeaderFrom(int first) {
  return Header().substr(Header().find("H" + std::to_string(first) + "\r\n"));
}

TEST(UpdateDescriptionTest, HeaderValues) {
  struct Case {
    const char* what;
    std::string file;
    std::string key1, key2, texts, keyword15;  // texts: notice and destination, "|" between
  } cases[] = {
      {"nothing trimmed", "  key \r\n C:\\EST \r\n" + HeaderFrom(3), "  key ", " C:\\EST ",
       "H26|H27", "H42"},
      {"lone CR stays", "a\rb\r\r\nx\r\r\n" + HeaderFrom(3), "a\rb\r", "x\r", "H26|H27", "H42"},
      {"0x5C trail bytes", kSo + "\r\nC:\\" + kHyo + "\\" + kNo + "\r\n" + HeaderFrom(3), kSo,
       "C:\\" + kHyo + "\\" + kNo, "H26|H27", "H42"},
      // In the destination text y and z are the bytes each TAB takes.
      {"TABs become line breaks",
       Header().substr(0, Header().find("H26")) + "A\txB\tyC\t\nx\ty\tz\r\n" + HeaderFrom(28), "H1",
       "H2", "A\r\nB\r\nC\r|x\r\n\r\n", "H42"},
      {"no TAB conversion elsewhere", "a\tb\n" + HeaderFrom(2), "a\tb", "H2", "H26|H27", "H42"},
      {"line 42 without line break", Header().substr(0, Header().size() - 2), "H1", "H2", "H26|H27",
       "H42"},
      {"empty keyword line", Header().substr(0, Header().size() - 5) + "\r\n", "H1", "H2",
       "H26|H27", ""},
      {"NUL ends a value", std::string("k\0ey\r\nC:\\E\0ST\r\n", 15) + HeaderFrom(3), "k", "C:\\E",
       "H26|H27", "H42"},
  };
  for (const auto& c : cases) {
    UpdateDescription d;
    EXPECT_EQ(ParseUpdateDescription(c.file, &d).status, LoadStatus::kRead) << c.what;
    EXPECT_EQ(d.uninstallKeys[0], c.key1) << c.what;
    EXPECT_EQ(d.uninstallKeys[1], c.key2) << c.what;
    EXPECT_EQ(d.noticeText + "|" + d.destinationText, c.texts) << c.what;
    EXPECT_EQ(d.titleKeywords[14], c.keyword15) << c.what;
    EXPECT_TRUE(d.entries.empty()) << c.what;
  }
}

// Lines a library scan (below) cannot judge: line ends, code page 932, Ctrl+Z and NUL.
TEST(UpdateDescriptionTest, EntryScan) {
  const std::tuple<const char*, std::string, std::string> cases[] = {
      // what, lines, entries
      {"plain file", "1,0,readme.txt,\\\n", "1|0|README.TXT|\\\n"},
      {"first line's missing columns", "5\n", "5|0||\n"},
      {"first line empty", "\n1,1,a,b", "0|0||\n1|1|A|b\n"},
      {"CR before CR LF stays in the fourth field", "1,1,a,b\r\r\n", "1|1|A|b\r\n"},
      {"lone CR is part of the line", "1,1,a,b\r2,2,c,d\n", "1|1|A|b\r2\n"},
      {"0x5C trail bytes in name and folder",
       "1,2," + kSo + "a.txt,\\" + kHyo + "\\" + kNo + "\\\n",
       "1|2|" + kSo + "A.TXT|\\" + kHyo + "\\" + kNo + "\\\n"},
      {"full-width letters upper-cased, katakana kept", "1,1,\x82\x81\x82\x9A\xB1\x83\x65,x\n",
       "1|1|\x82\x60\x82\x79\xB1\x83\x65|x\n"},
      {"Ctrl+Z in an entry line", "1,1,ab\x1A,c\n2,2,d,e\n", "1|1|AB|\n"},
      {"NUL ends the scanned line", std::string("1,1,a\0,b\n", 9), "1|1|A|\n"},
  };
  for (const auto& [what, lines, entries] : cases) {
    UpdateDescription d;
    ASSERT_EQ(ParseUpdateDescription(Header() + lines, &d).status, LoadStatus::kRead) << what;
    EXPECT_EQ(Entries(d), entries) << what;
  }
}

// The entry scan must behave exactly like the C library's scan with the file's pattern. Here the
// library's own sscanf runs on trusted lines, with buffers as long as the line, for comparison.
TEST(UpdateDescriptionTest, EntryScanMatchesTheLibraryScan) {
  std::string file = Header(), expected, fields[4];
  for (const std::string line :
       {"1,1,a,b",  ",x",       "2",         "3,",      "4,5",       "6,7,",
        "8,9,c",    "8,9,c,",   "a,b,c,d,e", " , , , ", "\r",        "x\ry,z",
        "",         ",,,,",     "1,,2,3",    "z,,",     "9,8,7,6\r", "\t1,\t2,\tq,\t",
        "5,6,7,8,", "-3,+4,n,m"}) {
    file += line + "\r\n";
    std::vector<char> buffers[4];
    for (int i = 0; i < 4; ++i) {
      buffers[i].assign(line.size() + fields[i].size() + 1, '\0');
      std::copy(fields[i].begin(), fields[i].end(), buffers[i].begin());
    }
    std::sscanf(line.c_str(), "%[^,],%[^,],%[^,],%[^,]\n", buffers[0].data(), buffers[1].data(),
                buffers[2].data(), buffers[3].data());
    for (int i = 0; i < 4; ++i) fields[i] = buffers[i].data();
    std::string name = fields[2];
    for (auto& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    expected += std::to_string(std::atoi(fields[0].c_str())) + "|" +
                std::to_string(std::atoi(fields[1].c_str())) + "|" + name + "|" + fields[3] + "\n";
  }
  UpdateDescription d;
  ASSERT_EQ(ParseUpdateDescription(file, &d).status, LoadStatus::kRead);
  EXPECT_EQ(Entries(d), expected);
}

TEST(UpdateDescriptionTest, Limits) {
  std::string hundred;
  for (int i = 1; i <= 100; ++i)
    hundred += std::to_string(i) + ",1,f" + std::to_string(i) + ",\\\r\n";
  const std::string c31(31, 'c'), c32(32, 'c');
  const std::string h = Header();
  struct Case {
    const char* what;
    std::string lines;  // after the header, or the whole file where `whole`
    LoadStatus status;
    int line;
    std::size_t entryCount;
    bool whole = false;
  } cases[] = {
      {"empty file", "", LoadStatus::kInvalid, 1, 0, true},
      {"two lines", "key\nC:\\EST", LoadStatus::kInvalid, 3, 0, true},
      {"NUL bytes", std::string(300, '\0'), LoadStatus::kInvalid, 2, 0, true},
      {"41 lines", h.substr(0, h.find("H42")), LoadStatus::kInvalid, 42, 0, true},
      {"Ctrl+Z in line 30", h.substr(0, h.find("H30")) + "\x1A" + h.substr(h.find("H30")),
       LoadStatus::kInvalid, 30, 0, true},
      {"empty line 19", h.substr(0, h.find("H19")) + h.substr(h.find("H19") + 3),
       LoadStatus::kInvalid, 19, 0, true},
      {"100 entries", hundred, LoadStatus::kRead, 0, 100},
      {"101 entries", hundred + "1,1,x,\\\r\n", LoadStatus::kInvalid, 143, 0},
      {"100 entries and a blank line", hundred + "\r\n", LoadStatus::kInvalid, 143, 0},
      {"31-byte columns", c31 + "," + c31 + "," + c31 + "," + c31 + "\n", LoadStatus::kRead, 0, 1},
      {"32-byte disk", "1,1,a,b\n" + c32 + ",1,a,b\n", LoadStatus::kInvalid, 44, 0},
      {"32-byte kind", "1," + c32 + ",a,b\n", LoadStatus::kInvalid, 43, 0},
      {"32-byte name", "1,1," + c32 + ",b\n", LoadStatus::kInvalid, 43, 0},
      {"32-byte folder", "1,1,a," + c32 + "\n", LoadStatus::kInvalid, 43, 0},
      {"32 bytes after the fourth comma", "1,1,a,b," + c32 + "\n", LoadStatus::kRead, 0, 1},
      {"32 bytes after a scan that stopped", "1,," + c32 + "\n", LoadStatus::kRead, 0, 1},
  };
  for (const auto& c : cases) {
    UpdateDescription d;
    const LoadResult r = ParseUpdateDescription(c.whole ? c.lines : h + c.lines, &d);
    EXPECT_EQ(r.status, c.status) << c.what;
    EXPECT_EQ(r.line, c.line) << c.what;
    EXPECT_EQ(d.entries.size(), c.entryCount) << c.what;
    if (c.status == LoadStatus::kInvalid) {
      EXPECT_FALSE(r.problem.empty()) << c.what;
      EXPECT_EQ(d.uninstallKeys[0], "") << c.what;  // nothing half-read is kept
    }
  }
  UpdateDescription d;
  ParseUpdateDescription(Header() + hundred, &d);
  EXPECT_EQ(d.entries[99].fileName, "F100");
  EXPECT_EQ(d.entries[99].diskNumber, 100);
}

TEST(UpdateDescriptionTest, LoadsFromTheMediaFolder) {
  const koushin::testing::TempFolder temp;
  const std::string good = Header() + "1,1,prog,\\DATA\\\r\n";
  temp.Write("upd\\info.txt", good);
  temp.Write(kSo + kHyo + "\\info.txt", good);  // 0x5C trail bytes in the folder
  temp.Write("cd\\INFO.TXT", good);             // upper-case name on the media
  temp.MakeFolder("empty");
  temp.Write("short\\info.txt", "key\r\nC:\\EST\r\n");
  // Valid up to its end, but larger than any description: refused unread, with a clear problem.
  std::string huge = good;
  huge.resize(kMaxDescriptionBytes + 1, '\x1a');
  temp.Write("huge\\info.txt", huge);
  const std::pair<std::string, LoadStatus> cases[] = {
      {"upd", LoadStatus::kRead},         {kSo + kHyo, LoadStatus::kRead},
      {"cd", LoadStatus::kRead},          {"empty", LoadStatus::kNotFound},
      {"missing", LoadStatus::kNotFound}, {"short", LoadStatus::kInvalid},
      {"huge", LoadStatus::kNotFound},
  };
  for (const auto& [folder, status] : cases) {
    UpdateDescription d;
    d.entries.resize(7);
    const LoadResult r = LoadUpdateDescription(temp.PathOf(folder + "\\"), &d);
    EXPECT_EQ(r.status, status) << folder;
    const bool read = status == LoadStatus::kRead;  // otherwise nothing is kept
    EXPECT_EQ(d.uninstallKeys[0], read ? "H1" : "") << folder;
    EXPECT_EQ(Entries(d), read ? "1|1|PROG|\\DATA\\\n" : "") << folder;
    EXPECT_EQ(r.problem.empty(), read) << folder;
    if (folder == "huge") {
      EXPECT_NE(r.problem.find("larger than 1048576 bytes"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace koushin::description
