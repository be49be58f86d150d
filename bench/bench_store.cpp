// Adds objects to a found-object store as a file-system pass and a signature pass
// do (parsed folders and files, then carved hits, the offset index on) and prints
// the time and the resident memory per object beyond the names.
//
//   bench_store [count]     (default 1,000,000)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchFileTypes.h"
#include "engine/records/FileTypeLookup.h"
#include "engine/store/FoundObjectStore.h"
#include "platform/Format.h"

namespace {

long ResidentBytes() {
  std::ifstream in("/proc/self/statm");
  long pages = 0, resident = 0;
  in >> pages >> resident;
  return resident * 4096;
}

}  // namespace

int main(int argc, char** argv) {
  const long count = argc > 1 ? std::atol(argv[1]) : 1000000;
  bench::Types types;
  SetFileTypeLookup(&types);

  // The names the producers hand over, made beforehand so that only the store counts.
  const long parsed = count / 2;
  std::vector<std::u16string> names(static_cast<std::size_t>(parsed));
  for (long i = 0; i < parsed; ++i)
    names[std::size_t(i)] = i % 20 == 0 ? platform::Format(u"DIR%05d", i) : platform::Format(u"IMG_%06d.JPG", i);
  std::size_t nameBytes = 0;

  FoundObjectStore store;
  store.SetRootFolderId(2);
  FoundObject root;
  root.flags = OBJ_FOLDER | OBJ_NAMED;
  root.id = 2;
  root.parentId = -31;
  store.RegisterObject(root);

  const long before = ResidentBytes();
  const auto start = std::chrono::steady_clock::now();
  // The file-system pass: a folder every 20 entries, files below the last folder;
  // one file in 50 belongs to a folder that comes later (a placeholder is made).
  std::int32_t folder = 2;
  for (long i = 0; i < parsed; ++i) {
    FoundObject o;
    o.id = std::int32_t(i + 3);
    o.size = 4096;
    o.offset = (i + 3) * 4096;
    o.firstCluster = o.id;
    o.SetName(names[std::size_t(i)]);
    if (i % 20 == 0) {
      o.flags = OBJ_FOLDER | OBJ_NAMED;
      o.parentId = 2;
      folder = o.id;
    } else {
      o.flags = OBJ_NAMED | (i % 3 ? 0 : OBJ_DELETED);
      o.parentId = i % 50 == 1 ? folder + 20 : folder;
    }
    store.AddParsedObject(o);
  }
  // The signature pass: hits in offset order, one in ten on a parsed file's data.
  store.EnableOffsetIndex(1);
  for (long i = 0; i < count - parsed; ++i) {
    FoundObject hit;
    hit.flags = OBJ_DELETED | OBJ_RAW;
    hit.size = -1;
    hit.typeId = std::int16_t(10 + i % 3);
    hit.offset = i % 10 == 0 ? (i + 4) * 4096 : std::int64_t(parsed + 10) * 4096 + i * 512;
    store.AddCarvedObject(hit);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long after = ResidentBytes();
  const std::size_t records = store.Count();
  {
    auto view = store.Read();
    for (std::size_t i = 0; i < records; ++i) nameBytes += (view.At(i)->nameLength + 1) * sizeof(char16_t);
  }
  std::printf("objects added: %ld (records in the store: %zu)\n", count, records);
  std::printf("time: %.3f s (%.0f ns per object)\n", seconds, seconds * 1e9 / double(count));
  std::printf("resident growth: %.1f MB, names: %.1f MB\n", double(after - before) / 1e6, double(nameBytes) / 1e6);
  std::printf("bytes per object beyond the names: %.1f\n", double(after - before - long(nameBytes)) / double(records));
  SetFileTypeLookup(nullptr);
  return 0;
}
