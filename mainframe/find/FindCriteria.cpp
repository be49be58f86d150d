#include "mainframe/find/FindCriteria.h"

#include <limits>

#include "engine/store/FileFilter.h"
#include "engine/store/FoundObject.h"

namespace {

constexpr platform::FileTime kDay = 86400LL * platform::kFileTimePerSecond;

}  // namespace

std::int64_t FindCriteria::UnitMultiplier(std::int32_t unit) {
  switch (unit) {
    case kKB:
      return 1024;
    case kMB:
      return 1024LL * 1024;
    case kGB:
      return 1024LL * 1024 * 1024;
    default:
      return 1;
  }
}

std::int32_t FindCriteria::CompareOfIndex(int index) {
  switch (index) {
    case 1:
      return +1;
    case 2:
      return -1;
    default:
      return 0;
  }
}

int FindCriteria::IndexOfCompare(std::int32_t compare) { return compare > 0 ? 1 : compare < 0 ? 2 : 0; }

void FindCriteria::ApplySizeMode() {
  if (sizeMode != kAnySize) ignoreFolders = 1;
  switch (sizeMode) {
    case kAnySize:
      sizeValue = 0;
      break;
    case kSmall:
      sizeValue = 102400;
      sizeCompare = -1;
      break;
    case kMedium:
      sizeValue = 1048576;
      sizeCompare = -1;
      break;
    case kLarge:
      sizeValue = 1048576;
      sizeCompare = +1;
      break;
    default:
      break;
  }
}

void FindCriteria::Prepare(platform::FileTime nowUtc, const platform::DateTime& pickedFrom,
                           const platform::DateTime& pickedTo) {
  if (nameMask.empty()) nameMask = u"*";
  if (nameMask.size() > kMaxMaskLength) nameMask.resize(kMaxMaskLength);
  ApplySizeMode();
  if (sizeMode == kSpecifySize) {
    const std::int64_t number = sizeNumber < 0 ? 0 : sizeNumber;
    if (__builtin_mul_overflow(number, UnitMultiplier(sizeUnit), &sizeValue))
      sizeValue = std::numeric_limits<std::int64_t>::max();
  }
  if (!PeriodEnding(dateMode, nowUtc, dateFrom, dateTo) && dateMode == kSpecifyDates)
    LocalDayBounds(pickedFrom, pickedTo, dateFrom, dateTo);
}

bool FindCriteria::PeriodEnding(std::int32_t dateMode, platform::FileTime nowUtc, platform::FileTime& from,
                                platform::FileTime& to) {
  std::int64_t days = 0;
  switch (dateMode) {
    case kPastWeek:
      days = 7;
      break;
    case kPastMonth:
      days = 28;
      break;
    case kPastYear:
      days = 365;
      break;
    default:
      return false;
  }
  to = nowUtc;
  from = nowUtc - days * kDay;
  return true;
}

void FindCriteria::LocalDayBounds(const platform::DateTime& fromDay, const platform::DateTime& toDay,
                                  platform::FileTime& from, platform::FileTime& to) {
  platform::DateTime start;
  start.year = fromDay.year;
  start.month = fromDay.month;
  start.day = fromDay.day;
  from = platform::FileTimeFromLocal(start);
  // The end of the day is the instant before the next local midnight (the day
  // number past the month's end is carried over by the conversion).
  platform::DateTime next;
  next.year = toDay.year;
  next.month = toDay.month;
  next.day = toDay.day + 1;
  to = platform::FileTimeFromLocal(next) - 1;
}

bool FindCriteria::FilterFoundItem(const FoundObject& record) const {
  const std::uint16_t flags = record.flags;
  if (deletedOnly && !(flags & OBJ_DELETED)) return false;
  const bool folder = (flags & OBJ_FOLDER) != 0;
  if (ignoreFolders && folder) return false;
  if (!FileFilter::MatchMask(nameMask.empty() ? std::u16string_view(u"*") : std::u16string_view(nameMask),
                             record.Name()))
    return false;
  if (dateMode != kAnyDate && (record.created < dateFrom || record.created > dateTo)) return false;
  if (sizeMode != kAnySize && !folder && record.size != -1) {
    if (sizeCompare < 0) return record.size < sizeValue;
    if (sizeCompare > 0) return record.size > sizeValue;
    return record.size == sizeValue;
  }
  return true;
}
