// The two records the program keeps in the registry, from arbitrary bytes: the
// settings record ("Settings") and the file filter ("\Filter"). Each is stored,
// loaded, checked, used as the program uses it, saved, and loaded again. The low
// bit of the first byte picks the record.
//
// Settings: bit 1 of the first byte puts the true checksum into the record, bits 2-3
// store it as a binary value (0), a DWORD (1), a string (2) or a binary value cut or
// lengthened by the second byte (3). The record is the defaults with the rest of
// the input applied as patches: a 16-bit position (in 2-byte steps), a length and
// that many bytes. A record that loads keeps every byte it was stored with, except
// the fields put back in range and the texts cut to end inside their fields; one
// that does not load gives the defaults (and registers the file association, below
// the fuzz run's own data folder, once). What is saved loads again byte for byte.
//
// Filter: the second byte gives how many values the key holds (1 to 3) and which
// of them are not binary; the rest of the input is cut into their data, the last
// 16 bytes also giving the objects the filter is asked about. The filter hides only
// what one of its rules hides, its mask matches as a plain wildcard match does, and
// what is saved loads again byte for byte.
//
// Seeds (fuzz/corpus/settings) are records the program writes: its defaults, a
// record with every field changed through the settings' own setters, and filters
// with a mask, dates and each type mode (see make_seeds.cpp).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "engine/records/AppSettings.h"
#include "engine/records/FileTypeLookup.h"
#include "engine/records/ProgramLog.h"
#include "engine/store/FileFilter.h"
#include "engine/store/FoundObject.h"
#include "platform/ByteOrder.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "search/BuiltinFileTypes.h"
#include "search/FileTypeDatabase.h"
#include "search/SearchManager.h"

namespace {

using platform::RegistryStore;
using platform::RegValue;

struct Reader {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t at = 0;
  bool More(std::size_t n = 1) const { return at + n <= size; }
  std::uint8_t U8() { return More() ? data[at++] : 0; }
  std::uint16_t U16() { return std::uint16_t(U8() | U8() << 8); }
};

std::uint32_t Sum(const std::vector<std::uint8_t>& b) {
  std::uint32_t s = 0;
  for (std::size_t off = 4; off + 4 <= b.size(); off += 4) s += platform::LeView(b.data(), b.size()).U32(off);
  return s;
}

// ---- Settings --------------------------------------------------------------------------

struct Range {
  std::size_t offset;
  std::int32_t low, high;
};
constexpr Range kRanges[] = {
    {AppSettings::kSearchThreadsOffset, 1, 64},        {AppSettings::kReadRetriesOffset, 0, 100},
    {AppSettings::kRetryPauseMsOffset, 0, 60000},      {AppSettings::kSearchBufferSizeOffset, 0, 256 << 20},
    {AppSettings::kMaxLogSizeKBOffset, 1, 102400},     {AppSettings::kUpdateCheckDaysOffset, -1, 3650},
    {AppSettings::kLanguageIndexOffset, 0, 1000},
};

// Bytes a load may change: the checked fields, "Loaded", the texts' last units.
bool MayChange(std::size_t i) {
  for (const Range& r : kRanges)
    if (i >= r.offset && i < r.offset + 4) return true;
  if (i >= AppSettings::kLoadedOffset && i < AppSettings::kLoadedOffset + 4) return true;
  for (std::size_t end : {AppSettings::kDestinationFolderOffset + 2 * 4095, AppSettings::kTempFolderOffset + 2 * 4095,
                          AppSettings::kLogFileNameOffset + 2 * 1023})
    if (i >= end && i < end + 2) return true;
  return false;
}

void CheckInRange(const AppSettings& s) {
  for (const Range& r : kRanges) {
    const std::int32_t v = s.GetInt(r.offset);
    fuzz::Check(v >= r.low && v <= r.high, "a checked field lies in its range");
  }
  fuzz::Check(s.Loaded() == 1, "a loaded record is marked loaded");
  fuzz::Check(s.DestinationFolder().size() < 4096 && s.TempFolder().size() < 4096 && s.LogFileName().size() < 1024 &&
                  s.NameMask().size() < 35840,
              "every text ends inside its field");
  // As the program uses them: folders and the log file as paths, the search's sizes.
  for (const std::u16string& path : {s.DestinationFolder(), s.TempFolder(), s.LogFileName()})
    fuzz::Check(platform::Utf16ToUtf8(path).find('\0') == std::string::npos, "a path holds no NUL");
  const std::int32_t workers = CSearchManager::WorkerCount(s.SearchThreads());
  fuzz::Check(workers >= 1 && workers <= 64, "worker count");
  for (std::int64_t cluster : {512, 4096, 65536}) {
    const std::size_t block = CSearchManager::BlockBytes(s.SearchBufferSize(), cluster, workers);
    fuzz::Check(block >= std::size_t(cluster) && block % std::size_t(cluster) == 0 &&
                    block <= CSearchManager::kMaxBlockBytes,
                "the search's block is whole clusters within its cap");
  }
  fuzz::Check(s.EffectiveSearchBufferSize() > 0, "the search buffer has a size");
}

void FuzzSettings(std::uint8_t mode, Reader in, RegistryStore& store, const std::string& path) {
  const std::uint8_t lengthChange = in.U8();
  static const std::vector<std::uint8_t> defaults = [] {
    AppSettings d;
    d.FillDefaults();
    return d.Bytes();
  }();
  std::vector<std::uint8_t> record = defaults;
  while (in.More(3)) {
    const std::size_t at = (std::size_t(in.U16()) * 2) % AppSettings::kSize;
    const std::size_t n = in.U8();
    for (std::size_t i = 0; i < n && in.More() && at + i < record.size(); ++i) record[at + i] = in.U8();
  }
  if (mode & 2) platform::LeWriter(record.data(), record.size()).U32(0, Sum(record));
  RegValue value = RegValue::Binary(record);
  switch ((mode >> 2) & 3) {
    case 1: value = RegValue::Dword(Sum(record)); break;
    case 2: value = RegValue::String(u"Settings"); break;
    case 3:
      value.binary.resize(lengthChange & 0x80 ? record.size() - (lengthChange & 0x7F) - 1
                                              : record.size() + lengthChange + 1,
                          0);
      break;
    default: break;
  }
  store.Set(kProgramKey, u"Settings", value);
  fuzz::Check(store.Save(), "the stored record is written");
  const bool takeable = value.type == platform::RegType::Binary && value.binary.size() == AppSettings::kSize &&
                        platform::LeView(value.binary.data(), value.binary.size()).U32(0) == Sum(value.binary);

  AppSettings s;
  s.SetRegistry(&store);
  const int loaded = s.Load();
  fuzz::Check(loaded == (takeable ? 1 : 0), "a record is taken exactly when it is whole and its checksum holds");
  CheckInRange(s);
  const std::vector<std::uint8_t> now = s.Bytes();
  if (loaded) {
    for (std::size_t i = 0; i < now.size(); ++i)
      if (!MayChange(i) && now[i] != record[i]) fuzz::Check(false, "a loaded record keeps every byte it was stored with");
  } else {
    fuzz::Check(s.ReadRetries() == 10 && s.SearchThreads() == 1 && s.NameMask() == u"*", "defaults");
    fuzz::Check(std::filesystem::exists(fuzz::Sandbox() + "/data/applications/Quenmar.FileSignature.desktop"),
                "the defaults register the association in the run's own data folder");
  }

  s.Save();
  RegistryStore again(path);
  AppSettings reread;
  reread.SetRegistry(&again);
  fuzz::Check(reread.Load() == 1, "a saved record loads");
  fuzz::Check(reread.Bytes() == s.Bytes(), "a saved record loads byte for byte");
}

// ---- Filter ----------------------------------------------------------------------------

// The characters a mask compares: a surrogate pair is one, others fold to one case.
std::vector<char32_t> Characters(std::u16string_view s) {
  std::vector<char32_t> out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      out.push_back(0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(s[i + 1]) - 0xDC00));
      ++i;
    } else {
      out.push_back(platform::FoldCase(c));
    }
  }
  return out;
}

// The plain wildcard match: '?' one character, '*' any run.
bool Wildcard(std::u16string_view maskText, std::u16string_view nameText) {
  const auto mask = Characters(maskText), name = Characters(nameText);
  std::vector<char> row(name.size() + 1, 0), next(name.size() + 1, 0);
  row[0] = 1;
  for (char32_t m : mask) {
    std::fill(next.begin(), next.end(), 0);
    for (std::size_t j = 0; j <= name.size(); ++j) {
      if (m == U'*') next[j] = row[j] || (j > 0 && next[j - 1]);
      else if (j > 0) next[j] = row[j - 1] && (m == U'?' || m == name[j - 1]);
    }
    row.swap(next);
  }
  return row[name.size()];
}

const FileTypeDatabase& Types() {
  static FileTypeDatabase* db = [] {
    auto* d = new FileTypeDatabase();
    d->CreateDefaultGroups();
    for (auto& t : MakeBuiltinFileTypes()) d->AppendFileType(std::move(t));
    // Some types the filter shows and some it does not.
    std::size_t i = 0;
    for (FileType* t : d->Types()) t->SetShowInFilter(i++ % 2);
    SetFileTypeLookup(d);
    return d;
  }();
  return *db;
}

void FuzzFilter(Reader in, RegistryStore& store, const std::string& path) {
  Types();
  const std::uint8_t layout = in.U8();
  const std::size_t values = 1 + layout % 3;
  const std::size_t body = in.size - in.at;
  const std::u16string key = std::u16string(kProgramKey) + u"\\Filter";
  std::vector<std::uint8_t> last;
  bool anyBinary = false;
  for (std::size_t v = 0; v < values; ++v) {
    const std::size_t from = in.at + body * v / values, to = in.at + body * (v + 1) / values;
    std::vector<std::uint8_t> bytes(in.data + from, in.data + to);
    const std::u16string name = v == 0 ? u"" : std::u16string(v, u'x');
    if (layout & (8 << v)) {
      store.SetDword(key, name, std::uint32_t(bytes.size()));
    } else {
      store.SetBinary(key, name, bytes);
      last = bytes;
      anyBinary = true;
    }
  }

  fuzz::Check(store.Save(), "the stored filter is written");
  FileFilter filter;
  filter.SetRegistry(&store);
  fuzz::Check(filter.Load() == 1, "a filter loads");
  const std::u16string mask = filter.Mask();
  fuzz::Check(mask.size() < FileFilter::kMaskUnits, "the mask ends inside its field");
  if (anyBinary && last.size() >= FileFilter::kSize) {
    const auto& b = filter.Bytes();
    for (std::size_t i = 0; i < FileFilter::kSize; ++i) {
      if (i >= FileFilter::kMaskOffset + 2 * 255 && i < FileFilter::kMaskOffset + 2 * 256) continue;
      fuzz::Check(b[i] == last[i], "the last stored record is taken byte for byte");
    }
  }

  // Objects made from the input's last bytes, asked about.
  const std::uint8_t* tail = in.data + (in.size > 16 ? in.size - 16 : 0);
  const std::size_t tailSize = std::min<std::size_t>(in.size, 16);
  auto byte = [&](std::size_t i) { return tailSize ? tail[i % tailSize] : std::uint8_t(0); };
  const std::u16string names[] = {u"photo.jpg", u"Photo.JPG", u"a", u"", mask,
                                  platform::Utf16FromLE(platform::Bytes(tail, tailSize))};
  const std::int64_t times[] = {0, 1, -1, INT64_MAX, INT64_MIN, 132000000000000000LL,
                                std::int64_t(platform::LeView(tail, tailSize).U64(0))};
  for (std::size_t k = 0; k < 24; ++k) {
    FoundObject o;
    o.id = (byte(k) & 1) ? -std::int32_t(byte(k + 1)) : std::int32_t(byte(k + 1));
    o.flags = std::uint16_t(byte(k + 2) & (OBJ_DELETED | OBJ_FOLDER | OBJ_DELETED_PATH | OBJ_NAMED | OBJ_RAW));
    o.typeId = std::int16_t(byte(k + 3) * 3);
    const std::u16string& name = names[k % 6];
    o.name = name.c_str();
    o.nameLength = std::uint32_t(name.size());
    o.created = times[(k + byte(k + 4)) % 7];
    const int hidden = filter.IsHidden(o);
    fuzz::Check(hidden == 0 || hidden == 1, "IsHidden answers 0 or 1");
    if (o.id < 0) fuzz::Check(hidden == 0, "the special nodes are shown");
    const bool deleted = (o.flags & (OBJ_DELETED | OBJ_DELETED_PATH)) != 0;
    if (filter.DeletedOnly() == 1 && !deleted && o.id >= 0) fuzz::Check(hidden == 1, "deleted only hides live objects");
    const bool maskRule = filter.UseMask() == 1;
    const bool dateRule = filter.UseDates() == 1 && o.created > 0;
    const bool typeRule = filter.GetTypeMode() == 1 || filter.GetTypeMode() == 2;
    if (hidden && o.id >= 0 && !(filter.DeletedOnly() == 1 && !deleted))
      fuzz::Check(dateRule || (!(o.flags & OBJ_FOLDER) && (maskRule || typeRule)), "only a rule hides an object");
  }
  for (const std::u16string& name : names)
    fuzz::Check(FileFilter::MatchMask(mask, name) == (Wildcard(mask, name) ? 1 : 0), "the mask matches as a wildcard");

  fuzz::Check(filter.Save() == 1, "a filter saves");
  RegistryStore again(path);
  FileFilter reread;
  reread.SetRegistry(&again);
  reread.Load();
  fuzz::Check(reread.Bytes() == filter.Bytes(), "a saved filter loads byte for byte");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 200000) return 0;
  const std::string dir = fuzz::FreshFolder("settings");
  const std::string path = dir + "/registry.reg";
  ProgramLog log;  // a log of its own per input: the log keeps every line
  log.SetTimeStamps(false);
  g_Log = &log;
  {
    RegistryStore store(path);
    Reader in{data, size};
    const std::uint8_t head = in.U8();
    if (head & 1) FuzzFilter(in, store, path);
    else FuzzSettings(head, in, store, path);
  }
  g_Log = nullptr;
  return 0;
}
