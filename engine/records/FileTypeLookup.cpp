#include "engine/records/FileTypeLookup.h"

#include <atomic>

namespace {
std::atomic<const IFileTypeLookup*> g_lookup{nullptr};
}

void SetFileTypeLookup(const IFileTypeLookup* lookup) { g_lookup.store(lookup); }
const IFileTypeLookup* GetFileTypeLookup() { return g_lookup.load(); }
