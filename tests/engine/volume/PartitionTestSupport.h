#pragma once
// Disks built from bytes for the boot set-up and partition-walk tests, and a stand-in
// for the computer object that makes a volume of every partition the walk hands it.

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/device/MemoryBlockDevice.h"
#include "engine/volume/PartitionSink.h"
#include "engine/volume/Volume.h"
#include "platform/ByteOrder.h"

namespace test {

struct TableEntry {
  std::uint8_t type;
  std::uint32_t start;
  std::uint32_t count;
  std::uint8_t boot = 0;
};

// A disk of `sectors` logical sectors of `sectorSize` bytes, zero-filled.
class DiskBytes {
 public:
  explicit DiskBytes(std::size_t sectors, std::size_t sectorSize = 512)
      : bytes(sectors * sectorSize), sectorSize_(sectorSize) {}
  // A partition table (MBR or EBR) in the logical sector `lba`.
  DiskBytes& Table(std::uint64_t lba, std::vector<TableEntry> entries) {
    platform::LeWriter w(bytes.data() + lba * sectorSize_, 512);
    for (std::size_t i = 0; i < entries.size() && i < 4; ++i) {
      const std::size_t o = 446 + 16 * i;
      w.U8(o, entries[i].boot);
      w.U8(o + 4, entries[i].type);
      w.U32(o + 8, entries[i].start);
      w.U32(o + 12, entries[i].count);
    }
    w.U8(510, 0x55);
    w.U8(511, 0xAA);
    return *this;
  }
  std::uint8_t* At(std::uint64_t byteOffset) { return bytes.data() + byteOffset; }
  std::vector<std::uint8_t> bytes;

 private:
  std::size_t sectorSize_;
};

// Plays the computer object's part: every partition becomes a volume of kind 16 on
// the same device, set up at once (which may walk its own first sector).
class PartitionVolumes : public IPartitionSink {
 public:
  PartitionVolumes() { SetPartitionSink(this); }
  ~PartitionVolumes() override { SetPartitionSink(nullptr); }

  std::shared_ptr<CVolume> Register(std::shared_ptr<CVolume> v) {
    v->SetDeviceNodeId(nextId_--);
    volumes.push_back(v);
    return v;
  }
  std::shared_ptr<CVolume> AddPartitionVolume(const FoundObject& p) override {
    partitions.push_back(p);
    std::shared_ptr<CVolume> parent;
    for (const auto& v : volumes)
      if (v->DeviceNodeId() == p.parentId) parent = v;
    if (!parent) return nullptr;
    auto n = std::make_shared<CVolume>(CVolume::kFoundPartition);
    n->SetParentVolume(parent);
    const VolumeInfo pi = parent->Info();
    n->UpdateInfo([&](VolumeInfo& i) {
      i.geometry.baseOffset = pi.geometry.baseOffset + p.offset;  // on the device
      i.totalBytes = p.size;
      i.geometry.totalSectors = p.size / 512;
      i.logicalSectorSize = pi.logicalSectorSize;
    });
    // FAT and NTFS types keep their code; any other type leaves code 0, so the
    // partition's own first sector is walked as a table.
    const std::int32_t type = p.typeId & 0xFF;
    n->SetFileSystemTypeCode(CVolume::GetFileSystemFamily(type) < 2 ? type : 0);
    n->SetDeviceNodeParent(parent->DeviceNodeId());
    Register(n);
    if (setUpEach) n->BootSetup();
    return n;
  }

  std::vector<std::shared_ptr<CVolume>> volumes;
  std::vector<FoundObject> partitions;
  bool setUpEach = true;

 private:
  std::int32_t nextId_ = -31;
};

inline std::shared_ptr<CVolume> MemoryDisk(std::vector<std::uint8_t> bytes, std::uint32_t sectorSize = 512,
                                           std::int32_t kind = CVolume::kPhysicalDrive) {
  DeviceInfo info;
  info.logicalSectorSize = sectorSize;
  auto device = std::make_shared<MemoryBlockDevice>(std::move(bytes), info);
  auto v = std::make_shared<CVolume>(kind);
  v->SetDeviceOpener([device](int&) { return device; });
  v->SetReadRetries(0);
  v->QueryInformation();
  return v;
}

}  // namespace test
