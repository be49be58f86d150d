// The signature search over arbitrary sectors, with every built-in file type
// searched: the matching, the fix-ups (sizes from BMP and AVI headers, the offset of
// the type found 32 KB into its file) and the compound-document probe, through the
// real search and the volume's hit handler into its store, as an analysis runs it.
//
// The input is the volume (cut to whole sectors). Its last byte sets the run:
// bits 0-1 the cluster size (512 << n), bit 2 the block size (4 KB, so that blocks
// end inside the volume and between the parts of a file; else 64 KB), bit 3 a sector that
// can't be read (at the sector the byte before the last names), bit 4 a second
// search with two workers.
//
// Every record the store keeps, and every partition a boot-sector hit hands over,
// lies inside the volume: offset and size. Two workers find the records one finds.
//
// Seeds (fuzz/corpus/search) are slices of tests/fixtures/lost.img (files made by
// the fixture's generator, copied by mtools onto a volume mkfs.fat formatted again):
// the boot sector, and the first sectors of each planted JPEG, PNG, PDF, ZIP and
// compound document (Word, Excel), directory included; see make_seeds.sh.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

#include "FuzzSupport.h"
#include "engine/device/MemoryBlockDevice.h"
#include "engine/records/AppSettings.h"
#include "engine/records/FileTypeLookup.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/PartitionSink.h"
#include "engine/volume/Volume.h"
#include "search/BuiltinFileTypes.h"
#include "search/FileTypeDatabase.h"
#include "search/SearchManager.h"
#include "search/SignatureHitSink.h"

namespace {

using Record = std::tuple<std::int64_t, std::int64_t, std::int32_t, std::uint32_t, std::uint16_t>;

// Every built-in type, each searched.
FileTypeDatabase& Types() {
  static FileTypeDatabase* db = [] {
    auto* d = new FileTypeDatabase();
    d->CreateDefaultGroups();
    for (auto& t : MakeBuiltinFileTypes()) {
      t->SetSearchEnabled(1);
      d->AppendFileType(std::move(t));
    }
    SetFileTypeLookup(d);
    return d;
  }();
  return *db;
}

// Takes the partitions boot-sector hits hand over; each must lie inside the volume.
class Partitions : public IPartitionSink {
 public:
  explicit Partitions(std::int64_t volumeBytes) : volumeBytes_(volumeBytes) {}
  std::shared_ptr<CVolume> AddPartitionVolume(const FoundObject& p) override {
    fuzz::Check(p.offset >= 0 && p.offset < volumeBytes_, "a partition starts inside the volume");
    fuzz::Check(p.size == -1 || (p.size >= 0 && p.size <= volumeBytes_ - p.offset),
                "a partition ends inside the volume");
    return nullptr;
  }

 private:
  std::int64_t volumeBytes_;
};

// The volume's hit handler, as the analysis plugs it in.
class VolumeSink : public ISignatureHitSink {
 public:
  explicit VolumeSink(CVolume& volume) : volume_(volume) {}
  void OnSignatureHit(const FoundObject& hit) override { volume_.OnSignatureHit(hit); }

 private:
  CVolume& volume_;
};

std::vector<Record> Search(const std::vector<std::uint8_t>& image, std::int32_t clusterBytes, bool smallBlocks,
                           std::int64_t badSector, std::int32_t workers) {
  auto device = std::make_shared<MemoryBlockDevice>(image);
  if (badSector >= 0) device->InjectFault(std::uint64_t(badSector), MemoryBlockDevice::Fault::Error);
  const std::int64_t sectors = std::int64_t(image.size() / 512);
  auto volume = std::make_shared<CVolume>(CVolume::kImageFile);
  volume->SetDeviceOpener([device](int&) { return device; });
  volume->SetDevicePath(u"/memory/volume.img");
  volume->SetReadRetries(0);
  volume->SetDeviceNodeId(-31);
  volume->UpdateInfo([&](VolumeInfo& info) {
    VolumeGeometry& g = info.geometry;
    g.clusterBytes = clusterBytes;
    g.sectorsPerCluster = clusterBytes / 512;
    g.totalSectors = sectors;
    g.totalClusters = sectors / g.sectorsPerCluster;
    info.totalBytes = sectors * 512;
  });
  FoundObjectStore& store = volume->Store();
  store.Clear();
  store.RegisterObject(volume->DeviceNode());
  store.EnableOffsetIndex(1);

  AppSettings settings;
  settings.SetSearchThreads(workers);
  settings.SetSearchBufferSize(smallBlocks ? 4096 : 65536);
  ScanProgress progress;
  progress.running.store(1);
  Partitions partitions(sectors * 512);
  SetPartitionSink(&partitions);
  VolumeSink sink(*volume);
  {
    CSearchManager search(volume, progress, settings, Types(), &sink);
    fuzz::Check(search.RunSearch() == 0, "the search runs to its end");
  }
  SetPartitionSink(nullptr);

  // Every record lies inside the volume (the volume's size where the search does
  // not use the whole of it: its clusters).
  const std::int64_t volumeBytes = sectors * 512;
  std::vector<Record> out;
  const auto view = store.Read();
  for (std::size_t i = 0; i < view.Count(); ++i) {
    const FoundObject r = store.Snapshot(*view.At(i));
    if (r.IsDevice() || r.IsFolder()) continue;
    fuzz::Check(r.offset >= 0 && r.offset < volumeBytes, "a carved record starts inside the volume");
    fuzz::Check(r.size == -1 || (r.size >= 0 && r.size <= volumeBytes - r.offset),
                "a carved record ends inside the volume");
    fuzz::Check(r.offset % 512 == 0, "a carved record starts at a sector");
    fuzz::Check(!r.Name().empty(), "a carved record is named");
    out.emplace_back(r.offset, r.size, r.typeId, r.typeKey, r.flags.Load());
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || size > (std::size_t(1) << 20)) return 0;
  fuzz::Sandbox();
  ProgramLog log;  // a log of its own per input: the log keeps every line
  log.SetTimeStamps(false);
  g_Log = &log;
  const std::uint8_t run = data[size - 1];
  const std::int32_t clusterBytes = 512 << (run & 3);
  const bool smallBlocks = run & 4;
  std::vector<std::uint8_t> image(data, data + size);
  image.resize((size + 511) / 512 * 512, 0);
  const std::int64_t sectors = std::int64_t(image.size() / 512);
  const std::int64_t badSector = (run & 8) ? std::int64_t(data[size - 2]) % sectors : -1;

  const std::vector<Record> one = Search(image, clusterBytes, smallBlocks, badSector, 1);
  if (run & 16) {
    const std::vector<Record> two = Search(image, clusterBytes, smallBlocks, badSector, 2);
    fuzz::Check(one == two, "one worker and two find the same records");
  }
  g_Log = nullptr;
  return 0;
}
