#include "engine/store/FileFilter.h"

#include <vector>

#include "engine/records/AppSettings.h"
#include "engine/records/FileTypeLookup.h"
#include "engine/records/ProgramLog.h"
#include "engine/store/FoundObject.h"
#include "platform/ByteOrder.h"
#include "platform/Registry.h"
#include "platform/Text.h"

namespace {

std::u16string FilterKey() { return std::u16string(kProgramKey) + u"\\Filter"; }

// The characters of a name: a surrogate pair is one character, folded to one case.
std::vector<char32_t> Characters(std::u16string_view s) {
  std::vector<char32_t> out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      out.push_back(0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(s[i + 1]) - 0xDC00));
      ++i;
    } else {
      out.push_back(platform::FoldCase(c));
    }
  }
  return out;
}

constexpr std::int64_t kDay = 86400LL * platform::kFileTimePerSecond;

// The time of day of a FILETIME in local time, in 100 ns units since midnight.
std::int64_t LocalTimeOfDay(platform::FileTime t) {
  platform::DateTime local = platform::LocalFromFileTime(t);
  return ((local.hour * 60LL + local.minute) * 60 + local.second) * platform::kFileTimePerSecond + t % platform::kFileTimePerSecond;
}

}  // namespace

FileFilter::FileFilter() { SetDefaults(); }

void FileFilter::SetDefaults() {
  data_.fill(0);
  platform::LeWriter w(data_.data(), data_.size());
  w.I32(8, 1);
  w.I32(48, 1);
  SetMask(u"*");
  w.I64(kDateFromOffset, 0);
  w.I64(kDateToOffset, -1);
  w.I64(kSizeFromOffset, -1);
  w.I64(kSizeToOffset, -1);
}

std::int32_t FileFilter::GetInt(std::size_t off) const { return platform::LeView(data_.data(), kSize).I32(off); }
void FileFilter::SetInt(std::size_t off, std::int32_t v) { platform::LeWriter(data_.data(), kSize).I32(off, v); }
std::int64_t FileFilter::GetInt64(std::size_t off) const { return platform::LeView(data_.data(), kSize).I64(off); }
void FileFilter::SetInt64(std::size_t off, std::int64_t v) { platform::LeWriter(data_.data(), kSize).I64(off, v); }

std::u16string FileFilter::Mask() const {
  return platform::ReadUtf16Field(platform::Bytes(data_.data(), kSize), kMaskOffset, kMaskUnits);
}

void FileFilter::SetMask(std::u16string_view mask) {
  platform::WriteUtf16Field(platform::MutableBytes(data_.data(), kSize), kMaskOffset, kMaskUnits, mask);
}

void FileFilter::SetBytes(const std::uint8_t* bytes, std::size_t size) {
  if (!bytes || size < kSize) {
    SetDefaults();
    return;
  }
  std::copy(bytes, bytes + kSize, data_.begin());
  platform::LeWriter(data_.data(), kSize).U16(kMaskOffset + 2 * (kMaskUnits - 1), 0);
}

int FileFilter::MatchMask(std::u16string_view maskText, std::u16string_view nameText) {
  const std::vector<char32_t> mask = Characters(maskText);
  const std::vector<char32_t> name = Characters(nameText);
  std::size_t m = 0, n = 0;
  // Up to the first '*' every character must match ('?' matches any).
  while (n < name.size() && (m >= mask.size() || mask[m] != U'*')) {
    if (m >= mask.size() || (mask[m] != name[n] && mask[m] != U'?')) return 0;
    ++m;
    ++n;
  }
  // From there on, each '*' remembers where to go back to on a mismatch.
  std::size_t starMask = 0, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == U'*') {
      if (++m == mask.size()) return 1;
      starMask = m;
      starName = n + 1;
    } else if (m < mask.size() && (mask[m] == name[n] || mask[m] == U'?')) {
      ++m;
      ++n;
    } else {
      m = starMask;
      n = starName++;
    }
  }
  while (m < mask.size() && mask[m] == U'*') ++m;
  return m == mask.size() ? 1 : 0;
}

// The date test, on the creation time. Mode 0 compares the UTC FILETIMEs with the
// range; mode 1 compares local times of day only: the time of day of `created` in
// local time against those of dateFrom and dateTo (dateFrom 0 and dateTo -1 leave
// that end open; a range whose start lies after its end wraps round midnight).
bool FileFilter::DateHides(platform::FileTime created) const {
  const platform::FileTime from = DateFrom(), to = DateTo();
  if (DateMode() != 1) return (to != -1 && created > to) || created < from;
  const std::int64_t t = LocalTimeOfDay(created);
  const bool hasFrom = from > 0, hasTo = to != -1;
  const std::int64_t f = hasFrom ? LocalTimeOfDay(from) : 0;
  const std::int64_t e = hasTo ? LocalTimeOfDay(to) : kDay - 1;
  if (f <= e) return t < f || t > e;
  return t < f && t > e;
}

int FileFilter::IsHidden(const FoundObject& record) const {
  if (record.id < 0) return 0;  // the special nodes are always shown
  const std::uint16_t flags = record.flags;
  const bool folder = (flags & OBJ_FOLDER) != 0;
  if (DeletedOnly() == 1 && !(flags & (OBJ_DELETED | OBJ_DELETED_PATH))) return 1;
  bool maskFails = false;
  if (UseMask() == 1 && (flags & OBJ_NAMED) && !folder) maskFails = !MatchMask(Mask(), record.Name());
  bool dateFails = false;
  if (UseDates() == 1 && record.created > 0) dateFails = DateHides(record.created);
  if (!maskFails && !dateFails && !folder) {
    const std::int32_t mode = GetTypeMode();
    if (mode == kKnownTypesOnly || mode == kMarkedTypesOnly) {
      FileTypeFacts facts;
      const IFileTypeLookup* lookup = GetFileTypeLookup();
      const bool known = lookup && lookup->FindForObject(record.typeKey, record.typeId, record.Name(), false, facts);
      if (mode == kKnownTypesOnly && !known) return 1;
      if (mode == kMarkedTypesOnly && known && !facts.showInFilter) return 1;
    }
  }
  return (maskFails || dateFails) ? 1 : 0;
}

platform::RegistryStore& FileFilter::Registry() const {
  return registry_ ? *registry_ : platform::CurrentUserRegistry();
}

int FileFilter::Save() {
  platform::RegistryStore& reg = Registry();
  reg.SetBinary(FilterKey(), u"", platform::Bytes(data_.data(), kSize));
  return reg.Save() ? 1 : 0;
}

int FileFilter::Load() {
  platform::RegistryStore& reg = Registry();
  if (!reg.KeyExists(FilterKey())) {
    SetDefaults();
    Save();
    return 1;
  }
  for (auto& [name, value] : reg.EnumValues(FilterKey())) {
    if (value.type != platform::RegType::Binary) continue;
    if (value.binary.size() < kSize) {
      Log().Error(u"FileFilter::Load: the stored filter holds %u bytes; the defaults are used",
                  static_cast<unsigned>(value.binary.size()));
    }
    SetBytes(value.binary.data(), value.binary.size());
  }
  return 1;
}
