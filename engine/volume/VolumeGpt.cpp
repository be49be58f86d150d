// The GUID partition table: a protective MBR entry (type 0xEE) stands for the whole
// disk, and the partitions are listed in the GPT header's entry array (the primary
// at LBA 1, the backup at the disk's last LBA). Every field is read from untrusted
// bytes: a header whose fields do not hold together is refused with a log line, and
// nothing outside the device is read.

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/records/ProgramLog.h"
#include "engine/volume/PartitionSink.h"
#include "engine/volume/Volume.h"
#include "platform/ByteOrder.h"
#include "platform/Format.h"
#include "platform/Text.h"

namespace {

// The CRC-32 of the GPT (the reflected polynomial 0xEDB88320, as zlib's).
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

struct GptHeader {
  std::int64_t myLba = 0, alternateLba = 0, firstUsable = 0, lastUsable = 0, entryLba = 0;
  std::uint32_t entryCount = 0, entrySize = 0, entriesCrc = 0;
};

bool AllZero(platform::Bytes b) {
  return std::all_of(b.begin(), b.end(), [](std::uint8_t x) { return x == 0; });
}

}  // namespace

std::u16string CVolume::GuidText(const std::uint8_t* g) {
  const platform::LeView v(g, 16);
  std::u16string out = platform::Format(u"%08X-%04X-%04X-", v.U32(0), v.U16(4), v.U16(6));
  for (int i = 8; i < 16; ++i) {
    if (i == 10) out += u'-';
    out += platform::Format(u"%02X", g[i]);
  }
  return out;
}

bool CVolume::WalkGpt(PartitionWalk& walk, std::int64_t sectorSize, std::int64_t diskSectors, int& added) {
  const std::int64_t base = Geometry().baseOffset;
  const std::u16string name = GetDisplayName();
  std::vector<std::uint8_t> sector(static_cast<std::size_t>(sectorSize), 0);
  auto readLba = [&](std::int64_t lba, std::uint8_t* out, std::int64_t count) {
    const std::int64_t per = sectorSize / kSectorSize;
    return ReadSectors(out, lba * per, count * per) == count * sectorSize;
  };

  // Reads and checks the header at `lba`; the reason it is refused, empty when valid.
  auto loadHeader = [&](std::int64_t lba, GptHeader& h, std::vector<std::uint8_t>& entries) -> std::u16string {
    if (lba < 1 || lba >= diskSectors) return u"it lies outside the device";
    if (!readLba(lba, sector.data(), 1)) return u"it can't be read";
    const platform::LeView v(sector.data(), sector.size());
    if (!v.Equals(0, "EFI PART", 8)) return u"no \"EFI PART\" signature";
    const std::uint32_t headerSize = v.U32(12);
    if (headerSize < 92 || headerSize > sectorSize) return u"its header size is out of range";
    std::vector<std::uint8_t> copy(sector.begin(), sector.begin() + headerSize);
    std::memset(copy.data() + 16, 0, 4);
    if (Crc32(copy.data(), copy.size()) != v.U32(16)) return u"its CRC does not match";
    h.myLba = std::int64_t(std::min<std::uint64_t>(v.U64(24), INT64_MAX));
    h.alternateLba = std::int64_t(std::min<std::uint64_t>(v.U64(32), INT64_MAX));
    h.firstUsable = std::int64_t(std::min<std::uint64_t>(v.U64(40), INT64_MAX));
    h.lastUsable = std::int64_t(std::min<std::uint64_t>(v.U64(48), INT64_MAX));
    h.entryLba = std::int64_t(std::min<std::uint64_t>(v.U64(72), INT64_MAX));
    h.entryCount = v.U32(80);
    h.entrySize = v.U32(84);
    h.entriesCrc = v.U32(88);
    if (h.myLba != lba) return u"it names another LBA as its own";
    if (h.entrySize < 128 || h.entrySize > kGptMaxEntrySize || h.entrySize % 8 != 0)
      return u"its entry size is out of range";
    if (h.entryCount == 0 || h.entryCount > kGptMaxEntries ||
        std::uint64_t(h.entryCount) * h.entrySize > kGptMaxEntryBytes)
      return u"its entry count is out of range";
    const std::int64_t arrayBytes = std::int64_t(h.entryCount) * h.entrySize;
    const std::int64_t arraySectors = (arrayBytes + sectorSize - 1) / sectorSize;
    if (h.entryLba < 1 || h.entryLba > diskSectors - arraySectors) return u"its entries lie outside the device";
    if (lba >= h.entryLba && lba < h.entryLba + arraySectors) return u"its entries overlap the header";
    if (h.firstUsable > h.lastUsable || h.lastUsable >= diskSectors) return u"its usable sectors lie outside the device";
    // The usable area holds neither this header nor its entries.
    if (!(h.firstUsable > std::max(lba, h.entryLba + arraySectors - 1) ||
          h.lastUsable < std::min(lba, h.entryLba)))
      return u"its usable sectors overlap the table";
    entries.assign(std::size_t(arraySectors * sectorSize), 0);
    if (!readLba(h.entryLba, entries.data(), arraySectors)) return u"its entries can't be read";
    if (Crc32(entries.data(), std::size_t(arrayBytes)) != h.entriesCrc) return u"the CRC of its entries does not match";
    return {};
  };

  GptHeader h;
  std::vector<std::uint8_t> entries;
  std::u16string why = loadHeader(1, h, entries);
  if (!why.empty()) {
    // The backup: where the primary names it when the primary's header is readable,
    // else at the disk's last sector.
    std::int64_t backup = diskSectors - 1;
    if (readLba(1, sector.data(), 1)) {
      const platform::LeView v(sector.data(), sector.size());
      const std::uint64_t alt = v.U64(32);
      if (v.Equals(0, "EFI PART", 8) && alt > 1 && alt < std::uint64_t(diskSectors)) backup = std::int64_t(alt);
    }
    Log().Plain(platform::Format(u"GPT header at LBA 1 on %s refused: %s; trying the backup at LBA %I64d", name, why,
                                 backup));
    std::u16string whyBackup = loadHeader(backup, h, entries);
    if (!whyBackup.empty() && backup != diskSectors - 1) {
      backup = diskSectors - 1;
      whyBackup = loadHeader(backup, h, entries);
    }
    if (!whyBackup.empty()) {
      Log().Plain(platform::Format(u"GPT header at LBA %I64d on %s refused: %s", backup, name, whyBackup));
      return false;
    }
    Log().Plain(platform::Format(u"GPT on %s: the backup header at LBA %I64d is used", name, backup));
  }

  // The header and the entry array are tables: nothing may start there.
  const std::int64_t arraySectors = (std::int64_t(h.entryCount) * h.entrySize + sectorSize - 1) / sectorSize;
  walk.tables.insert(base + h.myLba * sectorSize);
  for (std::int64_t s = 0; s < arraySectors; ++s) walk.tables.insert(base + (h.entryLba + s) * sectorSize);

  const std::vector<std::shared_ptr<CVolume>> children = Children();
  std::vector<std::pair<std::int64_t, std::int64_t>> taken;  // [first, last] of partitions handed over
  for (std::uint32_t i = 0; i < h.entryCount; ++i) {
    const platform::LeView e(entries.data() + std::size_t(i) * h.entrySize, h.entrySize);
    if (AllZero(e.Sub(0, 16))) continue;  // an unused entry
    const std::uint64_t first64 = e.U64(32), last64 = e.U64(40);
    const std::u16string entryName = platform::TrimBlanks(platform::ReadUtf16Field(e.bytes(), 56, 36));
    auto refuse = [&](std::u16string_view reason) {
      Log().Plain(platform::Format(u"GPT entry %u on %s refused: %s", i + 1, name, reason));
    };
    if (first64 > last64) {
      refuse(u"it ends before it starts");
      continue;
    }
    if (first64 < std::uint64_t(h.firstUsable) || last64 > std::uint64_t(h.lastUsable)) {
      refuse(u"it lies outside the usable sectors");
      continue;
    }
    const std::int64_t first = std::int64_t(first64), last = std::int64_t(last64);
    bool overlaps = false;
    for (const auto& [a, b] : taken) overlaps = overlaps || (first <= b && last >= a);
    if (overlaps) {
      refuse(u"it overlaps an earlier partition");
      continue;
    }
    const std::int64_t offset = first * sectorSize;
    if (walk.tables.count(base + offset)) {
      refuse(u"it starts at a partition table");
      continue;
    }
    taken.emplace_back(first, last);
    bool known = false;
    for (const auto& child : children)
      if (child->Info().partitionStartOffset == offset) known = true;
    if (known) continue;

    // The type GUID does not name the file system: the partition's boot sector does.
    std::uint8_t boot[512];
    std::int32_t code = 0;
    if (ReadSectors(boot, offset / kSectorSize, 1) == kSectorSize)
      code = CFileSystem::DetectByBootSector({boot, sizeof boot});
    FoundObject partition;
    partition.parentId = DeviceNodeId();
    partition.offset = offset;
    partition.typeId = std::int16_t(code);
    partition.size = (last - first + 1) * sectorSize;
    IPartitionSink* sink = GetPartitionSink();
    if (!sink) continue;
    const std::u16string typeGuid = GuidText(entries.data() + std::size_t(i) * h.entrySize);
    if (std::shared_ptr<CVolume> made = sink->AddPartitionVolume(partition)) {
      if (made.get() != this) {
        made->UpdateInfo([&](VolumeInfo& info) {
          info.partitionTypeGuid = typeGuid;
          info.partitionName = entryName;
        });
      }
    }
    ++added;
  }
  return true;
}
