#include "engine/fs/FreeClusterMap.h"

#include <algorithm>
#include <bit>

#include "engine/fs/BitArray.h"

namespace {

std::int64_t CeilDiv(std::int64_t a, std::int64_t b) { return a <= 0 ? 0 : (a + b - 1) / b; }

void Append(std::vector<CFreeClusterMap::Run>& out, std::int64_t first, std::int64_t end) {
  if (first >= end) return;
  if (!out.empty() && out.back().end == first)
    out.back().end = end;
  else
    out.push_back({first, end});
}

}  // namespace

CFreeClusterMap::CFreeClusterMap(std::int64_t totalSectors, std::int64_t sectorsPerCluster) {
  sectorsPerCluster_ = std::max<std::int64_t>(1, sectorsPerCluster);
  endSector_ = std::max<std::int64_t>(0, totalSectors);
  clusterCount_ = CeilDiv(endSector_, sectorsPerCluster_);
  freeClusters_ = clusterCount_;
}

CFreeClusterMap::CFreeClusterMap(const CBitArray& bitmap, const CFileSystem::ClusterLayout& layout,
                                 std::int64_t totalSectors)
    : bits_(bitmap.GetData()), bitCount_(bitmap.GetData() ? bitmap.BitCount() : 0) {
  sectorsPerCluster_ = std::max<std::int64_t>(1, layout.sectorsPerCluster);
  firstSector_ = std::max<std::int64_t>(0, layout.firstSector);
  firstCluster_ = std::max<std::int64_t>(0, layout.firstCluster);
  totalSectors = std::max<std::int64_t>(0, totalSectors);
  const std::int64_t onVolume = CeilDiv(totalSectors - firstSector_, sectorsPerCluster_);
  clusterCount_ = std::clamp<std::int64_t>(layout.clusterCount, 0, onVolume);
  endSector_ = clusterCount_ == 0 ? firstSector_
                                  : std::min(totalSectors, firstSector_ + clusterCount_ * sectorsPerCluster_);
  if (!bits_) {
    // No bitmap to read: every cluster of the layout is free.
    static const std::uint8_t kNone = 0;
    bits_ = &kNone;
    bitCount_ = 0;
  }
  const std::int64_t chunks = CeilDiv(clusterCount_, kChunkClusters);
  chunkFree_.assign(std::size_t(chunks) + 1, 0);
  std::int64_t free = 0;
  for (std::int64_t k = 0; k < chunks; ++k) {
    chunkFree_[std::size_t(k)] = free;
    free += CountFree(k * kChunkClusters, std::min(clusterCount_, (k + 1) * kChunkClusters));
  }
  chunkFree_[std::size_t(chunks)] = free;
  freeClusters_ = free;
}

bool CFreeClusterMap::IsFree(std::int64_t cluster) const {
  if (!bits_ || cluster < 0 || cluster >= clusterCount_) return bits_ == nullptr;
  const std::uint64_t a = std::uint64_t(firstCluster_ + cluster);
  if (a >= bitCount_) return true;
  return ((bits_[a / 8] >> (a % 8)) & 1) == 0;
}

std::int64_t CFreeClusterMap::CountFree(std::int64_t from, std::int64_t to) const {
  from = std::max<std::int64_t>(0, from);
  to = std::min(to, clusterCount_);
  if (from >= to) return 0;
  if (!bits_) return to - from;
  // Used bits among the absolute indexes [a, b) that the bitmap holds.
  std::uint64_t a = std::uint64_t(firstCluster_ + from);
  const std::uint64_t b = std::min<std::uint64_t>(std::uint64_t(firstCluster_ + to), bitCount_);
  std::int64_t used = 0;
  while (a < b && a % 8 != 0) {
    used += (bits_[a / 8] >> (a % 8)) & 1;
    ++a;
  }
  while (a + 8 <= b) {
    used += std::popcount(unsigned(bits_[a / 8]));
    a += 8;
  }
  while (a < b) {
    used += (bits_[a / 8] >> (a % 8)) & 1;
    ++a;
  }
  return (to - from) - used;
}

std::int64_t CFreeClusterMap::ClustersBefore(std::int64_t sector) const {
  return std::clamp<std::int64_t>(CeilDiv(sector - firstSector_, sectorsPerCluster_), 0, clusterCount_);
}

std::int64_t CFreeClusterMap::FreeClustersBefore(std::int64_t sector) const {
  const std::int64_t c = ClustersBefore(sector);
  if (!bits_) return c;
  const std::int64_t k = c / kChunkClusters;
  return chunkFree_[std::size_t(k)] + CountFree(k * kChunkClusters, c);
}

void CFreeClusterMap::FreeRuns(std::int64_t first, std::int64_t end, std::vector<Run>& out) const {
  first = std::max(first, firstSector_);
  end = std::min(end, endSector_);
  if (first >= end) return;
  if (!bits_) {
    Append(out, first, end);
    return;
  }
  const std::int64_t j0 = (first - firstSector_) / sectorsPerCluster_;
  const std::int64_t j1 = ClustersBefore(end);
  for (std::int64_t j = j0; j < j1; ++j) {
    const std::uint64_t a = std::uint64_t(firstCluster_ + j);
    // Eight clusters in use at once: skip them together.
    if (a % 8 == 0 && a / 8 < bitCount_ / 8 && bits_[a / 8] == 0xFF && j + 8 <= j1) {
      j += 7;
      continue;
    }
    if (!IsFree(j)) continue;
    const std::int64_t start = firstSector_ + j * sectorsPerCluster_;
    Append(out, std::max(first, start), std::min(end, start + sectorsPerCluster_));
  }
}
