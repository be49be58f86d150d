#include "engine/fs/FileSystem.h"

#include <algorithm>

namespace {
constexpr char16_t kRootName[] = u".";
}

CFileSystem::CFileSystem() {
  root.flags = OBJ_FOLDER | OBJ_NAMED;
  root.SetName(kRootName);
}

CFileSystem::~CFileSystem() = default;

int CFileSystem::Analyse() { return 0; }

void CFileSystem::ScanAt(const FoundObject&) {}

std::int64_t CFileSystem::FileRead(const FoundObject&, void*, std::int64_t, std::uint32_t) { return 0; }

std::int64_t CFileSystem::ReadableSize(const FoundObject& record, std::int64_t volumeBytes) {
  return WithinVolume(record.offset, record.size, volumeBytes);
}

std::int64_t CFileSystem::WithinVolume(std::int64_t offset, std::int64_t size, std::int64_t volumeBytes) {
  if (size <= 0 || volumeBytes <= 0 || offset < 0) return size;
  if (offset >= volumeBytes) return 0;
  return std::min(size, volumeBytes - offset);
}

ObjectRunList CFileSystem::ContiguousRuns(const FoundObject& record) {
  if (record.IsFolder() || record.IsDevice()) return {};
  return ObjectRunList::Contiguous(record.offset, record.size);
}

CFileSystem::ParserKind CFileSystem::ParserFor(std::int32_t code) {
  switch (code) {
    case 1: case 4: case 6: case 11: case 12: case 14: case 17: case 20: case 22: case 27: case 28: case 30:
      return ParserKind::Fat;
    case 7:
      return ParserKind::Ntfs;
    default:
      return ParserKind::None;
  }
}

std::int32_t CFileSystem::RootFolderIdFor(std::int32_t code) {
  switch (code) {
    case 11: case 12: case 27: case 28:
      return 2;
    case 7:
      return 5;
    default:
      return 0;
  }
}

std::u16string_view CFileSystem::TypeNameOf(std::int32_t code) {
  switch (code) {
    case 1:
      return u"FAT12";
    case 4: case 6:
      return u"FAT16";
    case 11: case 12:
      return u"FAT32";
    case 7: case 128:
      return u"NTFS";
    default:
      return u"Unknown";
  }
}

int CFileSystem::FatBitsFor(std::int32_t code) {
  switch (code) {
    case 1: case 17:
      return 12;
    case 4: case 6: case 14: case 20: case 22: case 30: case 134:
      return 16;
    case 11: case 12: case 27: case 28: case 139: case 140:
      return 32;
    default:
      return 0;
  }
}

std::int32_t CFileSystem::DetectByBootSector(platform::Bytes sector) {
  const platform::LeView v(sector);
  if (v.Equals(54, "FAT12   ", 8)) return 1;
  if (v.Equals(54, "FAT16   ", 8)) return 4;
  if (v.Equals(82, "FAT32   ", 8)) return 11;
  if (v.Equals(3, "NTFS    ", 8)) return 7;
  return 0;
}

void CFileSystem::GetTypeName() { typeName = std::u16string(TypeNameOf(typeCode)); }

bool CFileSystem::BitmapLayout(ClusterLayout& /*out*/) const { return false; }
