// The update run end to end: real installations and media on a temporary machine, archives made
// by jlha, and a scripted person at the screen.
#include "engine/update_run.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "description/update_description.h"
#include "engine_fixture.h"
#include "port/port.h"
#include "support/require.h"

namespace koushin::engine {
namespace {

using testing::ArchiveBytes;
using testing::Damaged;
using testing::Entry;
using testing::kOwnDrives;
using testing::Machine;
using testing::MakeRecord;
using testing::MemberBytes;
using testing::ScriptedOperator;
using testing::Sj;
using testing::SW;
using testing::Utf8;
using testing::W;

constexpr char kDone[] = "システムは正常に更新されました。";
constexpr char kMedia[] = "D:\\MEDIA\\";
constexpr char kRestored[] = "更新前の状態に戻しました。";

class UpdateRunTest : public ::testing::Test {
 protected:
  void SetUp() override { machine.MakeInstallation("C:\\EST", "EST 8.0S"); }

  // Puts a catalogue archive on the media under `name` (without .lzh).
  void PutArchive(const std::string& key, const std::string& name,
                  const std::string& media = kMedia) {
    machine.Write(media + name + ".lzh", ArchiveBytes(key));
  }

  int Run(description::UpdateDescription& record, const std::string& source = kMedia,
          bool dryRun = false) {
    RunContext context{record, SW(source), op, dryRun};
    return UpdateRun(context);
  }

  Machine machine;
  ScriptedOperator op;
};

// The cases that put archives on the media: they need jlha, which needs Java.
class UpdateRunArchiveTest : public UpdateRunTest {
 protected:
  void SetUp() override {
    KOUSHIN_REQUIRE(!ArchiveBytes("prog").empty(), "jlha and Java to make the archives");
    UpdateRunTest::SetUp();
  }
};

TEST_F(UpdateRunTest, WithoutEntriesGoesStraightToTheSettings) {
  description::UpdateDescription record = MakeRecord("C:\\EST", {});
  EXPECT_EQ(Run(record), 1);
  EXPECT_EQ(op.Texts(), std::vector<std::string>{kDone});
  EXPECT_EQ(machine.Ini("C:\\EST\\tamiro1.ini", "SYSTEM", "GENGOU"), "令和");
  EXPECT_EQ(op.waitDepth, 0);
  EXPECT_EQ(op.waitDepthAtMessage, 1);
}

// The whole road from the media's info.txt: detection of the INI file, the variant, an archive,
// a plain file, the settings and the master conversions.
TEST_F(UpdateRunArchiveTest, FromTheMediaDescription) {
  machine.Write(
      "C:\\EST\\tamiro1.ini",
      Sj("[SYSTEM]\r\nTITLE=見積 8.0S 設備版\r\n[DIR]\r\nMASTER=" + W("C:\\EST\\M\\") + "\r\n"));
  machine.Write("C:\\EST\\M\\21\\zai001-3.mst", "1234567890123A\n");
  // Lines 16 (folder), 18 (master adjust), 19 (INI name: detect), 20 (category), 21 (version),
  // 28 and 29 (title keywords 1 and 2); the other keywords match nothing.
  std::vector<std::string> lines(42);
  for (int i = 29; i < 42; ++i) lines[i] = "unmatched";
  lines[15] = W("C:\\EST");
  lines[17] = "1";
  lines[18] = "NULL";
  lines[19] = "3";
  lines[20] = "9.1";
  lines[27] = "電気版";
  lines[28] = "設備版";
  std::string info;
  for (const std::string& line : lines) info += line + "\r\n";
  info += "1,1,start,\r\n1,0,readme.txt,DOC\\\r\n";
  machine.Write("D:\\MEDIA\\info.txt", Sj(info));
  PutArchive("variant", "START2");
  machine.Write("D:\\MEDIA\\README.TXT", "read me");
  description::UpdateDescription record;
  ASSERT_EQ(description::LoadUpdateDescription(SW(kMedia), &record).status,
            description::LoadStatus::kRead);
  EXPECT_EQ(Run(record), 1);
  EXPECT_EQ(op.Texts(), std::vector<std::string>{kDone});
  EXPECT_EQ(record.systemIniName, "tamiro1.ini");
  EXPECT_EQ(record.systemIndex, 2);
  EXPECT_EQ(machine.Read("C:\\EST\\VARIANT.TXT"), MemberBytes("VARIANT.TXT"));
  EXPECT_EQ(machine.Read("C:\\EST\\DOC\\README.TXT"), "read me");
  EXPECT_EQ(Utf8(machine.Read("C:\\EST\\tamiro1.ini")),
            "[SYSTEM]\r\nTITLE=見積 9.1 設備版\r\nVersion=9.1\r\nGENGOU=令和\r\n種別設備=1\r\n"
            "[DIR]\r\nMASTER=" +
                W("C:\\EST\\M\\") + "\r\n");
  EXPECT_EQ(machine.Read("C:\\EST\\M\\21\\zai001-3.mst"), "1234567890123Z\r\n");
}

TEST_F(UpdateRunTest, FailedCheckReturnsZeroAndWritesNothing) {
  machine.Remove("C:\\EST\\bmp\\LAYER2L.BMP");
  description::UpdateDescription record = MakeRecord("C:\\EST", {{1, 0, "A.TXT", ""}});
  machine.Write("D:\\MEDIA\\A.TXT", "a");
  const std::string before = machine.Snapshot();
  EXPECT_EQ(Run(record), 0);
  EXPECT_EQ(op.Texts(), std::vector<std::string>{"このバージョンへの更新はできません。"});
  EXPECT_EQ(machine.Snapshot(), before);
  EXPECT_EQ(op.waitDepth, 0);
}

// The floppy set of one update, disk by disk (media names as on the disks).
struct Floppy {
  std::map<std::string, std::string> files;  // name -> bytes
};

TEST_F(UpdateRunArchiveTest, AsksForEachFloppyUntilTheFileItReadsIsThere) {
  std::map<int, Floppy> disks;
  disks[1].files["A1.TXT"] = "disk one";
  disks[1].files["PROG.lzh"] = ArchiveBytes("prog");
  disks[2].files["FOO.DLL"] = "plain file on disk two";  // no FOO.DLL.lzh anywhere
  disks[2].files["B2.TXT"] = "disk two";
  disks[2].files["LATE.TXT"] = "read from disk two";
  disks[3].files["START3.lzh"] = ArchiveBytes("variant");  // no START.lzh anywhere
  struct Case {
    const char* why;
    std::string source;
    int missedInserts;  // prompts answered OK before the disk is really in
    std::vector<std::string> prompts;
  };
  const std::string two = "2 枚目のｱｯﾌﾟﾃﾞｲﾄFDをｾｯﾄしてください。";
  const std::string three = "3 枚目のｱｯﾌﾟﾃﾞｲﾄFDをｾｯﾄしてください。";
  const Case cases[] = {
      {"floppy", "A:\\", 0, {two, three}},
      {"floppy, OK before the disk is in", "A:\\", 1, {two, two, three, three}},
      {"hard disk: no prompt", kMedia, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    if (!kOwnDrives && c.source == "A:\\") continue;  // needs a removable drive of its own
    Machine fresh;
    fresh.MakeInstallation("C:\\EST", "EST 8.0S");
    auto insert = [&](int disk) {
      fresh.EjectFloppy();
      for (const auto& [name, bytes] : disks[disk].files) fresh.Write("A:\\" + name, bytes);
    };
    for (const auto& [disk, floppy] : disks) {
      for (const auto& [name, bytes] : floppy.files) fresh.Write(kMedia + name, bytes);
    }
    insert(1);
    ScriptedOperator person;
    int misses = 0;
    person.onMessage = [&](const testing::Shown& shown) {
      if (shown.buttons != Buttons::kOkCancel) return;
      if (misses++ % (c.missedInserts + 1) != c.missedInserts) return;
      insert(shown.text[0] - '0');
    };
    for (int i = 0; i < 8; ++i) person.answers.push_back(Answer::kOk);
    description::UpdateDescription record =
        MakeRecord("C:\\EST", {{1, 0, "A1.TXT", ""},
                               {1, 1, "PROG", "BIN\\"},
                               {2, 0, "FOO.DLL", "BIN\\"},
                               {2, 0, "B2.TXT", ""},
                               {1, 0, "LATE.TXT", "SUB\\"},  // disk 1 is never asked for
                               {3, 1, "START", ""}});
    record.titleKeywords[0] = "x";
    record.titleKeywords[2] = "EST";  // SystemIndex 3
    RunContext context{record, SW(c.source), person, false};
    EXPECT_EQ(UpdateRun(context), 1);
    std::vector<std::string> expected = c.prompts;
    expected.push_back(kDone);
    EXPECT_EQ(person.Texts(), expected);
    EXPECT_EQ(fresh.Read("C:\\EST\\BIN\\FOO.DLL"), "plain file on disk two");
    EXPECT_EQ(fresh.Read("C:\\EST\\BIN\\PROG.EXE"), MemberBytes("PROG.EXE"));
    EXPECT_EQ(fresh.Read("C:\\EST\\VARIANT.TXT"), MemberBytes("VARIANT.TXT"));
    EXPECT_EQ(record.entryFileNames[5], "START3");
  }
}

// A run that stops, whatever the cause, shows its message, puts back every change it made and
// says so: the machine is as before but for our journal folder.
TEST_F(UpdateRunArchiveTest, AStoppedRunLeavesTheInstallationAsItWas) {
  struct Case {
    const char* why;
    std::function<void()> arrange;
    std::initializer_list<Entry> entries;
    const char* source;
    std::vector<std::string> texts;  // before the restore message
  };
  const std::string updateFailed = "の更新に失敗しました。";
  const Case cases[] = {
      {"a cancelled disk prompt",
       [&] { machine.Write("A:\\A1.TXT", "one"); },
       {{1, 0, "A1.TXT", ""}, {2, 0, "B2.TXT", ""}, {2, 0, "C.TXT", ""}},
       "A:\\",
       {"2 枚目のｱｯﾌﾟﾃﾞｲﾄFDをｾｯﾄしてください。", "ｱｯﾌﾟﾃﾞｲﾄを取消しました。"}},
      {"an archive failing mid-run",
       [&] {
         machine.Write("D:\\MEDIA\\ONE.TXT", "one");
         PutArchive("prog", "PROG");
         machine.Write("D:\\MEDIA\\BAD.lzh", Damaged(ArchiveBytes("variant")));
         machine.Write("D:\\MEDIA\\FOUR.TXT", "four");
       },
       {{1, 0, "ONE.TXT", ""}, {1, 1, "PROG", "P\\"}, {1, 1, "BAD", "B\\"}, {1, 0, "FOUR.TXT", ""}},
       kMedia,
       {"BAD"}},
      {"a copy into a folder whose parent is missing",
       [&] {
         machine.Write("D:\\MEDIA\\A.TXT", "a");
         machine.Write("D:\\MEDIA\\B.TXT", "b");
       },
       {{1, 0, "B.TXT", ""}, {1, 0, "A.TXT", "NO\\DEEP\\"}},
       kMedia,
       {W("C:\\EST\\NO\\DEEP\\A.TXT") + updateFailed}},
      {"a file whose target is a folder",
       [&] {
         machine.Write("D:\\MEDIA\\C.TXT", "c");
         machine.Write("D:\\MEDIA\\D.TXT", "d");
         machine.Write("C:\\EST\\D.TXT\\KEEP.TXT", "a folder named D.TXT");
       },
       {{1, 0, "C.TXT", ""}, {1, 0, "D.TXT", ""}},
       kMedia,
       {"D.TXT"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    if (std::string(c.source) == "A:\\" && !kOwnDrives) continue;  // no removable drive
    c.arrange();
    const std::string before = machine.Snapshot("", false);
    description::UpdateDescription record = MakeRecord("C:\\EST", c.entries, "9.1");
    if (std::string(c.source) == "A:\\") op.answers = {Answer::kCancel};
    op.shown.clear();
    EXPECT_EQ(Run(record, c.source), 1);
    ASSERT_EQ(op.shown.size(), c.texts.size() + 1);
    for (std::size_t i = 0; i < c.texts.size(); ++i) {
      EXPECT_NE(op.Texts()[i].find(c.texts[i]), std::string::npos) << op.Texts()[i];
      EXPECT_EQ(op.shown[i].caption, "確認");
    }
    EXPECT_EQ(op.Texts().back(), kRestored);
    EXPECT_EQ(machine.Snapshot("", false), before);
  }
}

TEST_F(UpdateRunArchiveTest, StartArchiveVariantAndVersionKey) {
  struct Case {
    const char* why;
    const char* ini;      // UTF-8 content of the system INI file
    const char* iniName;  // systemIniName
    const char* version;  // newVersion
    bool damaged;
    const char* archive;  // the START variant on the media
    const char* versionAfter;
  };
  const Case cases[] = {
      {"index 3 with version", "[SYSTEM]\r\nTITLE=EST 8.0S\r\n", "tamiro1.ini", "9.1", false,
       "START3", "9.1"},
      {"index 99: no version", "[SYSTEM]\r\nMAKER=2\r\n", "velmora1.ini", "9.1", false, "START99",
       "(none)"},
      {"index 0, empty version", "[SYSTEM]\r\n", "velmora1.ini", "", false, "START0", "(none)"},
      {"extraction fails: no version", "[SYSTEM]\r\nTITLE=EST 8.0S\r\n", "tamiro1.ini", "9.1", true,
       "START3", "(none)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    Machine fresh;
    fresh.MakeInstallation("C:\\EST", "unused");
    fresh.Write(std::string("C:\\EST\\") + c.iniName, Sj(c.ini));
    const std::string archive = ArchiveBytes("variant");
    fresh.Write(std::string(kMedia) + c.archive + ".lzh", c.damaged ? Damaged(archive) : archive);
    description::UpdateDescription record =
        MakeRecord("C:\\EST", {{1, 1, "START", "V\\"}}, c.version);
    record.systemIniName = c.iniName;
    record.titleKeywords[0] = "x";
    record.titleKeywords[2] = "EST";
    ScriptedOperator person;
    RunContext context{record, SW(kMedia), person, false};
    EXPECT_EQ(UpdateRun(context), 1);
    EXPECT_EQ(record.entryFileNames[0], c.archive);
    const std::string ini = std::string("C:\\EST\\") + c.iniName;
    EXPECT_EQ(fresh.Ini(ini, "SYSTEM", "Version"), c.versionAfter);
    if (c.damaged) {
      ASSERT_EQ(person.shown.size(), 2u);
      EXPECT_EQ(person.Texts()[1], kRestored);
      EXPECT_NE(person.shown[0].text.find("START3"), std::string::npos) << person.shown[0].text;
      EXPECT_FALSE(fresh.Exists("C:\\EST\\V\\VARIANT.TXT"));
    } else {
      EXPECT_EQ(person.Texts(), std::vector<std::string>{kDone});
      EXPECT_EQ(fresh.Read("C:\\EST\\V\\VARIANT.TXT"), MemberBytes("VARIANT.TXT"));
    }
  }
}

TEST_F(UpdateRunArchiveTest, ExcelTemplateArchiveOnlyWhenDue) {
  struct Case {
    const char* why;
    bool present;
    int year, month, day;
    bool extracted;
  };
  const Case cases[] = {
      {"missing template", false, 0, 0, 0, true},
      {"old template", true, 2021, 12, 20, true},
      {"new template", true, 2022, 2, 6, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    Machine fresh;
    fresh.MakeInstallation("C:\\EST", "EST");
    const std::string templatePath = "C:\\EST\\形式\\横A-A4g.xlsm";
    if (c.present) {
      fresh.Write(templatePath, "old template");
      fresh.SetLastWrite(templatePath, c.year, c.month, c.day);
    } else {
      fresh.MakeFolders("C:\\EST\\形式");
    }
    fresh.Write("D:\\MEDIA\\EXCEL.lzh", ArchiveBytes("excel"));
    fresh.Write("D:\\MEDIA\\AFTER.TXT", "after");
    description::UpdateDescription record =
        MakeRecord("C:\\EST", {{1, 1, "EXCEL", "形式\\"}, {1, 0, "AFTER.TXT", ""}});
    ScriptedOperator person;
    RunContext context{record, SW(kMedia), person, false};
    EXPECT_EQ(UpdateRun(context), 1);
    if (c.extracted) {
      EXPECT_EQ(person.Texts(),
                (std::vector<std::string>{"原価計算書のエクセルひな形を更新しました。", kDone}));
      EXPECT_EQ(fresh.Read(templatePath), MemberBytes("横A-A4g.xlsm"));
    } else {
      EXPECT_EQ(person.Texts(), std::vector<std::string>{kDone});
      EXPECT_EQ(fresh.Read(templatePath), "old template");
    }
    EXPECT_EQ(fresh.Read("C:\\EST\\AFTER.TXT"), "after");
  }
}

TEST(IsExcelTemplateDue, ComparesTheUtcDate) {
  struct Case {
    int year, month, day, hour, minute, second;
    int due;
  };
  const Case cases[] = {
      {2022, 2, 5, 12, 0, 0, 1},  {2022, 2, 5, 23, 59, 59, 1}, {2022, 2, 6, 0, 0, 0, 0},
      {2022, 1, 31, 12, 0, 0, 1}, {2021, 12, 20, 12, 0, 0, 1}, {2019, 1, 1, 0, 0, 0, 1},
      {2023, 1, 1, 12, 0, 0, 0},  {2022, 3, 1, 12, 0, 0, 0},
  };
  Machine machine;
  const std::string path = "C:\\EST\\形式\\横A-A4g.xlsm";
  machine.Write(path, "t");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.year) + "-" + std::to_string(c.month) + "-" +
                 std::to_string(c.day));
    machine.SetLastWrite(path, c.year, c.month, c.day, c.hour, c.minute, c.second);
    EXPECT_EQ(IsExcelTemplateDue(SW("C:\\EST\\")), c.due);
    EXPECT_EQ(IsExcelTemplateDue(SW("C:\\EST")), c.due);
  }
  EXPECT_EQ(IsExcelTemplateDue(SW("C:\\NONE\\")), 0);
  EXPECT_EQ(IsExcelTemplateDue(SW("C:\\WINDOWS\\")), 1);
  // Held open without sharing by another program: due.
  machine.SetLastWrite(path, 2023, 1, 1);
  port::ExclusiveFile holder;
  ASSERT_TRUE(holder.Open(SW(path), true));
  EXPECT_EQ(IsExcelTemplateDue(SW("C:\\EST\\")), 1);
  holder.Close();
  EXPECT_EQ(IsExcelTemplateDue(SW("C:\\EST\\")), 0);
}

TEST_F(UpdateRunTest, PlainFilesAreCopiedWithoutAttributes) {
  machine.Write("D:\\MEDIA\\RO.DLL", "read-only source");
  machine.SetAttributes("D:\\MEDIA\\RO.DLL", port::kAttrReadOnly | port::kAttrHidden);
  machine.Write("D:\\MEDIA\\SUB\\FOO.DLL", "from a subfolder");
  machine.Write("D:\\MEDIA\\表.TXT", "trail byte 0x5C in the name");
  description::UpdateDescription record = MakeRecord(
      "C:\\EST",
      {{1, 0, "RO.DLL", "NEW\\"}, {1, 0, "SUB\\FOO.DLL", ""}, {1, 0, "表.TXT", "NEW\\"}});
  EXPECT_EQ(Run(record), 1);
  EXPECT_EQ(op.Texts(), std::vector<std::string>{kDone});
  EXPECT_EQ(machine.Read("C:\\EST\\NEW\\RO.DLL"), "read-only source");
  // Wine reports the archive flag for every file whose attributes it does not store.
  const unsigned ignored = kOwnDrives ? 0u : static_cast<unsigned>(port::kAttrArchive);
  EXPECT_EQ(machine.Attributes("C:\\EST\\NEW\\RO.DLL") & ~ignored, 0u);
  EXPECT_EQ(machine.Read("C:\\EST\\FOO.DLL"), "from a subfolder");
  EXPECT_EQ(machine.Read("C:\\EST\\NEW\\表.TXT"), "trail byte 0x5C in the name");
}

TEST_F(UpdateRunArchiveTest, LongFoldersHaveNoLimit) {
  // A Windows folder of more than 63 bytes and a command line of more than 255 bytes.
  Machine longMachine("C:\\WINDOWS\\" + std::string(80, 'w'));
  longMachine.MakeFolders("C:\\WINDOWS\\" + std::string(80, 'w'));
  std::string folder = "C:\\EST";
  // Three levels of 50: on Windows the temporary folder comes in front, and paths stay within
  // the 260 characters Windows allows.
  for (int i = 0; i < 3; ++i) folder += "\\" + std::string(50, static_cast<char>('a' + i));
  longMachine.MakeInstallation(folder, "EST");
  longMachine.Write("D:\\MEDIA\\PROG.lzh", ArchiveBytes("prog"));
  description::UpdateDescription record = MakeRecord(folder, {{1, 1, "PROG", "BIN\\"}});
  ScriptedOperator person;
  RunContext context{record, SW(kMedia), person, false};
  EXPECT_EQ(UpdateRun(context), 1);
  EXPECT_EQ(person.Texts(), std::vector<std::string>{kDone});
  EXPECT_EQ(longMachine.Read(folder + "\\BIN\\PROG.EXE"), MemberBytes("PROG.EXE"));
  bool longCommand = false;
  for (const std::string& line : person.log) {
    if (line.rfind("extract: ", 0) == 0) longCommand = line.size() - 9 > 255;
  }
  EXPECT_TRUE(longCommand);
  if (kOwnDrives) {  // the Windows folder is the test's own only on POSIX
    EXPECT_NE(person.LogText().find("-mcwC:\\WINDOWS\\" + std::string(80, 'w')), std::string::npos);
  }
}

TEST_F(UpdateRunArchiveTest, ReportsEntriesAndBytes) {
  PutArchive("big", "BIG");
  machine.Write("D:\\MEDIA\\A.TXT", "abc");
  description::UpdateDescription record =
      MakeRecord("C:\\EST", {{1, 0, "A.TXT", ""}, {1, 1, "BIG", ""}});
  EXPECT_EQ(Run(record), 1);
  bool sawFirst = false, sawBigDone = false;
  for (const Progress& p : op.progress) {
    EXPECT_EQ(p.entryCount, 2);
    if (p.entry == 1 && p.bytesDone == 3 && p.bytesTotal == 3) sawFirst = true;
    if (p.entry == 2 && Utf8(p.file) == "BIG.DAT" && p.bytesDone == 300000) sawBigDone = true;
  }
  EXPECT_TRUE(sawFirst);
  EXPECT_TRUE(sawBigDone);
}

// A full update, run dry: the same checks and walk, every planned step in the log, every
// archive checked, nothing written.
TEST_F(UpdateRunArchiveTest, DryRunWritesNothing) {
  machine.Write("C:\\EST\\tamiro1.ini",
                Sj("[SYSTEM]\r\nTITLE=EST 8.0S\r\n[DIR]\r\nMASTER=" + W("C:\\M\\") + "\r\n"));
  machine.Write("C:\\M\\1\\zai001-3.mst", "400400000107" + std::string(174, 'x') + "\r\n");
  PutArchive("prog", "PROG");
  PutArchive("variant", "START1");
  machine.Write("D:\\MEDIA\\A.TXT", "abc");
  description::UpdateDescription record = MakeRecord(
      "C:\\EST", {{1, 1, "PROG", "NEW\\"}, {1, 1, "START", ""}, {1, 0, "A.TXT", ""}}, "9.1");
  record.categoryCode = "5";
  record.masterAdjust = "1";
  const description::UpdateDescription before = record;
  const std::string snapshot = machine.Snapshot();
  EXPECT_EQ(Run(record, kMedia, true), 1);
  EXPECT_EQ(machine.Snapshot(), snapshot);
  EXPECT_EQ(record.entryFileNames[1], before.entryFileNames[1]);
  EXPECT_EQ(op.Texts(),
            std::vector<std::string>{"更新内容の確認が終わりました。ファイルは変更していません。"});
  const std::string log = op.LogText();
  for (const std::string& planned : std::vector<std::string>{
           "would create folder " + W("C:\\EST\\NEW\\"), "PROG.EXE -lh5- ", "README.TXT",
           "VARIANT.TXT",
           "would copy " + W("D:\\MEDIA\\A.TXT") + " to " + W("C:\\EST\\A.TXT") + " (3 bytes)",
           "[SYSTEM] Version=9.1", "[SYSTEM] GENGOU=令和", "[SYSTEM] TITLE=EST 9.1",
           "[HISTORY] 抽出開始日ON=1", "[SYSTEM] 種別水道=1", "[SYSTEM] 種別設備=1",
           "master (size): " + W("C:\\M\\1\\zai001-3.mst") + ": 1 records would change",
           "START archive: variant START1 for system index 1"}) {
    EXPECT_NE(log.find(planned), std::string::npos) << planned << "\n" << log;
  }
}

TEST_F(UpdateRunArchiveTest, DryRunFindsADamagedArchiveBeforeAnythingIsWritten) {
  machine.Write("D:\\MEDIA\\A.TXT", "abc");
  machine.Write("D:\\MEDIA\\BAD.lzh", Damaged(ArchiveBytes("prog")));
  description::UpdateDescription record =
      MakeRecord("C:\\EST", {{1, 0, "A.TXT", ""}, {1, 1, "BAD", ""}});
  const std::string snapshot = machine.Snapshot();
  EXPECT_EQ(Run(record, kMedia, true), 1);
  EXPECT_EQ(machine.Snapshot(), snapshot);
  ASSERT_EQ(op.shown.size(), 1u);
  EXPECT_NE(op.shown[0].text.find("BAD"), std::string::npos) << op.shown[0].text;
}

}  // namespace
}  // namespace koushin::engine
