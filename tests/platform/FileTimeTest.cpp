#include <gtest/gtest.h>

#include "platform/FileTime.h"

using namespace platform;

TEST(FileTime, CalendarConversions) {
  struct Case {
    FileTime ft;
    int y, mo, d, h, mi, s, dow;
  } cases[] = {
      {0, 1601, 1, 1, 0, 0, 0, 1},                                   // the FILETIME epoch, a Monday
      {kFileTimeUnixEpoch, 1970, 1, 1, 0, 0, 0, 4},                  // the Unix epoch
      {FileTimeFromUnix(1709164800), 2024, 2, 29, 0, 0, 0, 4},       // a leap day
      {FileTimeFromUnix(951782400 + 86399), 2000, 2, 29, 23, 59, 59, 2},
      {FileTimeFromUnix(-1), 1969, 12, 31, 23, 59, 59, 3},
  };
  for (auto& c : cases) {
    DateTime dt = UtcFromFileTime(c.ft);
    EXPECT_EQ(dt.year, c.y);
    EXPECT_EQ(dt.month, c.mo);
    EXPECT_EQ(dt.day, c.d);
    EXPECT_EQ(dt.hour, c.h);
    EXPECT_EQ(dt.minute, c.mi);
    EXPECT_EQ(dt.second, c.s);
    EXPECT_EQ(dt.dayOfWeek, c.dow);
    EXPECT_EQ(FileTimeFromUtc(dt), c.ft);
  }
}

TEST(FileTime, UnixRoundTripKeepsSubSeconds) {
  FileTime ft = FileTimeFromUnix(1234567890, 123456700);
  std::int64_t s;
  std::uint32_t ns;
  UnixFromFileTime(ft, s, ns);
  EXPECT_EQ(s, 1234567890);
  EXPECT_EQ(ns, 123456700u);
  UnixFromFileTime(kFileTimeUnixEpoch - 1, s, ns);  // 100 ns before 1970
  EXPECT_EQ(s, -1);
  EXPECT_EQ(ns, 999999900u);
}

TEST(FileTime, LocalTimeFollowsTheTimeZone) {
  // The test main pins Central European time: UTC+1 in winter, UTC+2 in summer.
  FileTime winter = FileTimeFromUtc({2024, 1, 15, 11, 30, 0});
  DateTime lw = LocalFromFileTime(winter);
  EXPECT_EQ(lw.hour, 12);
  EXPECT_EQ(FileTimeFromLocal(lw), winter);
  FileTime summer = FileTimeFromUtc({2024, 7, 15, 11, 30, 0});
  DateTime ls = LocalFromFileTime(summer);
  EXPECT_EQ(ls.hour, 13);
  EXPECT_EQ(FileTimeFromLocal(ls), summer);
}
