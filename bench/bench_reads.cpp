// Reads an image file through a volume in 2 MB runs of sectors (as the search, the
// recovery and image creation do) and prints the rate, next to a plain pread loop
// over the same file for comparison.
//
//   bench_reads --make IMAGE [MiB]   write an image of MiB (default 1024) MiB
//   bench_reads IMAGE [passes]       read it (default 3 passes; the first warms the cache)
//   bench_reads --once IMAGE         one pass through the volume, nothing else (to time
//                                    the whole process against dd bs=2M)

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/device/SectorBuffer.h"
#include "engine/records/ProgramLog.h"
#include "engine/volume/Volume.h"
#include "platform/Text.h"

namespace {

constexpr std::int64_t kRunSectors = 4096;  // 2 MB
constexpr std::size_t kRunBytes = kRunSectors * 512;

int Make(const char* path, long mib) {
  int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return std::perror(path), 1;
  std::vector<std::uint8_t> block(kRunBytes);
  for (long i = 0; i < mib / 2; ++i) {
    for (std::size_t j = 0; j < block.size(); j += 8) std::memcpy(&block[j], &i, sizeof i);
    if (::write(fd, block.data(), block.size()) != ssize_t(block.size())) return std::perror("write"), 1;
  }
  ::close(fd);
  return 0;
}

// ReadSectors into a SectorBuffer: the reader threads read into it directly.
double VolumePass(CVolume& volume, std::int64_t sectors, SectorBuffer& buffer, std::uint64_t& sum) {
  const auto start = std::chrono::steady_clock::now();
  for (std::int64_t s = 0; s < sectors; s += kRunSectors) {
    const std::int64_t n = std::min(kRunSectors, sectors - s);
    if (volume.ReadSectors(buffer, s, n) != n * 512) std::fprintf(stderr, "short read at %lld\n", (long long)s);
    sum += buffer.data()[0];
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// ReadSectors into plain memory: read by a reader thread and copied piece by piece.
double VolumeCopyPass(CVolume& volume, std::int64_t sectors, std::span<std::uint8_t> buffer, std::uint64_t& sum) {
  const auto start = std::chrono::steady_clock::now();
  for (std::int64_t s = 0; s < sectors; s += kRunSectors) {
    const std::int64_t n = std::min(kRunSectors, sectors - s);
    if (volume.ReadSectors(buffer.data(), s, n) != n * 512) std::fprintf(stderr, "short read at %lld\n", (long long)s);
    sum += buffer[0];
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double PreadPass(int fd, std::int64_t bytes, std::span<std::uint8_t> buffer, std::uint64_t& sum) {
  const auto start = std::chrono::steady_clock::now();
  for (std::int64_t off = 0; off < bytes; off += std::int64_t(kRunBytes)) {
    if (::pread(fd, buffer.data(), kRunBytes, off) <= 0) break;
    sum += buffer[0];
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--make") == 0) return Make(argv[2], argc > 3 ? std::atol(argv[3]) : 1024);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_reads --make IMAGE [MiB] | bench_reads IMAGE [passes]\n");
    return 2;
  }
  const bool once = std::strcmp(argv[1], "--once") == 0;
  const char* image = once ? (argc > 2 ? argv[2] : "") : argv[1];
  const int passes = !once && argc > 2 ? std::atoi(argv[2]) : 3;
  ProgramLog log;
  g_Log = &log;
  auto volume = std::make_shared<CVolume>(CVolume::kImageFile);
  volume->SetDevicePath(platform::Utf8ToUtf16(image));
  if (!volume->QueryInformation()) return std::fprintf(stderr, "cannot open %s\n", image), 1;
  const VolumeInfo info = volume->Info();
  const std::int64_t sectors = info.geometry.totalSectors;
  const double mb = double(sectors) * 512 / 1e6;
  // A page-aligned buffer, as dd has: the kernel copies into it twice as fast.
  std::unique_ptr<std::uint8_t, decltype(&std::free)> memory(
      static_cast<std::uint8_t*>(std::aligned_alloc(4096, kRunBytes)), &std::free);
  std::span<std::uint8_t> buffer(memory.get(), kRunBytes);
  std::memset(buffer.data(), 0, buffer.size());
  std::uint64_t sum = 0;
  SectorBuffer sectorBuffer(kRunBytes);

  if (once) {
    const double v = VolumePass(*volume, sectors, sectorBuffer, sum);
    std::printf("ReadSectors %.0f MB/s (checksum %llu)\n", mb / v, (unsigned long long)sum);
    return 0;
  }
  const int fd = ::open(image, O_RDONLY | O_CLOEXEC);
  for (int p = 0; p < passes; ++p) {
    const double v = VolumePass(*volume, sectors, sectorBuffer, sum);
    const double c = VolumeCopyPass(*volume, sectors, buffer, sum);
    const double r = PreadPass(fd, info.totalBytes, buffer, sum);
    std::printf("pass %d: ReadSectors into a SectorBuffer %.0f MB/s (%.0f %%), into memory %.0f MB/s (%.0f %%), "
                "pread %.0f MB/s\n",
                p + 1, mb / v, 100 * r / v, mb / c, 100 * r / c, mb / r);
  }
  ::close(fd);
  std::printf("checksum %llu\n", (unsigned long long)sum);
  g_Log = nullptr;
  return 0;
}
