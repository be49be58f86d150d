#pragma once
// Times are kept as FILETIME everywhere: the count of 100 ns intervals since
// 1601-01-01 00:00 UTC, in a signed 64-bit integer. These convert at the edges.

#include <cstdint>
#include <string>

namespace platform {

using FileTime = std::int64_t;

constexpr FileTime kFileTimeUnixEpoch = 116444736000000000LL;  // 1970-01-01 00:00 UTC
constexpr FileTime kFileTimePerSecond = 10000000LL;

// A broken-down local (or UTC) date and time, with the calendar of struct tm but
// one-based months, as people write dates.
struct DateTime {
  int year = 1601;
  int month = 1;   // 1..12
  int day = 1;     // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  int dayOfWeek = 0;  // 0 Sunday
};

FileTime FileTimeFromUnix(std::int64_t seconds, std::uint32_t nanoseconds = 0);
// Seconds and nanoseconds since the Unix epoch (nanoseconds always 0..999,999,999).
void UnixFromFileTime(FileTime ft, std::int64_t& seconds, std::uint32_t& nanoseconds);
FileTime FileTimeNow();

// UTC calendar conversions (no time zone).
DateTime UtcFromFileTime(FileTime ft);
FileTime FileTimeFromUtc(const DateTime& utc);

// Local-time conversions through the process's time zone (TZ).
DateTime LocalFromFileTime(FileTime ft);
// A local wall-clock time to UTC; an ambiguous or skipped time (daylight-saving
// change) takes what mktime chooses.
FileTime FileTimeFromLocal(const DateTime& local);

// Local short date and time texts for people ("%x" and "%X" of the process locale).
std::string FormatLocalDate(FileTime ft);
std::string FormatLocalTime(FileTime ft);

}  // namespace platform
