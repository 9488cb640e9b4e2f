// The material master conversions: the record rules on bytes, and whole conversions on real
// master folders.
#include "engine/master_conversion.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "engine_fixture.h"
#include "port/port.h"

namespace koushin::engine {
namespace {

using namespace testing;

// A record of `length` bytes starting with item and sub code; byte 66 is '#', the rest '.'.
std::string Record(const std::string& codes, std::size_t length) {
  std::string record = codes;
  record.resize(length, '.');
  if (length > 66) record[66] = '#';
  return record;
}

std::string Without66(const std::string& record) {
  return record.substr(0, 66) + record.substr(67);
}

TEST(ConvertMasterText, SizeAndTypeRules) {
  const MasterRule size = MasterRule::kSize, type = MasterRule::kType;
  const std::string r186 = Record("400400000107", 186);
  const std::string r190 = Record("400400000111", 190);
  const std::string r185 = Record("400400000107", 185);
  const std::string r66 = Record("400400000107", 66), r67 = Record("400400000107", 67);
  const std::string sub108 = Record("400400000108", 186), item01 = Record("400401000107", 186);
  const std::string shortLines = "4004\r\n400400\r\n40040000010\r\n";
  struct Case {
    const char* why;
    MasterRule rule;
    std::string in, out;
    int changed;
  };
  // clang-format off
  const Case cases[] = {
      {"186 bytes lose byte 66", size, r186 + "\r\n", Without66(r186) + "\r\n", 1},
      {"190 bytes lose byte 66", size, r190 + "\r\n", Without66(r190) + "\r\n", 1},
      {"190 becomes 189, then 188", size, Without66(r190) + "\r\n", Without66(Without66(r190)) + "\r\n", 1},
      {"185 bytes stay", size, r185 + "\r\n", r185 + "\r\n", 0},
      {"66 bytes stay", size, r66 + "\r\n", r66 + "\r\n", 0},
      {"67 bytes lose the last", size, r67 + "\r\n", r66 + "\r\n", 1},
      {"other sub code", size, sub108 + "\r\n", sub108 + "\r\n", 0},
      {"other item code", size, item01 + "\r\n", item01 + "\r\n", 0},
      {"short lines", size, shortLines, shortLines, 0},
      {"LF and CR LF mixed, no end", size, r186 + "\n" + r186 + "\r\n" + r185,
       Without66(r186) + "\r\n" + Without66(r186) + "\r\n" + r185 + "\r\n", 2},
      {"empty lines kept", size, "\r\n\n" + r185 + "\r\n\r\n", "\r\n\r\n" + r185 + "\r\n\r\n", 0},
      {"byte 26 is data", size, "a\x1a" "b\r\n\x1a\r\n" + r186 + "\r\n", "a\x1a" "b\r\n\x1a\r\n" + Without66(r186) + "\r\n", 1},
      {"lone CR is data", size, "a\rb\r\n", "a\rb\r\n", 0},
      {"empty file", size, "", "", 0},
      {"A becomes Z", type, "0123456789012A tail\r\n", "0123456789012Z tail\r\n", 1},
      {"B becomes Z", type, "0123456789012B\r\n", "0123456789012Z\r\n", 1},
      {"lower case, C and Z stay", type, "0123456789012a\n0123456789012C\n0123456789012Z",
       "0123456789012a\r\n0123456789012C\r\n0123456789012Z\r\n", 0},
      {"13 bytes stay", type, "0123456789012\r\n", "0123456789012\r\n", 0},
      {"A elsewhere stays", type, "A123456789012x\r\n", "A123456789012x\r\n", 0},
      {"byte 26 before the flag", type, "0123\x1a" "56789012A\x1a\r\n", "0123\x1a" "56789012Z\x1a\r\n", 1},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    int changed = -1;
    EXPECT_EQ(ConvertMasterText(c.in, c.rule, &changed), c.out);
    EXPECT_EQ(changed, c.changed);
    if (c.rule == type) {
      EXPECT_EQ(ConvertMasterText(c.out, type, &changed), c.out);
      EXPECT_EQ(changed, 0);
    }
  }
}

// A conversion as a run has it: committed when it succeeds, put back when it fails.
int Convert(int (*conversion)(const std::string&, journal::Transaction&, const ConversionOptions&),
            const std::string& setup, const ConversionOptions& options = {}) {
  const auto transaction = journal::Transaction::InMemory();
  const int result = conversion(setup, *transaction, options);
  if (result == 1) {
    EXPECT_TRUE(transaction->Commit());
  } else {
    EXPECT_TRUE(transaction->Restore().Complete());
  }
  return result;
}

class MasterFolderTest : public ::testing::Test {
 protected:
  void SetUp() override { machine.Write(kSetup, Sj("[DIR]\r\nMASTER=" + W("C:\\M\\") + "\r\n")); }

  static constexpr char kSetup[] = "C:\\EST\\tamiro1.ini";
  Machine machine;
};

TEST_F(MasterFolderTest, ConvertsBothSubfoldersInPlace) {
  ScriptedOperator op;
  ConversionOptions options;
  options.op = &op;
  EXPECT_EQ(Convert(MaterialTypeConversion, SW(kSetup), options), 1);  // no master folder at all
  const std::string before = "0123456789012A\r\n\x1a\n0123456789012B";
  machine.Write("C:\\M\\1\\zai001-3.mst", before);
  machine.Write("C:\\M\\1\\ZAI002-3.MST", before);
  machine.Write("C:\\M\\21\\zai100-3.mst", before);
  machine.Write("C:\\M\\1\\zai01-3.mst", before);    // too short a name: not a master file
  machine.Write("C:\\M\\1\\zai0001-3.mst", before);  // too long a name
  machine.MakeFolders("C:\\M\\1\\zai003-3.mst");     // a folder, not a master file
  EXPECT_EQ(Convert(MaterialTypeConversion, SW(kSetup), options), 1);
  const std::string after = "0123456789012Z\r\n\x1a\r\n0123456789012Z\r\n";
  EXPECT_EQ(machine.Read("C:\\M\\1\\zai001-3.mst"), after);
  EXPECT_EQ(machine.Read("C:\\M\\1\\ZAI002-3.MST"), after);
  EXPECT_EQ(machine.Read("C:\\M\\21\\zai100-3.mst"), after);
  EXPECT_EQ(machine.Read("C:\\M\\1\\zai01-3.mst"), before);
  EXPECT_EQ(machine.Read("C:\\M\\1\\zai0001-3.mst"), before);
  EXPECT_FALSE(port::PathExists(SW("C:\\M\\1\\temp.mst")));
  EXPECT_FALSE(port::PathExists(SW("C:\\M\\21\\temp.mst")));
  EXPECT_EQ(op.LogText().find("further master files"), std::string::npos);  // none left out
  // Nothing left to change on a second run: the files are not even rewritten.
  const std::string snapshot = machine.Snapshot();
  EXPECT_EQ(Convert(MaterialTypeConversion, SW(kSetup), options), 1);
  EXPECT_EQ(machine.Snapshot(), snapshot);
  // A master folder of more than 140 bytes.
  const std::string folder = "C:\\" + std::string(70, 'm') + "\\" + std::string(70, 'n') + "\\";
  machine.Write(kSetup, Sj("[DIR]\r\nMASTER=" + W(folder) + "\r\n"));
  machine.Write(folder + "21\\zai001-3.mst", "0123456789012B\r\n");
  EXPECT_EQ(Convert(MaterialTypeConversion, SW(kSetup)), 1);
  EXPECT_EQ(machine.Read(folder + "21\\zai001-3.mst"), "0123456789012Z\r\n");
}

TEST_F(MasterFolderTest, FailuresLeaveTheMasterFileAsItWas) {
  const std::string record = "400400000107" + std::string(180, 'x') + "\r\n";
  struct Case {
    const char* why;
    bool readOnly;
    long fault;  // the file operation that fails
  };
  const Case cases[] = {
      {"the temporary file cannot be created", false, 1},
      {"the replacement fails", false, 3},
      {"read-only master file", true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    machine.Write("C:\\M\\1\\zai001-3.mst", record);
    machine.Write("C:\\M\\21\\zai001-3.mst", record);
    if (c.readOnly) machine.SetAttributes("C:\\M\\1\\zai001-3.mst", 0x01);
    port::SetInjectedFaults(c.fault);
    EXPECT_EQ(Convert(MaterialSizeConversion, SW(kSetup)), 0);
    port::SetInjectedFaults(0);
    EXPECT_EQ(machine.Read("C:\\M\\1\\zai001-3.mst"), record);
    EXPECT_EQ(machine.Read("C:\\M\\21\\zai001-3.mst"), record);  // "21\" is not visited
  }
}

// A conversion in a transaction of its own: every file operation of the conversion and of the
// commit fails in turn, and the master file is either old or converted, with nothing of ours
// left beside it (the old file's second name included: a commit that cannot remove it is put
// back).
TEST_F(MasterFolderTest, AFaultAtEveryOperationLeavesOldOrNewAndNothingBeside) {
  const std::string record = "0123456789012A\r\n";
  const auto convertAlone = [&] {
    const auto transaction = journal::Transaction::InMemory();
    if (MaterialTypeConversion(SW(kSetup), *transaction, {}) == 1 && transaction->Commit()) {
      return 1;
    }
    transaction->Restore();
    return 0;
  };
  port::SetInjectedFaults(0);
  machine.Write("C:\\M\\1\\zai001-3.mst", record);
  ASSERT_EQ(convertAlone(), 1);
  const long operations = port::ChangingOperationCount();
  ASSERT_GT(operations, 5);
  for (long n = 1; n <= operations; ++n) {
    SCOPED_TRACE("fault at operation " + std::to_string(n));
    machine.Write("C:\\M\\1\\zai001-3.mst", record);
    port::SetInjectedFaults(n);
    const int result = convertAlone();
    port::SetInjectedFaults(0);
    EXPECT_EQ(machine.Read("C:\\M\\1\\zai001-3.mst"), result == 1 ? "0123456789012Z\r\n" : record);
    std::vector<std::string> names;
    for (const auto& entry :
         std::filesystem::directory_iterator(machine.HostDrive('c') / "M" / "1")) {
      names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"zai001-3.mst"});
  }
}

TEST_F(MasterFolderTest, AtMostAThousandFilesPerFolder) {
  machine.MakeFolders("C:\\M\\1");
  for (int i = 0; i < 1001; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "zai%03X-3.mst", i);
    std::ofstream(machine.HostDrive('c') / "M" / "1" / name, std::ios::binary) << "0123456789012A";
  }
  std::vector<std::string> table = {"stale.mst"};  // the list starts afresh
  int leftOut = 0;
  EXPECT_EQ(ListMasterFiles(table, SW("C:\\M\\1\\zai\?\?\?-3.mst"), &leftOut), 1000);
  EXPECT_EQ(leftOut, 1);
  EXPECT_EQ(table.size(), 1000u);
  ScriptedOperator op;
  ConversionOptions options;
  options.op = &op;
  EXPECT_EQ(Convert(MaterialTypeConversion, SW(kSetup), options), 1);
  int changed = 0;
  for (const std::string& line : op.log)
    changed += line.find(": 1 record changed") != std::string::npos;
  EXPECT_EQ(changed, 1000);
  EXPECT_NE(op.LogText().find("1 further master files in " + W("C:\\M\\1\\")), std::string::npos);
}

}  // namespace
}  // namespace koushin::engine
