// Shared pieces of the engine tests: a scripted person at the screen, a temporary Windows
// machine on the POSIX port (drives mapped to temporary folders), installations and media on it,
// and LZH archives made by a real archiver (jlha), cached in the build folder.
#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "description/update_description.h"
#include "engine/operator.h"
#include "engine/run_context.h"
#include "support/temp_folder.h"

namespace koushin::engine::testing {

// UTF-8 (as written in the tests) to code page 932 (as the engine sees it), and back.
std::string Sj(const std::string& utf8);
std::string Utf8(const std::string& cp932);

// The tests name their files on drives C: (installations), D: (media) and A: (the floppy drive).
// On POSIX the newest Machine maps those drives to its temporary folders and a path stays as it
// is. On Windows, where a test cannot map drives, a path on them is rewritten into the Machine's
// temporary folder ("C:\\EST" becomes "<temp>\\c\\EST"). UTF-8 in and out.
std::string W(const std::string& path);
// Sj(W(path)): the code page 932 form the engine takes.
std::string SW(const std::string& path);
// Whether drive letters really are the test's own (POSIX): removable drives, bare drive letters
// and the Windows folder can only be tested then.
#ifdef _WIN32
constexpr bool kOwnDrives = false;
#else
constexpr bool kOwnDrives = true;
#endif

using koushin::testing::HostBytes;  // the bytes of a host file

// The last messages of a run that updated, and of one that put everything back.
constexpr char kDone[] = "システムは正常に更新されました。";
constexpr char kRestored[] = "更新前の状態に戻しました。";

struct Shown {
  std::string text;     // UTF-8
  std::string caption;  // UTF-8
  Buttons buttons = Buttons::kOk;
};

// Records everything the engine shows and answers OK/Cancel prompts from a list. A prompt that
// the list does not cover is answered with Cancel, so a prompt that would repeat for ever ends
// the run instead of hanging the test.
class ScriptedOperator : public Operator {
 public:
  Answer ShowMessage(const std::string& text, const std::string& caption, Buttons buttons) override;
  void BeginWait() override;
  void EndWait() override { --waitDepth; }
  void ReportProgress(const Progress& progress) override;
  void Log(const std::string& line) override { log.push_back(line); }

  std::vector<std::string> Texts() const;  // the message texts shown, in order (UTF-8)
  std::string LogText() const;             // the log lines joined by '\n' (UTF-8)

  std::deque<Answer> answers;
  std::function<void(const Shown&)> onMessage;  // runs before the answer is given
  std::function<void(const Progress&)> onProgress;
  std::vector<Shown> shown;
  std::vector<Progress> progress;
  std::vector<std::string> log;  // code page 932
  int waitDepth = 0;
  int maxWaitDepth = 0;
  int waitDepthAtMessage = -1;  // depth while the last message was shown
};

// A temporary machine: C: fixed (installations), D: fixed (media on a hard disk), A: removable
// (the floppy drive). Paths given to the helpers are Windows paths in UTF-8, taken through W().
class Machine {
 public:
  explicit Machine(const std::string& windowsFolder = "");
  // The Machine of the parent process, in a child started by InChild (Windows).
  explicit Machine(const std::filesystem::path& parentRoot);
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // Writes a file through the port, creating its missing folders.
  void Write(const std::string& path, const std::string& bytes);
  std::string Read(const std::string& path) const;
  void MakeFolders(const std::string& path);
  void Remove(const std::string& path);
  // Sets the DOS attribute byte (and the read-only mode bits with it).
  void SetAttributes(const std::string& path, unsigned attributes);
  unsigned Attributes(const std::string& path) const;
  // Sets the last-write time, as a UTC date and time.
  void SetLastWrite(const std::string& path, int year, int month, int day, int hour = 12,
                    int minute = 0, int second = 0);
  // The host folder of a drive (lower-case letter).
  std::filesystem::path HostDrive(char letter) const { return root_ / std::string(1, letter); }
  std::string Translate(const std::string& path) const;  // W() for this machine
  // Every file below `below` (a Windows folder; empty: every drive) with its attribute byte, its
  // bytes and (with `times`) its last-write time, for "nothing changed". `journal` false leaves
  // our journal folders (.koushin) out.
  std::string Snapshot(const std::string& below = "", bool journal = true, bool times = true) const;
  // A fitting installation: tamiro1.ini with [SYSTEM] TITLE, ta1menu.ini, bmp\LAYER2L.BMP.
  void MakeInstallation(const std::string& folder, const std::string& title);
  // The demo of examples/ afresh: its installation in C:\EST, each file with its last-write
  // time, and its media in D:\MEDIA.
  void CopyDemo();

 private:
  std::filesystem::path root_;
  bool own_ = true;  // its folders go with it
};

// The examples/ folder of the sources.
std::filesystem::path DemoFolder();
// The demo update from `media` (D:\MEDIA\ or the floppy drive A:\) onto C:\EST; `adjust`
// changes the context right before the run.
RunOutcome RunDemo(Operator& op, const std::string& media = "D:\\MEDIA\\",
                   const std::function<void(RunContext&)>& adjust = nullptr);

// Work a test ends at any moment: a registered function, run in a child process (see
// port::RunChildProcess) in this Machine's folders. Returns the microseconds the child ran until
// it ended, or until it was killed after `killAfter` microseconds (negative: never).
bool RegisterChildWork(const char* name, int (*work)());
long InChild(const char* work, long killAfter = -1);

// One entry line of the description.
struct Entry {
  int disk;
  int kind;
  std::string name;       // UTF-8, upper case as the loader leaves it
  std::string subfolder;  // UTF-8
};

// A description record for an installation in `installFolder`, with keyword 1 "EST".
description::UpdateDescription MakeRecord(const std::string& installFolder,
                                          std::initializer_list<Entry> entries,
                                          const std::string& newVersion = "");

// Archives made by jlha on first use and cached in the build folder (empty when jlha cannot run):
// "prog" (PROG.EXE, README.TXT), "variant" (VARIANT.TXT), "excel" (横A-A4g.xlsm, a code page 932
// member name), "big" (BIG.DAT of 300000 bytes). MemberBytes gives a member's contents.
std::string ArchiveBytes(const std::string& key);
std::string MemberBytes(const std::string& member);
// A copy of an archive whose last member's data is damaged, so that its CRC check fails.
std::string Damaged(const std::string& archive);

}  // namespace koushin::engine::testing
