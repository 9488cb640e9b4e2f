// The LZH archive library, built into the program. Its entry points mirror the three the update
// run calls: two set-up calls and the command call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace koushin::archive {

// The two set-up entries. They exist for the call order of the update run and change nothing.
int ArchiveSetupA(int value);  // the first set-up call, made with 0
int ArchiveSetupB(int value);  // the second set-up call, made with 1

// Runs one command, "e -mcw<workdir> \"<archive without .lzh>\" \"<target folder>\"" in code
// page 932. Returns 0 on success; otherwise non-zero, with a NUL-terminated code page 932 message
// of at most outputSize - 1 (and at most 255) bytes in `output`, naming the archive and, where one
// is at fault, the member. Extraction is all or nothing per archive. `owner` is unused.
int ArchiveCommand(void* owner, const char* commandLine, char* output, std::size_t outputSize);

// Progress per member while ArchiveCommand or CheckArchive works: member name (code page 932),
// bytes done and member size. Set an empty function to stop reporting.
using ProgressCallback =
    std::function<void(const std::string& member, std::uint64_t done, std::uint64_t total)>;
void SetProgressCallback(ProgressCallback callback);

// One member as listed by CheckArchive.
struct MemberInfo {
  std::string name;    // code page 932, the stored name's last component
  std::string method;  // "-lh5-", ...
  std::uint64_t size = 0;
  bool isFolder = false;
};
// Decodes every member of an archive (Windows path, .lzh included) without writing anything and
// checks every CRC. Returns true when the whole archive is sound; `onMember` hears each member;
// on failure `message` says what is wrong (code page 932).
bool CheckArchive(const std::string& archivePath,
                  const std::function<void(const MemberInfo&)>& onMember, std::string* message);

// The members of an archive (Windows path, .lzh included) as their headers tell them, read
// without decoding any data: for planning a run. False when the archive cannot be opened or a
// header is damaged; `members` then holds those read before.
bool ListArchiveMembers(const std::string& archivePath, std::vector<MemberInfo>* members);

}  // namespace koushin::archive
