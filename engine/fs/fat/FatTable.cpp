#include "engine/fs/fat/FatTable.h"

#include <utility>

#include "engine/fs/BitArray.h"
#include "platform/ByteOrder.h"

void FatTable::Assign(std::vector<std::uint8_t> bytes, int bits, std::uint32_t clusterCount) {
  std::lock_guard lock(visitedMutex_);
  bytes_ = std::move(bytes);
  bits_ = (bits == 12 || bits == 16 || bits == 32) ? bits : 0;
  clusterCount_ = bits_ ? clusterCount : 0;
  visited_.clear();
  visited_.shrink_to_fit();
}

std::uint32_t FatTable::Entry(std::uint32_t cluster) const {
  const platform::Bytes bytes(bytes_);
  switch (bits_) {
    case 12: {
      std::uint16_t v = 0;
      if (!platform::ReadLE(bytes, std::size_t(cluster) + cluster / 2, v)) return 0;
      return (cluster & 1) ? std::uint32_t(v >> 4) : std::uint32_t(v & 0xFFF);
    }
    case 16: {
      std::uint16_t v = 0;
      return platform::ReadLE(bytes, std::size_t(cluster) * 2, v) ? v : 0;
    }
    case 32: {
      std::uint32_t v = 0;
      return platform::ReadLE(bytes, std::size_t(cluster) * 4, v) ? (v & 0x0FFFFFFF) : 0;
    }
    default:
      return 0;
  }
}

bool FatTable::IsEndMarker(std::uint32_t value) const {
  switch (bits_) {
    case 12:
      return value >= 0xFF8 && value <= 0xFFF;
    case 16:
      return value >= 0xFFF8 && value <= 0xFFFF;
    case 32:
      return value >= 0x0FFFFFF8 && value <= 0x0FFFFFFF;
    default:
      return false;
  }
}

FatChain FatTable::Chain(std::uint32_t first, std::uint64_t maxClusters) const {
  FatChain chain;
  if (!IsValidCluster(first)) return chain;
  std::lock_guard lock(visitedMutex_);
  if (visited_.empty()) visited_.assign((std::uint64_t(clusterCount_) + 2 + 63) / 64, 0);
  auto seen = [&](std::uint32_t c) { return (visited_[c / 64] >> (c % 64)) & 1; };
  std::uint32_t c = first;
  for (;;) {
    if (!IsValidCluster(c)) {
      chain.end = FatChain::End::Invalid;
      break;
    }
    if (seen(c)) {
      chain.end = FatChain::End::Loop;
      break;
    }
    if (chain.clusters >= maxClusters) {
      chain.end = FatChain::End::Limit;
      break;
    }
    visited_[c / 64] |= std::uint64_t(1) << (c % 64);
    if (!chain.runs.empty() && chain.runs.back().first + chain.runs.back().count == c)
      ++chain.runs.back().count;
    else
      chain.runs.push_back({c, 1});
    ++chain.clusters;
    const std::uint32_t next = Entry(c);
    if (IsEndMarker(next)) {
      chain.end = FatChain::End::EndMarker;
      break;
    }
    if (next == 0) {
      chain.end = FatChain::End::Free;
      break;
    }
    c = next;
  }
  // Clear what this walk set, run by run: the cost stays that of the chain.
  for (const FatRun& r : chain.runs)
    for (std::uint64_t i = r.first; i < std::uint64_t(r.first) + r.count; ++i)
      visited_[i / 64] &= ~(std::uint64_t(1) << (i % 64));
  return chain;
}

bool FatTable::FillBitmap(CBitArray& bitmap) const {
  if (bits_ == 0 || !bitmap.Create(std::uint64_t(clusterCount_) + 2, false)) return false;
  std::uint8_t* data = bitmap.GetData();
  const std::uint64_t last = std::uint64_t(clusterCount_) + 1;
  for (std::uint64_t c = 2; c <= last; ++c)
    if (Entry(std::uint32_t(c)) != 0) data[c / 8] |= std::uint8_t(1u << (c % 8));
  return true;
}
