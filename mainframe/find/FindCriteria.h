#pragma once
// FindCriteria: what the search bar (CSearchBarView) asks the find thread to look
// for among the found objects of the analysed volume: a name mask, a period of
// the objects' dates, a size condition and the deleted-only and ignore-folders
// switches. The form writes it on the GUI thread; the find thread works on its own
// copy, taken when the search starts.
//
// FilterFoundItem judges one record: every active criterion must hold. The name
// goes through FileFilter::MatchMask (the '*' and '?' wildcards, letters without
// regard to case); the period is tested on the creation time, the time the found-
// object list shows as its date; a size condition passes every file whose size is
// not known.
//
// Qt-free; a plain value.

#include <cstdint>
#include <string>

#include "platform/FileTime.h"

struct FoundObject;

struct FindCriteria {
  static constexpr std::size_t kMaxMaskLength = 2048;
  enum DateMode : int { kAnyDate = 0, kPastWeek = 1, kPastMonth = 2, kPastYear = 3, kSpecifyDates = 4 };
  enum SizeMode : int { kAnySize = 0, kSmall = 1, kMedium = 2, kLarge = 3, kSpecifySize = 4 };
  enum SizeUnit : int { kBytes = 0, kKB = 1, kMB = 2, kGB = 3 };

  std::u16string nameMask = u"*";  // empty means "*"
  std::int32_t dateMode = kAnyDate;
  platform::FileTime dateFrom = 0;  // both included
  platform::FileTime dateTo = 0;
  std::int32_t sizeMode = kAnySize;
  std::int32_t sizeCompare = 0;  // 0 equal, +1 greater than, -1 less than
  std::int64_t sizeNumber = 0;
  std::int32_t sizeUnit = kKB;
  std::int64_t sizeValue = 0;  // bytes
  std::int32_t deletedOnly = 1;
  std::int32_t ignoreFolders = 1;

  // Bytes per unit: 1, 1,024, 1,048,576, 1,073,741,824 (an unknown unit: 1).
  static std::int64_t UnitMultiplier(std::int32_t unit);
  // The compare combo's entries in order (" =", " >", " <") as sizeCompare values.
  static std::int32_t CompareOfIndex(int index);
  static int IndexOfCompare(std::int32_t compare);

  // What the size mode fixes: any mode but 0 sets ignoreFolders; modes 1 to 3 set
  // sizeValue and sizeCompare (102,400 less than; 1,048,576 less than; 1,048,576
  // greater than); mode 0 sets sizeValue to 0; mode 4 leaves them to Prepare.
  void ApplySizeMode();
  // The form's rules for its controls.
  bool SizeControlsEnabled() const { return sizeMode == kSpecifySize; }
  bool IgnoreFoldersEnabled() const { return sizeMode == kAnySize; }
  bool DatePickersEnabled() const { return dateMode == kSpecifyDates; }

  // The steps of "Search" before the thread starts: an empty mask becomes "*" (a
  // longer one is cut at kMaxMaskLength); mode 4 takes sizeValue = sizeNumber
  // times the unit (saturated at the largest 64-bit value); date modes 1 to 3 take
  // the period ending `nowUtc`; mode 4 the local days picked (see LocalDayBounds).
  void Prepare(platform::FileTime nowUtc, const platform::DateTime& pickedFrom, const platform::DateTime& pickedTo);

  // Modes 1, 2, 3: [now - 7, 28 or 365 days, now]. False for the other modes.
  static bool PeriodEnding(std::int32_t dateMode, platform::FileTime nowUtc, platform::FileTime& from,
                           platform::FileTime& to);
  // The first and the last instant (as UTC FILETIMEs) of the local calendar days
  // of `fromDay` and `toDay` (their year, month and day; the time of day is not
  // read): from the start of the first day to the end of the second.
  static void LocalDayBounds(const platform::DateTime& fromDay, const platform::DateTime& toDay,
                             platform::FileTime& from, platform::FileTime& to);

  // Whether the record is a match. Records of the store's special nodes are the
  // caller's to skip (the find thread skips negative ids).
  bool FilterFoundItem(const FoundObject& record) const;
};
