#include "engine/records/Strings.h"

#include <atomic>

#include "resources/StringTable.h"

namespace {
std::atomic<const IStringSource*> g_source{nullptr};
}

void SetStringSource(const IStringSource* source) { g_source.store(source); }

std::u16string GetLangString(std::uint32_t id) {
  if (const IStringSource* s = g_source.load()) return s->GetString(id);
  return std::u16string(BuiltinString(id));
}
