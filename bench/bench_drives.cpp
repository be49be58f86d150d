// Lists this machine's drives as the drive list sees them, and times a refresh:
// the first one (every device is queried on its own thread), a second one (every
// device is kept, nothing is queried) and the reading of sysfs and mountinfo alone.
// Devices are opened read-only for their queries; nothing is written anywhere.
// Run it as root to see what the queries fill in (others may not open the disks).
//
//   bench_drives [rounds]       (default 20 rounds of the reading alone)
//   bench_drives --watch SECS   lists the drives, then watches for device changes
//                               (kernel events and the re-check) for SECS seconds and
//                               prints each log line and message as it comes

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "engine/records/Messages.h"
#include "engine/records/Notifier.h"
#include "engine/records/ProgramLog.h"
#include "engine/volume/DriveEnumerator.h"
#include "engine/volume/Volume.h"
#include "engine/volume/VolumesList.h"
#include "platform/Text.h"

namespace {

double MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

const char* KindName(std::int32_t kind) {
  switch (kind) {
    case CVolume::kPhysicalDrive: return "disk";
    case CVolume::kLogicalDrive: return "mounted";
    case CVolume::kPartition: return "partition";
    case CVolume::kImageFile: return "image";
    case CVolume::kFoundPartition: return "found partition";
    default: return "?";
  }
}

class PrintingNotifier : public INotifier {
 public:
  void Post(PostedMessage m) override {
    if (m.message == WM_DEVICE_CHANGED)
      std::printf("WM_DEVICE_CHANGED wParam 0x%llx\n", static_cast<unsigned long long>(m.wParam));
  }
};

void PrintList(CVolumesList& list);

int Watch(int seconds) {
  PrintingNotifier notifier;
  SetNotifier(&notifier);
  std::int32_t nextId = -31;
  {
    CVolumesList list;
    list.SetIdSource([&nextId](const std::u16string&) { return nextId--; });
    list.Refresh(false);
    PrintList(list);
    std::printf("\nwatching for %d s (kernel events: %s)\n", seconds,
                platform::OpenKernelUeventSource() ? "yes" : "refused");
    list.StartDeviceWatch();
    std::size_t shown = Log().LineCount();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      for (; shown < Log().LineCount(); ++shown)
        std::printf("log: %s\n", platform::Utf16ToUtf8(Log().Line(shown)).c_str());
    }
    list.StopDeviceWatch();
    std::printf("\n");
    PrintList(list);
  }
  SetNotifier(nullptr);
  return 0;
}

void PrintList(CVolumesList& list) {
  std::printf("%-3s %-15s %-5s %-14s %-16s %15s  %s\n", "#", "kind", "state", "device", "mount point", "bytes",
              "description / lies on");
  int i = 0;
  for (const auto& v : list.Volumes()) {
    const VolumeInfo info = v->Info();
    std::string on;
    if (auto parent = v->GetParentVolume()) on = "on " + platform::Utf16ToUtf8(parent->Info().devicePath);
    const std::string what = v->GetKind() == CVolume::kPhysicalDrive ? platform::Utf16ToUtf8(info.description) : on;
    std::printf("%-3d %-15s %-5d %-14s %-16s %15lld  %s\n", i++, KindName(v->GetKind()), v->GetState(),
                platform::Utf16ToUtf8(info.devicePath).c_str(), platform::Utf16ToUtf8(info.rootPath).c_str(),
                static_cast<long long>(info.totalBytes), what.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::strcmp(argv[1], "--watch") == 0) return Watch(std::max(1, std::atoi(argv[2])));
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  std::int32_t nextId = -31;
  CVolumesList list;
  list.SetIdSource([&nextId](const std::u16string&) { return nextId--; });

  auto start = std::chrono::steady_clock::now();
  list.Refresh(false);
  const double first = MsSince(start);
  PrintList(list);

  start = std::chrono::steady_clock::now();
  list.Refresh(false);
  const double second = MsSince(start);

  start = std::chrono::steady_clock::now();
  std::size_t seen = 0;
  for (int r = 0; r < rounds; ++r) seen += DriveEnumerator().Enumerate().size();
  const double reading = MsSince(start) / rounds;

  std::printf("\nfirst refresh (queries): %.2f ms\nsecond refresh (all kept): %.2f ms\n"
              "reading sysfs and mountinfo: %.3f ms per round (%zu entries, %d rounds)\n",
              first, second, reading, seen / std::size_t(rounds), rounds);
  for (const std::u16string& line : Log().Lines()) std::printf("log: %s\n", platform::Utf16ToUtf8(line).c_str());
  return 0;
}
