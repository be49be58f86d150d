// Recovers 1 GiB of found files from a drive image in the page cache into a folder
// on another file system (by default /dev/shm) and prints the rate, next to cp of
// the same bytes (the image file itself) into the same folder, in the same run.
// Recovery and cp take turns; the figures are medians.
//
//   bench_recovery [--image PATH] [--dest DIR] [--mib N] [--file-mib N] [--runs N]
//       PATH defaults to $TMPDIR/vandrel-bench-recovery.img (made when missing), DIR to
//       /dev/shm, N to 1024 MiB of files of 4 MiB each, 5 runs.
//   bench_recovery --once IMAGE DEST [--file-mib N]
//       one recovery of the whole image into a new folder below DEST, removed before
//       the program ends (to time the whole process against cp).

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/records/AppSettings.h"
#include "engine/records/ProgramLog.h"
#include "engine/volume/Volume.h"
#include "platform/FileTime.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "search/Recovery.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kBlock = 2 * 1024 * 1024;

std::int64_t FileSize(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 ? std::int64_t(st.st_size) : -1;
}

bool MakeImage(const std::string& path, std::int64_t bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::vector<std::uint8_t> block(kBlock);
  for (std::int64_t done = 0; done < bytes; done += std::int64_t(kBlock)) {
    for (std::size_t j = 0; j < block.size(); j += 8) {
      const std::uint64_t v = std::uint64_t(done + std::int64_t(j)) * 0x9E3779B97F4A7C15ull;
      std::memcpy(&block[j], &v, sizeof v);
    }
    const std::size_t n = std::size_t(std::min<std::int64_t>(bytes - done, std::int64_t(kBlock)));
    if (write(fd, block.data(), n) != ssize_t(n)) return close(fd), false;
  }
  return close(fd) == 0;
}

// Reads the image once so that every run finds it in the page cache.
void Warm(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  std::vector<std::uint8_t> block(kBlock);
  while (read(fd, block.data(), block.size()) > 0) {
  }
  close(fd);
}

std::string FileSystemName(const std::string& path) {
  struct statfs fs{};
  if (statfs(path.c_str(), &fs) != 0) return "?";
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53: return "ext2/3/4";
    case 0x01021994: return "tmpfs";
    case 0x9123683E: return "btrfs";
    case 0x58465342: return "xfs";
    case 0x794C7630: return "overlayfs";
    default: {
      char buf[32];
      std::snprintf(buf, sizeof buf, "0x%lx", static_cast<unsigned long>(fs.f_type));
      return buf;
    }
  }
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The image as a volume whose store holds one folder of files that tile it.
struct Source {
  std::shared_ptr<CVolume> volume;
  std::vector<FoundObject*> files;
};

Source MakeSource(const std::string& image, std::int64_t fileBytes) {
  Source s;
  s.volume = std::make_shared<CVolume>(CVolume::kImageFile);
  s.volume->SetDevicePath(platform::Utf8ToUtf16(image));
  FoundObjectStore& store = s.volume->Store();
  store.SetRootFolderId(0);
  FoundObject folder;
  folder.flags = OBJ_FOLDER | OBJ_NAMED;
  folder.parentId = -31;
  folder.SetName(u".");
  store.RegisterObject(folder);
  folder.id = 2;
  folder.parentId = 0;
  folder.SetName(u"DCIM");
  store.RegisterObject(folder);
  const std::int64_t total = FileSize(image);
  for (std::int64_t offset = 0, i = 0; offset < total; offset += fileBytes, ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "IMG_%04lld.JPG", static_cast<long long>(i));
    const std::u16string text = platform::Utf8ToUtf16(name);
    FoundObject f;
    f.id = std::int32_t(100 + i);
    f.parentId = 2;
    f.flags = OBJ_NAMED;
    f.SetName(text);
    f.offset = offset;
    f.size = std::min(fileBytes, total - offset);
    f.modified = f.accessed = platform::FileTimeFromUnix(1600000000 + i);
    s.files.push_back(store.RegisterObject(f));
  }
  return s;
}

// One recovery into a new folder below `dest`; the seconds it took (-1 on failure).
double Recover(Source& source, const std::string& dest, AppSettings& settings, std::string& made) {
  std::string templ = dest + "/vandrel-bench-XXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) return -1;
  made = buf.data();
  settings.SetDestinationFolder(platform::Utf8ToUtf16(made));
  CRecovery job;
  job.SetSelection(source.volume, source.files);
  const auto start = Clock::now();
  if (!job.StartRecovery()) return -1;
  job.Join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (job.SuccessCount() != std::int32_t(source.files.size())) {
    std::fprintf(stderr, "only %d of %zu files recovered\n", job.SuccessCount(), source.files.size());
    return -1;
  }
  return seconds;
}

double Copy(const std::string& image, const std::string& target) {
  const char* argv[] = {"cp", image.c_str(), target.c_str(), nullptr};
  pid_t pid;
  const auto start = Clock::now();
  if (posix_spawnp(&pid, "cp", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string image = platform::JoinPath(platform::TempDir(), "vandrel-bench-recovery.img");
  std::string dest = "/dev/shm";
  std::int64_t mib = 1024, fileMib = 4;
  int runs = 5;
  bool once = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--image") image = next();
    else if (a == "--dest") dest = next();
    else if (a == "--mib") mib = std::atoll(next().c_str());
    else if (a == "--file-mib") fileMib = std::atoll(next().c_str());
    else if (a == "--runs") runs = std::atoi(next().c_str());
    else if (a == "--once" && i + 2 < argc) {
      once = true;
      image = argv[++i];
      dest = argv[++i];
    } else {
      std::fprintf(stderr, "usage: see the comment at the top of bench_recovery.cpp\n");
      return 2;
    }
  }
  ProgramLog log;
  log.SetTimeStamps(false);
  g_Log = &log;
  AppSettings settings;
  settings.FillDefaults();
  SetSettings(&settings);

  if (!once) {
    const std::int64_t bytes = mib * 1024 * 1024;
    if (FileSize(image) != bytes && !MakeImage(image, bytes)) return std::perror(image.c_str()), 1;
    Warm(image);
    struct stat a{}, b{};
    stat(FolderOf(image).c_str(), &a);
    stat(dest.c_str(), &b);
    std::printf("image %s (%s), destination %s (%s)%s\n", image.c_str(), FileSystemName(FolderOf(image)).c_str(),
                dest.c_str(), FileSystemName(dest).c_str(),
                a.st_dev == b.st_dev ? " - WARNING: the same file system" : ", another file system");
  }
  Source source = MakeSource(image, fileMib * 1024 * 1024);
  const double mb = double(FileSize(image)) / 1e6;
  std::printf("%zu files of %lld MiB, %.0f MB in all\n", source.files.size(), static_cast<long long>(fileMib), mb);

  if (once) {
    std::string made;
    const double s = Recover(source, dest, settings, made);
    std::error_code ec;
    if (!made.empty()) std::filesystem::remove_all(made, ec);
    if (s < 0) return 1;
    std::printf("recovery %.0f MB/s\n", mb / s);
    return 0;
  }

  std::vector<double> rec, cp, ratio;
  for (int r = 0; r < runs; ++r) {
    double tr = 0, tc = 0;
    std::string made;
    const std::string copy = dest + "/vandrel-bench-cp.img";
    std::error_code ec;
    for (int k = 0; k < 2; ++k) {
      if ((k == 0) == (r % 2 == 0)) {
        tr = Recover(source, dest, settings, made);
        if (!made.empty()) std::filesystem::remove_all(made, ec);
      } else {
        tc = Copy(image, copy);
        unlink(copy.c_str());
      }
    }
    if (tr <= 0 || tc <= 0) return std::fprintf(stderr, "run %d failed\n", r + 1), 1;
    rec.push_back(mb / tr);
    cp.push_back(mb / tc);
    ratio.push_back(tc / tr);
    std::printf("run %d: recovery %.0f MB/s, cp %.0f MB/s (%.0f %%)\n", r + 1, mb / tr, mb / tc, 100 * tc / tr);
  }
  std::printf("median: recovery %.0f MB/s, cp %.0f MB/s, recovery at %.0f %% of cp\n", Median(rec), Median(cp),
              100 * Median(ratio));
  SetSettings(nullptr);
  g_Log = nullptr;
  return 0;
}
