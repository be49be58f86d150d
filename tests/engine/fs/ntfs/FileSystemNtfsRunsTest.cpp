// Decoding of NTFS mapping pairs into data runs, and finding the run of a VCN.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/fs/ntfs/DataRun.h"

namespace {

struct Run {
  std::int64_t lcn, count;
  bool sparse;
};

struct Case {
  const char* what;
  std::vector<std::uint8_t> pairs;
  std::int64_t firstVcn;
  std::vector<Run> runs;  // expected, in order
  bool ok;
};

}  // namespace

TEST(FileSystemNtfsRuns, DecodingTable) {
  const Case cases[] = {
      {"one run", {0x11, 0x05, 0x10, 0x00}, 0, {{0x10, 5, false}}, true},
      {"empty list", {0x00}, 0, {}, true},
      {"multi-byte count and delta", {0x32, 0x00, 0x01, 0x34, 0x12, 0x00, 0x00}, 0, {{0x1234, 256, false}}, true},
      {"eight-byte delta", {0x81, 0x01, 0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0x00},
       0, {{0x0102030405060708, 1, false}}, true},
      {"negative delta", {0x11, 0x10, 0x40, 0x11, 0x08, 0xF0, 0x00}, 0, {{0x40, 16, false}, {0x30, 8, false}}, true},
      {"negative two-byte delta", {0x21, 0x04, 0x00, 0x10, 0x21, 0x02, 0x00, 0xFF, 0x00},
       0, {{0x1000, 4, false}, {0x0F00, 2, false}}, true},
      {"a positive delta whose top byte has its high bit clear", {0x21, 0x01, 0x80, 0x00, 0x00},
       0, {{0x80, 1, false}}, true},
      {"one-byte 0x80 delta is negative", {0x21, 0x01, 0x00, 0x01, 0x11, 0x01, 0x80, 0x00},
       0, {{0x100, 1, false}, {0x80, 1, false}}, true},
      {"sparse run keeps the LCN for the next delta", {0x11, 0x01, 0x20, 0x01, 0x7F, 0x11, 0x02, 0x10, 0x00},
       0, {{0x20, 1, false}, {0, 0x7F, true}, {0x30, 2, false}}, true},
      {"sparse first run", {0x02, 0x00, 0x01, 0x11, 0x01, 0x05, 0x00}, 0, {{0, 256, true}, {5, 1, false}}, true},
      {"a run at LCN 0 is not sparse", {0x11, 0x01, 0x00, 0x00}, 0, {{0, 1, false}}, true},
      {"first VCN of an extent", {0x11, 0x03, 0x09, 0x00}, 100, {{9, 3, false}}, true},
      {"no end", {0x11, 0x05, 0x10}, 0, {{0x10, 5, false}}, false},
      {"nothing at all", {}, 0, {}, false},
      {"truncated pair", {0x33, 0x01, 0x02}, 0, {}, false},
      {"count of no bytes", {0x10, 0x05, 0x00}, 0, {}, false},
      {"count of nine bytes", {0x19, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0x00}, 0, {}, false},
      {"delta of nine bytes", {0x91, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0x00}, 0, {}, false},
      {"count of zero", {0x11, 0x00, 0x10, 0x00}, 0, {}, false},
      {"count with the sign bit", {0x18, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x00}, 0, {}, false},
      {"negative LCN", {0x11, 0x01, 0x10, 0x11, 0x01, 0xE0, 0x00}, 0, {{0x10, 1, false}}, false},
      {"LCN overflow", {0x81, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x11, 0x01, 0x7F, 0x00},
       0, {}, false},
      {"VCN overflow", {0x81, 0x7F, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x00}, 0x7FFFFFFFFFFFFFF0, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<DataRun> runs;
    const char16_t* why = DecodeDataRuns(c.pairs, c.firstVcn, runs);
    EXPECT_EQ(why == nullptr, c.ok);
    if (!c.ok) continue;
    ASSERT_EQ(runs.size(), c.runs.size());
    std::int64_t vcn = c.firstVcn;
    for (std::size_t i = 0; i < runs.size(); ++i) {
      EXPECT_EQ(runs[i].lcn, c.runs[i].lcn) << i;
      EXPECT_EQ(runs[i].clusterCount, c.runs[i].count) << i;
      EXPECT_EQ(runs[i].sparse != 0, c.runs[i].sparse) << i;
      EXPECT_EQ(runs[i].firstVcn, vcn) << i;
      EXPECT_EQ(runs[i].lastVcn, vcn + c.runs[i].count - 1) << i;
      vcn += c.runs[i].count;
    }
  }
}

TEST(FileSystemNtfsRuns, FindRunMapsEveryVcnOfItsRunAndNoOther) {
  std::vector<DataRun> runs;
  // 4 clusters at 100, 2 sparse, 3 at 50.
  ASSERT_EQ(DecodeDataRuns(std::vector<std::uint8_t>{0x11, 0x04, 0x64, 0x01, 0x02, 0x11, 0x03, 0xCE, 0x00}, 10,
                           runs),
            nullptr);
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(FindRun(runs, 9), nullptr);
  for (std::int64_t v = 10; v < 14; ++v) EXPECT_EQ(FindRun(runs, v), &runs[0]);
  EXPECT_EQ(FindRun(runs, 14), &runs[1]);
  EXPECT_TRUE(FindRun(runs, 15)->sparse);
  EXPECT_EQ(FindRun(runs, 16), &runs[2]);
  EXPECT_EQ(FindRun(runs, 18), &runs[2]);
  EXPECT_EQ(FindRun(runs, 19), nullptr);
  EXPECT_EQ(runs[2].lcn, 50);
  EXPECT_EQ(FindRun({}, 0), nullptr);
}
