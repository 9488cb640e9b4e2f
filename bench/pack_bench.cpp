// Our LZH writer against jlha, in one run on the same inputs: the demo sources (one archive per
// source folder) and one 20 MB mixed file, as -lh5- and -lh7- with level-2 headers. Prints the
// sizes and our size as a fraction of jlha's (goal: at most 0.98), and the wall time of the whole
// command each way, koushin-pack against jlha's (goal: at least 5 times faster).
//
//   pack_bench [work folder]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "mixed_input.h"

namespace {

namespace fs = std::filesystem;

double Run(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    std::exit(2);
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Outcome {
  std::uintmax_t ours = 0, jlha = 0;
  double oursSeconds = 0, jlhaSeconds = 0;
};

// Packs every file of `folder` (no subfolders) into one archive with both programs.
void Pack(const fs::path& work, const fs::path& folder, const std::string& method, Outcome* o) {
  const fs::path manifest = work / "bench.toml";
  std::ofstream(manifest) << "uninstallKeys = [\"B\"]\ninstallFolder = 'C:\\B'\n"
                          << "versionIniCode = 1\ndetectSystemIni = true\ncategoryCode = 1\n"
                          << "method = \"" << method << "\"\n[[entry]]\nfolder = '"
                          << folder.string() << "'\nname = \"B\"\ntarget = '\\'\n";
  const fs::path out = work / "out";
  fs::remove_all(out);
  o->oursSeconds += Run(std::string(KOUSHIN_PACK_PROGRAM) + " '" + manifest.string() + "' --out '" +
                        out.string() + "' >/dev/null");
  o->ours += fs::file_size(out / "B.lzh");
  const fs::path jlha = work / "jlha.lzh";
  fs::remove(jlha);
  o->jlhaSeconds += Run("cd '" + folder.string() +
                        "' && java -Dlha.encoding=MS932 -jar /usr/share/java/jlhafrontend.jar a2o" +
                        method.substr(2) + " '" + jlha.string() + "' * >/dev/null 2>&1");
  o->jlha += fs::file_size(jlha);
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::path(KOUSHIN_BENCH_DIR) / "pack";
  fs::create_directories(work / "mixed");
  const fs::path mixed = work / "mixed" / "mixed.bin";
  if (!fs::exists(mixed) || fs::file_size(mixed) != bench::kInputSize) {
    const std::string data = bench::MakeInput();
    std::ofstream(mixed, std::ios::binary).write(data.data(), data.size());
  }
  std::vector<fs::path> demo;
  const fs::path sources = fs::path(KOUSHIN_SOURCE_DIR) / "examples" / "demo-source";
  for (const auto& e : fs::directory_iterator(sources / "media" / "archives")) demo.push_back(e);
  demo.push_back(sources / "install" / "EST");
  bool met = true;
  for (const char* method : {"lh5", "lh7"}) {
    Outcome d, m;
    for (const fs::path& folder : demo) Pack(work, folder, method, &d);
    Pack(work, work / "mixed", method, &m);
    for (const auto& [what, o] : {std::pair<const char*, Outcome&>{"demo sources", d},
                                  std::pair<const char*, Outcome&>{"20 MB mixed ", m}}) {
      const double size = static_cast<double>(o.ours) / o.jlha;
      const double speed = o.jlhaSeconds / o.oursSeconds;
      std::printf(
          "-%s- %s: ours %ju bytes, jlha %ju bytes, size ours/jlha %.3f; time ours %.2f s, "
          "jlha %.2f s, %.1fx faster\n",
          method, what, o.ours, o.jlha, size, o.oursSeconds, o.jlhaSeconds, speed);
      if (size > 0.98 || speed < 5.0) met = false;
    }
  }
  std::printf(met ? "goals met: size at most 0.98 of jlha's, at least 5x faster\n"
                  : "goals missed: size above 0.98 of jlha's or less than 5x faster somewhere\n");
  return 0;
}
