// The boot set-up and the partition walk over an in-memory disk image. Every
// partition the walk hands over becomes a volume that is set up at once, as the
// computer object does, so nested walks run too. The low bit of the first byte (boot
// code, which nothing parses) picks 4096-byte logical sectors over 512.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/device/MemoryBlockDevice.h"
#include "engine/records/ProgramLog.h"
#include "engine/volume/PartitionSink.h"
#include "engine/volume/Volume.h"

namespace {

class Computer : public IPartitionSink {
 public:
  std::shared_ptr<CVolume> Register(std::shared_ptr<CVolume> v) {
    v->SetDeviceNodeId(nextId_--);
    volumes_.push_back(v);
    return v;
  }

  std::shared_ptr<CVolume> AddPartitionVolume(const FoundObject& p) override {
    std::shared_ptr<CVolume> parent;
    for (const auto& v : volumes_)
      if (v->DeviceNodeId() == p.parentId) parent = v;
    if (!parent) __builtin_trap();  // the walk names the volume it walked
    const VolumeInfo pi = parent->Info();
    // What the walk hands over lies inside the volume walked.
    if (p.offset <= 0 || p.size <= 0) __builtin_trap();
    const std::int64_t room = pi.totalBytes > 0 ? pi.totalBytes : pi.geometry.totalSectors * 512;
    if (room > 0 && p.offset + p.size > room) __builtin_trap();
    if (volumes_.size() > 8192) __builtin_trap();  // the walk's own caps keep far below

    auto n = std::make_shared<CVolume>(CVolume::kFoundPartition);
    n->SetParentVolume(parent);
    n->UpdateInfo([&](VolumeInfo& i) {
      i.geometry.baseOffset = pi.geometry.baseOffset + p.offset;
      i.totalBytes = p.size;
      i.geometry.totalSectors = p.size / 512;
      i.logicalSectorSize = pi.logicalSectorSize;
    });
    const std::int32_t type = p.typeId & 0xFF;
    n->SetFileSystemTypeCode(CVolume::GetFileSystemFamily(type) < 2 ? type : 0);
    n->SetDeviceNodeParent(parent->DeviceNodeId());
    n->SetReadRetries(0);
    Register(n);
    n->BootSetup();
    const VolumeGeometry g = n->Geometry();
    if (g.sectorsPerCluster < 1 || g.clusterBytes < 512 || g.totalSectors < 0 || g.totalClusters < 0)
      __builtin_trap();
    n->GetFileSystemName();
    return n;
  }

 private:
  std::vector<std::shared_ptr<CVolume>> volumes_;
  std::int32_t nextId_ = -31;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (std::size_t(16) << 20)) return 0;
  ProgramLog log;  // a log of its own per input: the log keeps every line
  log.SetTimeStamps(false);
  g_Log = &log;

  DeviceInfo info;
  info.logicalSectorSize = size && (data[0] & 1) ? 4096 : 512;
  auto device = std::make_shared<MemoryBlockDevice>(data, size, info);
  Computer computer;
  SetPartitionSink(&computer);
  auto disk = std::make_shared<CVolume>(CVolume::kPhysicalDrive);
  disk->SetDeviceOpener([device](int&) { return device; });
  disk->SetReadRetries(0);
  disk->QueryInformation();
  computer.Register(disk);
  disk->BootSetup();
  disk->ParsePartitionTable();  // a second walk of the same disk
  SetPartitionSink(nullptr);
  g_Log = nullptr;
  return 0;
}
