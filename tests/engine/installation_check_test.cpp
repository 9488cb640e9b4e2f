// The installation check on real folders of a temporary machine.
#include "engine/installation_check.h"

#include <gtest/gtest.h>

#include "engine_fixture.h"

namespace koushin::engine {
namespace {

using namespace testing;

TEST(LocateSystemIni, FindsTheIniFileAndSettlesTheFolder) {
  struct Case {
    const char* why;
    std::vector<const char*> files;  // created before the call
    const char* folder;              // working folder as chosen
    const char* iniName;             // systemIniName before
    int result;
    const char* folderAfter;
    const char* iniNameAfter;
  };
  // clang-format off
  const Case cases[] = {
      {"no backslash", {"C:\\APP\\tamiro1.ini"}, "C:\\APP", "tamiro1.ini", 1, "C:\\APP\\", "tamiro1.ini"},
      {"backslash", {"C:\\APP\\tamiro1.ini"}, "C:\\APP\\", "tamiro1.ini", 1, "C:\\APP\\", "tamiro1.ini"},
      {"bare drive letter", {"D:\\tamiro1.ini"}, "D", "tamiro1.ini", 1, "D:\\", "tamiro1.ini"},
      {"detects velmora1.ini", {"C:\\APP\\velmora1.ini"}, "C:\\APP", "NULL", 1, "C:\\APP\\", "velmora1.ini"},
      {"prefers tamiro1.ini", {"C:\\APP\\velmora1.ini", "C:\\APP\\tamiro1.ini"}, "C:\\APP", "NULL", 1,
       "C:\\APP\\", "tamiro1.ini"},
      {"detects nothing", {"C:\\APP\\other.ini"}, "C:\\APP", "NULL", 0, "C:\\APP", "velmora1.ini"},
      {"lower-case null is a name", {"C:\\APP\\tamiro1.ini"}, "C:\\APP", "null", 0, "C:\\APP", "null"},
      {"folder missing", {}, "C:\\NONE", "tamiro1.ini", 0, "C:\\NONE", "tamiro1.ini"},
      {"trail byte 0x5C", {"C:\\表計算\\tamiro1.ini"}, "C:\\表計算", "tamiro1.ini", 1, "C:\\表計算\\", "tamiro1.ini"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    if (!kOwnDrives && std::string(c.folder) == "D") continue;  // needs drive D: of its own
    Machine machine;
    for (const char* file : c.files) machine.Write(file, "[SYSTEM]\r\n");
    description::UpdateDescription record = MakeRecord(c.folder, {});
    record.systemIniName = c.iniName;
    std::string folder = SW(c.folder);
    EXPECT_EQ(LocateSystemIni(folder, record), c.result);
    EXPECT_EQ(Utf8(folder), W(c.folderAfter));
    EXPECT_EQ(record.systemIniName, c.iniNameAfter);
  }
  // A second attempt after a failed detection probes only the name it stored.
  Machine machine;
  machine.Write("C:\\APP\\tamiro1.ini", "");
  description::UpdateDescription record = MakeRecord("C:\\NONE", {});
  record.systemIniName = "NULL";
  for (const char* folder : {"C:\\NONE", "C:\\APP"}) {
    std::string working = SW(folder);
    EXPECT_EQ(LocateSystemIni(working, record), 0) << folder;
  }
  EXPECT_EQ(record.systemIniName, "velmora1.ini");
}

TEST(CheckProductMarkers, RequiresTheMarkersOfTheProduct) {
  struct Case {
    const char* why;
    const char* iniName;
    std::vector<const char*> files;  // below C:\APP
    int result;
    const char* folder = "C:\\APP\\";       // working folder before
    const char* folderAfter = "C:\\APP\\";  // and after
  };
  // clang-format off
  const Case cases[] = {
      {"menu file and bitmap", "tamiro1.ini", {"ta1menu.ini", "bmp\\LAYER2L.BMP"}, 1},
      {"second menu file", "TAMIRO1.INI", {"ta2menu.ini", "bmp\\LAYER2L.BMP"}, 1},
      {"formatter instead of menus", "tamiro1.ini", {"formater.exe", "bmp\\LAYER2L.BMP"}, 1},
      {"no menu, no formatter", "tamiro1.ini", {"bmp\\LAYER2L.BMP"}, 0},
      {"sorimu needs them too", "Sorimu1.ini", {"bmp\\LAYER2L.BMP"}, 0},
      {"other systems need only the bitmap", "velmora1.ini", {"bmp\\LAYER2L.BMP"}, 1},
      {"no bitmap", "tamiro1.ini", {"ta1menu.ini", "formater.exe"}, 0},
      {"no bitmap, other system", "velmora1.ini", {}, 0},
      // A marker found only behind an added backslash leaves the folder with it; the bitmap is
      // looked for below the folder as the probes left it.
      {"menu behind a backslash", "tamiro1.ini", {"ta2menu.ini", "bmp\\LAYER2L.BMP"}, 1, "C:\\APP", "C:\\APP\\"},
      {"formatter behind a backslash", "tamiro1.ini", {"formater.exe", "bmp\\LAYER2L.BMP"}, 1, "C:\\APP", "C:\\APP\\"},
      {"formatter, other system", "velmora1.ini", {"formater.exe", "bmp\\LAYER2L.BMP"}, 1, "C:\\APP", "C:\\APP\\"},
      {"nothing found leaves the folder", "velmora1.ini", {"bmp\\LAYER2L.BMP"}, 1, "C:\\APP", "C:\\APP"},
      {"backslash stays without bitmap", "tamiro1.ini", {"ta1menu.ini"}, 0, "C:\\APP", "C:\\APP\\"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    Machine machine;
    machine.MakeFolders("C:\\APP");
    for (const char* file : c.files) machine.Write(std::string("C:\\APP\\") + file, "x");
    std::string folder = SW(c.folder);
    EXPECT_EQ(CheckProductMarkers(folder, c.iniName), c.result);
    EXPECT_EQ(folder, SW(c.folderAfter));
  }
}

TEST(IdentifySystem, ComputesTheSystemIndex) {
  struct Case {
    const char* why;
    const char* iniName;
    std::string ini;                    // UTF-8 content
    std::vector<const char*> keywords;  // 1..n
    int index;
    const char* rest = "unmatched";  // the keywords after them
  };
  const std::string longTitle = "TITLE=" + std::string(120, 'x') + "KEY\r\n";
  // clang-format off
  const Case cases[] = {
      {"velmora without MAKER", "VELMORA1.ini", "[SYSTEM]\r\n", {}, 0},
      {"velmora MAKER 1", "velmora1.ini", "[SYSTEM]\r\nMAKER= 1x\r\n", {}, 0},
      {"velmora MAKER 2", "velmora1.ini", "[SYSTEM]\r\nMAKER=2\r\n", {}, 99},
      {"velmora MAKER no digits", "velmora1.ini", "[SYSTEM]\r\nMAKER=abc\r\n", {}, 99},
      {"first hit in list order", "tamiro1.ini", "[SYSTEM]\r\nTITLE=k7 k3\r\n",
       {"zz", "yy", "k3", "q", "q", "q", "k7"}, 3},
      {"empty keyword matches", "tamiro1.ini", "[SYSTEM]\r\nTITLE=title\r\n", {"a1", "a2", "a3"}, 4, ""},
      {"no TITLE, all keywords set", "tamiro1.ini", "[SYSTEM]\r\n", {"a1"}, -1},
      {"keyword is case-sensitive", "tamiro1.ini", "[SYSTEM]\r\nTITLE=est\r\n", {"EST"}, -1},
      // "A" is the trail byte of ア (0x83 0x41): no match inside a character.
      {"no match on a trail byte", "tamiro1.ini", "[SYSTEM]\r\nTITLE=アプリ\r\n", {"A", "プ"}, 2},
      {"keyword beyond 99 bytes", "tamiro1.ini", "[SYSTEM]\r\n" + longTitle, {"KEY"}, 1},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    Machine machine;
    machine.Write(std::string("C:\\APP\\") + c.iniName, Sj(c.ini));
    description::UpdateDescription record = MakeRecord("C:\\APP", {});
    for (std::size_t i = 0; i < record.titleKeywords.size(); ++i) {
      record.titleKeywords[i] = i < c.keywords.size() ? Sj(c.keywords[i]) : c.rest;
    }
    EXPECT_EQ(IdentifySystem(SW("C:\\APP\\"), c.iniName, record), c.index);
  }
}

// The message of the first failing step. A failed check with detection gives the marker back,
// so the next folder is detected afresh whichever INI file it holds; a successful detection keeps
// the name for the rest of the run.
TEST(CheckTargetInstallation, ShowsTheFirstFailureAndDetectsAgainAfterIt) {
  Machine machine;
  machine.MakeInstallation("C:\\APP", "EST 8.0S");
  machine.MakeInstallation("C:\\NOINI", "EST 8.0S");
  machine.Remove("C:\\NOINI\\tamiro1.ini");
  machine.MakeInstallation("C:\\NOMARK", "EST 8.0S");
  machine.Remove("C:\\NOMARK\\bmp\\LAYER2L.BMP");
  machine.MakeInstallation("C:\\OTHER", "OTHER");
  machine.Write("C:\\VEL\\velmora1.ini", "[SYSTEM]\r\nMAKER=1\r\n");
  machine.Write("C:\\VEL\\bmp\\LAYER2L.BMP", "BM");
  const char* notRight = "ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞが正しくないと思われます。";
  const char* cannot = "このバージョンへの更新はできません。";
  struct Case {
    const char* folder;
    const char* iniName;
    const char* message;  // nullptr: the check passes
    int systemIndex;
    const char* next = nullptr;  // after a failed detection: a fitting folder, detected afresh
    const char* nextIni = nullptr;
  };
  const Case cases[] = {
      {"C:\\NOINI", "tamiro1.ini", notRight, 7},
      {"C:\\NOMARK", "tamiro1.ini", cannot, 7},
      {"C:\\OTHER", "tamiro1.ini", cannot, -1},
      {"C:\\APP", "tamiro1.ini", nullptr, 1},
      {"C:\\NOINI", "NULL", notRight, 7, "C:\\APP", "tamiro1.ini"},
      {"C:\\NOMARK", "NULL", cannot, 7, "C:\\VEL", "velmora1.ini"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.folder) + " " + c.iniName);
    description::UpdateDescription record = MakeRecord("C:\\APP", {});
    record.systemIniName = c.iniName;
    record.systemIndex = 7;
    ScriptedOperator op;
    std::string folder = SW(c.folder);
    EXPECT_EQ(CheckTargetInstallation(folder, record, op), c.message == nullptr ? 1 : 0);
    EXPECT_EQ(record.systemIndex, c.systemIndex);
    EXPECT_EQ(record.systemIniName, c.iniName);
    ASSERT_EQ(op.shown.size(), c.message == nullptr ? 0u : 1u);
    if (c.message == nullptr) continue;
    EXPECT_EQ(op.shown[0].text, c.message);
    EXPECT_EQ(op.shown[0].caption, "エラー");
    EXPECT_EQ(op.shown[0].buttons, Buttons::kOk);
    if (c.next == nullptr) continue;
    folder = SW(c.next);
    EXPECT_EQ(CheckTargetInstallation(folder, record, op), 1);
    EXPECT_EQ(record.systemIniName, c.nextIni);
  }
}

// The version rule's order: numbers first, then the suffix without regard to case; what
// cannot be compared says so, and then only equal texts count as the same.
TEST(InstalledVersion, ComparesNumbersThenSuffix) {
  struct Case {
    const char* installed;
    const char* target;
    VersionStanding standing;
  };
  // clang-format off
  const Case cases[] = {
      {"8.0S", "8.1S", VersionStanding::kOlder},
      {"8.1S", "8.2S", VersionStanding::kOlder},
      {"8.2S", "9.1", VersionStanding::kOlder},
      {"8.10S", "8.9S", VersionStanding::kNewer},   // numbers, not text
      {"8.2S", "8.1S", VersionStanding::kNewer},
      {"8.1s", "8.1S", VersionStanding::kSame},
      {" 8.1S", "8.1S ", VersionStanding::kSame},
      {"9", "9.0", VersionStanding::kSame},
      {"8.1", "8.1S", VersionStanding::kOlder},     // no suffix before any
      {"8.1S", "8.1T", VersionStanding::kOlder},
      {"", "8.1S", VersionStanding::kUnknown},
      {"8.1S", "", VersionStanding::kUnknown},
      {"Ver8.1S", "8.2S", VersionStanding::kUnknown},
      {"Ver8.1S", "ver8.1s", VersionStanding::kSame},
      {"1234567890.1", "8.1S", VersionStanding::kUnknown},  // more digits than a part holds
  };
  // clang-format on
  Machine machine;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.installed) + " / " + c.target);
    machine.Write("C:\\APP\\tamiro1.ini",
                  std::string("[SYSTEM]\r\nVersion=") + c.installed + "\r\n");
    description::UpdateDescription record;
    record.systemIniName = "tamiro1.ini";
    record.newVersion = c.target;
    const InstalledVersion version = ReadInstalledVersion(SW("C:\\APP\\"), record);
    EXPECT_EQ(version.standing, c.standing) << version.why;
  }
}

}  // namespace
}  // namespace koushin::engine
