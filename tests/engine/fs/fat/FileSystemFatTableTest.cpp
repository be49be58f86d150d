// The allocation table's decoding and chains, and DOS times, on their own.
#include <gtest/gtest.h>

#include <vector>

#include "engine/fs/BitArray.h"
#include "engine/fs/fat/FatTable.h"
#include "engine/fs/fat/FileSystem_FAT.h"
#include "platform/FileTime.h"

namespace {

// A table of `bits` with the given entries (cluster -> value).
std::vector<std::uint8_t> TableBytes(int bits, std::uint32_t entries, const std::vector<std::pair<std::uint32_t, std::uint32_t>>& set) {
  std::vector<std::uint8_t> t(std::size_t(entries) * bits / 8 + 2);
  for (auto [c, v] : set) {
    if (bits == 12) {
      const std::size_t at = c + c / 2;
      std::uint16_t w = std::uint16_t(t[at] | (t[at + 1] << 8));
      w = (c & 1) ? std::uint16_t((w & 0x000F) | (v << 4)) : std::uint16_t((w & 0xF000) | (v & 0xFFF));
      t[at] = std::uint8_t(w);
      t[at + 1] = std::uint8_t(w >> 8);
    } else {
      for (int i = 0; i < bits / 8; ++i) t[std::size_t(c) * bits / 8 + i] = std::uint8_t(v >> (8 * i));
    }
  }
  return t;
}

TEST(FatTable, EntriesOfEveryWidth) {
  struct Case {
    int bits;
    std::uint32_t cluster, value, decoded;
    bool end;
  };
  const Case cases[] = {
      {12, 2, 0x123, 0x123, false}, {12, 3, 0xABC, 0xABC, false}, {12, 4000, 0xFF8, 0xFF8, true},
      {12, 4001, 0xFFF, 0xFFF, true}, {12, 5, 0xFF7, 0xFF7, false},  // a bad-cluster mark is no end
      {16, 9, 0xFFF8, 0xFFF8, true}, {16, 9, 0x1234, 0x1234, false},
      {32, 7, 0xF0000009, 0x00000009, false},  // the top four bits are not part of the value
      {32, 7, 0xFFFFFFFF, 0x0FFFFFFF, true}, {32, 7, 0x0FFFFFF8, 0x0FFFFFF8, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bits * 10000 + c.cluster);
    FatTable t;
    // The neighbour shares a byte with it in a 12-bit table.
    t.Assign(TableBytes(c.bits, 4096, {{c.cluster, c.value}, {c.cluster + 1, 0xABC}}), c.bits, 4090);
    EXPECT_EQ(t.Entry(c.cluster), c.decoded);
    EXPECT_EQ(t.IsEndMarker(t.Entry(c.cluster)), c.end);
  }
  FatTable t;
  t.Assign(TableBytes(16, 16, {}), 16, 14);
  EXPECT_EQ(t.Entry(100000), 0u);  // past the bytes
  EXPECT_TRUE(t.IsValidCluster(2));
  EXPECT_TRUE(t.IsValidCluster(15));
  EXPECT_FALSE(t.IsValidCluster(16));
  EXPECT_FALSE(t.IsValidCluster(1));
}

TEST(FatTable, ChainsAndWhyTheyEnd) {
  using End = FatChain::End;
  struct Case {
    const char* what;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> links;
    std::uint32_t first;
    std::uint64_t limit;
    std::vector<FatRun> runs;
    End end;
  };
  const Case cases[] = {
      {"one run", {{2, 3}, {3, 4}, {4, 0xFFFF}}, 2, 100, {{2, 3}}, End::EndMarker},
      {"three runs", {{2, 3}, {3, 9}, {9, 10}, {10, 5}, {5, 0xFFF8}}, 2, 100, {{2, 2}, {9, 2}, {5, 1}}, End::EndMarker},
      {"a loop", {{2, 3}, {3, 4}, {4, 3}}, 2, 100, {{2, 3}}, End::Loop},
      {"itself", {{7, 7}}, 7, 100, {{7, 1}}, End::Loop},
      {"a free entry", {{2, 3}}, 2, 100, {{2, 2}}, End::Free},
      {"outside the clusters", {{2, 500}}, 2, 100, {{2, 1}}, End::Invalid},
      {"a bad-cluster mark", {{2, 0xFFF7}}, 2, 100, {{2, 1}}, End::Invalid},
      {"the limit", {{2, 3}, {3, 4}, {4, 5}, {5, 0xFFFF}}, 2, 2, {{2, 2}}, End::Limit},
      {"an invalid start", {}, 1, 100, {}, End::Invalid},
  };
  FatTable t;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    t.Assign(TableBytes(16, 64, c.links), 16, 60);
    for (int again = 0; again < 2; ++again) {  // the loop check leaves nothing behind
      const FatChain chain = t.Chain(c.first, c.limit);
      ASSERT_EQ(chain.runs.size(), c.runs.size());
      std::uint64_t clusters = 0;
      for (std::size_t i = 0; i < c.runs.size(); ++i) {
        EXPECT_EQ(chain.runs[i].first, c.runs[i].first);
        EXPECT_EQ(chain.runs[i].count, c.runs[i].count);
        clusters += c.runs[i].count;
      }
      EXPECT_EQ(chain.clusters, clusters);
      EXPECT_EQ(chain.end, c.end);
    }
  }
}

TEST(FatTable, TheBitmapCoversEveryCluster) {
  // FAT12 with 4,000 clusters in 6,000 bytes: the last third of the table counts too.
  FatTable t;
  t.Assign(TableBytes(12, 4096, {{0, 0xFF8}, {1, 0xFFF}, {2, 3}, {3, 0xFFF}, {3001, 0xFFF}, {4001, 0xFF7}}), 12, 4000);
  CBitArray bitmap;
  ASSERT_TRUE(t.FillBitmap(bitmap));
  EXPECT_GE(bitmap.BitCount(), 4002u);
  std::vector<std::int64_t> set;
  for (std::int64_t i = bitmap.Find(0, true); i >= 0; i = bitmap.Find(i + 1, true)) set.push_back(i);
  EXPECT_EQ(set, (std::vector<std::int64_t>{2, 3, 3001, 4001}));
}

TEST(FatDosTimes, LocalTimesBecomeUtc) {
  // The test runner's zone: CET, CEST from the last Sunday of March 02:00 to the last
  // Sunday of October 03:00.
  auto dos = [](int y, int mo, int d, int h, int mi, int s) {
    return std::pair<std::uint16_t, std::uint16_t>(std::uint16_t(((y - 1980) << 9) | (mo << 5) | d),
                                                   std::uint16_t((h << 11) | (mi << 5) | (s / 2)));
  };
  struct Case {
    std::pair<std::uint16_t, std::uint16_t> local;
    std::int64_t utc;  // seconds since 1970, 0 for no time
  };
  const Case cases[] = {
      {dos(2021, 3, 27, 12, 0, 0), 1616842800},   // winter
      {dos(2021, 3, 28, 1, 30, 0), 1616891400},   // the day summer time starts, before
      {dos(2021, 3, 28, 3, 30, 0), 1616895000},   // and after
      {dos(2021, 10, 31, 1, 30, 0), 1635636600},  // the day it ends, before
      {dos(2021, 10, 31, 3, 30, 0), 1635647400},  // and after
      {dos(1980, 1, 1, 0, 0, 0), 315529200},      // the first DOS time
      {dos(2107, 12, 31, 23, 59, 58), 4354815598},
      {dos(2021, 2, 29, 12, 0, 0), 0},  // no such day
      {dos(2020, 13, 1, 12, 0, 0), 0},
      {dos(2020, 1, 0, 12, 0, 0), 0},
      {dos(2020, 1, 1, 24, 0, 0), 0},
      {dos(2020, 1, 1, 12, 60, 0), 0},
      {{0, 0}, 0},
  };
  FatDosTimes times;
  for (int round = 0; round < 3; ++round) {  // converted again from what it keeps
    for (const Case& c : cases) {
      SCOPED_TRACE(c.utc);
      EXPECT_EQ(times.ToFileTime(c.local.first, c.local.second), c.utc ? platform::FileTimeFromUnix(c.utc) : 0);
    }
  }
  // Many times of one day, in any order.
  for (int minute = 59; minute >= 0; minute -= 7) {
    const auto t = dos(2019, 7, 1, 15, minute, 10);
    EXPECT_EQ(times.ToFileTime(t.first, t.second), platform::FileTimeFromUnix(1561986010 + minute * 60));
  }
}

}  // namespace
