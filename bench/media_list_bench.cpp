// What checking the media costs, against a peer in the same run:
//  1. our SHA-256 of a 100 MiB file (the port's, through libcrypto) against the sha256sum program
//     on the same file, median of `rounds` each (the goal: at least 0.9 of its speed);
//  2. the whole demo update (examples/) from media with a signed file list, the installation
//     trusting the key, against the same update from the media without a list (the goal: at
//     most 1.10).
//
//   media_list_bench [work folder] [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "description/update_description.h"
#include "engine/media_list.h"
#include "engine/update_run.h"
#include "port/port.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class SilentOperator : public koushin::engine::Operator {
 public:
  koushin::engine::Answer ShowMessage(const std::string&, const std::string&,
                                      koushin::engine::Buttons) override {
    return koushin::engine::Answer::kOk;
  }
};

double Milliseconds(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::string Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

double HashOurs(const fs::path& file) {
  koushin::port::Sha256Digest digest{};
  const auto start = Clock::now();
  if (!koushin::port::Sha256OfFile(file.string(), &digest)) {
    std::fprintf(stderr, "media_list_bench: cannot hash %s\n", file.string().c_str());
    std::exit(1);
  }
  return Milliseconds(start);
}

double HashPeer(const fs::path& file) {
  const std::string command = "sha256sum '" + file.string() + "' >/dev/null";
  const auto start = Clock::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "media_list_bench: sha256sum failed\n");
    std::exit(1);
  }
  return Milliseconds(start);
}

double Update(const fs::path& work, const fs::path& media, const std::string& trustedKey) {
  const fs::path drive = work / "c";
  fs::remove_all(drive);
  fs::create_directories(drive / "WINDOWS");
  fs::copy(fs::path(KOUSHIN_SOURCE_DIR) / "examples" / "demo-install" / "EST", drive / "EST",
           fs::copy_options::recursive);
  if (!trustedKey.empty()) {
    fs::create_directories(drive / "EST" / ".koushin" / "trusted");
    Write(drive / "EST" / ".koushin" / "trusted" / "vendor.pub", trustedKey);
  }
  koushin::port::Options options;
  options.drives['C'] = drive.string();
  koushin::port::Configure(options);
  koushin::description::UpdateDescription record;
  const std::string source = media.string() + "/";
  koushin::description::LoadUpdateDescription(source, &record);
  record.installFolder = "C:\\EST";
  SilentOperator op;
  koushin::engine::RunContext context{record, source, op};
  const auto start = Clock::now();
  koushin::engine::UpdateRun(context);
  const double took = Milliseconds(start);
  if (context.outcome != koushin::engine::RunOutcome::kUpdated) {
    std::fprintf(stderr, "media_list_bench: the demo update did not finish\n");
    std::exit(1);
  }
  return took;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path work =
      argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "koushin-list-bench";
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
  fs::remove_all(work);
  fs::create_directories(work);

  // 1. SHA-256 of 100 MiB of random bytes, both read from the page cache.
  const fs::path big = work / "big.bin";
  {
    std::mt19937_64 random(7);
    std::string bytes(100u << 20, '\0');
    for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
      const std::uint64_t r = random();
      std::copy(reinterpret_cast<const char*>(&r), reinterpret_cast<const char*>(&r) + 8,
                &bytes[i]);
    }
    Write(big, bytes);
  }
  HashOurs(big);
  HashPeer(big);
  std::vector<double> ours, peer;
  for (int i = 0; i < rounds; ++i) {
    ours.push_back(HashOurs(big));
    peer.push_back(HashPeer(big));
  }
  const double mib = 100.0;
  const double oursMs = Median(ours), peerMs = Median(peer);
  std::printf(
      "sha256 of 100 MiB, median of %d: ours %.1f ms (%.0f MiB/s), sha256sum %.1f ms "
      "(%.0f MiB/s), speed ratio %.3f\n",
      rounds, oursMs, mib / oursMs * 1000, peerMs, mib / peerMs * 1000, peerMs / oursMs);
  fs::remove(big);

  // 2. The demo update from signed media against the same media without a list.
  const fs::path demo = fs::path(KOUSHIN_SOURCE_DIR) / "examples" / "demo-media";
  const fs::path plain = work / "plain", signedMedia = work / "signed";
  fs::copy(demo, plain);
  fs::remove(plain / koushin::engine::kFileListName);
  fs::copy(demo, signedMedia);
  std::string problem, signature;
  const std::string key = (work / "vendor").string();
  if (!koushin::port::MakeSigningKey(key + ".key", key + ".pub", &problem) ||
      !koushin::port::SignMessage(Bytes(key + ".key"),
                                  Bytes(signedMedia / koushin::engine::kFileListName), &signature,
                                  &problem)) {
    std::fprintf(stderr, "media_list_bench: %s\n", problem.c_str());
    return 1;
  }
  Write(signedMedia / koushin::engine::kSignatureName, signature);
  const std::string publicKey = Bytes(key + ".pub");
  Update(work, signedMedia, publicKey);  // warm the caches
  std::vector<double> with, without;
  for (int i = 0; i < rounds; ++i) {
    with.push_back(Update(work, signedMedia, publicKey));
    without.push_back(Update(work, plain, ""));
  }
  fs::remove_all(work);
  const double a = Median(with), b = Median(without);
  std::printf("demo update, median of %d: signed list %.2f ms, no list %.2f ms, ratio %.3f\n",
              rounds, a, b, a / b);
  return 0;
}
