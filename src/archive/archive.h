// The LZH archive library's entry points for the engine: the extraction of one archive into a
// folder through the caller's transaction, the archive check, and the listing of members.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace koushin::journal {
class Transaction;
}

namespace koushin::archive {

// Progress per member while Extract or CheckArchive works: member name (code page 932), bytes
// done and member size.
using ProgressCallback =
    std::function<void(const std::string& member, std::uint64_t done, std::uint64_t total)>;

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
                  const std::function<void(const MemberInfo&)>& onMember, std::string* message,
                  const ProgressCallback& progress = {});

// What the engine asks of one extraction. Paths are Windows paths in code page 932.
struct ExtractRequest {
  // The archive file, ".lzh" included; its name is matched case-insensitively.
  std::string archivePath;
  // An existing folder; every file member is written flat into it, under its stored name's last
  // component, with its stored last-write time. A bare drive ("C:") means that drive's current
  // folder.
  std::string targetFolder;
  // (may be empty) Whether a member is written; a member it refuses is still decoded and checked.
  std::function<bool(const MemberInfo&)> memberFilter;
  // false: an existing file as new as the member (or newer) is kept.
  bool overwrite = true;
};

// How an extraction ended. Any code but kExtracted is a failure, and then nothing of the archive
// is in place.
enum class ExtractCode : int {
  kExtracted = 0,
  kArchiveNotFound = 2,  // the archive, or the target folder, is not there
  kArchiveDamaged = 3,   // a header, a member's data or its CRC is bad
  kMemberRefused = 4,    // an unsupported method, a link, or a name that cannot be written
  kWriteFailed = 5,      // a temporary file or a replacement failed, or memory ran out
};
struct ExtractResult {
  ExtractCode code = ExtractCode::kExtracted;
  // On failure: what is wrong, in code page 932, at most 255 bytes, naming the archive and, where
  // one is at fault, the member.
  std::string message;
  bool Ok() const { return code == ExtractCode::kExtracted; }
};

// Extracts one archive, all or nothing: every member is decoded into a temporary file of
// `transaction` in the target folder and checked; only when all are sound are they put in place
// through it, which keeps the old bytes. `progress` (may be empty) hears every member. Never
// throws; running out of memory is a kWriteFailed.
ExtractResult Extract(const ExtractRequest& request, journal::Transaction& transaction,
                      const ProgressCallback& progress = {});

// The members of an archive (Windows path, .lzh included) as their headers tell them, read
// without decoding any data: for planning a run. False when the archive cannot be opened or a
// header is damaged; `members` then holds those read before.
bool ListArchiveMembers(const std::string& archivePath, std::vector<MemberInfo>* members);

}  // namespace koushin::archive
