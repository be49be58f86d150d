// Carving at the files' true sizes over a 1 GiB image from the page cache: the sample
// files of tests/fixtures/samples.bin (made by ImageMagick, cjpeg, jpegtran, exiftool,
// img2pdf, Python, GNU tar and gzip) planted 8 times each at sector offsets in random
// bytes, every fifth right after the one before, searched with every built-in type
// by 1 and 8 workers, the format walks included. Prints each pass's time next to
// `dd if=IMAGE of=/dev/null bs=2M` over the same image, and per kind of file how many
// came back at their offset, typed, at exactly their size, and how many records the
// store holds inside planted files (there should be none).
//
//   bench_carving [--size MiB] [--runs N] [--samples samples.bin] [--keep]
//                                    (the samples' manifest is read from tests/fixtures)
//   bench_carving --image IMAGE      an image made before with --keep (same --size)
//   bench_carving --once IMAGE WORKERS
//                                    one search, nothing else: to time the whole
//                                    process (and its peak memory) against dd

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "BenchSearchSupport.h"
#include "engine/records/AppSettings.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/Volume.h"
#include "search/BuiltinFileTypes.h"
#include "search/FileTypeDatabase.h"
#include "search/SearchManager.h"
#include "search/StoreHitSink.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Sample {
  std::string name;
  std::string kind;  // the extension
  std::vector<std::uint8_t> bytes;
};

// The samples of the blob, cut where its manifest says (a line per sample:
// its name, offset and size are read from the JSON text without a parser).
std::vector<Sample> LoadSamples(const std::string& blobPath, const std::string& manifestPath) {
  std::vector<Sample> out;
  std::ifstream in(blobPath, std::ios::binary);
  const std::vector<std::uint8_t> blob((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::ifstream m(manifestPath);
  std::string text((std::istreambuf_iterator<char>(m)), std::istreambuf_iterator<char>());
  auto field = [&](std::size_t from, const std::string& key) -> std::string {
    const std::size_t at = text.find("\"" + key + "\": ", from);
    if (at == std::string::npos) return {};
    std::size_t v = at + key.size() + 4;
    std::size_t end = text.find_first_of(",\n}", v + (text[v] == '"' ? 1 : 0));
    std::string s = text.substr(v, end - v);
    if (!s.empty() && s.front() == '"') s = s.substr(1, s.size() - 2);
    return s;
  };
  for (std::size_t at = text.find("\"samples\""); (at = text.find("\"name\": ", at)) != std::string::npos; ++at) {
    Sample s;
    s.name = field(at, "name");
    const std::size_t offset = std::stoull(field(at, "offset")), size = std::stoull(field(at, "size"));
    if (offset + size > blob.size()) continue;
    s.kind = s.name.substr(s.name.rfind('.') + 1);
    s.bytes.assign(blob.begin() + std::ptrdiff_t(offset), blob.begin() + std::ptrdiff_t(offset + size));
    out.push_back(std::move(s));
  }
  return out;
}

struct Planted {
  std::int64_t offset;
  std::size_t sample;
};

// Eight of each sample, one in each equal slot of the image at a random sector, every
// fifth right after the file before it.
std::vector<Planted> Layout(std::int64_t mib, const std::vector<Sample>& samples) {
  const std::int64_t count = 8 * std::int64_t(samples.size());
  const std::int64_t slot = (mib << 20) / count / 512 * 512;
  std::vector<Planted> planted;
  std::uint64_t seed = 0x2545F4914F6CDD1Dull;
  for (std::int64_t i = 0; i < count; ++i) {
    seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
    const std::size_t s = std::size_t(i) % samples.size();
    if (i % 5 == 4 && !planted.empty()) {
      const Planted& before = planted.back();
      const std::int64_t end = before.offset + std::int64_t(samples[before.sample].bytes.size());
      planted.push_back({(end + 511) / 512 * 512, s});
      continue;
    }
    const std::int64_t room = (slot - 2 * 65536) / 512;
    planted.push_back({i * slot + std::int64_t(seed % std::uint64_t(room)) * 512, s});
  }
  return planted;
}

bool MakeImage(const std::string& path, std::int64_t mib, const std::vector<Sample>& samples,
               const std::vector<Planted>& planted) {
  const std::int64_t total = mib << 20;
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return std::perror(path.c_str()), false;
  const std::size_t chunk = 8u << 20;
  std::vector<std::uint8_t> block(chunk);
  std::uint64_t x = 0x9E3779B97F4A7C15ull;
  for (std::int64_t at = 0; at < total; at += std::int64_t(chunk)) {
    bench::FillRandom(block, x);
    if (at == 0) std::memset(block.data(), 0, 512);  // no partition table, no boot sector
    for (const Planted& p : planted) {
      const std::vector<std::uint8_t>& b = samples[p.sample].bytes;
      const std::int64_t from = std::max(p.offset, at), to = std::min(p.offset + std::int64_t(b.size()), at + std::int64_t(chunk));
      if (from < to) std::memcpy(block.data() + (from - at), b.data() + (from - p.offset), std::size_t(to - from));
    }
    if (::write(fd, block.data(), chunk) != ssize_t(chunk)) return std::perror("write"), ::close(fd), false;
  }
  ::fsync(fd);
  ::close(fd);
  return true;
}

struct Pass {
  double seconds = 0;
  std::int64_t innerHits = 0;
  std::vector<FoundObject> records;  // the files, by offset
};

Pass Search(const std::string& image, const FileTypeDatabase& db, std::int32_t workers) {
  Pass pass;
  auto volume = bench::OpenImage(image);
  if (!volume) return pass;
  ScanProgress progress;
  progress.running.store(1);
  AppSettings settings;
  settings.SetSearchThreads(workers);
  StoreHitSink sink(volume->Store());
  const auto start = Clock::now();
  {
    CSearchManager search(volume, progress, settings, db, &sink);
    search.RunSearch();
    pass.innerHits = search.InnerHits();
  }
  pass.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const auto view = volume->Store().Read();
  for (std::size_t i = 0; i < view.Count(); ++i)
    if (!view.At(i)->IsFolder()) pass.records.push_back(*view.At(i));
  std::sort(pass.records.begin(), pass.records.end(),
            [](const FoundObject& a, const FoundObject& b) { return a.offset < b.offset; });
  return pass;
}

// Per kind: planted, found typed at its offset, exactly its size; records inside planted files.
void Report(const Pass& pass, const std::vector<Sample>& samples, const std::vector<Planted>& planted) {
  struct Count {
    int planted = 0, found = 0, exact = 0, inside = 0;
  };
  std::map<std::string, Count> kinds;
  for (const Planted& p : planted) {
    const Sample& s = samples[p.sample];
    Count& c = kinds[s.kind];
    ++c.planted;
    const std::int64_t end = p.offset + std::int64_t(s.bytes.size());
    auto it = std::lower_bound(pass.records.begin(), pass.records.end(), p.offset,
                               [](const FoundObject& r, std::int64_t o) { return r.offset < o; });
    if (it != pass.records.end() && it->offset == p.offset) {
      ++c.found;
      c.exact += it->size == std::int64_t(s.bytes.size());
    }
    for (; it != pass.records.end() && it->offset < end; ++it) c.inside += it->offset > p.offset;
  }
  Count all;
  for (const auto& [kind, c] : kinds) {
    std::printf("  %-5s planted %3d, found %3d, exact size %3d, records inside %d\n", kind.c_str(), c.planted, c.found,
                c.exact, c.inside);
    all.planted += c.planted, all.found += c.found, all.exact += c.exact, all.inside += c.inside;
  }
  std::printf("  all   planted %3d, found %3d, exact size %3d, records inside %d; %zu records, %lld inner hits dropped\n",
              all.planted, all.found, all.exact, all.inside, pass.records.size(), static_cast<long long>(pass.innerHits));
}

}  // namespace

int main(int argc, char** argv) {
  ProgramLog log;
  g_Log = &log;
  FileTypeDatabase db;
  bench::LoadBuiltinTypes(db);

  bench::ImageOptions options;
  std::string samplesPath = VANDREL_FIXTURE_DIR "/samples.bin";
  const std::string manifestPath = VANDREL_FIXTURE_SRC_DIR "/samples.manifest.json";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--once" && i + 2 < argc) {
      const Pass p = Search(argv[i + 1], db, std::atoi(argv[i + 2]));
      std::printf("%.3f s, %zu records\n", p.seconds, p.records.size());
      return 0;
    }
    if (options.Take(argc, argv, i)) continue;
    if (a == "--samples" && i + 1 < argc) samplesPath = argv[++i];
    else return std::fprintf(stderr, "usage: see the comment at the top of bench_carving.cpp\n"), 2;
  }
  const std::vector<Sample> samples = LoadSamples(samplesPath, manifestPath);
  if (samples.empty()) return std::fprintf(stderr, "no samples in %s\n", samplesPath.c_str()), 1;
  const std::int64_t mib = options.mib;
  const int runs = options.runs;
  std::string image = options.image;
  const std::vector<Planted> planted = Layout(mib, samples);

  std::string folder;
  if (image.empty()) {
    folder = bench::PrivateFolder("bench-carving");
    if (folder.empty()) return std::perror("mkdtemp"), 1;
    image = folder + "/carving.img";
    std::printf("making %lld MiB image %s with %zu files\n", static_cast<long long>(mib), image.c_str(),
                planted.size());
    if (!MakeImage(image, mib, samples, planted)) return 1;
  }
  const double bytes = double(mib << 20);

  const double ddSeconds = bench::MedianDd(image, runs);
  std::printf("dd bs=2M:          %6.3f s, %6.0f MB/s (median of %d)\n", ddSeconds, bytes / ddSeconds / 1e6, runs);
  for (std::int32_t workers : {1, 8}) {
    std::vector<double> times;
    Pass last;
    for (int r = 0; r < runs; ++r) {
      last = Search(image, db, workers);
      times.push_back(last.seconds);
    }
    const double t = bench::Median(times);
    std::printf("search %d worker%s:  %6.3f s, %6.0f MB/s (%.2fx dd's time)\n", workers, workers == 1 ? " " : "s", t,
                bytes / t / 1e6, t / ddSeconds);
    Report(last, samples, planted);
  }
  if (!options.keep && !folder.empty()) std::filesystem::remove_all(folder);
  else if (options.keep) std::printf("image kept: %s\n", image.c_str());
  g_Log = nullptr;
  return 0;
}
