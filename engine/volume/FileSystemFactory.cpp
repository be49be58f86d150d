#include "engine/volume/FileSystemFactory.h"

#include <mutex>

#include "engine/fs/fat/FileSystem_FAT.h"
#include "engine/fs/ntfs/FileSystem_NTFS.h"
#include "engine/volume/Volume.h"

namespace {

std::mutex g_makerMutex;
FileSystemMaker g_maker;

std::unique_ptr<CFileSystem> MakeByCode(std::int32_t code, CVolume& volume, ScanProgress& progress) {
  // Each parser takes the type code, name and open state from the volume's parser.
  switch (CFileSystem::ParserFor(code)) {
    case CFileSystem::ParserKind::Fat:
      return std::make_unique<CFileSystem_FAT>(volume, progress);
    case CFileSystem::ParserKind::Ntfs:
      return std::make_unique<CFileSystem_NTFS>(volume, progress);
    case CFileSystem::ParserKind::None:
      break;
  }
  return nullptr;
}

}  // namespace

std::unique_ptr<CFileSystem> MakeFileSystem(std::int32_t code, CVolume& volume, ScanProgress& progress) {
  FileSystemMaker maker;
  {
    std::lock_guard lock(g_makerMutex);
    maker = g_maker;
  }
  if (maker) return maker(code, volume, progress);
  return MakeByCode(code, volume, progress);
}

void SetFileSystemMaker(FileSystemMaker maker) {
  std::lock_guard lock(g_makerMutex);
  g_maker = std::move(maker);
}
