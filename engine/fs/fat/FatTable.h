#pragma once
// The first allocation table of a FAT volume, decoded: entries of 12, 16 or 32 bits
// (32-bit entries keep their low 28 bits), the chain of clusters that starts at a
// cluster, and the clusters in use. Valid cluster numbers are 2 .. clusterCount + 1.
//
// Chains are walked with a loop check of one bit per cluster, set while a chain is
// walked and cleared after it: a chain that runs into itself stops where it repeats.
// Chain() may be called from several threads; the bits are behind a mutex.

#include <cstdint>
#include <mutex>
#include <vector>

class CBitArray;

// Clusters first .. first + count - 1, in chain order.
struct FatRun {
  std::uint32_t first = 0;
  std::uint32_t count = 0;
};

struct FatChain {
  // Why the walk stopped.
  enum class End {
    EndMarker,  // the table says the chain ends (the normal end)
    Free,       // the last cluster's entry is 0
    Invalid,    // an entry points outside 2 .. clusterCount + 1 (bad-cluster marks included)
    Loop,       // an entry points back into the chain
    Limit,      // the walk took as many clusters as it was allowed
  };
  std::vector<FatRun> runs;
  std::uint64_t clusters = 0;
  End end = End::Invalid;
};

class FatTable {
 public:
  FatTable() = default;
  FatTable(const FatTable&) = delete;
  FatTable& operator=(const FatTable&) = delete;

  // Takes the table's bytes (the first copy, or the part of it that covers the
  // clusters), the entry width (12, 16 or 32) and the cluster count. Entries past
  // the bytes read as 0 (free).
  void Assign(std::vector<std::uint8_t> bytes, int bits, std::uint32_t clusterCount);
  bool Empty() const { return bits_ == 0; }
  int Bits() const { return bits_; }
  std::uint32_t ClusterCount() const { return clusterCount_; }

  bool IsValidCluster(std::uint64_t cluster) const { return cluster >= 2 && cluster <= std::uint64_t(clusterCount_) + 1; }
  // The entry of a cluster (32-bit tables: its low 28 bits); 0 outside the table.
  std::uint32_t Entry(std::uint32_t cluster) const;
  // True for the end-of-chain values: 0xFF8-0xFFF, 0xFFF8-0xFFFF, 0x0FFFFFF8-0x0FFFFFFF.
  bool IsEndMarker(std::uint32_t value) const;

  // The chain from `first`, at most `maxClusters` clusters long. An invalid first
  // cluster gives an empty chain.
  FatChain Chain(std::uint32_t first, std::uint64_t maxClusters) const;

  // Sizes `bitmap` to clusterCount + 2 bits, all clear, and sets bit i for every
  // valid cluster i whose entry is not 0.
  bool FillBitmap(CBitArray& bitmap) const;

 private:
  std::vector<std::uint8_t> bytes_;
  int bits_ = 0;
  std::uint32_t clusterCount_ = 0;
  mutable std::mutex visitedMutex_;
  mutable std::vector<std::uint64_t> visited_;  // allocated on the first walk
};
