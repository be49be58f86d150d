// CVolume's boot set-up and partitions: the boot sector and its backups, the
// geometry it gives, the MBR walk with its extended chain (the GPT walk is in
// VolumeGpt.cpp), and where a boot sector found by the search puts its volume.

#include <algorithm>
#include <limits>

#include "engine/records/ProgramLog.h"
#include "engine/volume/PartitionSink.h"
#include "engine/volume/Volume.h"
#include "platform/ByteOrder.h"
#include "platform/Format.h"
#include "platform/Text.h"

namespace {

enum class BootFamily { None, Fat1216, Fat32, Ntfs };

BootFamily BootFamilyOf(std::int32_t code) {
  switch (code) {
    case 1: case 4: case 6: case 14: case 17: case 20: case 22: case 30: case 134:
      return BootFamily::Fat1216;
    case 11: case 12: case 27: case 28: case 139: case 140:
      return BootFamily::Fat32;
    case 7: case 135:
      return BootFamily::Ntfs;
    default:
      return BootFamily::None;
  }
}

// Sectors per cluster from byte 13: a power of two up to 128; on NTFS a byte of
// 0xF4 or more is 2^(256 - byte). 0 for anything else (damaged data).
std::int32_t SectorsPerCluster(std::uint8_t b, BootFamily family) {
  if (family == BootFamily::Ntfs && b >= 0xF4) return std::int32_t(1) << (256 - b);
  if (b != 0 && (b & (b - 1)) == 0) return b;
  return 0;
}

// An 8-bit text field, up to its first NUL.
std::u16string TextField(const platform::LeView& v, std::size_t offset, std::size_t length) {
  platform::Bytes bytes = v.Sub(offset, length);
  std::size_t n = 0;
  while (n < bytes.size() && bytes[n] != 0) ++n;
  return platform::Windows1252ToUtf16(bytes.first(n));
}

}  // namespace

bool CVolume::IsSoundBootSector(const std::uint8_t* sector, std::int32_t* code) {
  const platform::LeView v(sector, kSectorSize);
  const std::int32_t detected = CFileSystem::DetectByBootSector(v.bytes());
  if (code) *code = detected;
  if (detected == 0) return false;
  const std::uint16_t bytesPerSector = v.U16(11);
  if (bytesPerSector < 512 || bytesPerSector > 4096 || (bytesPerSector & (bytesPerSector - 1)) != 0) return false;
  const BootFamily family = BootFamilyOf(detected);
  if (SectorsPerCluster(v.U8(13), family) == 0) return false;
  if (family == BootFamily::Ntfs) return v.U64(0x28) != 0 && v.U64(0x30) != 0;
  return v.U16(14) != 0 && v.U8(16) != 0;  // reserved sectors and FAT copies
}

int CVolume::ReadBootSector() {
  std::array<std::uint8_t, 1024> boot{};
  const bool read = ReadSectors(boot.data(), 0, 2) >= kSectorSize;
  std::int64_t from = 0;
  // A first sector that can't be read, or that names a file system whose fields do not
  // hold together, or that carries nothing at all (no 55 AA: no partition table
  // either): a backup copy may serve. FAT32 keeps one at sector 6; NTFS at the
  // volume's last sector (older tools wrote it at the middle). A sector with a
  // partition table's signature is left to the partition walk.
  std::int32_t primaryCode = 0;
  const bool sound = read && IsSoundBootSector(boot.data(), &primaryCode);
  if (!sound && (!read || primaryCode != 0 || boot[510] != 0x55 || boot[511] != 0xAA)) {
    std::array<std::uint8_t, 1024> copy{};
    std::int32_t code = 0;
    if (ReadSectors(copy.data(), 6, 2) >= kSectorSize && IsSoundBootSector(copy.data(), &code) &&
        BootFamilyOf(code) == BootFamily::Fat32 && platform::LeView(copy.data(), kSectorSize).U16(50) == 6) {
      from = 6;
    } else {
      const std::int64_t sectors = VolumeBytes() / kSectorSize;
      for (const std::int64_t at : {sectors - 1, sectors / 2}) {
        copy.fill(0);
        if (at <= 0 || ReadSectors(copy.data(), at, 1) != kSectorSize) continue;
        if (!IsSoundBootSector(copy.data(), &code) || BootFamilyOf(code) != BootFamily::Ntfs) continue;
        // The copy describes a volume that reaches at least to where it lies.
        const std::uint64_t total = platform::LeView(copy.data(), kSectorSize).U64(0x28);
        if (total < std::uint64_t(at) || total > std::uint64_t(sectors)) continue;
        from = at;
        break;
      }
    }
    if (from != 0) boot = copy;
  }
  if (!read && from == 0) {
    Log().ErrorId(173, GetDisplayName());
    return 0;
  }
  bool changed = false;
  {
    std::lock_guard lock(infoMutex_);
    bootCopy_ = boot;
    changed = bootCopySector_ != from;
    bootCopySector_ = from;
  }
  if (from != 0 && changed)
    Log().Error(u"The boot sector of %s can't be read or is damaged: its backup copy at sector %I64d is used",
                GetDisplayName(), from);
  return 1;
}

std::int64_t CVolume::BootCopySector() const {
  std::lock_guard lock(infoMutex_);
  return bootCopySector_;
}

int CVolume::BootSetup() {
  try {
    if (!ReadBootSector()) return 0;
    const auto boot = BootCopy();
    const platform::LeView v(boot.data(), kSectorSize);

    // The file system the boot sector names replaces the partition-type byte.
    const std::int32_t detected = CFileSystem::DetectByBootSector(v.bytes());
    std::int32_t code;
    {
      std::unique_lock lock(fsMutex_);
      if (detected && detected != fs_->typeCode) {
        fs_->typeCode = detected;
        fs_->GetTypeName();
      }
      code = fs_->typeCode;
    }
    const BootFamily family = BootFamilyOf(code);

    std::int64_t imageBytes = -1;
    if (kind_ == kImageFile) {
      if (auto reader = OpenDrive())
        imageBytes = std::int64_t(std::min<std::uint64_t>(reader->Device()->Query().sizeBytes, INT64_MAX));
    }

    {
      std::lock_guard lock(infoMutex_);
      VolumeInfo& info = info_;
      VolumeGeometry& g = info.geometry;
      g.oemName = TextField(v, 3, 8);
      if (code != 0) {
        if (const std::int32_t spc = SectorsPerCluster(v.U8(13), family)) g.sectorsPerCluster = spc;
      }
      if (imageBytes >= 0) {
        info.totalBytes = imageBytes;
        g.totalSectors = imageBytes / kSectorSize;
      }
      if (family == BootFamily::Fat1216 || family == BootFamily::Fat32) {
        const bool fat32 = family == BootFamily::Fat32;
        if (const std::uint32_t serial = v.U32(fat32 ? 67 : 39)) g.serialLow = serial;
        if (info.label.empty()) info.label = TextField(v, fat32 ? 71 : 43, 11);
        if (g.totalSectors == 0) {
          std::int64_t sectors = v.U32(32);
          if (sectors == 0) sectors = v.U16(19);
          if (sectors == 0) {
            Log().Error(u"boot_fat16->BPB.Large_Sectors == 0 && boot_fat16->BPB.Small_Sectors == 0");
          } else {
            // Damaged data: never more sectors than the volume (or what is left of its
            // device) holds.
            std::int64_t room = info.totalBytes;
            const auto deviceBytes = std::int64_t(std::min<std::uint64_t>(info.device.sizeBytes, INT64_MAX));
            if (room <= 0 && deviceBytes > g.baseOffset) room = deviceBytes - g.baseOffset;
            if (room > 0 && sectors > room / kSectorSize) sectors = room / kSectorSize;
          }
          g.totalSectors = sectors;
        }
      } else if (family == BootFamily::Ntfs) {
        if (const std::uint32_t high = v.U32(76)) {
          g.serialLow = v.U32(72);
          g.serialHigh = high;
        }
      }
      if (g.bytesPerSector <= 0 || (g.bytesPerSector & (g.bytesPerSector - 1)) != 0) g.bytesPerSector = 512;
      if (g.sectorsPerCluster <= 0) g.sectorsPerCluster = 1;
      if (info.totalBytes == 0 && g.totalSectors != 0) info.totalBytes = g.totalSectors * kSectorSize;
      if (g.totalClusters == 0 && g.totalSectors != 0) g.totalClusters = g.totalSectors / g.sectorsPerCluster;
      g.clusterBytes = g.sectorsPerCluster * g.bytesPerSector;
      // What the file system can do; a read-only mount (the query found it) stays so.
      info.fileSystemFlags = FileSystemFlagsOf(code) | (info.fileSystemFlags & kFsReadOnlyVolume);
    }
    // No file system: a partitioned drive.
    if (code == 0) ParsePartitionTable(0);
    return 1;
  } catch (...) {
    Log().Error(u"CVolume::BootSetup except");
    return 0;
  }
}

thread_local CVolume::PartitionWalk* CVolume::activeWalk_ = nullptr;

int CVolume::ParsePartitionTable(std::int64_t lba) {
  if (lba < 0) return 0;
  std::shared_ptr<TimedReader> reader = OpenDrive();
  if (!reader) return 0;
  const void* device = reader->Device().get();
  PartitionWalk own;
  PartitionWalk* const outer = activeWalk_;
  PartitionWalk* walk = outer && outer->device == device ? outer : &own;
  own.device = device;
  if (walk->nesting >= kMaxNestedWalks) {
    Log().Plain(platform::Format(u"Partition tables nested deeper than %d volumes: %s not walked", kMaxNestedWalks,
                                 GetDisplayName()));
    return 0;
  }
  ++walk->nesting;
  activeWalk_ = walk;
  int added = 0;
  try {
    WalkTable(*walk, lba, 0, true, 0, added);
  } catch (...) {
    Log().Error(u"CVolume::ParsePartitionTable except");
  }
  --walk->nesting;
  activeWalk_ = outer;
  return added;
}

void CVolume::WalkTable(PartitionWalk& walk, std::int64_t lba, std::int64_t extendedBase, bool isMbr, int depth,
                        int& added) {
  const VolumeInfo info = Info();
  std::int64_t sectorSize = info.logicalSectorSize;
  if (sectorSize < 512 || sectorSize > 65536 || (sectorSize & (sectorSize - 1)) != 0) sectorSize = 512;
  const std::int64_t base = info.geometry.baseOffset;
  const std::int64_t bytes = info.totalBytes > 0 ? info.totalBytes : info.geometry.totalSectors * kSectorSize;
  const bool sized = bytes > 0;  // a volume of unknown size has its extents not checked
  const std::int64_t sectors = bytes / sectorSize;
  // Table LBAs are u32 sums: far from any overflow once in 64 bits.
  if (lba > (std::numeric_limits<std::int64_t>::max() - base) / sectorSize / 2) return;
  const std::int64_t at = base + lba * sectorSize;
  if (++walk.tablesRead > kMaxTablesPerWalk) {
    Log().Plain(platform::Format(u"More than %d partition tables on %s: the walk stops", kMaxTablesPerWalk,
                                 GetDisplayName()));
    return;
  }
  if (!walk.read.insert(at).second) {
    // A link back into the chain, or a partition whose first sector is a table
    // already walked: the walk does not go round.
    Log().Plain(platform::Format(u"Partition table at sector %I64d on %s already read: not walked again", lba,
                                 GetDisplayName()));
    return;
  }
  walk.tables.insert(at);

  std::uint8_t sector[512];
  if (ReadSectors(sector, lba * sectorSize / kSectorSize, 1) != kSectorSize) return;
  const platform::LeView v(sector, sizeof sector);
  if (v.U8(510) != 0x55 || v.U8(511) != 0xAA) return;

  struct Entry {
    std::uint8_t boot, type;
    std::int64_t start, count;
  } entries[4];
  auto isLink = [](std::uint8_t type) { return type == 0x05 || type == 0x0F; };
  auto linkLba = [&](const Entry& e) { return isMbr ? e.start : extendedBase + e.start; };
  for (int i = 0; i < 4; ++i) {
    const std::size_t o = 446 + 16 * std::size_t(i);
    entries[i] = {v.U8(o), v.U8(o + 4), std::int64_t(v.U32(o + 8)), std::int64_t(v.U32(o + 12))};
  }
  // A sector that merely ends in 55 AA (boot code of a file system without a label)
  // is no table: every entry needs a valid boot flag.
  for (int i = 0; i < 4; ++i) {
    if (entries[i].boot != 0x00 && entries[i].boot != 0x80) {
      Log().Plain(platform::Format(u"Partition table at sector %I64d on %s ignored: entry %d is not valid", lba,
                                   GetDisplayName(), i + 1));
      return;
    }
  }
  // A protective MBR: its 0xEE entry stands for the whole disk, whose partitions the
  // GUID partition table lists. Where no valid GPT is found, the other entries of a
  // hybrid MBR are still walked; the 0xEE entry itself is never a partition.
  if (isMbr && depth == 0) {
    bool protective = false;
    for (Entry& e : entries) {
      if (e.type != 0xEE) continue;
      protective = true;
      e.count = 0;
    }
    if (protective) {
      if (sized && WalkGpt(walk, sectorSize, sectors, added)) return;
      if (!sized) Log().Plain(platform::Format(u"GPT on %s not walked: the size of the device is not known", GetDisplayName()));
    }
  }
  // Extents: a truncated image (the common case in recovery) keeps every partition
  // that starts inside it, one that runs past its end cut to it; one that starts
  // beyond the end is skipped. Only a table none of whose entries lies inside is
  // ignored.
  int used = 0, inside = 0;
  for (int i = 0; i < 4; ++i) {
    Entry& e = entries[i];
    if (e.type == 0 || e.count == 0) continue;
    ++used;
    if (sized) {
      const std::int64_t first = isLink(e.type) ? linkLba(e) : lba + e.start;
      if (first >= sectors) {
        Log().Plain(platform::Format(
            u"Partition table at sector %I64d on %s: entry %d starts at sector %I64d, beyond the end of the device "
            u"(%I64d sectors): skipped",
            lba, GetDisplayName(), i + 1, first, sectors));
        e.count = 0;
        continue;
      }
      if (first + e.count > sectors) {
        Log().Plain(platform::Format(
            u"Partition table at sector %I64d on %s: entry %d runs past the end of the device: its %I64d sectors "
            u"are cut to %I64d",
            lba, GetDisplayName(), i + 1, e.count, sectors - first));
        e.count = sectors - first;
      }
    }
    ++inside;
  }
  if (used > 0 && inside == 0) {
    Log().Plain(platform::Format(u"Partition table at sector %I64d on %s ignored: no entry lies inside the device",
                                 lba, GetDisplayName()));
    return;
  }
  // Partitions must not start where a table lies, the ones this table links to
  // included (a partition there would walk that table as its own).
  for (const Entry& e : entries)
    if (e.type != 0 && e.count != 0 && isLink(e.type)) walk.tables.insert(base + linkLba(e) * sectorSize);

  const std::vector<std::shared_ptr<CVolume>> children = Children();
  for (const Entry& e : entries) {
    if (e.type == 0 || e.count == 0) continue;
    if (isLink(e.type)) {
      const std::int64_t next = linkLba(e);
      if (depth + 1 > kMaxChainDepth) {
        Log().Plain(platform::Format(u"Chain of extended partitions on %s longer than %d tables: the walk stops",
                                     GetDisplayName(), kMaxChainDepth));
        continue;
      }
      WalkTable(walk, next, isMbr ? e.start : extendedBase, false, depth + 1, added);
      continue;
    }
    const std::int64_t offset = (lba + e.start) * sectorSize;  // on this volume
    if (offset == 0 || walk.tables.count(base + offset)) continue;
    bool known = false;
    for (const auto& child : children)
      if (child->Info().partitionStartOffset == offset) known = true;
    if (known) continue;
    FoundObject partition;
    partition.parentId = DeviceNodeId();
    partition.offset = offset;
    partition.typeId = e.type;
    partition.size = e.count * sectorSize;
    if (IPartitionSink* sink = GetPartitionSink()) {
      sink->AddPartitionVolume(partition);
      ++added;
    }
  }
}


std::int64_t CVolume::BootSectorVolumeStart(std::int64_t at, std::int64_t* bytes) {
  if (bytes) *bytes = 0;
  try {
    if (at < 0 || at % kSectorSize != 0) return at;
    std::uint8_t boot[512];
    if (ReadSectors(boot, at / kSectorSize, 1) != kSectorSize) return at;
    std::int32_t code = 0;
    if (!IsSoundBootSector(boot, &code)) return at;
    const platform::LeView v(boot, sizeof boot);
    const std::int64_t sector = at / kSectorSize;
    std::uint8_t probe[512];
    auto readAt = [&](std::int64_t s) { return s >= 0 && ReadSectors(probe, s, 1) == kSectorSize; };
    switch (BootFamilyOf(code)) {
      case BootFamily::Fat32: {
        // The first FAT follows the reserved sectors of the volume's start: it tells a
        // primary (its FAT lies after it) from the copy at sector 6 (the FAT lies
        // after the primary's place).
        const std::int64_t backup = v.U16(50), reserved = v.U16(14);
        const std::uint8_t media = v.U8(21);
        auto fatAfter = [&](std::int64_t start) {
          return readAt(start + reserved) && probe[0] == media && probe[1] == 0xFF && probe[2] == 0xFF &&
                 (probe[3] & 0x0F) == 0x0F;
        };
        if (backup <= 0 || backup >= reserved || sector < backup || fatAfter(sector)) return at;
        if (!fatAfter(sector - backup)) return at;
        if (bytes) *bytes = std::int64_t(v.U32(32)) * kSectorSize;
        return (sector - backup) * kSectorSize;
      }
      case BootFamily::Ntfs: {
        // The copy lies at the volume's last sector (its sector count) or, from older
        // tools, at its middle; the $MFT (or $MFTMirr) follows the volume's start.
        const std::int32_t spc = SectorsPerCluster(v.U8(13), BootFamily::Ntfs);
        const std::uint64_t total = v.U64(0x28), mft = v.U64(0x30), mirror = v.U64(0x38);
        if (spc == 0 || total == 0 || total > std::uint64_t(INT64_MAX / kSectorSize)) return at;
        auto mftAfter = [&](std::int64_t start) {
          for (const std::uint64_t cluster : {mft, mirror}) {
            if (cluster == 0 || cluster > std::uint64_t(INT64_MAX / kSectorSize / spc)) continue;
            if (readAt(start + std::int64_t(cluster) * spc) && std::memcmp(probe, "FILE", 4) == 0) return true;
          }
          return false;
        };
        if (mftAfter(sector)) return at;
        for (const std::int64_t distance : {std::int64_t(total), std::int64_t(total / 2)}) {
          if (distance <= 0 || distance > sector) continue;
          const std::int64_t start = sector - distance;
          // No $MFT either way: a copy of this very sector at the start tells the same.
          if (mftAfter(start) || (readAt(start) && std::memcmp(probe, boot, sizeof boot) == 0)) {
            if (bytes) *bytes = (std::int64_t(total) + 1) * kSectorSize;  // the copy's sector is the volume's
            return start * kSectorSize;
          }
        }
        return at;
      }
      default:
        return at;
    }
  } catch (...) {
    return at;
  }
}

