#include "engine/FileSystem.h"

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
