#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>

#include "platform/ByteOrder.h"

using platform::LeView;
using platform::LeWriter;

TEST(ByteOrder, ReadsLittleEndianFieldsAndFlagsOutOfBounds) {
  const std::uint8_t raw[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0xFF};
  LeView v(raw, sizeof raw);
  EXPECT_EQ(v.U8(0), 0x01);
  EXPECT_EQ(v.U16(0), 0x0201);
  EXPECT_EQ(v.U32(1), 0x05040302u);
  EXPECT_EQ(v.U64(0), 0x0807060504030201ull);
  EXPECT_EQ(v.I8(8), -1);
  EXPECT_TRUE(v.ok());

  // Each read that reaches past the end answers 0 and clears ok().
  EXPECT_EQ(v.U16(8), 0);
  EXPECT_FALSE(v.ok());
  LeView w(raw, sizeof raw);
  EXPECT_EQ(w.U64(2), 0u);
  EXPECT_FALSE(w.ok());
  LeView huge(raw, sizeof raw);
  EXPECT_EQ(huge.U32(std::numeric_limits<std::size_t>::max() - 1), 0u);  // no overflow of offset + size
  EXPECT_FALSE(huge.ok());
  EXPECT_TRUE(huge.Sub(9, 0).empty());
  EXPECT_FALSE(LeView(raw, sizeof raw).Has(5, 5));
}

TEST(ByteOrder, WriterRoundTripsAndRefusesOutOfBounds) {
  std::array<std::uint8_t, 16> buf{};
  LeWriter w(buf.data(), buf.size());
  w.U16(0, 0xBEEF);
  w.I32(2, -2);
  w.U64(8, 0x1122334455667788ull);
  EXPECT_TRUE(w.ok());
  LeView v(buf.data(), buf.size());
  EXPECT_EQ(v.U16(0), 0xBEEF);
  EXPECT_EQ(v.I32(2), -2);
  EXPECT_EQ(v.U64(8), 0x1122334455667788ull);
  w.U32(14, 1);  // would need bytes 14..17
  EXPECT_FALSE(w.ok());
  EXPECT_EQ(buf[14], 0x22);  // untouched
}
