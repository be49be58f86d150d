#include "platform/FileTime.h"

#include <ctime>

namespace platform {
namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t yy = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

std::string Strftime(FileTime ft, const char* format) {
  std::int64_t sec;
  std::uint32_t ns;
  UnixFromFileTime(ft, sec, ns);
  std::time_t t = static_cast<std::time_t>(sec);
  std::tm tm{};
  if (!localtime_r(&t, &tm)) return {};
  char buf[128];
  std::size_t n = std::strftime(buf, sizeof buf, format, &tm);
  return std::string(buf, n);
}

}  // namespace

FileTime FileTimeFromUnix(std::int64_t seconds, std::uint32_t nanoseconds) {
  return kFileTimeUnixEpoch + seconds * kFileTimePerSecond + nanoseconds / 100;
}

void UnixFromFileTime(FileTime ft, std::int64_t& seconds, std::uint32_t& nanoseconds) {
  const std::int64_t rel = ft - kFileTimeUnixEpoch;
  seconds = FloorDiv(rel, kFileTimePerSecond);
  nanoseconds = static_cast<std::uint32_t>((rel - seconds * kFileTimePerSecond) * 100);
}

FileTime FileTimeNow() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return FileTimeFromUnix(ts.tv_sec, static_cast<std::uint32_t>(ts.tv_nsec));
}

DateTime UtcFromFileTime(FileTime ft) {
  std::int64_t sec;
  std::uint32_t ns;
  UnixFromFileTime(ft, sec, ns);
  const std::int64_t days = FloorDiv(sec, 86400);
  const std::int64_t rem = sec - days * 86400;
  DateTime dt;
  CivilFromDays(days, dt.year, dt.month, dt.day);
  dt.hour = static_cast<int>(rem / 3600);
  dt.minute = static_cast<int>(rem / 60 % 60);
  dt.second = static_cast<int>(rem % 60);
  dt.millisecond = static_cast<int>(ns / 1000000);
  dt.dayOfWeek = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  return dt;
}

FileTime FileTimeFromUtc(const DateTime& utc) {
  const std::int64_t days = DaysFromCivil(utc.year, static_cast<unsigned>(utc.month), static_cast<unsigned>(utc.day));
  const std::int64_t sec = days * 86400 + utc.hour * 3600 + utc.minute * 60 + utc.second;
  return FileTimeFromUnix(sec) + std::int64_t(utc.millisecond) * 10000;
}

DateTime LocalFromFileTime(FileTime ft) {
  std::int64_t sec;
  std::uint32_t ns;
  UnixFromFileTime(ft, sec, ns);
  std::time_t t = static_cast<std::time_t>(sec);
  std::tm tm{};
  if (!localtime_r(&t, &tm)) return UtcFromFileTime(ft);
  DateTime dt;
  dt.year = tm.tm_year + 1900;
  dt.month = tm.tm_mon + 1;
  dt.day = tm.tm_mday;
  dt.hour = tm.tm_hour;
  dt.minute = tm.tm_min;
  dt.second = tm.tm_sec;
  dt.millisecond = static_cast<int>(ns / 1000000);
  dt.dayOfWeek = tm.tm_wday;
  return dt;
}

FileTime FileTimeFromLocal(const DateTime& local) {
  std::tm tm{};
  tm.tm_year = local.year - 1900;
  tm.tm_mon = local.month - 1;
  tm.tm_mday = local.day;
  tm.tm_hour = local.hour;
  tm.tm_min = local.minute;
  tm.tm_sec = local.second;
  tm.tm_isdst = -1;
  std::time_t t = mktime(&tm);
  if (t == static_cast<std::time_t>(-1) && !(tm.tm_year == 69 && tm.tm_mon == 11 && tm.tm_mday == 31)) {
    return FileTimeFromUtc(local);
  }
  return FileTimeFromUnix(static_cast<std::int64_t>(t)) + std::int64_t(local.millisecond) * 10000;
}

std::string FormatLocalDate(FileTime ft) { return Strftime(ft, "%x"); }
std::string FormatLocalTime(FileTime ft) { return Strftime(ft, "%X"); }

}  // namespace platform
