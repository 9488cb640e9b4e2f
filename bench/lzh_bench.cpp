// Decodes the same archives with our decoders, Debian's liblhasa and libarchive, and prints
// MB/s for each and our ratio to each. The input is one 20 MB file of mixed text and binary
// records, made here, packed with jlha as -lh5-, -lh6- and -lh7- (cached next to the binary).
//
//   lzh_bench [work folder] [repetitions]
#include <archive.h>
#include <archive_entry.h>
#include <lhasa.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "archive/byte_stream.h"
#include "archive/lzh_decoder.h"
#include "archive/lzh_reader.h"
#include "mixed_input.h"

namespace {

namespace ka = koushin::archive;
using bench::kInputSize;
using bench::MakeInput;

bool ReadFile(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  *bytes = s.str();
  return true;
}

// Ours: reader and decoder over memory, CRC checked.
std::size_t DecodeOurs(const std::string& archive) {
  ka::MemorySource source(archive.data(), archive.size());
  ka::LzhReader reader(source);
  ka::MemberHeader header;
  std::string error;
  std::size_t total = 0;
  while (reader.Next(&header, &error) == ka::ReadStatus::kMember) {
    ka::NullSink sink;
    const ka::DecodeResult r = ka::DecodeMember(header.method, reader.Data(), header.packedSize,
                                                header.originalSize, sink, &header.crc);
    if (r.status != ka::DecodeStatus::kOk) return 0;
    total += r.written;
  }
  return total;
}

struct MemoryHandle {
  const std::string* bytes;
  std::size_t pos;
};

int LhasaRead(void* handle, void* buf, std::size_t len) {
  auto* h = static_cast<MemoryHandle*>(handle);
  const std::size_t n = std::min(len, h->bytes->size() - h->pos);
  std::memcpy(buf, h->bytes->data() + h->pos, n);
  h->pos += n;
  return static_cast<int>(n);
}

std::size_t DecodeLhasa(const std::string& archive) {
  static LHAInputStreamType type = {LhasaRead, nullptr, nullptr};
  MemoryHandle handle{&archive, 0};
  LHAInputStream* stream = lha_input_stream_new(&type, &handle);
  LHAReader* reader = lha_reader_new(stream);
  std::vector<char> buffer(64 * 1024);
  std::size_t total = 0;
  while (lha_reader_next_file(reader) != nullptr) {
    std::size_t n;
    while ((n = lha_reader_read(reader, buffer.data(), buffer.size())) > 0) total += n;
  }
  lha_reader_free(reader);
  lha_input_stream_free(stream);
  return total;
}

std::size_t DecodeLibarchive(const std::string& archive) {
  struct archive* a = archive_read_new();
  archive_read_support_format_lha(a);
  if (archive_read_open_memory(a, archive.data(), archive.size()) != ARCHIVE_OK) return 0;
  std::vector<char> buffer(64 * 1024);
  std::size_t total = 0;
  struct archive_entry* entry;
  while (archive_read_next_header(a, &entry) == ARCHIVE_OK) {
    la_ssize_t n;
    while ((n = archive_read_data(a, buffer.data(), buffer.size())) > 0) total += n;
    if (n < 0) total = 0;
  }
  archive_read_free(a);
  return total;
}

// Best of `repetitions` runs of each decoder, taken in turns so that a busy machine slows them
// alike, timed in process CPU time (a shared machine's waiting is not counted).
struct Timings {
  double ours = 1e30, lhasa = 1e30, libarchive = 1e30;
  std::size_t oursSize = 0, lhasaSize = 0, libarchiveSize = 0;
};

double CpuSeconds(const std::function<std::size_t()>& run, std::size_t* out) {
  const std::clock_t start = std::clock();
  *out = run();
  return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

Timings Measure(const std::string& bytes, int repetitions) {
  Timings t;
  for (int i = 0; i < repetitions; ++i) {
    t.ours = std::min(t.ours, CpuSeconds([&] { return DecodeOurs(bytes); }, &t.oursSize));
    t.lhasa = std::min(t.lhasa, CpuSeconds([&] { return DecodeLhasa(bytes); }, &t.lhasaSize));
    t.libarchive = std::min(t.libarchive,
                            CpuSeconds([&] { return DecodeLibarchive(bytes); }, &t.libarchiveSize));
  }
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 && argv[1][0] != '\0' ? argv[1] : KOUSHIN_BENCH_DIR;
  const int repetitions = argc > 2 ? std::atoi(argv[2]) : 5;
  const std::string input = dir + "/mixed.bin";
  std::string data;
  if (!ReadFile(input, &data) || data.size() != kInputSize) {
    data = MakeInput();
    std::ofstream(input, std::ios::binary).write(data.data(), data.size());
  }
  const char* const kMethods[] = {"5", "6", "7"};
  bool allFaster = true;
  for (const char* m : kMethods) {
    const std::string archive = dir + "/mixed-lh" + m + ".lzh";
    std::string bytes;
    if (!ReadFile(archive, &bytes)) {
      // jlha stores the path as given: run it in the folder so the member is "mixed.bin".
      const std::string command = "cd '" + dir +
                                  "' && java -Dlha.encoding=MS932 -jar "
                                  "/usr/share/java/jlhafrontend.jar a2o" +
                                  m + " 'mixed-lh" + m + ".lzh' mixed.bin >/dev/null 2>&1";
      if (std::system(command.c_str()) != 0 || !ReadFile(archive, &bytes)) {
        std::fprintf(stderr, "cannot make %s with jlha\n", archive.c_str());
        return 2;
      }
    }
    const Timings t = Measure(bytes, repetitions);
    if (t.oursSize != kInputSize || t.lhasaSize != kInputSize || t.libarchiveSize != kInputSize) {
      std::fprintf(stderr,
                   "-lh%s-: decoded sizes differ (ours %zu, liblhasa %zu, libarchive %zu)\n", m,
                   t.oursSize, t.lhasaSize, t.libarchiveSize);
      return 1;
    }
    const double tOurs = t.ours, tLhasa = t.lhasa, tArchive = t.libarchive;
    const double mb = kInputSize / 1e6;
    std::printf(
        "-lh%s- (%zu packed): ours %.0f MB/s, liblhasa %.0f MB/s, libarchive %.0f MB/s; "
        "ours/liblhasa %.2fx, ours/libarchive %.2fx\n",
        m, bytes.size(), mb / tOurs, mb / tLhasa, mb / tArchive, tLhasa / tOurs, tArchive / tOurs);
    if (tArchive / tOurs < 2.0) allFaster = false;
  }
  std::printf(allFaster ? "target met: at least twice libarchive on every method\n"
                        : "target missed: below twice libarchive on some method\n");
  return 0;
}
