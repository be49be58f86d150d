// Writes the seed inputs of the fuzz targets that read the program's own stored
// forms, made by the program itself: registry files (fuzz/corpus/registry) and the
// settings and filter records (fuzz/corpus/settings). make_seeds.sh runs it.
//
// Usage: make_fuzz_seeds <corpus folder>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/records/AppSettings.h"
#include "engine/store/FileFilter.h"
#include "platform/ByteOrder.h"
#include "platform/FileTime.h"
#include "platform/Registry.h"
#include "platform/WholeFile.h"
#include "search/BuiltinFileTypes.h"
#include "search/FileTypeDatabase.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

void Put(const fs::path& path, const Bytes& bytes) {
  fs::create_directories(path.parent_path());
  if (!platform::WriteWholeFile(path, bytes)) {
    std::fprintf(stderr, "can't write %s\n", path.c_str());
    std::exit(1);
  }
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A registry file as the program writes it, made in a scratch folder.
std::string StoreText(const fs::path& scratch, void (*fill)(platform::RegistryStore&)) {
  const std::string path = scratch / "registry.reg";
  fs::remove(path);
  platform::RegistryStore store(path);
  fill(store);
  store.Save();
  std::vector<std::uint8_t> bytes;
  platform::ReadWholeFile(path, 1 << 24, bytes);
  return std::string(bytes.begin(), bytes.end());
}

const std::u16string kFilter = std::u16string(kProgramKey) + u"\\Filter";

FileFilter SampleFilter() {
  FileFilter f;
  f.SetDeletedOnly(1);
  f.SetUseMask(1);
  f.SetMask(u"*.jp?");
  f.SetUseDates(1);
  f.SetDateFrom(platform::FileTimeFromUnix(1600000000));
  f.SetDateTo(platform::FileTimeFromUnix(1700000000));
  f.SetTypeMode(FileFilter::kMarkedTypesOnly);
  return f;
}

void Types(platform::RegistryStore& s) {
  FileTypeDatabase db;
  db.SetRegistry(&s);
  db.CreateDefaultGroups();
  auto builtins = MakeBuiltinFileTypes();
  for (std::size_t i = 0; i < builtins.size() && i < 3; ++i) db.AppendFileType(std::move(builtins[i]));
  db.SaveFileTypes();
}

void Small(platform::RegistryStore& s) {
  s.SetBinary(kFilter, u"", platform::Bytes(SampleFilter().Bytes().data(), FileFilter::kSize));
  s.SetDword(kProgramKey, u"Count", 10);
  s.SetString(kProgramKey, u"Folder \"quoted\" \\ path", u"/home/user/Recovered Files");
  s.SetString(kProgramKey, u"Lines", u"one\r\ntwo\tthree");  // written as hex(1)
  s.SetString(kProgramKey, u"", u"default value");
  s.SetBinary(std::u16string(kProgramKey) + u"\\Empty", u"nothing", {});
}

void Other(platform::RegistryStore& s) {
  s.SetDword(kProgramKey, u"Count", 11);
  s.SetString(kProgramKey, u"Another", u"\u00e9t\u00e9 \u65e5\u672c");
}

Bytes WithHead(std::initializer_list<std::uint8_t> head, const Bytes& body) {
  Bytes out(head);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// Patches (position / 2, length, bytes) that turn the defaults into `record`.
Bytes Patches(const Bytes& defaults, const Bytes& record) {
  Bytes out;
  for (std::size_t i = 4; i < record.size();) {
    if (record[i] == defaults[i]) {
      ++i;
      continue;
    }
    const std::size_t start = i & ~std::size_t(1);
    std::size_t end = start;
    while (end < record.size() && end - start < 254 && (record[end] != defaults[end] || end < i + 2)) ++end;
    out.push_back(std::uint8_t(start / 2));
    out.push_back(std::uint8_t(start / 2 >> 8));
    out.push_back(std::uint8_t(end - start));
    out.insert(out.end(), record.begin() + std::ptrdiff_t(start), record.begin() + std::ptrdiff_t(end));
    i = end;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  const fs::path corpus = argv[1];
  const fs::path scratch = fs::temp_directory_path() / ("make-fuzz-seeds-" + std::to_string(getpid()));
  fs::create_directories(scratch);

  // Registry files: the file types as the program saves them, a small store with
  // every kind of value, and the same with another instance's file after a form feed.
  const std::string types = StoreText(scratch, Types);
  const std::string small = StoreText(scratch, Small);
  const std::string other = StoreText(scratch, Other);
  Put(corpus / "registry/file_types", Text(types));
  Put(corpus / "registry/values", Text(small));
  Put(corpus / "registry/values_and_other", Text(small + "\f" + other));
  Put(corpus / "registry/other_and_types", Text(other + "\f" + types));

  // Settings: the defaults with their checksum; every field changed through the
  // setters; the defaults stored too short.
  AppSettings d;
  d.FillDefaults();
  const Bytes defaults = d.Bytes();
  AppSettings changed = d;
  changed.SetSearchThreads(8);
  changed.SetSearchBufferSize(1 << 22);
  changed.SetReadRetries(3);
  changed.SetRetryPauseMs(200);
  changed.SetMaxLogSizeKB(512);
  changed.SetUpdateCheckDays(-1);
  changed.SetLanguageIndex(2);
  changed.SetSignaturePass(1);
  changed.SetUIMode(32841);
  changed.SetDestinationFolder(u"/media/backup/Recovered Files");
  changed.SetTempFolder(u"/var/tmp");
  changed.SetLogFileName(u"/home/user/.config/Vandrel Pro.log");
  changed.SetNameMask(u"*.jpg");
  Put(corpus / "settings/defaults", WithHead({0x02, 0x00}, {}));
  Put(corpus / "settings/changed", WithHead({0x02, 0x00}, Patches(defaults, changed.Bytes())));
  Put(corpus / "settings/changed_bad_sum", WithHead({0x00, 0x00}, Patches(defaults, changed.Bytes())));
  Put(corpus / "settings/defaults_short", WithHead({0x0E, 0x84}, {}));

  // Filters: the defaults, the sample, the sample stored twice with a DWORD between.
  const FileFilter plain;
  const FileFilter sample = SampleFilter();
  const Bytes plainBytes(plain.Bytes().begin(), plain.Bytes().end());
  const Bytes sampleBytes(sample.Bytes().begin(), sample.Bytes().end());
  Put(corpus / "settings/filter_defaults", WithHead({0x01, 0x00}, plainBytes));
  Put(corpus / "settings/filter_sample", WithHead({0x01, 0x00}, sampleBytes));
  Bytes three = plainBytes;
  three.insert(three.end(), sampleBytes.begin(), sampleBytes.end());
  three.insert(three.end(), sampleBytes.begin(), sampleBytes.end());
  Put(corpus / "settings/filter_three_values", WithHead({0x01, 0x14}, three));

  fs::remove_all(scratch);
  return 0;
}
