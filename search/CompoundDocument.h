#pragma once
// The compound-file container (D0 CF 11 E0 ...) that Word, Excel, PowerPoint and
// many other formats share: the size its header gives and the format its stream
// names tell. The signature search probes each container hit with these (see
// CSearchManager::ProbeCompoundDocument). Everything here reads untrusted bytes and
// checks every position against the bytes it has.

#include <cstddef>
#include <cstdint>

#include "platform/ByteOrder.h"

// What the header at the start of a container says.
struct CompoundDocumentHeader {
  std::int32_t sectorShift = 0;    // u16 at 30: 9 (512-byte sectors) or 12 (4096)
  std::int64_t sectorSize = 0;     // 1 << sectorShift
  std::uint32_t fatSectors = 0;    // u32 at 44: sectors of the allocation table
  std::uint32_t directorySector = 0;  // u32 at 48: first sector of the directory
  // The bytes the allocation table can address: the sector ids it holds (a quarter
  // of a sector each) times the sector size. 64-bit: a 4096-byte container with 600
  // table sectors already needs more than 31 bits.
  std::int64_t size = 0;
  // Where the directory starts, from the container's first byte (the header takes
  // the first sector).
  std::int64_t directoryOffset = 0;
};

// The directory the probe reads: 100 entries of 128 bytes.
inline constexpr std::size_t kCompoundEntryBytes = 128;
inline constexpr std::size_t kCompoundDirectoryEntries = 100;
inline constexpr std::size_t kCompoundDirectoryBytes = kCompoundEntryBytes * kCompoundDirectoryEntries;
// The name field at the start of an entry: 32 UTF-16 units, NUL-terminated when shorter.
inline constexpr std::size_t kCompoundNameUnits = 32;

// Reads the header; false when the bytes are too few or the sector shift is neither
// 9 nor 12 (nothing else is a container this program knows).
bool ReadCompoundDocumentHeader(platform::Bytes header, CompoundDocumentHeader& out);

// The format the stream names of a directory give (names compared without letter
// case, entry by entry, the first entry that names one decides): "Workbook" 501,
// "WordDocument" 502, "PowerPoint Document" 503, "Scene" 522, "Props" 506,
// "VisioDocument" 505, "Envelope" 508, a name beginning with "Symbol " 523,
// "DocumentViewStyles" 520, "BodyText" 521. 500 when the first entry is not the
// "Root Entry", when no entry names one, or when fewer than one entry's bytes are
// given. At most 100 entries are looked at, and only whole ones.
std::int32_t CompoundDocumentSubtype(platform::Bytes directory);
