#pragma once
// The parser a file-system pass uses, chosen by the volume's type code (MBR
// partition-type byte values): FAT for 1, 4, 6, 14, 17, 20, 22, 30 (root folder id 0)
// and 11, 12, 27, 28 (root folder id 2), NTFS for 7 (root folder id 5), none for any
// other code.

#include <cstdint>
#include <functional>
#include <memory>

#include "engine/fs/FileSystem.h"

class CVolume;
class ScanProgress;

// The parser for `code` (the volume's type code), reading `volume` and reporting
// its position in `progress`; null when the code has none. Make it before it
// replaces the volume's parser: it takes the type code, name and open state from
// that one.
std::unique_ptr<CFileSystem> MakeFileSystem(std::int32_t code, CVolume& volume, ScanProgress& progress);

// Replaces the choice above (null restores it); tests use it to run a pass with a
// parser of their own.
using FileSystemMaker = std::function<std::unique_ptr<CFileSystem>(std::int32_t, CVolume&, ScanProgress&)>;
void SetFileSystemMaker(FileSystemMaker maker);
