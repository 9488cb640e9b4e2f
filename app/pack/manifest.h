// The media manifest: a TOML file (UTF-8) that names every header field of info.txt by its
// meaning and lists the entries in order. Loading it checks everything the wizard could not take
// and turns the texts into code page 932, so what comes out can be written as it is.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace koushin::pack {

// Why a manifest cannot be used, at a line of it (0 when no line is to blame).
struct Refusal {
  int line = 0;
  std::string reason;
};

enum class EntryKind { kArchive, kFile, kStart };

struct ManifestEntry {
  int line = 0;
  EntryKind kind = EntryKind::kArchive;
  std::string name;    // code page 932, as info.txt names it (an archive without ".lzh")
  std::string target;  // code page 932, the target subfolder, ending in '\\' or empty
  int disk = 0;        // 0: assigned by size
  // Host paths (UTF-8): the archive's folder, the file, or one folder per title keyword.
  std::vector<std::string> sources;
};

struct Picture {
  int line = 0;        // of the manifest
  std::string name;    // code page 932, as on the media and in info.txt ("" for none)
  std::string source;  // host path
};

struct Manifest {
  std::array<std::string, 15> uninstallKeys;
  std::string installFolder;
  std::string versionIniCode;
  std::string masterAdjust;
  std::string systemIniName;
  std::string categoryCode;
  std::string newVersion;
  std::array<Picture, 4> pictures;  // view, notice, destination, confirm
  std::string noticeText;           // line breaks already as TAB + filler byte
  std::string destinationText;
  std::array<std::string, 15> titleKeywords;
  int keywordCount = 0;  // how many the manifest names; info.txt fills the rest (UnusedKeyword)
  std::vector<ManifestEntry> entries;
  std::string method = "-lh5-";
  int headerLevel = 2;
};

// Reads and checks the manifest at `utf8Path`; relative source paths are taken from the
// manifest's folder. False with every problem found in `refusals`.
bool LoadManifest(const std::string& utf8Path, Manifest* manifest, std::vector<Refusal>* refusals);

// What info.txt holds at a title keyword position the manifest leaves unused: a text holding a
// bare CR, which no title read from an INI file holds, so no installed system ever matches it
// (an empty line would match every one). Code page 932.
const std::string& UnusedKeyword();

// info.txt in code page 932 with CR LF: the 42 header lines, then one line per entry with the
// disk given in `disks` (one per entry).
std::string InfoText(const Manifest& manifest, const std::vector<int>& disks);

}  // namespace koushin::pack
