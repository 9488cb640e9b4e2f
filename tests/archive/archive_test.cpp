// The extraction end to end, through the POSIX port, on real folders.
#include "archive/archive.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <tuple>

#include "archive/fixtures.h"
#include "journal/journal.h"
#include "port/port.h"
#include "support/temp_folder.h"

namespace koushin::archive {
namespace {

namespace fs = std::filesystem;
using testing::ReadHostFile;
using testing::WriteHostFile;

// A host path (UTF-8, such as a checkout below a Japanese folder) as the port takes paths.
std::string PortPath(const std::string& host) {
  std::string cp932;
  EXPECT_TRUE(port::Utf8ToCp932(host, &cp932)) << host;
  return cp932;
}

class ExtractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ + "/media");
    fs::create_directories(root_ + "/target");
  }

  // Puts a jlha archive on the "media" as `name`.
  void PutArchive(int level, const std::string& method, const std::string& name) {
    fs::copy_file(testing::ArchivePath(level, method), root_ + "/media/" + name);
  }

  // Extracts `archive` (host paths) in a transaction of its own, committed when the extraction
  // succeeds and put back when it fails, as a run does.
  int Run(const std::string& archive, const std::string& target, std::string* message,
          bool overwrite = true, std::function<bool(const MemberInfo&)> filter = {}) {
    ExtractRequest request;
    request.archivePath = PortPath(archive);
    request.targetFolder = PortPath(target);
    request.overwrite = overwrite;
    request.memberFilter = std::move(filter);
    const auto transaction = journal::Transaction::InMemory();
    const ExtractResult result = Extract(request, *transaction);
    EXPECT_LE(result.message.size(), 255u);
    EXPECT_EQ(result.Ok(), result.message.empty()) << result.message;
    if (result.Ok()) {
      EXPECT_TRUE(transaction->Commit());
    } else {
      EXPECT_TRUE(transaction->Restore().Complete());
    }
    *message = result.message;
    return static_cast<int>(result.code);
  }

  // Every file and folder below `folder` with its bytes (a folder's are "/").
  std::map<std::string, std::string> Contents(const std::string& folder) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
      out[fs::relative(e.path(), folder).string()] =
          e.is_directory() ? "/" : ReadHostFile(e.path().string());
    }
    return out;
  }

  koushin::testing::TempFolder folder_;
  const std::string root_ = folder_.Host().string();
};

TEST_F(ExtractTest, ExtractsEveryFileFlatWithItsStoredTime) {
  for (const auto& [level, method] :
       std::vector<std::pair<int, std::string>>{{0, "lh5"}, {1, "lh7"}, {2, "lh6"}, {2, "lh0"}}) {
    SCOPED_TRACE(std::to_string(level) + method);
    fs::remove_all(root_ + "/target");
    fs::create_directories(root_ + "/target");
    fs::remove(root_ + "/media/UPD.lzh");
    PutArchive(level, method, "UPD.lzh");
    std::string message;
    ASSERT_EQ(Run(root_ + "/media/UPD.lzh", root_ + "/target\\", &message), 0) << message;
    EXPECT_EQ(message, "");
    std::map<std::string, std::string> expected;
    for (const auto& f : testing::SourceFiles()) {
      expected[f.utf8Name] = f.bytes;
      // jlha stored the source's time; level 2 keeps it to the second, 0 and 1 to two seconds.
      const auto source = fs::last_write_time(testing::ArchiveFolder() + "/" + f.utf8Name);
      const auto written = fs::last_write_time(root_ + "/target/" + f.utf8Name);
      const auto apart = std::chrono::duration_cast<std::chrono::seconds>(
          source > written ? source - written : written - source);
      EXPECT_LE(apart.count(), 2) << f.utf8Name;
    }
    EXPECT_TRUE(Contents(root_ + "/target") == expected);  // and no temporary file left
  }
}

// "NAME.lzh" finds NAME.LZH whatever its case. Overwriting, every member replaces its file;
// without it a file at least as new as the member stays and an older one is replaced. The target
// folder needs no trailing separator. A member the filter refuses is not written.
TEST_F(ExtractTest, FindsTheArchiveOverwritesOrKeepsWhatIsNewerAndFilters) {
  PutArchive(2, "lh5", "START3.LZH");
  WriteHostFile(root_ + "/target/text.txt", "old contents");
  WriteHostFile(root_ + "/target/keep.dat", "not in the archive");
  std::string message;
  ASSERT_EQ(Run(root_ + "/media/start3.lzh", root_ + "/target", &message), 0) << message;
  EXPECT_TRUE(ReadHostFile(root_ + "/target/text.txt") == testing::SourceFiles()[0].bytes);
  EXPECT_EQ(ReadHostFile(root_ + "/target/keep.dat"), "not in the archive");

  WriteHostFile(root_ + "/target/text.txt", "newer than the member");
  WriteHostFile(root_ + "/target/binary.bin", "older than the member");
  fs::last_write_time(
      root_ + "/target/binary.bin",
      fs::last_write_time(root_ + "/target/binary.bin") - std::chrono::hours(24 * 365 * 30));
  ASSERT_EQ(Run(root_ + "/media/START3.lzh", root_ + "/target\\", &message, false), 0) << message;
  EXPECT_EQ(ReadHostFile(root_ + "/target/text.txt"), "newer than the member");
  EXPECT_TRUE(ReadHostFile(root_ + "/target/binary.bin") == testing::SourceFiles()[1].bytes);
  EXPECT_EQ(Contents(root_ + "/target").size(), testing::SourceFiles().size() + 1);

  const std::string& wanted = testing::SourceFiles()[1].cp932Name;
  fs::create_directories(root_ + "/only");
  ASSERT_EQ(Run(root_ + "/media/START3.lzh", root_ + "/only", &message, true,
                [&](const MemberInfo& m) { return m.name == wanted; }),
            0)
      << message;
  const auto only = Contents(root_ + "/only");
  ASSERT_EQ(only.size(), 1u);
  EXPECT_TRUE(only.begin()->second == testing::SourceFiles()[1].bytes);
}

// A failing extraction changes nothing in the target folder and names in its message the archive
// or member at fault, in code page 932 and cut to 255 bytes where its folder is deep.
TEST_F(ExtractTest, FailuresChangeNothingAndNameTheCulprit) {
  std::string deep = root_ + "/media";
  for (int i = 0; i < 6; ++i) deep += "/" + std::string(40, static_cast<char>('a' + i));
  fs::create_directories(deep);
  std::string broken = ReadHostFile(testing::ArchivePath(1, "lh5"));
  broken[broken.size() - 30] ^= 0x21;  // the last member's data ("UPPER.TXT")
  WriteHostFile(deep + "/BROKEN.lzh", broken);
  WriteHostFile(root_ + "/media/SHORT.lzh",
                ReadHostFile(testing::ArchivePath(2, "lh7")).substr(0, 20000));
  PutArchive(1, "lh6", "UPD.lzh");
  PutArchive(0, "lh5", "UPD0.lzh");
  PutArchive(1, "lh2", "LH2.lzh");
  PutArchive(1, "lh3", "LH3.lzh");
  for (const char* method : {"-pm0-", "-pm2-"}) {
    WriteHostFile(root_ + "/media/" + std::string(method + 1, 3) + ".lzh",
                  testing::RawArchive({{"LICENSE.MIT", "Permission is hereby granted", method}}));
  }
  const std::string upper = root_ + "/target/UPPER.TXT";
  // What, the archive, what to prepare, the names the message must hold.
  const std::tuple<const char*, std::string, std::function<void()>, std::vector<std::string>>
      cases[] = {
          // Not overwritten, as the platform's copy would not overwrite it.
          {"read-only file in a member's place",
           root_ + "/media/UPD.lzh",
           [&] {
             WriteHostFile(upper, "read-only contents");
             fs::permissions(upper, fs::perms::owner_write, fs::perm_options::remove);
           },
           {"UPPER.TXT"}},
          {"folder in a member's place",
           root_ + "/media/UPD.lzh",
           [&] { fs::create_directories(upper); },
           {"UPPER.TXT"}},
          {"corrupt last member", deep + "/BROKEN.lzh", nullptr, {"BROKEN.lzh", "UPPER.TXT"}},
          {"cut short inside the second member", root_ + "/media/SHORT.lzh", nullptr, {}},
          {"-lh2-", root_ + "/media/LH2.lzh", nullptr, {"text.txt", "-lh2-"}},
          {"-lh3-", root_ + "/media/LH3.lzh", nullptr, {"text.txt", "-lh3-"}},
          {"-pm0-", root_ + "/media/pm0.lzh", nullptr, {"LICENSE.MIT", "-pm0-"}},
          {"-pm2-", root_ + "/media/pm2.lzh", nullptr, {"LICENSE.MIT", "-pm2-"}},
          {"no archive", root_ + "/media/NOSUCH.lzh", nullptr, {"NOSUCH.lzh"}},
          // An immutable file (Linux, as root) can be neither renamed away nor replaced: the last
          // member fails after four others were put in place, and those four are undone.
          {"file that cannot be replaced",
           root_ + "/media/UPD0.lzh",
           [&] {
             WriteHostFile(upper, "locked");
             ASSERT_EQ(std::system(("chattr +i '" + upper + "'").c_str()), 0)
                 << "needs a file system where root can make a file immutable";
           },
           {"UPPER.TXT"}},
      };
  for (const auto& [what, archive, prepare, named] : cases) {
    SCOPED_TRACE(what);
    fs::remove_all(root_ + "/target");
    fs::create_directories(root_ + "/target");
    WriteHostFile(root_ + "/target/text.txt", "old contents");
    if (prepare) prepare();
    const auto before = Contents(root_ + "/target");
    std::string message, utf8;
    EXPECT_NE(Run(archive, root_ + "/target\\", &message), 0);
    EXPECT_EQ(Contents(root_ + "/target"), before);
    for (const auto& name : named) EXPECT_NE(message.find(name), std::string::npos) << message;
    EXPECT_TRUE(port::Cp932ToUtf8(message, &utf8)) << "message is not code page 932";
  }
  std::system(("chattr -i '" + upper + "' 2>/dev/null").c_str());
}

TEST_F(ExtractTest, RefusesAMissingTargetFolder) {
  std::string message;
  PutArchive(2, "lh5", "UPD.lzh");
  EXPECT_EQ(Run(root_ + "/media/UPD.lzh", root_ + "/missing\\", &message),
            static_cast<int>(ExtractCode::kArchiveNotFound));
  EXPECT_NE(message.find("missing"), std::string::npos) << message;
  EXPECT_TRUE(Contents(root_ + "/target").empty());
}

// Hostile and odd archives: whatever they hold lands flat inside the target folder or not at all,
// with no link made, no temporary file left, and no escape in the message.
TEST_F(ExtractTest, HostileArchivesStayInsideTheTargetFolder) {
  using testing::RawMember;
  const std::uint16_t kLink = 0xA1FF, kFolder = 0x41ED;
  std::vector<RawMember> many;
  for (int i = 0; i < 300; ++i) many.push_back({"file" + std::to_string(i) + ".txt", "x"});
  const std::string cut = ReadHostFile(testing::ArchivePath(1, "lh5")).substr(0, 3000);
  const int kDamaged = static_cast<int>(ExtractCode::kArchiveDamaged);
  const int kRefused = static_cast<int>(ExtractCode::kMemberRefused);
  // What, the archive, the extraction's result, the files in the target folder afterwards.
  const std::tuple<const char*, std::string, int, std::size_t> cases[] = {
      {"absolute path", testing::RawArchive({{"abs.txt", "absolute", "-lh0-", 1, "\xFFtmp\xFF"}}),
       0, 1},
      {"absolute level-0 path", testing::RawArchive({{"\\tmp\\abs0.txt", "absolute", "-lh0-", 0}}),
       0, 1},
      {"climbing out",
       testing::RawArchive({{"evil1.txt", "bad", "-lh0-", 1, "..\xFF"},
                            {"evil2.txt", "bad", "-lh0-", 1, "a\xFF..\xFF..\xFF"}}),
       0, 2},
      {"link to a sibling, then a file through it",
       testing::RawArchive({{"foo.txt|bar.txt", "", "-lhd-", 1, "", kLink}, {"foo.txt", "hello"}}),
       kRefused, 0},
      {"level-0 link, then a file through it",
       testing::RawArchive(
           {{"foo.txt|bar.txt", "", "-lhd-", 0, "", kLink}, {"foo.txt", "hi", "-lh0-", 0}}),
       kRefused, 0},
      {"link climbing out",
       testing::RawArchive({{"etc|../../etc", "", "-lhd-", 1, "", kLink},
                            {"passwd", "bad", "-lh0-", 1, "etc\xFF"}}),
       kRefused, 0},
      {"absolute link",
       testing::RawArchive(
           {{"etc|/tmp", "", "-lhd-", 1, "", kLink}, {"passwd", "bad", "-lh0-", 1, "etc\xFF"}}),
       kRefused, 0},
      {"-lh5- cut short", cut, kDamaged, 0},
      {"terminal escape in a name", testing::RawArchive({{"\x1B]2;malicious\x07\n", "", "-lh1-"}}),
       kRefused, 0},
      {"'/' in a level-0 name", testing::RawArchive({{"SUB/SUB2/HELLO.TXT", "hello", "-lh0-", 0}}),
       0, 1},
      {"an empty extension in a level-2 header",
       testing::RawArchive({{"EXT.TXT", "data", "-lh0-", 2}}), 0, 1},
      {"a lone folder", testing::RawArchive({{"", "", "-lhd-", 1, "dir\xFF", kFolder}}), 0, 0},
      {"many members", testing::RawArchive(many), 0, many.size()},
  };
  for (const auto& [what, archive, result, wantedFiles] : cases) {
    SCOPED_TRACE(what);
    const std::string sandbox = root_ + "/sandbox";
    fs::remove_all(sandbox);
    fs::create_directories(sandbox + "/target");
    WriteHostFile(sandbox + "/HOSTILE.lzh", archive);
    std::string message;
    EXPECT_EQ(Run(sandbox + "/HOSTILE.lzh", sandbox + "/target\\", &message), result) << message;
    std::size_t files = 0;
    for (const auto& e : fs::recursive_directory_iterator(sandbox)) {
      EXPECT_FALSE(fs::is_symlink(e.symlink_status())) << e.path();
      const std::string rel = fs::relative(e.path(), sandbox).string();
      EXPECT_TRUE(rel == "HOSTILE.lzh" || rel == "target" ||
                  (rel.rfind("target/", 0) == 0 && rel.find('/', 7) == std::string::npos &&
                   rel.find("~kz") == std::string::npos))
          << rel;
      files += e.is_regular_file() && rel != "HOSTILE.lzh";
    }
    EXPECT_EQ(files, wantedFiles);
    EXPECT_EQ(message.find('\x1B'), std::string::npos);
  }
}

TEST_F(ExtractTest, CheckArchiveAndProgress) {
  std::vector<MemberInfo> members;
  std::map<std::string, std::uint64_t> lastDone;
  const ProgressCallback progress = [&](const std::string& member, std::uint64_t done,
                                        std::uint64_t total) {
    EXPECT_LE(done, total);
    lastDone[member] = done;
  };
  std::string message;
  PutArchive(2, "lh7", "CHECK.lzh");
  EXPECT_TRUE(CheckArchive(
      PortPath(root_ + "/media/CHECK.lzh"), [&](const MemberInfo& m) { members.push_back(m); },
      &message, progress))
      << message;
  EXPECT_EQ(Contents(root_ + "/media").size(), 1u) << "a check leaves nothing beside the archive";
  const auto& files = testing::SourceFiles();
  ASSERT_EQ(members.size(), files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(members[i].name, files[i].cp932Name);
    EXPECT_EQ(members[i].size, files[i].bytes.size());
    EXPECT_EQ(lastDone[files[i].cp932Name], files[i].bytes.size());
  }

  std::string bytes = ReadHostFile(testing::ArchivePath(2, "lh7"));
  bytes[bytes.size() - 30] ^= 0x21;
  WriteHostFile(root_ + "/media/BAD.lzh", bytes);
  EXPECT_FALSE(CheckArchive(PortPath(root_ + "/media/BAD.lzh"), nullptr, &message));
  EXPECT_NE(message.find("UPPER.TXT"), std::string::npos);
}

}  // namespace
}  // namespace koushin::archive
