#pragma once
// What the signature-search benchmarks share: random bytes for the images, dd over
// an image as the read ceiling, an image-file volume to search, and the median.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/volume/Volume.h"
#include "platform/Text.h"
#include "search/BuiltinFileTypes.h"
#include "search/FileTypeDatabase.h"

extern char** environ;

namespace bench {

// xorshift64: fast random bytes.
inline void FillRandom(std::vector<std::uint8_t>& block, std::uint64_t& x) {
  for (std::size_t i = 0; i + 8 <= block.size(); i += 8) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    std::memcpy(&block[i], &x, 8);
  }
}

// Seconds of `dd if=IMAGE of=/dev/null bs=2M`; -1 when it could not start.
inline double RunDd(const std::string& image) {
  const std::string in = "if=" + image;
  const char* argv[] = {"dd", in.c_str(), "of=/dev/null", "bs=2M", nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const auto start = std::chrono::steady_clock::now();
  if (posix_spawnp(&pid, "dd", &actions, nullptr, const_cast<char* const*>(argv), environ) != 0) return -1;
  int status = 0;
  ::waitpid(pid, &status, 0);
  posix_spawn_file_actions_destroy(&actions);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The image as a volume of 512-byte clusters, its offset index on.
inline std::shared_ptr<CVolume> OpenImage(const std::string& image) {
  auto volume = std::make_shared<CVolume>(CVolume::kImageFile);
  volume->SetDevicePath(platform::Utf8ToUtf16(image));
  if (!volume->QueryInformation()) return nullptr;
  volume->UpdateInfo([](VolumeInfo& info) { info.geometry.totalClusters = info.geometry.totalSectors; });
  volume->Store().EnableOffsetIndex(1);
  return volume;
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// The median of `runs` dd passes over the image, after one that warms the page cache.
inline double MedianDd(const std::string& image, int runs) {
  RunDd(image);
  std::vector<double> times;
  for (int r = 0; r < runs; ++r) times.push_back(RunDd(image));
  return Median(times);
}

// Every built-in type, searched, as the program's database.
inline void LoadBuiltinTypes(FileTypeDatabase& db) {
  db.CreateDefaultGroups();
  for (auto& t : MakeBuiltinFileTypes()) db.AppendFileType(std::move(t));
  db.InstallAsProgramDatabase();
}

// The options both search benchmarks take: --size MiB, --runs N, --keep, --image IMAGE.
struct ImageOptions {
  std::int64_t mib = 1024;
  int runs = 3;
  bool keep = false;
  std::string image;
  // Takes the option at argv[i] (and its value); false when it is none of these.
  bool Take(int argc, char** argv, int& i) {
    const std::string a = argv[i];
    if (a == "--size" && i + 1 < argc) mib = std::atoll(argv[++i]);
    else if (a == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
    else if (a == "--keep") keep = true;
    else if (a == "--image" && i + 1 < argc) image = argv[++i];
    else return false;
    return true;
  }
};

// A private folder under $TMPDIR (or /tmp) for an image; empty when it can't be made.
inline std::string PrivateFolder(const std::string& name) {
  const char* tmp = std::getenv("TMPDIR");
  std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name + "-XXXXXX";
  if (!::mkdtemp(templ.data())) return {};
  return templ;
}

}  // namespace bench
