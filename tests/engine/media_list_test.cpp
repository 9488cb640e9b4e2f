// A floppy set checked against each disk's file list and signature when the run first uses the
// disk: a refused first disk changes nothing, a refused later disk has everything put back.
// Signing needs the Linux port, so this runs in the native suite.
#include "engine/media_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "engine/update_run.h"
#include "engine_fixture.h"
#include "port/port.h"
#include "support/require.h"
#include "support/temp_folder.h"

namespace koushin::engine {
namespace {

using namespace testing;

using Disk = std::map<std::string, std::string>;  // name -> bytes

struct Key {
  std::string privatePem, publicPem;
};

Key MakeKey(const std::filesystem::path& folder, const std::string& name) {
  std::string problem;
  const std::string base = (folder / name).string();
  EXPECT_TRUE(port::MakeSigningKey(base + ".key", base + ".pub", &problem)) << problem;
  return {HostBytes(base + ".key"), HostBytes(base + ".pub")};
}

// The disk with its list (and, with a key, its signature), as koushin-pack writes them.
Disk WithList(Disk disk, const Key* key) {
  std::string list;
  for (const auto& [name, bytes] : disk) {
    port::Sha256 sha;
    sha.Update(bytes.data(), bytes.size());
    port::Sha256Digest digest{};
    EXPECT_TRUE(sha.Finish(&digest));
    list += FileListLine(port::HexDigest(digest), name);
  }
  disk[kFileListName] = list;
  if (key != nullptr) {
    std::string signature, problem;
    EXPECT_TRUE(port::SignMessage(key->privatePem, list, &signature, &problem)) << problem;
    disk[kSignatureName] = signature;
  }
  return disk;
}

TEST(MediaListRun, EachDiskIsCheckedWhenFirstUsed) {
  KOUSHIN_REQUIRE(!ArchiveBytes("prog").empty(), "the archives jlha makes (Java)");
  const koushin::testing::TempFolder keys;
  const Key vendor = MakeKey(keys.Host(), "vendor");
  const Key other = MakeKey(keys.Host(), "other");
  const Disk one = {{"A1.TXT", "disk one"}, {"PROG.lzh", ArchiveBytes("prog")}};
  const Disk two = {{"B2.TXT", "disk two"}};
  auto damaged = [](Disk disk, const std::string& name) {
    disk[name] += "!";
    return disk;
  };
  auto rewritten =
      [&damaged](Disk disk) {  // the list made anew for a changed file, without the key
        Disk changed = WithList(damaged(disk, "A1.TXT"), nullptr);
        changed[kSignatureName] = disk[kSignatureName];
        return changed;
      };
  const std::string prompt = "2 枚目のｱｯﾌﾟﾃﾞｲﾄFDをｾｯﾄしてください。";
  struct Case {
    const char* why;
    Disk first, second;
    const Key* trusted;  // by the installation's .koushin\trusted\ folder
    bool onCommandLine;  // the key given to the run instead (the console's --trusted-key)
    RunOutcome outcome;
    std::vector<std::string> texts;
  };
  const std::string unsigned1 =
      "1 枚目の更新ディスクには署名がありません。信頼された鍵で署名された更新ディスクが必要です。";
  const auto untrusted = [](const char* disk) {
    return std::string(disk) +
           " 枚目の更新ディスクの署名は信頼された鍵のものではないか、ファイル一覧が書き換えられてい"
           "ます。";
  };
  const auto U = [](const Disk& disk) { return WithList(disk, nullptr); };
  const auto S = [](const Disk& disk, const Key& key) { return WithList(disk, &key); };
  const RunOutcome kOk = RunOutcome::kUpdated, kRefused = RunOutcome::kMediaRefused;
  // clang-format off
  const Case cases[] = {
      {"no lists: as before", one, two, nullptr, false, kOk, {prompt, kDone}},
      {"lists, unsigned", U(one), U(two), nullptr, false, kOk, {prompt, kDone}},
      {"signed, trusted by the installation", S(one, vendor), S(two, vendor), &vendor, false, kOk, {prompt, kDone}},
      {"signed, trusted on the command line", S(one, vendor), S(two, vendor), &vendor, true, kOk, {prompt, kDone}},
      {"first disk damaged", damaged(U(one), "PROG.lzh"), U(two), nullptr, false, kRefused,
       {"更新ディスクのファイル PROG.lzh が壊れています。"}},
      {"later disk damaged: put back", U(one), damaged(U(two), "B2.TXT"), nullptr, false, kRefused,
       {prompt, "更新ディスクのファイル B2.TXT が壊れています。", kRestored}},
      {"first disk unsigned", U(one), S(two, vendor), &vendor, false, kRefused, {unsigned1}},
      {"first disk's list rewritten", rewritten(S(one, vendor)), S(two, vendor), &vendor, false, kRefused, {untrusted("1")}},
      {"later disk signed by another key: put back", S(one, vendor), S(two, other), &vendor, true, kRefused,
       {prompt, untrusted("2"), kRestored}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    Machine machine;
    machine.MakeInstallation("C:\\EST", "EST 8.0S");
    const std::string before = machine.Snapshot("C:\\EST", false, false);
    auto insert = [&](const Disk& disk) {
      std::filesystem::remove_all(machine.HostDrive('a'));
      std::filesystem::create_directory(machine.HostDrive('a'));
      for (const auto& [name, bytes] : disk) machine.Write("A:\\" + name, bytes);
    };
    insert(c.first);
    if (c.trusted != nullptr && !c.onCommandLine) {
      machine.Write("C:\\EST\\.koushin\\trusted\\vendor.pub", c.trusted->publicPem);
    }
    ScriptedOperator op;
    op.answers.assign(4, Answer::kOk);
    op.onMessage = [&](const Shown& shown) {
      if (shown.buttons == Buttons::kOkCancel) insert(c.second);
    };
    description::UpdateDescription record =
        MakeRecord("C:\\EST", {{1, 0, "A1.TXT", ""}, {1, 1, "PROG", ""}, {2, 0, "B2.TXT", ""}});
    RunContext context{record, SW("A:\\"), op};
    if (c.onCommandLine) context.trustedKeys.push_back({"vendor.pub", c.trusted->publicPem});
    EXPECT_EQ(UpdateRun(context), kRunClose);
    EXPECT_EQ(context.outcome, c.outcome) << op.LogText();
    EXPECT_EQ(op.Texts(), c.texts);
    if (c.outcome == RunOutcome::kUpdated) {
      EXPECT_EQ(machine.Read("C:\\EST\\B2.TXT"), "disk two");
    } else {
      EXPECT_EQ(machine.Snapshot("C:\\EST", false, false), before);
    }
  }
}

}  // namespace
}  // namespace koushin::engine
