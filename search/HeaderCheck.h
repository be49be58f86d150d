#pragma once
// Whether the header at a hit of a short (two-byte) signature can be the header of
// a file of that type: most such hits are two bytes that happen to stand at the
// start of a sector inside some other file, and their headers do not hold.
//   - DOS executables (MZ): the header's own fields agree (bytes in the last page
//     and pages, header paragraphs, the relocation table inside the header) and a
//     new-header offset, where the header has room for one and it is set, points at
//     a PE, NE, LE or LX header. A plain DOS program has none and stays.
//   - gzip: deflate (method 8) and no reserved flag bit.
//   - ARJ: the basic header's size and its CRC-32.
//   - HA: a file count and a first entry whose method, lengths and names hold.
// Any other type is always possible here.

#include <cstdint>

class FormatReader;

bool HeaderIsPossible(std::int32_t typeId, FormatReader& reader);

// The single checks, for the tests and the fuzz target.
bool DosExecutableHeaderHolds(FormatReader& reader);
bool GzipHeaderHolds(FormatReader& reader);
bool ArjHeaderHolds(FormatReader& reader);
bool HaHeaderHolds(FormatReader& reader);
