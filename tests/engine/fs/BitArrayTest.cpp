#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/fs/BitArray.h"

TEST(BitArray, CreateRoundsUpToWholeBytes) {
  CBitArray a;
  ASSERT_TRUE(a.Create(13, false));
  EXPECT_EQ(a.ByteCount(), 2u);
  EXPECT_EQ(a.BitCount(), 16u);
  EXPECT_TRUE(a.OwnsData());
  EXPECT_FALSE(a.Create(0, false));
  EXPECT_EQ(a.GetData(), nullptr);
  EXPECT_EQ(a.GetBit(0), 0);
  EXPECT_EQ(a.SetBit(0, true), 0);
  EXPECT_EQ(a.Find(0, false), -1);
  EXPECT_EQ(a.ToText(), u"");
}

TEST(BitArray, BitsAreLeastSignificantFirst) {
  std::uint8_t buffer[2] = {0x55, 0x55};
  CBitArray a(buffer, 16, false);  // fills the caller's buffer
  EXPECT_FALSE(a.OwnsData());
  EXPECT_EQ(buffer[0], 0);
  a.SetBit(0, true);
  a.SetBit(9, true);
  EXPECT_EQ(buffer[0], 0x01);
  EXPECT_EQ(buffer[1], 0x02);
  EXPECT_EQ(a.ToText(), u"1000000001000000");
  a.SetBit(9, false);
  EXPECT_EQ(buffer[1], 0);
  a.Fill(true);
  EXPECT_EQ(buffer[0], 0xFF);
  EXPECT_EQ(buffer[1], 0xFF);
}

TEST(BitArray, FindAndGetBitTable) {
  struct Case {
    std::uint64_t bits;
    bool fill;
    std::vector<std::int64_t> flipped;  // bits set to !fill
    std::int64_t start;
    bool value;
    std::int64_t expected;
  };
  const std::int64_t big = (std::int64_t(1) << 32) + 77;  // an index past 2^32
  const Case cases[] = {
      {16, false, {6}, 5, true, 6},
      {16, false, {6}, 7, true, -1},
      {16, true, {}, 0, false, -1},
      {16, true, {}, 0, true, 0},
      {16, false, {}, 17, false, -1},  // start beyond the count
      {16, false, {}, 16, false, -1},
      {16, false, {}, -1, false, -1},
      {4096, false, {4000}, 1, true, 4000},  // across whole words
      {4096, true, {63, 64}, 0, false, 63},
      {4096, true, {3001}, 2999, false, 3001},
      {std::uint64_t(big) + 1000, false, {big}, 0, true, big},
      {std::uint64_t(big) + 1000, true, {big + 5}, big, false, big + 5},
  };
  for (const Case& c : cases) {
    CBitArray a;
    ASSERT_TRUE(a.Create(c.bits, c.fill)) << c.bits;
    for (std::int64_t i : c.flipped) a.SetBit(i, !c.fill);
    EXPECT_EQ(a.Find(c.start, c.value), c.expected) << c.bits << " from " << c.start;
    for (std::int64_t i : c.flipped) EXPECT_EQ(a.GetBit(i) != 0, !c.fill) << i;
  }
}

TEST(BitArray, IndexesOutsideTheBufferAreIgnored) {
  CBitArray a(16, false);
  EXPECT_EQ(a.GetBit(16), 0);
  EXPECT_EQ(a.GetBit(-1), 0);
  EXPECT_EQ(a.SetBit(16, true), 1);
  EXPECT_EQ(a.SetBit(std::int64_t(1) << 40, true), 1);
  EXPECT_EQ(a.ToText(), std::u16string(16, u'0'));
  // A count from damaged data that no bitmap can have is refused, not allocated.
  EXPECT_FALSE(a.Create(std::uint64_t(1) << 62, false));
}

TEST(BitArray, BitIndexOfMask) {
  EXPECT_EQ(CBitArray::BitIndexOfMask(0x01), 0);
  EXPECT_EQ(CBitArray::BitIndexOfMask(0x80), 7);
  EXPECT_EQ(CBitArray::BitIndexOfMask(0x10), 4);
  EXPECT_EQ(CBitArray::BitIndexOfMask(0x00), -1);
  EXPECT_EQ(CBitArray::BitIndexOfMask(0x11), -1);
}
