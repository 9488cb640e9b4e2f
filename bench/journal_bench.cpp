// What the journal costs: the whole demo update (examples/) with the journal, and the same update
// with the journal switched off, run in turns on fresh copies of the installation in one folder,
// each way `rounds` times. Prints the median of each and their ratio (the goal: at most 1.15).
//
//   journal_bench [work folder] [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "description/update_description.h"
#include "engine/update_run.h"
#include "port/port.h"

namespace {

namespace fs = std::filesystem;
using koushin::engine::RunOutcome;

// The person at the screen answers every message with OK and says nothing.
class SilentOperator : public koushin::engine::Operator {
 public:
  koushin::engine::Answer ShowMessage(const std::string&, const std::string&,
                                      koushin::engine::Buttons) override {
    return koushin::engine::Answer::kOk;
  }
};

double RunOnce(const fs::path& work, bool journal) {
  const fs::path drive = work / "c";
  fs::remove_all(drive);
  fs::create_directories(drive / "WINDOWS");
  fs::copy(fs::path(KOUSHIN_SOURCE_DIR) / "examples" / "demo-install" / "EST", drive / "EST",
           fs::copy_options::recursive);
  koushin::port::Options options;
  options.drives['C'] = drive.string();
  koushin::port::Configure(options);
  const std::string media =
      (fs::path(KOUSHIN_SOURCE_DIR) / "examples" / "demo-media").string() + "/";
  koushin::description::UpdateDescription record;
  koushin::description::LoadUpdateDescription(media, &record);
  record.installFolder = "C:\\EST";
  SilentOperator op;
  koushin::engine::RunContext context{record, media, op};
  context.useJournal = journal;
  const auto start = std::chrono::steady_clock::now();
  koushin::engine::UpdateRun(context);
  const auto end = std::chrono::steady_clock::now();
  if (context.outcome != RunOutcome::kUpdated) {
    std::fprintf(stderr, "journal_bench: the demo update did not finish\n");
    std::exit(1);
  }
  return std::chrono::duration<double, std::milli>(end - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "koushin-bench";
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 15;
  std::vector<double> with, without;
  RunOnce(work, true);  // warm the caches
  for (int i = 0; i < rounds; ++i) {
    with.push_back(RunOnce(work, true));
    without.push_back(RunOnce(work, false));
  }
  fs::remove_all(work);
  const double a = Median(with), b = Median(without);
  std::printf("demo update, median of %d: with the journal %.2f ms, without %.2f ms, ratio %.3f\n",
              rounds, a, b, a / b);
  return 0;
}
