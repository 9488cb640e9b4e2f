// The update run end to end: real installations and media on a temporary machine, archives made
// by jlha, and a scripted person at the screen.
#include "engine/update_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "engine_fixture.h"
#include "port/port.h"
#include "text/path.h"
#include "support/require.h"

namespace koushin::engine {
namespace {

using namespace testing;

constexpr char kMedia[] = "D:\\MEDIA\\";

// Every case puts archives made by jlha (which needs Java) on the media, or runs beside those that
// do.
class UpdateRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KOUSHIN_REQUIRE(!ArchiveBytes("prog").empty(),
                    "the archives jlha makes (Java; under Wine the native suite makes them)");
    machine.MakeInstallation("C:\\EST", "EST 8.0S");
  }

  int Run(description::UpdateDescription& record, const std::string& source = kMedia,
          bool dryRun = false) {
    RunContext context{record, SW(source), op, dryRun};
    const int result = UpdateRun(context);
    report = Report(context.summary, dryRun);
    return result;
  }

  // What the report says of a run: each change with the bytes it leaves (a dry run's as planned),
  // the keys, the records and the kept bytes. A dry run's must equal the real run's.
  static std::string Report(const RunSummary& summary, bool dryRun) {
    std::string text;
    for (const journal::Change& change : summary.changes) {
      port::FileStatus status;
      const std::uint64_t bytes = dryRun ? summary.plan.BytesAfter(change.path)
                                  : port::ReadFileStatus(change.path, &status) ? status.size
                                                                               : 0;
      text += std::to_string(static_cast<int>(change.kind)) + " " +
              Utf8(text::OneSeparator(change.path)) + " " +
              std::to_string(change.kind == journal::RecordKind::kCreatedFolder ? 0 : bytes) + "\n";
    }
    return text + "keys " + std::to_string(summary.iniKeysWritten) + ", records " +
           std::to_string(summary.masterRecordsConverted) + ", kept " +
           std::to_string(summary.keptBytes);
  }

  Machine machine;
  ScriptedOperator op;
  std::string report;  // of the last run
};

// The whole road from the media's info.txt: detection of the INI file, the variant, an archive,
// plain files, the settings and the master conversions. First run dry (the plan in the log,
// nothing written), then for real: the same report.
TEST_F(UpdateRunTest, FromTheMediaDescriptionDryThenForReal) {
  machine.Write(
      "C:\\EST\\tamiro1.ini",
      Sj("[SYSTEM]\r\nTITLE=見積 8.0S 設備版\r\n[DIR]\r\nMASTER=" + W("C:\\EST\\M\\") + "\r\n"));
  machine.Write("C:\\EST\\M\\21\\zai001-3.mst", "1234567890123A\n");
  machine.Write("C:\\EST\\M\\1\\zai001-3.mst", "400400000107" + std::string(174, 'x') + "\r\n");
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
  info += "1,1,start,\r\n1,1,prog,NEW\\\r\n1,0,readme.txt,DOC\\\r\n";
  machine.Write("D:\\MEDIA\\info.txt", Sj(info));
  machine.Write("D:\\MEDIA\\PROG.lzh", ArchiveBytes("prog"));
  machine.Write("D:\\MEDIA\\START2.lzh", ArchiveBytes("variant"));
  machine.Write("D:\\MEDIA\\README.TXT", "read me");
  description::UpdateDescription record;
  ASSERT_EQ(description::LoadUpdateDescription(SW(kMedia), &record).status,
            description::LoadStatus::kRead);

  const std::string snapshot = machine.Snapshot();
  EXPECT_EQ(Run(record, kMedia, true), 1);
  EXPECT_EQ(machine.Snapshot(), snapshot);
  EXPECT_EQ(record.entries[0].fileName, "START");
  EXPECT_EQ(op.Texts(),
            std::vector<std::string>{"更新内容の確認が終わりました。ファイルは変更していません。"});
  const std::string log = op.LogText();
  for (const std::string& planned : std::vector<std::string>{
           "plan: make folder " + W("C:\\EST\\NEW\\"),
           "plan:   PROG.EXE -> " + W("C:\\EST\\NEW\\PROG.EXE") + ": ",
           "plan: copy " + W("D:\\MEDIA\\README.TXT") + " to " + W("C:\\EST\\DOC\\README.TXT") +
               ": 7 bytes",
           "[SYSTEM] Version: (none) -> 9.1", "[SYSTEM] GENGOU: (none) -> 令和",
           "[SYSTEM] TITLE: 見積 8.0S 設備版 -> 見積 9.1 設備版",
           "[HISTORY] 抽出開始日ON: (none) -> 1", "[SYSTEM] 種別設備: (none) -> 1",
           "convert master file " + W("C:\\EST\\M\\1\\zai001-3.mst") +
               " by the size rule: 1 records",
           "START variant START2 for system index 2: [SYSTEM] TITLE holds title keyword 2"}) {
    EXPECT_NE(log.find(planned), std::string::npos) << planned << "\n" << log;
  }

  const std::string plan = report;
  op.shown.clear();
  EXPECT_EQ(Run(record), 1);
  EXPECT_EQ(report, plan);
  EXPECT_EQ(op.Texts(), std::vector<std::string>{kDone});
  EXPECT_EQ(op.waitDepthAtMessage, 1);  // the last message is shown while the run waits
  EXPECT_EQ(op.waitDepth, 0);
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

TEST_F(UpdateRunTest, AsksForEachFloppyUntilTheFileItReadsIsThere) {
  // The floppy set of one update, disk by disk: name -> bytes. The hard disk holds them all.
  const std::map<int, std::map<std::string, std::string>> disks = {
      {1, {{"A1.TXT", "disk one"}, {"PROG.lzh", ArchiveBytes("prog")}}},
      {2,
       {{"FOO.DLL", "plain file on disk two"},  // no FOO.DLL.lzh anywhere
        {"B2.TXT", "disk two"},
        {"LATE.TXT", "read from disk two"}}},
      // No START.lzh anywhere; a variant for another system beside the one chosen.
      {3, {{"START3.lzh", ArchiveBytes("variant")}, {"START1.lzh", ArchiveBytes("prog")}}},
  };
  for (const auto& [disk, files] : disks) {
    for (const auto& [name, bytes] : files) machine.Write(kMedia + name, bytes);
  }
  struct Case {
    const char* why;
    std::string source;
    int missedInserts;  // prompts answered OK before the disk is really in
    std::vector<std::string> texts;
  };
  const std::string two = "2 枚目のｱｯﾌﾟﾃﾞｲﾄFDをｾｯﾄしてください。";
  const std::string three = "3 枚目のｱｯﾌﾟﾃﾞｲﾄFDをｾｯﾄしてください。";
  const Case cases[] = {
  // A floppy drive needs drive letters of the test's own (kOwnDrives): under Wine, A: is Wine's,
  // so the Windows build leaves these rows out.
#ifndef _WIN32
      {"floppy", "A:\\", 0, {two, three, kDone}},
      {"floppy, OK before the disk is in", "A:\\", 1, {two, two, three, three, kDone}},
#endif
      {"hard disk: no prompt", kMedia, 0, {kDone}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    machine.Write(
        "C:\\EST\\tamiro1.ini",
        Sj("[SYSTEM]\r\nTITLE=EST 8.0S\r\n[DIR]\r\nMASTER=" + W("C:\\EST\\M\\") + "\r\n"));
    machine.Write("C:\\EST\\M\\1\\zai001-3.mst", "1234567890123A\r\n1234567890123B\r\n");
    auto insert = [&](int disk) {
      std::filesystem::remove_all(machine.HostDrive('a'));
      std::filesystem::create_directory(machine.HostDrive('a'));
      for (const auto& [name, bytes] : disks.at(disk)) machine.Write("A:\\" + name, bytes);
    };
    description::UpdateDescription record =
        MakeRecord("C:\\EST",
                   {{1, 0, "A1.TXT", ""},
                    {1, 1, "PROG", "BIN\\"},
                    {2, 0, "FOO.DLL", "BIN\\"},
                    {2, 0, "B2.TXT", ""},
                    {1, 0, "LATE.TXT", "SUB\\"},  // disk 1 is never asked for
                    {3, 1, "START", ""}},
                   "9.1");
    record.titleKeywords[0] = "x";
    record.titleKeywords[2] = "EST";  // SystemIndex 3
    record.masterAdjust = "1";
    record.categoryCode = "5";
    // The dry run asks for every disk before it plans the whole update; the real run asks for
    // each when its entries come, and its report is the plan's.
    std::string plan;
    for (const bool dryRun : {true, false}) {
      insert(1);
      int misses = 0;
      op.shown.clear();
      op.onMessage = [&](const testing::Shown& shown) {
        if (shown.buttons != Buttons::kOkCancel) return;
        if (misses++ % (c.missedInserts + 1) != c.missedInserts) return;
        insert(shown.text[0] - '0');
      };
      op.answers.assign(8, Answer::kOk);
      EXPECT_EQ(Run(record, c.source, dryRun), 1);
      std::vector<std::string> texts = c.texts;
      if (dryRun) texts.back() = "更新内容の確認が終わりました。ファイルは変更していません。";
      EXPECT_EQ(op.Texts(), texts);
      if (dryRun) plan = report;
    }
    EXPECT_EQ(report, plan);
    EXPECT_NE(report.find("records 2, kept "), std::string::npos) << report;
    EXPECT_EQ(machine.Read("C:\\EST\\BIN\\FOO.DLL"), "plain file on disk two");
    EXPECT_EQ(machine.Read("C:\\EST\\BIN\\PROG.EXE"), MemberBytes("PROG.EXE"));
    EXPECT_EQ(machine.Read("C:\\EST\\VARIANT.TXT"), MemberBytes("VARIANT.TXT")) << op.LogText();
  }
}

// A run that stops, whatever the cause, shows its message, puts back every change it made and
// says so: the machine is as before but for our journal folder. A dry run finds a damaged archive
// before anything is written.
TEST_F(UpdateRunTest, AStoppedRunLeavesTheInstallationAsItWas) {
  struct Case {
    const char* why;
    std::map<std::string, std::string> files;  // written before the run
    std::initializer_list<Entry> entries;
    const char* source;
    std::vector<std::string> texts;  // parts of the messages shown
    bool dryRun = false;
    std::deque<Answer> answers = {};
  };
  const Case cases[] = {
  // A floppy drive of the test's own: not under Wine (see the floppy test above).
#ifndef _WIN32
      {"a cancelled disk prompt",
       {{"A:\\A1.TXT", "one"}},
       {{1, 0, "A1.TXT", ""}, {2, 0, "B2.TXT", ""}, {2, 0, "C.TXT", ""}},
       "A:\\",
       {"2 枚目のｱｯﾌﾟﾃﾞｲﾄFDをｾｯﾄしてください。", "ｱｯﾌﾟﾃﾞｲﾄを取消しました。", kRestored},
       false,
       {Answer::kCancel}},
      {"a later disk lacking a file its plan reads",
       {{"A:\\B2.TXT", "two"}},
       {{1, 0, "A1.TXT", ""}, {2, 0, "B2.TXT", ""}, {2, 0, "C.TXT", ""}},
       "A:\\",
       {"2 枚目の", "更新ディスクのファイル C.TXT がありません。", kRestored},
       false,
       {Answer::kOk}},
#endif
      {"an archive failing mid-run",
       {{"D:\\MEDIA\\ONE.TXT", "one"},
        {"D:\\MEDIA\\PROG.lzh", ArchiveBytes("prog")},
        {"D:\\MEDIA\\BAD.lzh", Damaged(ArchiveBytes("variant"))},
        {"D:\\MEDIA\\FOUR.TXT", "four"}},
       {{1, 0, "ONE.TXT", ""}, {1, 1, "PROG", "P\\"}, {1, 1, "BAD", "B\\"}, {1, 0, "FOUR.TXT", ""}},
       kMedia,
       {"BAD", kRestored}},
      {"a copy into a folder whose parent is missing",
       {{"D:\\MEDIA\\A.TXT", "a"}, {"D:\\MEDIA\\B.TXT", "b"}},
       {{1, 0, "B.TXT", ""}, {1, 0, "A.TXT", "NO\\DEEP\\"}},
       kMedia,
       {W("C:\\EST\\NO\\DEEP\\A.TXT") + "の更新に失敗しました。", kRestored}},
      {"a file whose target is a folder",
       {{"D:\\MEDIA\\C.TXT", "c"},
        {"D:\\MEDIA\\D.TXT", "d"},
        {"C:\\EST\\D.TXT\\KEEP.TXT", "folder"}},
       {{1, 0, "C.TXT", ""}, {1, 0, "D.TXT", ""}},
       kMedia,
       {"D.TXT", kRestored}},
      {"a damaged archive in a dry run",
       {{"D:\\MEDIA\\A.TXT", "abc"}, {"D:\\MEDIA\\BAD.lzh", Damaged(ArchiveBytes("prog"))}},
       {{1, 0, "A.TXT", ""}, {1, 1, "BAD", ""}},
       kMedia,
       {"BAD"},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    for (const auto& [path, bytes] : c.files) machine.Write(path, bytes);
    const std::string before = machine.Snapshot("", false);
    description::UpdateDescription record = MakeRecord("C:\\EST", c.entries, "9.1");
    op.answers = c.answers;
    op.shown.clear();
    EXPECT_EQ(Run(record, c.source, c.dryRun), 1);
    ASSERT_EQ(op.shown.size(), c.texts.size());
    for (std::size_t i = 0; i < c.texts.size(); ++i) {
      EXPECT_NE(op.Texts()[i].find(c.texts[i]), std::string::npos) << op.Texts()[i];
      EXPECT_EQ(op.shown[i].caption, "確認");
    }
    EXPECT_EQ(machine.Snapshot("", false), before);
  }
}

TEST_F(UpdateRunTest, StartArchiveVariantAndVersionKey) {
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
    machine.Remove("C:\\EST\\V\\VARIANT.TXT");
    machine.Write(std::string("C:\\EST\\") + c.iniName, Sj(c.ini));
    const std::string archive = ArchiveBytes("variant");
    machine.Write(std::string(kMedia) + c.archive + ".lzh", c.damaged ? Damaged(archive) : archive);
    description::UpdateDescription record =
        MakeRecord("C:\\EST", {{1, 1, "START", "V\\"}}, c.version);
    record.systemIniName = c.iniName;
    record.titleKeywords[0] = "x";
    record.titleKeywords[2] = "EST";
    op.shown.clear();
    EXPECT_EQ(Run(record), 1);
    EXPECT_EQ(record.entries[0].fileName, c.archive);
    EXPECT_EQ(port::ProfileRead("SYSTEM", "Version", "(none)", SW("C:\\EST\\") + c.iniName),
              c.versionAfter);
    ASSERT_EQ(op.shown.size(), c.damaged ? 2u : 1u);
    EXPECT_EQ(op.Texts().back(), c.damaged ? kRestored : kDone);
    EXPECT_EQ(op.shown[0].text.find("START3") != std::string::npos, c.damaged) << op.shown[0].text;
    EXPECT_EQ(machine.Read("C:\\EST\\V\\VARIANT.TXT"), c.damaged ? "" : MemberBytes("VARIANT.TXT"));
  }
}

// The Excel template archive is extracted only when the template is due: missing, held open
// without sharing by another program, or last written (UTC date) on or before 2022-02-05.
TEST_F(UpdateRunTest, ExcelTemplateArchiveOnlyWhenDue) {
  const std::string path = "C:\\EST\\形式\\横A-A4g.xlsm";
  EXPECT_EQ(IsExcelTemplateDue(SW("C:\\NONE\\")), 0);
  EXPECT_EQ(IsExcelTemplateDue(SW("C:\\EST\\")), 1);
  machine.Write(path, "old template");
  struct Case {
    int year, month, day, hour, minute, second;
    int due;
  };
  const Case cases[] = {
      {2022, 2, 5, 12, 0, 0, 1},  {2022, 2, 5, 23, 59, 59, 1}, {2022, 2, 6, 0, 0, 0, 0},
      {2022, 1, 31, 12, 0, 0, 1}, {2021, 12, 20, 12, 0, 0, 1}, {2019, 1, 1, 0, 0, 0, 1},
      {2023, 1, 1, 12, 0, 0, 0},  {2022, 3, 1, 12, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.year) + "-" + std::to_string(c.month) + "-" +
                 std::to_string(c.day));
    machine.SetLastWrite(path, c.year, c.month, c.day, c.hour, c.minute, c.second);
    EXPECT_EQ(IsExcelTemplateDue(SW("C:\\EST\\")), c.due);
    EXPECT_EQ(IsExcelTemplateDue(SW("C:\\EST")), c.due);
  }
  {
    port::ExclusiveFile holder;
    ASSERT_TRUE(holder.Open(SW(path), true));
    EXPECT_EQ(IsExcelTemplateDue(SW("C:\\EST\\")), 1);
  }
  machine.Write("D:\\MEDIA\\EXCEL.lzh", ArchiveBytes("excel"));
  machine.Write("D:\\MEDIA\\AFTER.TXT", "after");
  for (const bool due : {false, true}) {
    SCOPED_TRACE(due ? "due" : "not due");
    machine.SetLastWrite(path, due ? 2021 : 2022, due ? 12 : 2, due ? 20 : 6);
    description::UpdateDescription record =
        MakeRecord("C:\\EST", {{1, 1, "EXCEL", "形式\\"}, {1, 0, "AFTER.TXT", ""}});
    op.shown.clear();
    EXPECT_EQ(Run(record), 1);
    std::vector<std::string> texts = {kDone};
    if (due) texts.insert(texts.begin(), "原価計算書のエクセルひな形を更新しました。");
    EXPECT_EQ(op.Texts(), texts);
    EXPECT_EQ(machine.Read(path), due ? MemberBytes("横A-A4g.xlsm") : "old template");
    EXPECT_EQ(machine.Read("C:\\EST\\AFTER.TXT"), "after");
  }
}

// Plain files are copied without their attributes, progress is reported by entry and bytes, and
// long folders have no limit: a Windows folder of more than 63 bytes and an installation folder of
// three levels of 50 (on Windows the temporary folder comes in front, and paths stay within the
// 260 characters Windows allows).
TEST_F(UpdateRunTest, PlainFilesProgressAndLongFolders) {
  const std::string windows = "C:\\WINDOWS\\" + std::string(80, 'w');
  Machine longMachine(windows);
  longMachine.MakeFolders(windows);
  std::string folder = "C:\\EST";
  for (int i = 0; i < 3; ++i) folder += "\\" + std::string(50, static_cast<char>('a' + i));
  longMachine.MakeInstallation(folder, "EST");
  longMachine.Write("D:\\MEDIA\\RO.DLL", "read-only source");
  longMachine.SetAttributes("D:\\MEDIA\\RO.DLL", port::kAttrReadOnly | port::kAttrHidden);
  longMachine.Write("D:\\MEDIA\\SUB\\FOO.DLL", "from a subfolder");
  longMachine.Write("D:\\MEDIA\\表.TXT", "trail byte 0x5C in the name");
  longMachine.Write("D:\\MEDIA\\BIG.lzh", ArchiveBytes("big"));
  description::UpdateDescription record = MakeRecord(folder, {{1, 0, "RO.DLL", "NEW\\"},
                                                              {1, 0, "SUB\\FOO.DLL", ""},
                                                              {1, 0, "表.TXT", "NEW\\"},
                                                              {1, 1, "BIG", ""}});
  EXPECT_EQ(Run(record), 1);
  EXPECT_EQ(op.Texts(), std::vector<std::string>{kDone});
  // Each file under its name in the installation (not the media's), and the bytes of the whole
  // run: never going back, all of them at the end.
  bool sawFirst = false, sawBigDone = false;
  std::uint64_t runDone = 0;
  const std::uint64_t runTotal = 16 + 16 + 27 + 300000;
  for (const Progress& p : op.progress) {
    EXPECT_EQ(p.entryCount, 4);
    if (p.entry == 1 && p.bytesDone == 16 && p.bytesTotal == 16 &&
        p.file == SW(folder + "\\NEW\\RO.DLL")) {
      sawFirst = true;
    }
    if (p.entry == 4 && p.file == SW(folder + "\\BIG.DAT") && p.bytesDone == 300000) {
      sawBigDone = true;
    }
    EXPECT_EQ(p.runBytesTotal, runTotal);
    EXPECT_GE(p.runBytesDone, runDone);
    runDone = p.runBytesDone;
  }
  EXPECT_TRUE(sawFirst);
  EXPECT_TRUE(sawBigDone);
  EXPECT_EQ(runDone, runTotal);
  EXPECT_EQ(longMachine.Read(folder + "\\NEW\\RO.DLL"), "read-only source");
  // Wine reports the archive flag for every file whose attributes it does not store.
  const unsigned ignored = kOwnDrives ? 0u : static_cast<unsigned>(port::kAttrArchive);
  EXPECT_EQ(longMachine.Attributes(folder + "\\NEW\\RO.DLL") & ~ignored, 0u);
  EXPECT_EQ(longMachine.Read(folder + "\\FOO.DLL"), "from a subfolder");
  EXPECT_EQ(longMachine.Read(folder + "\\NEW\\表.TXT"), "trail byte 0x5C in the name");
  EXPECT_EQ(longMachine.Read(folder + "\\BIG.DAT"), MemberBytes("BIG.DAT"));
}

}  // namespace
}  // namespace koushin::engine
