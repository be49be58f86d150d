// The free clusters of a volume as a sector pass over the free space reads them:
// counted, found before a sector, and laid onto sectors by the parser's layout.
#include <gtest/gtest.h>

#include <vector>

#include "engine/fs/BitArray.h"
#include "engine/fs/FreeClusterMap.h"

namespace {

using Runs = std::vector<CFreeClusterMap::Run>;

Runs FreeRuns(const CFreeClusterMap& map, std::int64_t first, std::int64_t end) {
  Runs out;
  map.FreeRuns(first, end, out);
  return out;
}

// A FAT-like layout: cluster 2 at sector 10, 2 sectors a cluster, 20 clusters
// (sectors 10..49) on a volume of 50 sectors.
CFileSystem::ClusterLayout FatLayout() {
  CFileSystem::ClusterLayout l;
  l.firstSector = 10;
  l.firstCluster = 2;
  l.clusterCount = 20;
  l.sectorsPerCluster = 2;
  return l;
}

}  // namespace

TEST(FreeClusterMap, AVolumeWithoutBitmapIsFreeAsAWhole) {
  const CFreeClusterMap map(101, 4);  // 26 clusters, the last one short
  EXPECT_TRUE(map.CoversWholeVolume());
  EXPECT_EQ(map.FreeClusters(), 26);
  EXPECT_EQ(map.FreeClustersBefore(0), 0);
  EXPECT_EQ(map.FreeClustersBefore(1), 1);
  EXPECT_EQ(map.FreeClustersBefore(8), 2);
  EXPECT_EQ(map.FreeClustersBefore(1000), 26);
  EXPECT_EQ(FreeRuns(map, 90, 200), (Runs{{90, 101}}));
}

TEST(FreeClusterMap, UsedClustersAndTheAreaBeforeTheFirstClusterAreNotFree) {
  CBitArray bits(22, false);
  for (int c : {2, 3, 4, 9, 21}) bits.SetBit(c, true);  // in use
  const CFreeClusterMap map(bits, FatLayout(), 50);
  EXPECT_FALSE(map.CoversWholeVolume());
  EXPECT_EQ(map.FreeClusters(), 15);

  struct Case {
    std::int64_t sector;
    std::int64_t before;
  };
  // Clusters 2,3,4 (sectors 10..15) used; 5..8 free (16..23); 9 used (24, 25);
  // 10..20 free (26..47); 21 used (48, 49).
  for (const Case& c : std::vector<Case>{{0, 0}, {10, 0}, {16, 0}, {17, 1}, {24, 4}, {26, 4}, {27, 5}, {48, 15}, {50, 15}}) {
    SCOPED_TRACE(c.sector);
    EXPECT_EQ(map.FreeClustersBefore(c.sector), c.before);
  }
  EXPECT_EQ(FreeRuns(map, 0, 50), (Runs{{16, 24}, {26, 48}}));
  // A block boundary inside a cluster cuts the run there.
  EXPECT_EQ(FreeRuns(map, 17, 27), (Runs{{17, 24}, {26, 27}}));
  EXPECT_TRUE(FreeRuns(map, 0, 16).empty());
}

TEST(FreeClusterMap, ClustersBeyondTheVolumeOrTheBitmap) {
  // The layout names 20 clusters but the volume ends at sector 31: clusters 2..12
  // begin on it (the last one cut); the bitmap holds only bits 0..7, so clusters
  // from 8 on count as free.
  CBitArray bits(8, true);
  const CFreeClusterMap map(bits, FatLayout(), 31);
  EXPECT_EQ(map.FreeClusters(), 5);  // clusters 8..12
  EXPECT_EQ(FreeRuns(map, 0, 100), (Runs{{22, 31}}));
  EXPECT_EQ(map.FreeClustersBefore(31), 5);
}

TEST(FreeClusterMap, LargeBitmapsCountByChunks) {
  // 100,003 clusters of one sector from sector 0, every third one used.
  const std::int64_t n = 100003;
  CBitArray bits(std::uint64_t(n), false);
  for (std::int64_t c = 0; c < n; c += 3) bits.SetBit(c, true);
  CFileSystem::ClusterLayout l;
  l.clusterCount = n;
  const CFreeClusterMap map(bits, l, n);
  EXPECT_EQ(map.FreeClusters(), n - (n + 2) / 3);
  for (std::int64_t s : {std::int64_t(0), std::int64_t(4095), std::int64_t(4096), std::int64_t(4097),
                         std::int64_t(81920), std::int64_t(99999), n}) {
    SCOPED_TRACE(s);
    EXPECT_EQ(map.FreeClustersBefore(s), s - (s + 2) / 3);
  }
}
