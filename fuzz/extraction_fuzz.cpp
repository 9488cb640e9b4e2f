// libFuzzer target for the extraction: any bytes, put on the media as an archive and extracted
// by Extract into a real temporary folder, give success or a message, and whatever they
// hold, nothing is written outside the target folder and no temporary file stays behind. This
// reaches what the in-memory reader target does not: names made into paths, the writes, the
// attribute and time steps and the all-or-nothing commit.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/archive.h"
#include "journal/journal.h"

namespace {

namespace fs = std::filesystem;

// A folder of its own for one input, below TMPDIR (or /tmp); removed when the input is done.
class Folders {
 public:
  Folders() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                          "/koushin-extraction-fuzz.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) __builtin_trap();
    root = pattern;
    media = root / "media";
    target = root / "out" / "target";
    fs::create_directories(media);
    fs::create_directories(target);
  }
  ~Folders() {
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
    fs::remove_all(root, error);
  }
  fs::path root;
  fs::path media;
  fs::path target;
};

// Every entry below `folder` is inside `inside`; true when so.
bool OnlyBelow(const fs::path& folder, const fs::path& inside) {
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(folder, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    const fs::path path = it->path();
    if (path == inside) {
      it.disable_recursion_pending();
      continue;
    }
    const std::string text = path.string();
    const std::string prefix = inside.string() + "/";
    if (text.compare(0, prefix.size(), prefix) != 0) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Folders folders;
  {
    std::ofstream out(folders.media / "UPD.lzh", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  koushin::archive::ExtractRequest request;
  request.archivePath = folders.media.string() + "/UPD.lzh";
  request.targetFolder = folders.target.string() + "\\";
  const auto transaction = koushin::journal::Transaction::InMemory();
  const koushin::archive::ExtractResult extracted =
      koushin::archive::Extract(request, *transaction);
  const bool ok = extracted.Ok();
  if (ok ? !transaction->Commit() : !transaction->Restore().Complete()) __builtin_trap();
  if (ok != extracted.message.empty() || extracted.message.size() > 255) __builtin_trap();
  // Nothing beside the target folder: no member escaped it, no temporary file stayed in "out".
  if (!OnlyBelow(folders.root / "out", folders.target)) __builtin_trap();
  // All or nothing: a failed extraction leaves the (empty) target folder as it was.
  std::error_code error;
  if (!ok && !fs::is_empty(folders.target, error)) __builtin_trap();
  return 0;
}
