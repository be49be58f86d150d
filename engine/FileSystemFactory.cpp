#include "engine/FileSystemFactory.h"

#include <mutex>

namespace {

std::mutex g_makerMutex;
FileSystemMaker g_maker;

std::unique_ptr<CFileSystem> MakeByCode(std::int32_t code, CVolume& volume, ScanProgress& progress) {
  (void)volume;
  (void)progress;
  std::unique_ptr<CFileSystem> parser;
  switch (CFileSystem::ParserFor(code)) {
    case CFileSystem::ParserKind::Fat:
      // FAT parser: CFileSystem_FAT(volume, progress) goes here.
      parser = std::make_unique<CFileSystem>();
      break;
    case CFileSystem::ParserKind::Ntfs:
      // NTFS parser: CFileSystem_NTFS(volume, progress) goes here.
      parser = std::make_unique<CFileSystem>();
      break;
    case CFileSystem::ParserKind::None:
      return nullptr;
  }
  parser->typeCode = code;
  parser->GetTypeName();
  return parser;
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
