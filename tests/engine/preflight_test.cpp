// The checks before the first change, under real conditions: a read-only installed file, a file
// held open by a running child process, a volume too small (a tmpfs mounted into the
// installation), and an entry on a later floppy disk. Under Wine only the read-only case runs:
// the others need the holding program named, a mount, or a removable drive of the test's own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <random>
#include <thread>

#include "engine/update_run.h"
#include "engine_fixture.h"
#include "port/port.h"
#include "support/require.h"

namespace koushin::engine {
namespace {

namespace fs = std::filesystem;
using namespace testing;

// A child process, `sleep`, that holds a file open until it is ended.
struct Holder {
  explicit Holder(const fs::path& file) {
    const fs::path pidFile =
        fs::temp_directory_path() / ("koushin-holder-" + std::to_string(std::random_device()()));
    std::system(
        ("sleep 600 3<'" + file.string() + "' & echo $! >'" + pidFile.string() + "'").c_str());
    process_ = "/proc/" + std::to_string(std::atoi(HostBytes(pidFile).c_str()));
    fs::remove(pidFile);
    // Ready once the shell's child has opened the file and become `sleep`.
    while (fs::exists(process_) && !(fs::exists(process_ / "fd/3") &&
                                     HostBytes(process_ / "cmdline").rfind("sleep", 0) == 0)) {
      std::this_thread::yield();
    }
    EXPECT_TRUE(fs::exists(process_ / "fd/3")) << "the holder did not start";
  }
  ~Holder() { End(); }
  void End() {
    std::system(("kill " + process_.filename().string() + " 2>/dev/null").c_str());
    while (fs::exists(process_ / "fd/3")) std::this_thread::yield();
  }
  fs::path process_;
};

// A tmpfs of 2 MiB mounted on a host folder for as long as it lives.
struct SmallVolume {
  explicit SmallVolume(const fs::path& host) : folder(host) {
    fs::create_directories(folder);
    mounted =
        std::system(("mount -t tmpfs -o size=2m tmpfs '" + folder.string() + "'").c_str()) == 0;
  }
  ~SmallVolume() {
    if (mounted) std::system(("umount '" + folder.string() + "'").c_str());
  }
  fs::path folder;
  bool mounted = false;
};

enum Setup { kReadOnly = 1, kHeld = 2, kSmall = 4, kLaterDisk = 8 };

TEST(PreflightTest, NothingChangesWhenACheckFails) {
  KOUSHIN_REQUIRE(!ArchiveBytes("prog").empty(), "jlha and Java to make the archives");
  const std::string prog = "C:\\EST\\PROG.EXE";
  const std::string big = "C:\\EST\\SMALL\\BIG.DAT";
  const std::string inUse =
      "次のプログラムが更新するファイルを使用しています。終了してから OK を押して下さい。\r\nsleep";
  const std::string cancelled = "ｱｯﾌﾟﾃﾞｲﾄを取消しました。";
  const std::string space = "ディスクの空き容量が足りません。あと 2 MB 必要です。";
  struct Case {
    const char* name;
    int setup;
    bool unattended;
    bool dryRun;
    std::deque<Answer> answers;
    std::vector<std::string> texts;
    bool refused;
  };
  const std::string readOnly = prog + " は読み取り専用のため更新できません。";
  const std::string disk2 = "2 枚目のｱｯﾌﾟﾃﾞｲﾄFDをｾｯﾄしてください。";
  const std::string checked = "更新内容の確認が終わりました。ファイルは変更していません。";
  // clang-format off
  const Case cases[] = {
      {"read-only member target", kReadOnly, false, false, {}, {readOnly}, true},
      {"held open, unattended", kHeld, true, false, {}, {inUse}, true},
      {"held open, cancelled", kHeld, false, false, {Answer::kCancel}, {inUse, cancelled}, false},
      {"held open, OK once the program has ended", kHeld, false, false, {Answer::kOk}, {inUse, kDone}, false},
      {"volume too small", kSmall, false, false, {}, {space}, true},
      {"read-only target on the second disk", kLaterDisk | kReadOnly, false, false, {Answer::kOk},
       {disk2, big + " は読み取り専用のため更新できません。", kRestored}, true},  // the first disk's changes put back
      {"dry run reports every check", kReadOnly | kSmall, false, true, {}, {readOnly, space, checked}, true},
  };
  // clang-format on
  for (const Case& c : cases) {
    if (!kOwnDrives && c.setup != kReadOnly) continue;
    SCOPED_TRACE(c.name);
    Machine machine;
    machine.MakeInstallation("C:\\EST", "EST 8.0S");
    const std::string media = c.setup & kLaterDisk ? "A:\\" : "D:\\MEDIA\\";
    machine.Write(media + "PROG.lzh", ArchiveBytes("prog"));
    machine.Write(prog, "old program");
    std::optional<SmallVolume> volume;
    if (c.setup & kSmall) {
      volume.emplace(machine.HostDrive('c') / "EST" / "SMALL");
      ASSERT_TRUE(volume->mounted) << "mounting a tmpfs needs root";
    }
    const std::string bigBytes(3000000, 'b');
    if (c.setup & kLaterDisk) {
      machine.Write(big, "old");
      machine.SetAttributes(big, port::kAttrReadOnly);
    } else {
      machine.Write(media + "BIG.DAT", bigBytes);
      if (c.setup & kReadOnly) machine.SetAttributes(prog, port::kAttrReadOnly);
    }
    const std::string before = machine.Snapshot();
    std::optional<Holder> holder;
    if (c.setup & kHeld) holder.emplace(machine.HostDrive('c') / "EST" / "PROG.EXE");

    ScriptedOperator op;
    op.answers = c.answers;
    op.onMessage = [&](const Shown& shown) {
      if (holder && shown.buttons == Buttons::kOkCancel && c.answers.front() == Answer::kOk)
        holder->End();
      if (shown.text.find("枚目") != std::string::npos) {
        machine.Write("A:\\BIG.DAT", bigBytes);
        machine.Write("A:\\BIG.DAT.lzh", "");
      }
    };
    description::UpdateDescription record = MakeRecord(
        "C:\\EST", {{1, 1, "PROG", ""}, {c.setup & kLaterDisk ? 2 : 1, 0, "BIG.DAT", "SMALL\\"}});
    RunContext context{record, SW(media), op, c.dryRun, c.unattended};
    EXPECT_EQ(UpdateRun(context), 1);
    std::vector<std::string> texts = c.texts;  // the installation's path as this Machine has it
    for (std::string& text : texts) text = W(text);
    EXPECT_EQ(op.Texts(), texts) << op.LogText();
    EXPECT_EQ(context.refused, c.refused);
    if (c.texts.back() == kDone) {
      EXPECT_EQ(machine.Read(prog), MemberBytes("PROG.EXE"));
    } else if (c.setup & kLaterDisk) {
      EXPECT_EQ(machine.Read(big), "old");
    } else {
      EXPECT_EQ(machine.Snapshot(), before);
    }
  }
}

}  // namespace
}  // namespace koushin::engine
