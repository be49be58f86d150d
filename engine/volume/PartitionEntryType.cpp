#include "engine/volume/PartitionEntryType.h"

#include <array>
#include <set>

#include "platform/ByteOrder.h"

namespace {

constexpr unsigned kEntries = 446;
constexpr int kMostLogicalPartitions = 128;

bool IsExtended(std::uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

bool ReadTable(const DiskSectorReader& read, std::uint64_t byteOffset, std::array<std::uint8_t, 512>& sector) {
  if (!read(byteOffset, sector.data())) return false;
  return sector[510] == 0x55 && sector[511] == 0xAA;
}

}  // namespace

std::uint8_t MbrEntryTypeAt(const DiskSectorReader& read, std::uint64_t startByte, unsigned sectorSize) {
  if (!read || sectorSize < 512 || startByte == 0) return 0;
  std::array<std::uint8_t, 512> sector{};
  if (!ReadTable(read, 0, sector)) return 0;
  std::uint64_t extended = 0;
  for (unsigned i = 0; i < 4; ++i) {
    const platform::LeView entry(sector.data() + kEntries + 16 * i, 16);
    const std::uint8_t type = entry.U8(4);
    const std::uint64_t lba = entry.U32(8);
    if (type == 0 || lba == 0) continue;
    if (type == 0xEE) return 0;
    if (IsExtended(type)) {
      if (extended == 0) extended = lba;
      continue;
    }
    if (lba * sectorSize == startByte) return type;
  }
  // The logical partitions: each table of the chain holds one partition (relative to
  // that table) and the link to the next table (relative to the extended one).
  std::set<std::uint64_t> seen;
  for (std::uint64_t table = extended; table != 0 && seen.size() < kMostLogicalPartitions;) {
    if (!seen.insert(table).second || !ReadTable(read, table * sectorSize, sector)) break;
    const platform::LeView first(sector.data() + kEntries, 16);
    const platform::LeView link(sector.data() + kEntries + 16, 16);
    const std::uint8_t type = first.U8(4);
    if (type != 0 && first.U32(8) != 0 && (table + first.U32(8)) * sectorSize == startByte) return type;
    table = IsExtended(link.U8(4)) && link.U32(8) != 0 ? extended + link.U32(8) : 0;
  }
  return 0;
}
