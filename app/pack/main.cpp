// koushin-pack: makes the update media from a manifest.
//
//   koushin-pack MANIFEST --out DIR [--medium fd|cd|BYTES] [--wizard FILE] [--console FILE]
//                [--sign NAME.key] [--dry-run]
//   koushin-pack --make-key NAME
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "pack/media.h"
#include "port/port.h"

namespace {

constexpr char kVersion[] = "koushin-pack 3.0.0";

constexpr char kUsage[] =
    "Usage: koushin-pack MANIFEST --out DIR [--medium fd|cd|BYTES] [--wizard FILE]\n"
    "                    [--console FILE] [--sign NAME.key] [--dry-run]\n"
    "       koushin-pack --make-key NAME\n"
    "  Makes the update media described by MANIFEST (TOML, UTF-8) in DIR: info.txt, the\n"
    "  pictures, the wizard and the entries on disk 1, or in DIR/disk1, DIR/disk2, ... when\n"
    "  they need more than one disk of the medium (default cd), then runs the media check on\n"
    "  them. Every disk gets koushin.sha256, the SHA-256 of each of its files\n"
    "  (sha256sum -c checks it). --dry-run only reports.\n"
    "  --wizard FILE     the wizard, copied to disk 1 as koushin.exe\n"
    "  --console FILE    the console wizard, copied to disk 1 as koushin-console.exe\n"
    "  --sign NAME.key   sign each disk's list with this private key (koushin.sha256.sig)\n"
    "  --make-key NAME   make a new ECDSA P-256 key: NAME.key (private, PEM PKCS#8, readable\n"
    "                    by its owner only: keep it secret) and NAME.pub (give it to the\n"
    "                    administrators, for .koushin\\trusted\\)\n"
    "  --sign and --make-key work in the Linux koushin-pack only.\n"
    "  Exit status: 0 done, 1 refused (nothing written), 2 failed (or the media check found a\n"
    "  problem; DIR is then left as it was), 64 bad command line.\n";

int Usage(const char* problem) {
  if (problem) std::fprintf(stderr, "koushin-pack: %s\n", problem);
  std::fputs(kUsage, stderr);
  return koushin::pack::kPackUsage;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace koushin::pack;
  koushin::port::UseUtf8Console();
  const std::vector<std::string> args = koushin::port::ProgramArgumentsUtf8(argc, argv);
  PackOptions options;
  std::string makeKey;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--help") {
      std::fputs(kUsage, stdout);
      return kPackDone;
    } else if (a == "--dry-run") {
      options.dryRun = true;
    } else if (a == "--out" && hasValue) {
      options.out = args[++i];
    } else if (a == "--version") {
      std::printf("%s\n", kVersion);
      return kPackDone;
    } else if (a == "--wizard" && hasValue) {
      options.wizard = args[++i];
    } else if (a == "--console" && hasValue) {
      options.console = args[++i];
    } else if (a == "--sign" && hasValue) {
      if (!koushin::port::kCanSign)
        return Usage("--sign は Linux 版の koushin-pack だけで使えます");
      options.signKey = args[++i];
    } else if (a == "--make-key" && hasValue) {
      if (!koushin::port::kCanSign)
        return Usage("--make-key は Linux 版の koushin-pack だけで使えます");
      makeKey = args[++i];
    } else if (a == "--medium" && hasValue) {
      const std::string m = args[++i];
      if (m == "fd") {
        options.diskBytes = kFloppyBytes;
        options.allocationUnit = 512;
      } else if (m == "cd") {
        options.diskBytes = kCdBytes;
        options.allocationUnit = 2048;
      } else {
        char* end = nullptr;
        const unsigned long long n = std::strtoull(m.c_str(), &end, 10);
        if (m.empty() || *end != '\0' || n == 0)
          return Usage("--medium には fd、cd、バイト数のどれかを書いてください");
        options.diskBytes = n;
        options.allocationUnit = 1;
      }
    } else if (!a.empty() && a[0] != '-' && options.manifest.empty()) {
      options.manifest = a;
    } else {
      return Usage(("知らないオプションか、値のないオプションです: " + a).c_str());
    }
  }
  if (!makeKey.empty()) {
    if (!options.manifest.empty() || !options.out.empty()) {
      return Usage("--make-key はほかの引数と一緒には使えません");
    }
    std::string problem;
    if (!koushin::port::MakeSigningKey(makeKey + ".key", makeKey + ".pub", &problem)) {
      std::fprintf(stderr, "koushin-pack: %s\n", problem.c_str());
      return kPackFailed;
    }
    std::printf("%s.key: 秘密鍵（秘密にしてください）\n%s.pub: 公開鍵（管理者に渡します）\n",
                makeKey.c_str(), makeKey.c_str());
    return kPackDone;
  }
  if (options.manifest.empty()) return Usage("マニフェストが指定されていません");
  if (options.out.empty() && !options.dryRun) return Usage("--out DIR が必要です");
  return MakeMedia(options, stdout, stderr);
}
