#include "search/CompoundDocument.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "platform/Text.h"

namespace {

struct StreamName {
  std::u16string_view name;
  std::int32_t typeId;
  bool prefix;  // the name only has to begin with it
};

// In the order they are tested within each entry.
constexpr StreamName kStreamNames[] = {
    {u"Workbook", 501, false},      {u"WordDocument", 502, false},  {u"PowerPoint Document", 503, false},
    {u"Scene", 522, false},         {u"Props", 506, false},         {u"VisioDocument", 505, false},
    {u"Envelope", 508, false},      {u"Symbol ", 523, true},        {u"DocumentViewStyles", 520, false},
    {u"BodyText", 521, false},
};

std::int32_t TypeOfName(std::u16string_view name) {
  for (const StreamName& s : kStreamNames) {
    const std::u16string_view part = s.prefix ? name.substr(0, s.name.size()) : name;
    if (platform::EqualsNoCase(part, s.name)) return s.typeId;
  }
  return 0;
}

}  // namespace

bool ReadCompoundDocumentHeader(platform::Bytes header, CompoundDocumentHeader& out) {
  const platform::LeView v(header);
  if (!v.Has(0, 52)) return false;
  out = CompoundDocumentHeader{};
  out.sectorShift = v.U16(30);
  if (out.sectorShift != 9 && out.sectorShift != 12) return false;
  out.sectorSize = std::int64_t(1) << out.sectorShift;
  out.fatSectors = v.U32(44);
  out.directorySector = v.U32(48);
  // At most 1024 x 2^32 x 4096 = 2^54: no overflow.
  out.size = (out.sectorSize / 4) * std::int64_t(out.fatSectors) * out.sectorSize;
  out.directoryOffset = std::int64_t(out.directorySector) * out.sectorSize + out.sectorSize;
  return true;
}

std::int32_t CompoundDocumentSubtype(platform::Bytes directory) {
  const std::size_t entries = std::min(kCompoundDirectoryEntries, directory.size() / kCompoundEntryBytes);
  if (entries == 0) return 500;
  if (!platform::EqualsNoCase(platform::ReadUtf16Field(directory, 0, kCompoundNameUnits), u"Root Entry")) return 500;
  for (std::size_t e = 0; e < entries; ++e) {
    const std::u16string name = platform::ReadUtf16Field(directory, e * kCompoundEntryBytes, kCompoundNameUnits);
    if (const std::int32_t id = TypeOfName(name)) return id;
  }
  return 500;
}
