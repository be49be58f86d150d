// Lists an NTFS volume of 20,000 files, as the file-system pass does, from the page
// cache, and prints the time of the pass.
//
//   bench_ntfs [image] [passes]
//   bench_ntfs IMAGE --recover DEST
//       one file-system pass, then the recovery of every live file it listed (the
//       files a mount shows, without the file system's own) into a new folder below
//       DEST, removed before the program ends: to time the whole process against
//       cp -r of the same files copied out of a mount beforehand.
//
// Without an image, bench/make_ntfs_bench.sh makes one in a temporary folder (mkntfs
// and an ntfs-3g mount: root or access to /dev/fuse), which is removed at the end.
// The image is read once before the timed passes, so every pass reads it from the
// page cache.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/fs/ntfs/FileSystem_NTFS.h"
#include "engine/records/AppSettings.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/Volume.h"
#include "platform/Text.h"
#include "search/Recovery.h"

namespace {

std::string MakeImage(std::string& tempDir) {
  const char* base = std::getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/ntfs-bench-XXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) return {};
  tempDir = buf.data();
  const std::string script = std::filesystem::path(__FILE__).parent_path() / "make_ntfs_bench.sh";
  std::printf("making the volume with %s (mkntfs, ntfs-3g) in %s ...\n", script.c_str(), tempDir.c_str());
  std::fflush(stdout);
  const std::string cmd = "'" + script + "' '" + tempDir + "' >/dev/null";
  if (std::system(cmd.c_str()) != 0) return {};
  return tempDir + "/ntfs_bench.img";
}

void WarmPageCache(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  std::vector<char> buffer(1 << 20);
  while (read(fd, buffer.data(), buffer.size()) > 0) {
  }
  close(fd);
}

struct PassResult {
  double ms = 0;
  std::size_t objects = 0;
  std::int64_t records = 0;
};

// One file-system pass with the analysis' steps around the parser.
PassResult RunPass(CVolume& volume, ScanProgress& progress) {
  const auto start = std::chrono::steady_clock::now();
  volume.BootSetup();
  auto parser = std::make_unique<CFileSystem_NTFS>(volume, progress);
  CFileSystem_NTFS* fs = parser.get();
  volume.SetFileSystem(std::move(parser));
  FoundObjectStore& store = volume.Store();
  store.Clear();
  store.RegisterObject(volume.DeviceNode());
  store.SetRootFolderId(5);
  fs->root.id = 5;
  fs->root.parentId = volume.DeviceNodeId();
  store.RegisterObject(fs->root);
  progress.running = 1;
  fs->Analyse();
  PassResult r;
  r.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  r.objects = store.Count() - 2;
  r.records = fs->RecordCount();
  return r;
}

// One pass, then every file it listed recovered into a new folder below `dest`,
// which is removed again. 0 when every file was recovered.
int RecoverAll(const std::string& image, const std::string& dest) {
  ProgramLog log;
  log.SetTimeStamps(false);
  g_Log = &log;
  AppSettings settings;
  settings.FillDefaults();
  SetSettings(&settings);
  auto volume = std::make_shared<CVolume>(CVolume::kImageFile);
  volume->SetDevicePath(platform::Utf8ToUtf16(image));
  volume->SetDeviceNodeId(-31);
  volume->QueryInformation();
  ScanProgress progress;
  const PassResult pass = RunPass(*volume, progress);
  std::vector<FoundObject*> files;
  {
    const FoundObjectStore::ReadView view = volume->Store().Read();
    for (std::size_t i = 0; i < view.Count(); ++i) {
      FoundObject* o = view.At(i);
      // The files a mount shows: live ones, without the file system's own ($MFT, ...).
      if (!o || o->IsFolder() || o->IsDevice() || o->size <= 0 || o->flags.Any(OBJ_DELETED)) continue;
      if (o->Name().empty() || o->Name()[0] == u'$') continue;
      files.push_back(o);
    }
  }
  std::string templ = dest + "/vandrel-bench-ntfs-XXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) return std::perror(dest.c_str()), 1;
  const std::string made = buf.data();
  settings.SetDestinationFolder(platform::Utf8ToUtf16(made));
  CRecovery job;
  const auto start = std::chrono::steady_clock::now();
  job.SetSelection(volume, files);
  if (!job.StartRecovery()) return 1;
  job.Join();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("pass %.0f ms; %d of %zu files recovered in %.2f s\n", pass.ms, job.SuccessCount(), files.size(),
              seconds);
  std::error_code ec;
  std::filesystem::remove_all(made, ec);
  const bool all = job.SuccessCount() == std::int32_t(files.size());
  volume.reset();
  SetSettings(nullptr);
  g_Log = nullptr;
  return all ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[2]) == "--recover") return RecoverAll(argv[1], argv[3]);
  std::string tempDir;
  std::string image = argc > 1 ? argv[1] : MakeImage(tempDir);
  const int passes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  if (image.empty()) {
    std::fprintf(stderr, "bench_ntfs: no image (making one needs mkntfs, ntfs-3g and /dev/fuse)\n");
    if (!tempDir.empty()) std::filesystem::remove_all(tempDir);
    return 1;
  }
  ProgramLog log;
  log.SetTimeStamps(false);
  g_Log = &log;

  auto volume = std::make_shared<CVolume>(CVolume::kImageFile);
  volume->SetDevicePath(platform::Utf8ToUtf16(image));
  volume->SetDeviceNodeId(-31);
  volume->QueryInformation();
  WarmPageCache(image);
  ScanProgress progress;
  RunPass(*volume, progress);  // untimed: the first pass warms what is left

  std::vector<double> times;
  PassResult last;
  for (int i = 0; i < passes; ++i) {
    last = RunPass(*volume, progress);
    times.push_back(last.ms);
  }
  std::sort(times.begin(), times.end());
  const double median = times[times.size() / 2];
  std::printf("volume: %s, %lld bytes, %lld MFT records\n", image.c_str(),
              static_cast<long long>(volume->Info().totalBytes), static_cast<long long>(last.records));
  std::printf("objects listed: %zu (folders %lld, files %lld per pass)\n", last.objects,
              static_cast<long long>(volume->FileSystemPassCounters().folders.load() / (passes + 1)),
              static_cast<long long>(volume->FileSystemPassCounters().files.load() / (passes + 1)));
  std::printf("file-system pass: best %.1f ms, median %.1f ms, worst %.1f ms over %d passes\n", times.front(), median,
              times.back(), passes);
  std::printf("records per second (median): %.0f\n", last.records / (median / 1000.0));

  volume.reset();
  g_Log = nullptr;
  if (!tempDir.empty()) std::filesystem::remove_all(tempDir);
  return 0;
}
