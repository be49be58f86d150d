// The sector pass over a 1 GiB image from the page cache: random bytes with files of
// twelve built-in types planted at known sector offsets, searched with every
// built-in type enabled by 1, 2, 4 and 8 workers. Prints MB/s for each and how many
// planted files were found at their offset with their type, next to the time of
// `dd if=IMAGE of=/dev/null bs=2M` over the same image (the read ceiling).
//
//   bench_search [--size MiB] [--runs N] [--keep]   make the image in a private temporary
//                                                   folder, run, remove it (--keep: leave it)
//   bench_search --image IMAGE                      use an image made before (--keep)
//   bench_search --once IMAGE WORKERS               one search, nothing else (to time the
//                                                   whole process against dd)
//   --buffer BYTES                                  the block size setting (default 0: 2 MB)

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "BenchSearchSupport.h"
#include "engine/records/AppSettings.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/Volume.h"
#include "platform/ByteOrder.h"
#include "platform/Text.h"
#include "search/BuiltinFileTypes.h"
#include "search/FileTypeDatabase.h"
#include "search/SearchManager.h"
#include "search/SignatureHitSink.h"
#include "search/StoreHitSink.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

// A compound-file container whose directory names one stream.
std::vector<std::uint8_t> Compound(std::u16string_view stream) {
  std::vector<std::uint8_t> doc(1024 + 12800, 0);
  platform::LeWriter w(doc);
  const std::uint8_t magic[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  w.Copy(0, magic, 8);
  w.U16(30, 9);
  w.U32(44, 1);
  w.U32(48, 1);
  platform::WriteUtf16Field(doc, 1024, 32, u"Root Entry");
  platform::WriteUtf16Field(doc, 1024 + 128, 32, stream);
  return doc;
}

struct Planted {
  std::int64_t offset;
  std::int16_t typeId;
};

struct Sample {
  std::int16_t typeId;
  std::vector<std::uint8_t> bytes;
};

std::vector<Sample> Samples() {
  using namespace std::literals;
  return {
      {83, {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0}},
      {88, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0x0D, 'I', 'H', 'D', 'R'}},
      {47, Bytes("%PDF-1.7\n")},
      {300, Bytes("PK\x03\x04\x0A\x00"sv)},
      {85, Bytes("GIF89a")},
      {525, {'B', 'M', 0x36, 0x00, 0x0C, 0x00, 0, 0, 0, 0, 0x36, 0, 0, 0}},
      {310, Bytes("Rar!\x1A\x07\x00"sv)},
      {345, {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C, 0x00, 0x04}},
      {41, Bytes("{\\rtf1\\ansi")},
      {200, Bytes("RIFF\x24\x08\x00\x00WAVEfmt "sv)},
      {502, Compound(u"WordDocument")},
      {501, Compound(u"Workbook")},
  };
}

// Where the files go: ten of each sample, one in each equal slot of the image, at a
// sector offset fixed by the image's size alone.
std::vector<Planted> Layout(std::int64_t mib) {
  const std::vector<Sample> samples = Samples();
  const std::int64_t count = 10 * std::int64_t(samples.size());
  const std::int64_t slot = (mib << 20) / count / 512 * 512;
  std::vector<Planted> planted;
  std::uint64_t seed = 0x2545F4914F6CDD1Dull;
  for (std::int64_t i = 0; i < count; ++i) {
    seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
    const std::int64_t room = (slot - 65536) / 512;
    planted.push_back({i * slot + std::int64_t(seed % std::uint64_t(room)) * 512,
                       samples[std::size_t(i) % samples.size()].typeId});
  }
  return planted;
}

bool MakeImage(const std::string& path, std::int64_t mib, const std::vector<Planted>& planted) {
  const std::vector<Sample> samples = Samples();
  const std::int64_t total = mib << 20;
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return std::perror(path.c_str()), false;
  const std::size_t chunk = 8u << 20;
  std::vector<std::uint8_t> block(chunk);
  std::uint64_t x = 0x9E3779B97F4A7C15ull;
  std::size_t next = 0;
  for (std::int64_t at = 0; at < total; at += std::int64_t(chunk)) {
    bench::FillRandom(block, x);
    if (at == 0) std::memset(block.data(), 0, 512);  // no partition table, no boot sector
    for (; next < planted.size() && planted[next].offset < at + std::int64_t(chunk); ++next) {
      const Sample& s = samples[next % samples.size()];
      const std::size_t off = std::size_t(planted[next].offset - at);
      std::memcpy(block.data() + off, s.bytes.data(), std::min(s.bytes.size(), chunk - off));
    }
    if (::write(fd, block.data(), chunk) != ssize_t(chunk)) return std::perror("write"), ::close(fd), false;
  }
  ::fsync(fd);
  ::close(fd);
  return true;
}

// Keeps the hits (offset and type) and hands them on to the store.
class CountingSink : public ISignatureHitSink {
 public:
  explicit CountingSink(ISignatureHitSink& next) : next_(next) {}
  void OnSignatureHit(const FoundObject& hit) override {
    hits.push_back({hit.offset, hit.typeId});
    next_.OnSignatureHit(hit);
  }
  std::vector<Planted> hits;  // calls are serialised by the search

 private:
  ISignatureHitSink& next_;
};

struct Pass {
  double seconds = 0;
  std::size_t hits = 0;
  std::size_t found = 0;
};

std::int32_t g_bufferSetting = 0;

Pass Search(const std::string& image, const FileTypeDatabase& db, std::int32_t workers,
            const std::vector<Planted>& planted) {
  Pass pass;
  auto volume = bench::OpenImage(image);
  if (!volume) return pass;
  ScanProgress progress;
  progress.running.store(1);
  AppSettings settings;
  settings.SetSearchThreads(workers);
  settings.SetSearchBufferSize(g_bufferSetting);
  StoreHitSink store(volume->Store());
  CountingSink sink(store);
  const auto start = Clock::now();
  CSearchManager search(volume, progress, settings, db, &sink);
  search.RunSearch();
  pass.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  pass.hits = sink.hits.size();
  std::sort(sink.hits.begin(), sink.hits.end(),
            [](const Planted& a, const Planted& b) { return a.offset < b.offset || (a.offset == b.offset && a.typeId < b.typeId); });
  for (const Planted& p : planted) {
    auto it = std::lower_bound(sink.hits.begin(), sink.hits.end(), p.offset,
                               [](const Planted& h, std::int64_t off) { return h.offset < off; });
    for (; it != sink.hits.end() && it->offset == p.offset; ++it)
      if (it->typeId == p.typeId) {
        ++pass.found;
        break;
      }
  }
  return pass;
}

}  // namespace

int main(int argc, char** argv) {
  ProgramLog log;
  g_Log = &log;
  FileTypeDatabase db;
  bench::LoadBuiltinTypes(db);

  bench::ImageOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--buffer" && i + 1 < argc) {
      g_bufferSetting = std::atoi(argv[++i]);
      continue;
    }
    if (a == "--once" && i + 2 < argc) {
      const Pass p = Search(argv[i + 1], db, std::atoi(argv[i + 2]), {});
      std::printf("%.3f s, %zu hits\n", p.seconds, p.hits);
      return 0;
    }
    if (!options.Take(argc, argv, i))
      return std::fprintf(stderr, "usage: see the comment at the top of bench_search.cpp\n"), 2;
  }
  std::int64_t mib = options.mib;
  const int runs = options.runs;
  std::string image = options.image;

  std::string folder;
  if (image.empty()) {
    folder = bench::PrivateFolder("bench-search");
    if (folder.empty()) return std::perror("mkdtemp"), 1;
    image = folder + "/search.img";
    std::printf("making %lld MiB image %s\n", static_cast<long long>(mib), image.c_str());
    if (!MakeImage(image, mib, Layout(mib))) return 1;
  } else {
    mib = std::int64_t(std::filesystem::file_size(image) >> 20);
  }
  const std::vector<Planted> planted = Layout(mib);
  const double bytes = double(mib << 20);

  const double ddRate = bytes / bench::MedianDd(image, runs) / 1e6;
  std::printf("dd bs=2M:        %8.0f MB/s (median of %d)\n", ddRate, runs);

  for (std::int32_t workers : {1, 2, 4, 8}) {
    std::vector<double> times;
    Pass last;
    for (int r = 0; r < runs; ++r) {
      last = Search(image, db, workers, planted);
      times.push_back(last.seconds);
    }
    const double rate = bytes / bench::Median(times) / 1e6;
    std::printf("search %d worker%s: %8.0f MB/s (%3.0f %% of dd), found %zu / %zu planted, %zu hits\n", workers,
                workers == 1 ? " " : "s", rate, 100.0 * rate / ddRate, last.found, planted.size(), last.hits);
  }
  if (!options.keep && !folder.empty()) std::filesystem::remove_all(folder);
  else if (options.keep) std::printf("image kept: %s\n", image.c_str());
  g_Log = nullptr;
  return 0;
}
