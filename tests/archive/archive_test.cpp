// The extraction end to end, through the POSIX port, on real folders.
#include "archive/archive.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <vector>

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

// jlha's archives of every header level and method: the check lists every member with its
// method and size and hears its progress to the end, and leaves nothing beside the archive; the
// extraction writes every file flat, byte for byte, with its stored time, and no temporary file.
TEST_F(ExtractTest, ChecksAndExtractsEveryLevelAndMethod) {
  const auto& files = testing::SourceFiles();
  for (int level = 0; level <= 3; ++level) {
    for (const char* method : testing::kMethods) {
      SCOPED_TRACE(std::to_string(level) + method);
      fs::remove_all(root_ + "/media");
      fs::remove_all(root_ + "/target");
      SetUp();
      PutArchive(level, method, "UPD.lzh");
      std::vector<MemberInfo> members;
      std::map<std::string, std::uint64_t> lastDone;
      std::string message;
      ASSERT_TRUE(CheckArchive(
          PortPath(root_ + "/media/UPD.lzh"), [&](const MemberInfo& m) { members.push_back(m); },
          &message,
          [&](const std::string& member, std::uint64_t done, std::uint64_t total) {
            EXPECT_LE(done, total);
            lastDone[member] = done;
          }))
          << message;
      EXPECT_EQ(Contents(root_ + "/media").size(), 1u);
      ASSERT_EQ(members.size(), files.size());
      bool sawMethod = false;
      for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(members[i].name, files[i].cp932Name);
        EXPECT_EQ(members[i].size, files[i].bytes.size());
        EXPECT_EQ(lastDone[files[i].cp932Name], files[i].bytes.size());
        sawMethod = sawMethod || members[i].method == std::string("-") + method + "-";
      }
      EXPECT_TRUE(sawMethod) << "jlha used another method throughout";

      ASSERT_EQ(Run(root_ + "/media/UPD.lzh", root_ + "/target\\", &message), 0) << message;
      std::map<std::string, std::string> expected;
      for (const auto& f : files) {
        expected[f.utf8Name] = f.bytes;
        // jlha stored the source's time; levels 2 and 3 keep it to the second, 0 and 1 to two.
        const auto source = fs::last_write_time(testing::ArchiveFolder() + "/" + f.utf8Name);
        const auto written = fs::last_write_time(root_ + "/target/" + f.utf8Name);
        const auto apart = std::chrono::duration_cast<std::chrono::seconds>(
            source > written ? source - written : written - source);
        EXPECT_LE(apart.count(), 2) << f.utf8Name;
      }
      EXPECT_TRUE(Contents(root_ + "/target") == expected);
    }
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

// Failing, hostile and odd archives. A failing extraction changes nothing in the target folder
// and names in its message the archive or member at fault, in code page 932, cut to 255 bytes
// where its folder is deep, without a terminal escape. Whatever an archive holds lands flat in
// the target folder or not at all, with no link made and no temporary file left.
TEST_F(ExtractTest, FailuresChangeNothingAndHostileArchivesStayInside) {
  using testing::RawArchive;
  using testing::RawMember;
  const std::uint16_t kLink = 0xA1FF, kFolder = 0x41ED;
  std::string deep = root_ + "/media";
  for (int i = 0; i < 6; ++i) deep += "/" + std::string(40, static_cast<char>('a' + i));
  fs::create_directories(deep);
  std::string broken = ReadHostFile(testing::ArchivePath(1, "lh5"));
  broken[broken.size() - 30] ^= 0x21;  // the last member's data ("UPPER.TXT")
  WriteHostFile(deep + "/BROKEN.lzh", broken);
  std::vector<RawMember> many;
  for (int i = 0; i < 300; ++i) many.push_back({"file" + std::to_string(i) + ".txt", "x"});
  auto jlha = [](int level, const char* method) {
    return ReadHostFile(testing::ArchivePath(level, method));
  };
  const std::string upper = root_ + "/target/UPPER.TXT";
  // The name an extraction's first temporary file gets: this process's prefix and serial 1.
  std::string temporary;
  port::OutputFile file;
  ASSERT_TRUE(journal::Transaction::InMemory()->CreateTemporary("", &file, &temporary));
  file.Close();
  port::RemoveFile(temporary);
  const int kAny = -1, kDamaged = static_cast<int>(ExtractCode::kArchiveDamaged),
            kRefused = static_cast<int>(ExtractCode::kMemberRefused),
            kNotFound = static_cast<int>(ExtractCode::kArchiveNotFound);
  // What each case prepares in the target folder beforehand.
  auto readOnly = [&] {  // not overwritten, as the platform's copy would not overwrite it
    WriteHostFile(upper, "read-only contents");
    fs::permissions(upper, fs::perms::owner_write, fs::perm_options::remove);
  };
  auto folder = [&] { fs::create_directories(upper); };
  auto noTarget = [&] { fs::remove_all(root_ + "/target"); };
  // An immutable file (Linux, as root) can be neither renamed away nor replaced: the last member
  // fails after four others were put in place, and those four are undone.
  auto immutable = [&] {
    WriteHostFile(upper, "locked");
    ASSERT_EQ(std::system(("chattr +i '" + upper + "'").c_str()), 0)
        << "needs a file system where root can make a file immutable";
  };
  struct Case {
    const char* what;
    int result;                           // the code, or kAny failure
    std::size_t files;                    // new files in the target folder afterwards
    std::string archive;                  // the bytes put at media/UPD.lzh; "" for `path` as it is
    std::vector<std::string> named = {};  // what the message must name
    std::function<void()> prepare = nullptr;
    std::string path = "";
  };
  const std::string kPm = "Permission", kLicense = "LICENSE.MIT";
  const Case cases[] = {
      {"read-only file in a member's place", kAny, 0, jlha(1, "lh6"), {"UPPER.TXT"}, readOnly},
      {"folder in a member's place", kAny, 0, jlha(1, "lh6"), {"UPPER.TXT"}, folder},
      {"file that cannot be replaced", kAny, 0, jlha(0, "lh5"), {"UPPER.TXT"}, immutable},
      {"no target folder", kNotFound, 0, jlha(2, "lh5"), {"target"}, noTarget},
      {"no archive", kNotFound, 0, "", {"NOSUCH.lzh"}, nullptr, root_ + "/media/NOSUCH.lzh"},
      {"corrupt last member",
       kDamaged,
       0,
       "",
       {"BROKEN.lzh", "UPPER.TXT"},
       nullptr,
       deep + "/BROKEN.lzh"},
      {"cut short inside the second member", kDamaged, 0, jlha(2, "lh7").substr(0, 20000)},
      {"-lh5- cut short", kDamaged, 0, jlha(1, "lh5").substr(0, 3000)},
      {"-lh2-", kRefused, 0, jlha(1, "lh2"), {"text.txt", "-lh2-"}},
      {"-lh3-", kRefused, 0, jlha(1, "lh3"), {"text.txt", "-lh3-"}},
      {"-pm0-", kRefused, 0, RawArchive({{kLicense, kPm, "-pm0-"}}), {kLicense, "-pm0-"}},
      {"-pm2-", kRefused, 0, RawArchive({{kLicense, kPm, "-pm2-"}}), {kLicense, "-pm2-"}},
      {"named like a temporary file",
       kAny,
       0,
       RawArchive({{"a.txt", "first"}, {temporary, "second"}}),
       {temporary}},
      {"absolute path", 0, 1, RawArchive({{"abs.txt", "absolute", "-lh0-", 1, "\xFFtmp\xFF"}})},
      {"absolute level-0 path", 0, 1, RawArchive({{"\\tmp\\abs0.txt", "absolute", "-lh0-", 0}})},
      {"climbing out", 0, 2,
       RawArchive({{"evil1.txt", "bad", "-lh0-", 1, "..\xFF"},
                   {"evil2.txt", "bad", "-lh0-", 1, "a\xFF..\xFF..\xFF"}})},
      {"link to a sibling, then a file through it", kRefused, 0,
       RawArchive({{"foo.txt|bar.txt", "", "-lhd-", 1, "", kLink}, {"foo.txt", "hello"}})},
      {"level-0 link, then a file through it", kRefused, 0,
       RawArchive({{"foo.txt|bar.txt", "", "-lhd-", 0, "", kLink}, {"foo.txt", "hi", "-lh0-", 0}})},
      {"link climbing out", kRefused, 0,
       RawArchive({{"etc|../../etc", "", "-lhd-", 1, "", kLink},
                   {"passwd", "bad", "-lh0-", 1, "etc\xFF"}})},
      {"absolute link", kRefused, 0,
       RawArchive(
           {{"etc|/tmp", "", "-lhd-", 1, "", kLink}, {"passwd", "bad", "-lh0-", 1, "etc\xFF"}})},
      {"terminal escape in a name", kRefused, 0,
       RawArchive({{"\x1B]2;malicious\x07\n", "", "-lh1-"}})},
      {"'/' in a level-0 name", 0, 1, RawArchive({{"SUB/SUB2/HELLO.TXT", "hello", "-lh0-", 0}})},
      {"an empty extension in a level-2 header", 0, 1, RawArchive({{"EXT.TXT", "x", "-lh0-", 2}})},
      {"a lone folder", 0, 0, RawArchive({{"", "", "-lhd-", 1, "dir\xFF", kFolder}})},
      {"many members", 0, many.size(), RawArchive(many)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(root_ + "/target");
    fs::create_directories(root_ + "/target");
    fs::remove(root_ + "/media/UPD.lzh");
    if (!c.archive.empty()) WriteHostFile(root_ + "/media/UPD.lzh", c.archive);
    WriteHostFile(root_ + "/target/text.txt", "old contents");
    if (c.prepare) c.prepare();
    const bool target = fs::exists(root_ + "/target");
    const auto before = target ? Contents(root_ + "/target") : std::map<std::string, std::string>();
    std::string message, utf8;
    const int result =
        Run(c.path.empty() ? root_ + "/media/UPD.lzh" : c.path, root_ + "/target\\", &message);
    EXPECT_TRUE(c.result == kAny ? result != 0 : result == c.result) << result << " " << message;
    if (result != 0 && target) {
      EXPECT_EQ(Contents(root_ + "/target"), before);
    }
    for (const auto& name : c.named) EXPECT_NE(message.find(name), std::string::npos) << message;
    // The check finds damage as the extraction does, and names the same culprit.
    if (c.result == kDamaged && !c.path.empty()) {
      EXPECT_FALSE(CheckArchive(PortPath(c.path), nullptr, &message));
      for (const auto& name : c.named) EXPECT_NE(message.find(name), std::string::npos) << message;
    }
    EXPECT_TRUE(port::Cp932ToUtf8(message, &utf8)) << "message is not code page 932";
    EXPECT_EQ(message.find('\x1B'), std::string::npos);
    std::size_t files = 0;
    for (const auto& e : fs::recursive_directory_iterator(root_)) {
      EXPECT_FALSE(fs::is_symlink(e.symlink_status())) << e.path();
      const std::string rel = fs::relative(e.path(), root_).string();
      EXPECT_TRUE(rel.rfind("media", 0) == 0 || rel == "target" ||
                  (rel.rfind("target/", 0) == 0 && rel.find('/', 7) == std::string::npos &&
                   rel.find("~kz") == std::string::npos))
          << rel;
      files += e.is_regular_file() && rel.rfind("target/", 0) == 0;
    }
    if (result == 0) {
      EXPECT_EQ(files, before.size() + c.files);
    }
    if (fs::exists(upper)) std::system(("chattr -i '" + upper + "' 2>/dev/null").c_str());
  }
}

}  // namespace
}  // namespace koushin::archive
