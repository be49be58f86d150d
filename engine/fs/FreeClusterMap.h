#pragma once
// Where the free clusters of a volume lie, for a signature pass that searches
// the free drive space only: the clusters its clusters bitmap marks free, laid
// onto the volume's sectors by the parser that filled the bitmap (FAT numbers
// clusters from 2 at the data area's first sector, NTFS from 0 at sector 0).
// Sectors outside every cluster of the bitmap (a FAT volume's boot area, tables
// and root folder) are not free. A volume whose bitmap no file-system pass
// filled is free as a whole, in clusters of its geometry.
//
// The map reads the bitmap it was made over and does not copy it: the volume
// keeps it unchanged while its sector pass runs (no file-system pass and no
// clear can run then). Counts are 64-bit. Any thread may read a map.

#include <cstdint>
#include <vector>

#include "engine/fs/FileSystem.h"

class CBitArray;

class CFreeClusterMap {
 public:
  // A run of sectors, [first, end).
  struct Run {
    std::int64_t first = 0;
    std::int64_t end = 0;
    bool operator==(const Run&) const = default;
  };

  // The whole volume of `totalSectors` sectors, in clusters of
  // `sectorsPerCluster` sectors counted from sector 0.
  CFreeClusterMap(std::int64_t totalSectors, std::int64_t sectorsPerCluster);
  // The clusters of `bitmap` laid out by `layout`; clusters that begin at or
  // beyond `totalSectors` are not on the volume, and a cluster's sectors beyond it
  // are cut off.
  CFreeClusterMap(const CBitArray& bitmap, const CFileSystem::ClusterLayout& layout, std::int64_t totalSectors);

  bool CoversWholeVolume() const { return bits_ == nullptr; }
  // How many clusters are free.
  std::int64_t FreeClusters() const { return freeClusters_; }
  // How many free clusters begin before `sector` (0 .. FreeClusters()).
  std::int64_t FreeClustersBefore(std::int64_t sector) const;
  // Appends the free sectors inside [first, end) to `out`, in order, as runs
  // that touch are joined.
  void FreeRuns(std::int64_t first, std::int64_t end, std::vector<Run>& out) const;

 private:
  static constexpr std::int64_t kChunkClusters = 4096;
  bool IsFree(std::int64_t cluster) const;
  // The free clusters among [from, to) (cluster numbers relative to the layout's
  // first one).
  std::int64_t CountFree(std::int64_t from, std::int64_t to) const;
  // The clusters, relative to the first, whose first sector lies before `sector`.
  std::int64_t ClustersBefore(std::int64_t sector) const;

  const std::uint8_t* bits_ = nullptr;  // null: the whole volume is free
  std::uint64_t bitCount_ = 0;
  std::int64_t firstSector_ = 0;
  std::int64_t firstCluster_ = 0;
  std::int64_t clusterCount_ = 0;  // clusters that begin on the volume
  std::int64_t sectorsPerCluster_ = 1;
  std::int64_t endSector_ = 0;  // no cluster's sectors reach past this
  std::int64_t freeClusters_ = 0;
  // Free clusters before each chunk of kChunkClusters clusters.
  std::vector<std::int64_t> chunkFree_;
};
