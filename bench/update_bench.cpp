// The whole update of one 20 MB member to disk, as a run does it: the lock, the journal, the
// member decoded into a temporary file, checked and flushed, the old file kept, the rename, the
// commit (folder flushes, the left files' hashes) and the kept generation's rotation. Against it,
// libarchive's extraction of the same archive over the same old file (what bsdtar -x does, in
// process; it neither checks before writing nor flushes). Both run in turns on the same folder,
// `rounds` times each; prints the medians and of each round bsdtar's time over ours, the median.
//
//   update_bench [work folder] [rounds]
#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "journal/journal.h"
#include "mixed_input.h"
#include "port/port.h"

namespace {

namespace fs = std::filesystem;

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Ours, in the installation folder "C:\inst\" (C: is `drive`), over the media file `archive`.
double UpdateOurs(const std::string& archive) {
  const auto start = std::chrono::steady_clock::now();
  koushin::journal::Installation installation("C:\\inst");
  bool busy = false;
  koushin::port::Error error;
  if (!installation.Lock(&busy, &error) ||
      installation.Inspect() != koushin::journal::JournalState::kClean) {
    std::fprintf(stderr, "update_bench: cannot lock the installation: %s\n",
                 error.Describe().c_str());
    std::exit(1);
  }
  auto transaction = installation.Begin(&error);
  koushin::archive::ExtractRequest request;
  request.archivePath = archive;
  request.targetFolder = "C:\\inst\\";
  const auto result =
      transaction == nullptr
          ? koushin::archive::ExtractResult{koushin::archive::ExtractCode::kWriteFailed,
                                            error.Describe()}
          : koushin::archive::Extract(request, *transaction);
  if (!result.Ok() || !transaction->Commit(&error)) {
    std::fprintf(stderr, "update_bench: the update failed: %s %s\n", result.message.c_str(),
                 error.Describe().c_str());
    std::exit(1);
  }
  return Seconds(start);
}

double UpdateBsdtar(const std::string& archive, const fs::path& folder) {
  const auto start = std::chrono::steady_clock::now();
  const fs::path before = fs::current_path();
  fs::current_path(folder);
  struct archive* in = archive_read_new();
  archive_read_support_format_lha(in);
  bool ok = archive_read_open_filename(in, archive.c_str(), 64 * 1024) == ARCHIVE_OK;
  struct archive_entry* entry;
  while (ok && archive_read_next_header(in, &entry) == ARCHIVE_OK) {
    ok = archive_read_extract(in, entry, ARCHIVE_EXTRACT_TIME) == ARCHIVE_OK;
  }
  archive_read_free(in);
  fs::current_path(before);
  if (!ok) {
    std::fprintf(stderr, "update_bench: libarchive failed on %s\n", archive.c_str());
    std::exit(1);
  }
  return Seconds(start);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path work =
      fs::absolute(argc > 1 ? fs::path(argv[1]) : fs::path(KOUSHIN_BENCH_DIR) / "update");
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
  const fs::path drive = work / "c";
  fs::create_directories(drive / "inst");
  fs::create_directories(work / "tar");
  const fs::path input = work / "mixed.bin";
  if (!fs::exists(input) || fs::file_size(input) != bench::kInputSize) {
    const std::string data = bench::MakeInput();
    std::ofstream(input, std::ios::binary).write(data.data(), data.size());
  }
  // The old file each update replaces.
  for (const fs::path& folder : {drive / "inst", work / "tar"}) {
    fs::copy_file(input, folder / "mixed.bin", fs::copy_options::overwrite_existing);
  }
  koushin::port::Options options;
  options.drives['C'] = drive.string();
  koushin::port::Configure(options);
  for (const char* m : {"5", "7"}) {
    const fs::path archive = drive / (std::string("mixed-lh") + m + ".lzh");
    if (!fs::exists(archive)) {
      const std::string command = "cd '" + work.string() +
                                  "' && java -Dlha.encoding=MS932 -jar "
                                  "/usr/share/java/jlhafrontend.jar a2o" +
                                  m + " '" + archive.string() + "' mixed.bin >/dev/null 2>&1";
      if (std::system(command.c_str()) != 0 || !fs::exists(archive)) {
        std::fprintf(stderr, "update_bench: cannot make %s with jlha\n", archive.c_str());
        return 2;
      }
    }
    const std::string windowsArchive = std::string("C:\\mixed-lh") + m + ".lzh";
    UpdateOurs(windowsArchive);  // warm the caches
    UpdateBsdtar(archive.string(), work / "tar");
    // Each round's pair is taken back to back, so its ratio sees the same load on a shared
    // machine; the median of those ratios is the figure.
    std::vector<double> ours, bsdtar, ratios;
    for (int i = 0; i < rounds; ++i) {
      ours.push_back(UpdateOurs(windowsArchive));
      bsdtar.push_back(UpdateBsdtar(archive.string(), work / "tar"));
      ratios.push_back(bsdtar.back() / ours.back());
    }
    std::printf(
        "-lh%s- 20 MB member, median of %d: ours %.1f ms, bsdtar (libarchive) %.1f ms, "
        "bsdtar/ours %.2fx (median of the rounds' ratios)\n",
        m, rounds, Median(ours) * 1e3, Median(bsdtar) * 1e3, Median(ratios));
  }
  return 0;
}
