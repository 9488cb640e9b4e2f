// The settings written after the update, on real INI files.
#include "engine/post_update_settings.h"

#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "port/port.h"

namespace koushin::engine {
namespace {

using namespace testing;

constexpr char kIni[] = "C:\\EST\\tamiro1.ini";

// The phase as a run has it: its changes stand once committed and are put back on failure.
int RunSettings(description::UpdateDescription& record, ScriptedOperator& op) {
  RunContext context{record, SW("D:\\MEDIA\\"), op, false};
  const auto transaction = journal::Transaction::InMemory();
  const int result = WritePostUpdateSettings(context, *transaction, SW("C:\\EST\\"));
  if (result == 1) {
    EXPECT_TRUE(transaction->Commit());
  } else {
    EXPECT_TRUE(transaction->Restore().Complete());
  }
  return result;
}

TEST(WritePostUpdateSettings, WritesTheKeysInOrder) {
  Machine machine;
  machine.Write(kIni, Sj("[SYSTEM]\r\nTITLE=見積 8.0S\r\n"));
  machine.SetAttributes(kIni, port::kAttrHidden);  // kept by the file that replaces it
  description::UpdateDescription record = MakeRecord("C:\\EST", {}, "9.1");
  record.categoryCode = "6";
  ScriptedOperator op;
  EXPECT_EQ(RunSettings(record, op), 1);
  EXPECT_TRUE(op.Texts().empty());  // the final message is the run's, after its commit
  EXPECT_EQ(Utf8(machine.Read(kIni)),
            "[SYSTEM]\r\nTITLE=見積 9.1\r\nGENGOU=令和\r\n種別電気=1\r\n種別設備=1\r\n");
  if (kOwnDrives) {  // Wine keeps no attribute byte of its own
    EXPECT_EQ(machine.Attributes(kIni), port::kAttrHidden);
  }
  EXPECT_EQ(Utf8(machine.Read("C:\\EST\\kov3.ini")),
            "[HISTORY]\r\n抽出開始日ON=1\r\n抽出終了日ON=1\r\n");
  // The order of the writes themselves.
  std::vector<std::string> writes;
  for (const std::string& line : op.log) {
    if (line.rfind("wrote ", 0) == 0) writes.push_back(Utf8(line.substr(6, line.find(" in ") - 6)));
  }
  EXPECT_EQ(writes,
            (std::vector<std::string>{"[SYSTEM] GENGOU=令和", "[SYSTEM] TITLE=見積 9.1",
                                      "[HISTORY] 抽出開始日ON=1", "[HISTORY] 抽出終了日ON=1",
                                      "[SYSTEM] 種別電気=1", "[SYSTEM] 種別設備=1"}));
}

// The category code sets its flags; the new version replaces each "8.0S" in TITLE.
TEST(WritePostUpdateSettings, CategoryFlagsAndTitle) {
  const std::string g = "GENGOU=令和\r\n";
  const std::string longTitle = std::string(150, 't') + " 8.0S " + std::string(30, 'u');
  struct Case {
    std::string code, title, version;
    std::string expected;  // the INI file afterwards, after "[SYSTEM]"
  };
  // clang-format off
  const Case cases[] = {
      {"1", "", "", g + "種別電気=1\r\n"}, {"2", "", "", g + "種別水道=1\r\n"},
      {"3", "", "", g + "種別設備=1\r\n"}, {"4", "", "", g + "種別建築=1\r\n"},
      {" 5", "", "", g + "種別水道=1\r\n種別設備=1\r\n"},
      {"6x", "", "", g + "種別電気=1\r\n種別設備=1\r\n"},
      {"7", "", "", g}, {"0", "", "", g}, {"", "", "", g}, {"-1", "", "", g}, {"abc", "", "", g},
      {"0", "EST 8.0S", "", "TITLE=EST 8.0S\r\n" + g},  // no version: title untouched
      {"0", "", "9.1", g + "TITLE=\r\n"},                 // no TITLE: written empty
      {"0", "EST 7", "9.1", "TITLE=EST 7\r\n" + g},
      {"0", "8.0S/8.0S", "9.1", "TITLE=9.1/9.1\r\n" + g},
      {"0", "a 8.0S b 8.0S", "8.0S Plus", "TITLE=a 8.0S Plus b 8.0S Plus\r\n" + g},
      {"0", longTitle, "10.25",
       "TITLE=" + std::string(150, 't') + " 10.25 " + std::string(30, 'u') + "\r\n" + g},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE("code " + c.code + ", title " + c.title);
    Machine machine;
    machine.Write(kIni, Sj("[SYSTEM]\r\n" + (c.title.empty() ? "" : "TITLE=" + c.title + "\r\n")));
    description::UpdateDescription record = MakeRecord("C:\\EST", {}, c.version);
    record.categoryCode = c.code;
    ScriptedOperator op;
    RunSettings(record, op);
    EXPECT_EQ(Utf8(machine.Read(kIni)), "[SYSTEM]\r\n" + c.expected);
  }
}

// A failed conversion stops the phase with its message (the run then puts everything back), and
// so does a setting that cannot be written, never with the success message. The conversion's
// temporary file is a new one of its own: a link named "temp.mst" in a master folder, pointing
// anywhere, is never written through (a link made on the host, natively).
TEST(WritePostUpdateSettings, MasterConversionsRunAndAFailureStops) {
  constexpr char kMaster[] = "C:\\M\\1\\zai001-3.mst";
  struct Case {
    const char* why;
    const char* adjust;
    const char* readOnly;  // the file made read-only, if any
    int result;
    std::vector<std::string> texts;
  };
  const Case cases[] = {
      {"no conversions", "0", kMaster, 1, {}},
      {"both succeed", "1", nullptr, 1, {}},
      {"the first fails", "1", kMaster, 0, {"材料ｻｲｽﾞ変換が正常に更新されませんでした。"}},
      {"the INI file is read-only", "0", kIni, 0, {W(kIni) + "の更新に失敗しました。"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    // Natively only: Wine run by root writes read-only files.
    if (c.readOnly == kIni && !kOwnDrives) continue;
    Machine machine;
    const std::string ini = Sj("[DIR]\r\nMASTER=" + W("C:\\M\\") + "\r\n");
    machine.Write(kIni, ini);
    const std::string master = "400400000107" + std::string(180, 'x') + "\r\n1234567890123A\r\n";
    machine.Write(kMaster, master);
    if (c.readOnly != nullptr) machine.SetAttributes(c.readOnly, port::kAttrReadOnly);
    machine.Write("C:\\OUTSIDE.TXT", "not ours");
    if (kOwnDrives) {
      std::filesystem::create_symlink(machine.HostDrive('c') / "OUTSIDE.TXT",
                                      machine.HostDrive('c') / "M" / "1" / "temp.mst");
    }
    description::UpdateDescription record = MakeRecord("C:\\EST", {});
    record.masterAdjust = c.adjust;
    ScriptedOperator op;
    EXPECT_EQ(RunSettings(record, op), c.result);
    EXPECT_EQ(op.Texts(), c.texts);
    EXPECT_EQ(machine.Read(kMaster),
              c.readOnly == nullptr
                  ? "400400000107" + std::string(179, 'x') + "\r\n1234567890123Z\r\n"
                  : master);
    if (c.readOnly == kIni) {
      EXPECT_EQ(machine.Read(kIni), ini);
    }
    EXPECT_EQ(machine.Read("C:\\OUTSIDE.TXT"), "not ours");
    EXPECT_EQ(op.maxWaitDepth, std::string(c.adjust) == "1" ? 1 : 0);
    EXPECT_EQ(op.waitDepth, 0);
  }
}

}  // namespace
}  // namespace koushin::engine
