#pragma once
// The type byte of a disk's MBR entry for a partition the system lists (a logical
// drive from sysfs): where the partition's boot sector does not name its file
// system, the entry's type byte does, as for a partition the walk finds. The
// entry is found by the partition's first byte on the disk, among the four primary
// entries and the logical partitions of the extended chain. A GPT disk (its
// protective entry 0xEE) gives 0: its type GUIDs do not name FAT or NTFS apart.

#include <cstdint>
#include <functional>

// Reads the 512 bytes at `byteOffset` of the disk into `sector`; false when it
// could not.
using DiskSectorReader = std::function<bool(std::uint64_t byteOffset, std::uint8_t* sector)>;

// `sectorSize`: the disk's logical sector size, the unit of the table's LBAs.
// 0 when no entry starts there or the table can't be read.
std::uint8_t MbrEntryTypeAt(const DiskSectorReader& read, std::uint64_t startByte, unsigned sectorSize);
