// The installation check on real folders of a temporary machine.
#include "engine/installation_check.h"

#include <gtest/gtest.h>

#include "engine_fixture.h"

namespace koushin::engine {
namespace {

using testing::kOwnDrives;
using testing::Machine;
using testing::MakeRecord;
using testing::ScriptedOperator;
using testing::Sj;
using testing::SW;
using testing::Utf8;
using testing::W;

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
}

TEST(LocateSystemIni, SecondAttemptAfterFailedDetectionProbesOnlyTheStoredName) {
  Machine machine;
  machine.Write("C:\\APP\\tamiro1.ini", "");
  description::UpdateDescription record = MakeRecord("C:\\NONE", {});
  record.systemIniName = "NULL";
  std::string folder = SW("C:\\NONE");
  EXPECT_EQ(LocateSystemIni(folder, record), 0);
  folder = SW("C:\\APP");
  EXPECT_EQ(LocateSystemIni(folder, record), 0);  // only velmora1.ini is tried now
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
    std::vector<const char*> keywords;  // 1..n; the rest stay non-empty and unmatched
    bool restEmpty;
    int index;
  };
  const std::string longTitle = "TITLE=" + std::string(120, 'x') + "KEY\r\n";
  // clang-format off
  const Case cases[] = {
      {"velmora without MAKER", "VELMORA1.ini", "[SYSTEM]\r\n", {}, false, 0},
      {"velmora MAKER 1", "velmora1.ini", "[SYSTEM]\r\nMAKER= 1x\r\n", {}, false, 0},
      {"velmora MAKER 2", "velmora1.ini", "[SYSTEM]\r\nMAKER=2\r\n", {}, false, 99},
      {"velmora MAKER no digits", "velmora1.ini", "[SYSTEM]\r\nMAKER=abc\r\n", {}, false, 99},
      {"first hit in list order", "tamiro1.ini", "[SYSTEM]\r\nTITLE=k7 k3\r\n",
       {"zz", "yy", "k3", "q", "q", "q", "k7"}, false, 3},
      {"empty keyword matches", "tamiro1.ini", "[SYSTEM]\r\nTITLE=title\r\n", {"a1", "a2", "a3"}, true, 4},
      {"no TITLE, all keywords set", "tamiro1.ini", "[SYSTEM]\r\n", {"a1"}, false, -1},
      {"keyword is case-sensitive", "tamiro1.ini", "[SYSTEM]\r\nTITLE=est\r\n", {"EST"}, false, -1},
      // "A" is the trail byte of ア (0x83 0x41): no match inside a character.
      {"no match on a trail byte", "tamiro1.ini", "[SYSTEM]\r\nTITLE=アプリ\r\n", {"A", "プ"}, false, 2},
      {"keyword beyond 99 bytes", "tamiro1.ini", "[SYSTEM]\r\n" + longTitle, {"KEY"}, false, 1},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    Machine machine;
    machine.Write(std::string("C:\\APP\\") + c.iniName, Sj(c.ini));
    description::UpdateDescription record = MakeRecord("C:\\APP", {});
    for (std::size_t i = 0; i < record.titleKeywords.size(); ++i) {
      record.titleKeywords[i] = i < c.keywords.size() ? Sj(c.keywords[i])
                                : c.restEmpty         ? ""
                                                      : "unmatched";
    }
    EXPECT_EQ(IdentifySystem(SW("C:\\APP\\"), c.iniName, record), c.index);
  }
}

TEST(CheckTargetInstallation, ShowsTheMessageOfTheFirstFailingStep) {
  struct Case {
    const char* why;
    bool ini, bitmap;
    const char* title;
    int result;
    const char* message;
    int systemIndex;
  };
  const Case cases[] = {
      {"no ini", false, true, "EST", 0, "ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞが正しくないと思われます。", 7},
      {"no markers", true, false, "EST", 0, "このバージョンへの更新はできません。", 7},
      {"not identified", true, true, "OTHER", 0, "このバージョンへの更新はできません。", -1},
      {"fits", true, true, "EST 8.0S", 1, nullptr, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    Machine machine;
    machine.MakeInstallation("C:\\APP", c.title);
    if (!c.ini) machine.Remove("C:\\APP\\tamiro1.ini");
    if (!c.bitmap) machine.Remove("C:\\APP\\bmp\\LAYER2L.BMP");
    description::UpdateDescription record = MakeRecord("C:\\APP", {});
    record.systemIndex = 7;
    ScriptedOperator op;
    std::string folder = SW("C:\\APP");
    EXPECT_EQ(CheckTargetInstallation(folder, record, op), c.result);
    EXPECT_EQ(record.systemIndex, c.systemIndex);
    if (c.message == nullptr) {
      EXPECT_TRUE(op.shown.empty());
    } else {
      ASSERT_EQ(op.shown.size(), 1u);
      EXPECT_EQ(op.shown[0].text, c.message);
      EXPECT_EQ(op.shown[0].caption, "エラー");
      EXPECT_EQ(op.shown[0].buttons, Buttons::kOk);
    }
  }
}

// A failed check with detection gives the marker back, so the next folder is detected afresh
// whichever INI file it holds; a successful detection keeps the name for the rest of the run.
TEST(CheckTargetInstallation, DetectsAgainAfterAFailedCheck) {
  struct Case {
    const char* why;
    const char* firstFolder;  // fails the check
    const char* secondIni;    // the INI file of the second folder, C:\\APP
  };
  const Case cases[] = {
      {"no INI file at all, then tamiro1.ini", "C:\\NONE", "tamiro1.ini"},
      {"tamiro1.ini without markers, then velmora1.ini", "C:\\OLD", "velmora1.ini"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    Machine machine;
    machine.Write("C:\\NONE\\readme.txt", "");
    machine.Write("C:\\OLD\\tamiro1.ini", "");
    machine.MakeInstallation("C:\\APP", "EST 8.0S");
    if (std::string(c.secondIni) != "tamiro1.ini") {
      machine.Remove("C:\\APP\\tamiro1.ini");
      machine.Write(std::string("C:\\APP\\") + c.secondIni, "[SYSTEM]\r\nMAKER=1\r\n");
    }
    description::UpdateDescription record = MakeRecord("C:\\APP", {});
    record.systemIniName = "NULL";
    ScriptedOperator op;
    std::string folder = SW(c.firstFolder);
    EXPECT_EQ(CheckTargetInstallation(folder, record, op), 0);
    EXPECT_EQ(record.systemIniName, "NULL");
    folder = SW("C:\\APP");
    EXPECT_EQ(CheckTargetInstallation(folder, record, op), 1);
    EXPECT_EQ(record.systemIniName, c.secondIni);
  }
}

}  // namespace
}  // namespace koushin::engine
