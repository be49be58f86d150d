// The FAT parser's speed on volumes made with mkfs.fat and mtools in a temporary folder:
//
//   1. the file-system pass over a FAT32 volume of 20,000 files in nested folders
//      (20 folders of 10 sub-folders of 100 files, long names, times spread over
//      seven years), timed from the page cache (the first pass warms it);
//   2. a 1 GiB file whose first 64 MiB lie in 16,384 one-cluster holes left between
//      other files (the rest after them), read through CVolume::ReadObjectData in
//      2 MB chunks, as the recovery reads: MB/s, next to a plain pread of the image.
//
//   bench_fat [--keep] [--files-only | --read-only]
//   bench_fat --list IMAGE [passes]    only the passes, over an image of your own
//
// Needs mkfs.fat and mcopy/mmd/mdel (dosfstools, mtools) and about 2.5 GB in $TMPDIR.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/fs/fat/FileSystem_FAT.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/Volume.h"
#include "platform/Text.h"

namespace {

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

bool Run(const std::string& command) {
  const int rc = std::system(command.c_str());
  if (rc != 0) std::fprintf(stderr, "failed (%d): %.200s\n", rc, command.c_str());
  return rc == 0;
}

bool WriteFile(const std::string& path, const void* data, std::size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

std::uint64_t Fnv(const std::uint8_t* data, std::size_t size, std::uint64_t h) {
  for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 0x100000001b3ULL;
  return h;
}

// The analysis's steps around the parser; the parser, owned by the volume.
CFileSystem_FAT* FatPass(CVolume& volume, ScanProgress& progress) {
  const std::int32_t code = volume.FileSystemTypeCode();
  auto parser = MakeFatParser(volume, progress);
  auto* fat = static_cast<CFileSystem_FAT*>(parser.get());
  volume.SetFileSystem(std::move(parser));
  FoundObjectStore& store = volume.Store();
  store.Clear();
  store.RegisterObject(volume.DeviceNode());
  const std::int32_t rootId = CFileSystem::RootFolderIdFor(code);
  store.SetRootFolderId(rootId);
  fat->root.id = rootId;
  fat->root.parentId = volume.DeviceNodeId();
  store.RegisterObject(fat->root);
  progress.running.store(1);
  fat->Analyse();
  return fat;
}

std::shared_ptr<CVolume> OpenImage(const std::string& path) {
  auto v = std::make_shared<CVolume>(CVolume::kImageFile);
  v->SetDevicePath(platform::Utf8ToUtf16(path));
  v->SetDeviceNodeId(-31);
  if (!v->QueryInformation() || !v->BootSetup()) return nullptr;
  return v;
}

// Times the file-system pass over an image; the best pass after the first.
double TimePasses(const std::string& image, int passes) {
  auto volume = OpenImage(image);
  if (!volume) return -1;
  ScanProgress progress;
  double best = 1e9;
  for (int pass = 0; pass < passes; ++pass) {
    const auto start = Clock::now();
    FatPass(*volume, progress);
    const double t = Seconds(start);
    auto& n = volume->FileSystemPassCounters();
    std::printf("  pass %d: %.3f s, %lld folders, %lld files%s\n", pass + 1, t, (long long)n.folders.load(),
                (long long)n.files.load(), pass == 0 ? " (cold)" : "");
    n.folders.store(0);
    n.files.store(0);
    if (pass > 0 || passes == 1) best = std::min(best, t);
  }
  return best;
}

int ListingBench(const std::string& dir) {
  const std::string host = dir + "/tree";
  const std::string image = dir + "/files.img";
  std::printf("Making 20,000 files in nested folders ...\n");
  std::string content(200, 'x');
  for (int a = 0; a < 20; ++a) {
    for (int b = 0; b < 10; ++b) {
      char folder[256];
      std::snprintf(folder, sizeof folder, "%s/Folder %02d/Sub folder %02d", host.c_str(), a, b);
      std::filesystem::create_directories(folder);
      for (int c = 0; c < 100; ++c) {
        char file[320];
        std::snprintf(file, sizeof file, "%s/File number %04d of the set.txt", folder, a * 1000 + b * 100 + c);
        if (!WriteFile(file, content.data(), content.size())) return 1;
        // Times spread over seven years, as on a camera card used for long: a new
        // day every few files.
        const int n = a * 1000 + b * 100 + c;
        const timespec times[2] = {{1104537600 + n * 11220L, 0}, {1104537600 + n * 11220L, 0}};
        utimensat(AT_FDCWD, file, times, 0);
      }
    }
  }
  const auto made = Clock::now();
  if (!Run("mkfs.fat -C -F 32 -s 8 -n BENCH '" + image + "' 524288 >/dev/null") ||
      !Run("cd '" + host + "' && mcopy -s -m -i '" + image + "' 'Folder'* ::/"))
    return 1;
  std::printf("  image made with mtools in %.1f s\n", Seconds(made));

  const double best = TimePasses(image, 4);
  if (best < 0) return 1;
  std::printf("File-system pass, 20,000 files, from the page cache: %.0f ms (best of 3)\n", best * 1000);
  return 0;
}

int ReadBench(const std::string& dir) {
  const std::string image = dir + "/frag.img";
  const std::string pad = dir + "/pad";
  const std::string big = dir + "/big.bin";
  constexpr int kHoles = 16384;
  constexpr std::size_t kCluster = 4096;
  constexpr std::size_t kBigBytes = std::size_t(1) << 30;
  std::printf("Making a 1 GiB file in %d holes and one run ...\n", kHoles);
  std::filesystem::create_directories(pad);
  std::vector<std::uint8_t> block(kCluster, 0x55);
  std::string names;  // one a line, in the order they are copied in
  for (int i = 0; i < kHoles; ++i) {
    for (char k : {'a', 'b'}) {
      char name[32];
      std::snprintf(name, sizeof name, "%c%05d", k, i);
      if (!WriteFile(pad + "/" + name, block.data(), block.size())) return 1;
      names += std::string(name) + "\n";
    }
  }
  // The big file: every 8 bytes hold their own position.
  std::uint64_t expected = 0xcbf29ce484222325ULL;
  {
    FILE* f = std::fopen(big.c_str(), "wb");
    if (!f) return 1;
    std::vector<std::uint8_t> chunk(2 << 20);
    for (std::size_t at = 0; at < kBigBytes; at += chunk.size()) {
      for (std::size_t j = 0; j < chunk.size(); j += 8) {
        const std::uint64_t v = at + j;
        std::memcpy(&chunk[j], &v, 8);
      }
      expected = Fnv(chunk.data(), chunk.size(), expected);
      if (std::fwrite(chunk.data(), 1, chunk.size(), f) != chunk.size()) return 1;
    }
    std::fclose(f);
  }
  if (!WriteFile(dir + "/names", names.data(), names.size())) return 1;
  const auto made = Clock::now();
  // xargs splits the list over several mcopy calls, each appending in order.
  if (!Run("mkfs.fat -C -F 32 -s 8 -n FRAG '" + image + "' 1245184 >/dev/null") ||
      !Run("mmd -i '" + image + "' ::/pad") ||
      !Run("cd '" + pad + "' && xargs -a ../names sh -c 'mcopy -i \"$0\" \"$@\" ::/pad/' '" + image + "'") ||
      !Run("mdel -i '" + image + "' '::/pad/b*'"))
    return 1;
  {
    // mtools allocates from the FSInfo next-free hint, which points past the pads:
    // no hint, and the new file fills the holes first.
    int fd = ::open(image.c_str(), O_RDWR);
    const std::uint32_t none = 0xFFFFFFFF;
    if (fd < 0 || ::pwrite(fd, &none, 4, 512 + 492) != 4) return 1;
    ::close(fd);
  }
  if (!Run("mcopy -i '" + image + "' '" + big + "' ::/big.bin")) return 1;
  std::printf("  image made with mtools in %.1f s\n", Seconds(made));
  std::filesystem::remove(big);

  auto volume = OpenImage(image);
  if (!volume) return 1;
  ScanProgress progress;
  CFileSystem_FAT* fat = FatPass(*volume, progress);
  FoundObject file;
  {
    const auto view = volume->Store().Read();
    for (std::size_t i = 0; i < view.Count(); ++i)
      if (view.At(i)->Name() == u"big.bin") file = volume->Store().Snapshot(*view.At(i));
  }
  if (file.size != std::int64_t(kBigBytes)) {
    std::fprintf(stderr, "big.bin not found\n");
    return 1;
  }
  {
    // Its runs, as the table has them.
    FatTable table;
    std::vector<std::uint8_t> fatBytes(std::size_t(fat->Parameters().fatBytes));
    volume->ReadSectors(fatBytes.data(), fat->Parameters().fatSector, std::int64_t(fatBytes.size() / 512));
    table.Assign(std::move(fatBytes), 32, fat->Parameters().clusterCount);
    const FatChain chain = table.Chain(std::uint32_t(file.firstCluster), kBigBytes / kCluster);
    std::printf("  big.bin: %llu clusters in %zu runs\n", (unsigned long long)chain.clusters, chain.runs.size());
  }

  constexpr std::uint32_t kChunk = 2 << 20;
  std::vector<std::uint8_t> buffer(kChunk);
  // The data first, once, against what was copied in.
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (std::int64_t at = 0; at < file.size; at += kChunk) {
    if (volume->ReadObjectData(file, buffer.data(), at, kChunk) != kChunk) {
      std::fprintf(stderr, "short read at %lld\n", (long long)at);
      return 1;
    }
    h = Fnv(buffer.data(), kChunk, h);
  }
  std::printf("  data %s\n", h == expected ? "byte-exact" : "WRONG");
  if (h != expected) return 1;
  double best = 1e9;
  for (int pass = 0; pass < 3; ++pass) {
    std::uint64_t touch = 0;
    const auto start = Clock::now();
    for (std::int64_t at = 0; at < file.size; at += kChunk) {
      volume->ReadObjectData(file, buffer.data(), at, kChunk);
      touch += buffer[kChunk - 1];
    }
    const double t = Seconds(start);
    std::printf("  pass %d: %.3f s, %.0f MB/s%s\n", pass + 1, t, double(file.size) / 1e6 / t, touch == 1 ? " " : "");
    best = std::min(best, t);
  }
  std::printf("1 GiB fragmented file through ReadObjectData in 2 MB chunks: %.0f MB/s (best of 3)\n",
              double(file.size) / 1e6 / best);

  // For comparison: the image itself, read with pread in 2 MB pieces.
  int fd = ::open(image.c_str(), O_RDONLY);
  if (fd >= 0) {
    double rate = 0;
    for (int pass = 0; pass < 3; ++pass) {
      const auto start = Clock::now();
      std::int64_t bytes = 0;
      for (off_t at = 0;; at += kChunk) {
        const ssize_t n = ::pread(fd, buffer.data(), kChunk, at);
        if (n <= 0) break;
        bytes += n;
      }
      rate = std::max(rate, double(bytes) / 1e6 / Seconds(start));
    }
    ::close(fd);
    std::printf("pread of the whole image in 2 MB pieces, for comparison: %.0f MB/s (best of 3)\n", rate);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--list") == 0) {
    ProgramLog log;
    g_Log = &log;
    const double best = TimePasses(argv[2], argc > 3 ? std::atoi(argv[3]) : 4);
    g_Log = nullptr;
    return best < 0 ? 1 : 0;
  }
  bool keep = false, files = true, read = true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--keep") == 0) keep = true;
    else if (std::strcmp(argv[i], "--files-only") == 0) read = false;
    else if (std::strcmp(argv[i], "--read-only") == 0) files = false;
    else {
      std::fprintf(stderr, "usage: bench_fat [--keep] [--files-only | --read-only] | --list IMAGE [passes]\n");
      return 2;
    }
  }
  ProgramLog log;
  g_Log = &log;
  setenv("MTOOLS_SKIP_CHECK", "1", 1);
  const char* base = std::getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/bench_fat-XXXXXX";
  if (!mkdtemp(templ.data())) return std::perror("mkdtemp"), 1;
  std::printf("Working in %s\n", templ.c_str());
  int rc = 0;
  if (files) rc = ListingBench(templ);
  if (rc == 0 && read) rc = ReadBench(templ);
  if (keep)
    std::printf("Kept %s\n", templ.c_str());
  else
    std::filesystem::remove_all(templ);
  g_Log = nullptr;
  return rc;
}
