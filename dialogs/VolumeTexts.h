#pragma once
// The texts the volume and file information windows show for a volume's and a
// found object's numbers: size lines, serial numbers, volume states, sizes on
// disk and file times. Plain functions over numbers, so that the tables of cases
// run without a window; the volume information view of the main window uses them
// too.
//
// Texts with string ids go through the language tables. GUI thread (they read
// the language tables, which may run anywhere, and the local time zone).

#include <QString>

#include <cstdint>

#include "platform/FileTime.h"

namespace dialogs {

// A byte count in the largest unit it is above, followed by the exact count:
// "465 GB (500 107 862 016 bytes)". Above 2^30 bytes GB, above 2^20 MB, above 1024
// KB (each truncated), else no unit at all: " (1 024 bytes)".
QString SizeWithBytes(std::int64_t bytes);
// The size lines of the volume information: SizeWithBytes above 1024 bytes, a
// null text (the form's own text stays) otherwise.
QString VolumeSizeLine(std::int64_t bytes);

// A volume serial number in upper-case hexadecimal, the high part (when it is not
// 0) directly followed by the low part, neither padded: 0x1234 and 0xABCD give
// "1234ABCD". A null text when the low part is 0, whatever the high part.
QString SerialText(std::uint32_t high, std::uint32_t low);

// A volume's state (CVolume::State): -1 "Information request", 1 "Ready", 2
// "Analyzing", anything else "Not Ready".
QString VolumeStateText(std::int32_t state);

// The bytes a file takes on disk: its size rounded up to whole clusters. With no
// cluster size (0 or less) the size itself.
std::int64_t SizeOnDisk(std::int64_t size, std::int32_t clusterBytes);
// The size lines of the file information: "%I64d" of the size (or of its size on
// disk); a size that is not known (below 0) reads "unknown" in both.
QString FileSizeText(std::int64_t size);
QString FileSizeOnDiskText(std::int64_t size, std::int32_t clusterBytes);

// A file time as the local short date and time; no time (0) reads "unknown".
QString FileTimeText(platform::FileTime time);

}  // namespace dialogs
