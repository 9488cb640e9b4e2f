// Makes the update media from a manifest: the archives (our LZH writer), the disks they go on,
// info.txt, the pictures and the wizard, then the report, and at the end the wizard's own media
// check on what was written. Everything is made and checked in a scratch folder first, so a
// refusal leaves the output folder untouched.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace koushin::pack {

// The medium sizes: a 1.44 MB floppy's data area (2,847 clusters of 512 bytes) and a 650 MB CD
// (333,000 sectors of 2,048 bytes). Files take whole clusters or sectors.
constexpr std::uint64_t kFloppyBytes = 1457664;
constexpr std::uint64_t kCdBytes = 681984000;

struct PackOptions {
  std::string manifest;  // host paths, UTF-8
  std::string out;
  std::string wizard;                   // the wizard program, koushin.exe on disk 1 ("" for none)
  std::string console;                  // the console wizard, koushin-console.exe on disk 1
  std::string signKey;                  // PEM private key: sign each disk's list ("" for none)
  std::uint64_t diskBytes = kCdBytes;   // capacity of one disk
  std::uint64_t allocationUnit = 2048;  // files take whole units
  bool dryRun = false;
};

// Exit statuses of koushin-pack.
enum PackStatus { kPackDone = 0, kPackRefused = 1, kPackFailed = 2, kPackUsage = 64 };

// Makes the media; the report goes to `report`, refusals, failures and the media check's problems
// to `errors`. kPackFailed also when the media check finds a problem in what was written.
int MakeMedia(const PackOptions& options, std::FILE* report, std::FILE* errors);

// The names koushin-pack gives the wizards on disk 1, and the list of each disk's files.
constexpr char kWizardFileName[] = "koushin.exe";
constexpr char kConsoleFileName[] = "koushin-console.exe";

}  // namespace koushin::pack
