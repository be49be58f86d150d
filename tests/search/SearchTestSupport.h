#pragma once
// What the signature-search tests share: volumes held in memory (with reads
// recorded and faults on chosen sectors), small type databases, a sink that keeps
// every hit, and the plain list-order loop that the indexed matcher must agree with.

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "engine/device/MemoryBlockDevice.h"
#include "engine/records/AppSettings.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/Volume.h"
#include "platform/ByteOrder.h"
#include "platform/Text.h"
#include "search/FileTypeDatabase.h"
#include "search/SignatureHitSink.h"

namespace test {

inline std::vector<std::uint8_t> Ascii(std::string_view s) { return {s.begin(), s.end()}; }

// A memory device that records every read (byte offset, length).
class RecordingDevice : public IBlockDevice {
 public:
  explicit RecordingDevice(std::vector<std::uint8_t> data) : inner(std::make_shared<MemoryBlockDevice>(std::move(data))) {}
  std::int64_t ReadAt(void* buffer, std::size_t length, std::uint64_t offset) override {
    {
      std::lock_guard lock(mutex_);
      reads_.emplace_back(offset, length);
    }
    return inner->ReadAt(buffer, length, offset);
  }
  DeviceInfo Query() const override { return inner->Query(); }
  bool MayBlock() const override { return inner->MayBlock(); }

  // The reads as (first sector, sectors).
  std::vector<std::pair<std::int64_t, std::int64_t>> SectorReads() const {
    std::lock_guard lock(mutex_);
    std::vector<std::pair<std::int64_t, std::int64_t>> out;
    for (auto [offset, length] : reads_) out.emplace_back(std::int64_t(offset / 512), std::int64_t(length / 512));
    return out;
  }
  // Reads that start inside [firstSector, endSector).
  std::size_t ReadsWithin(std::int64_t firstSector, std::int64_t endSector) const {
    std::size_t n = 0;
    for (auto [sector, count] : SectorReads()) n += sector >= firstSector && sector < endSector;
    return n;
  }

  std::shared_ptr<MemoryBlockDevice> inner;

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<std::uint64_t, std::size_t>> reads_;
};

// An image-file volume over `device` with the given geometry (512-byte sectors).
inline std::shared_ptr<CVolume> MemoryVolume(std::shared_ptr<IBlockDevice> device, std::int64_t totalSectors,
                                             std::int32_t clusterBytes = 512) {
  auto v = std::make_shared<CVolume>(CVolume::kImageFile);
  v->SetDeviceOpener([device](int&) { return device; });
  v->SetDevicePath(u"/memory/volume.img");
  v->SetReadRetries(0);
  v->UpdateInfo([&](VolumeInfo& info) {
    VolumeGeometry& g = info.geometry;
    g.clusterBytes = clusterBytes;
    g.sectorsPerCluster = clusterBytes / 512;
    g.totalSectors = totalSectors;
    g.totalClusters = totalSectors / g.sectorsPerCluster;
    info.totalBytes = totalSectors * 512;
  });
  return v;
}

// The settings snapshot a pass would take: the defaults, with the search's fields.
inline AppSettings SearchSettings(std::int32_t threads = 1, std::int32_t bufferSize = 0) {
  AppSettings s;
  s.SetSearchThreads(threads);
  s.SetSearchBufferSize(bufferSize);
  return s;
}

// A database with the default groups and the types the test adds.
struct SmallTypes {
  FileTypeDatabase db;
  SmallTypes() { db.CreateDefaultGroups(); }
  FileType* Add(std::int32_t id, std::u16string_view description, std::int32_t category = CATEGORY_DOCUMENTS) {
    return db.AddFileType(category, id, 1024, u"", description, u"", u"test", u"TST");
  }
  // A type with one signature: these bytes at this offset.
  FileType* AddBytes(std::int32_t id, std::u16string_view description, const std::vector<std::uint8_t>& bytes,
                     std::int32_t offset = 0) {
    FileType* t = Add(id, description);
    t->AddBytesSignature(PATTERN_BYTES, bytes, offset, std::uint16_t(bytes.size()));
    return t;
  }
};

// Every hit as it was handed over, with the thread's priority at the time.
class RecordingSink : public ISignatureHitSink {
 public:
  struct Hit {
    std::int64_t offset;
    std::int16_t typeId;
    std::uint32_t typeKey;
    std::int64_t size;
    std::uint16_t flags;
    std::int32_t id;
    std::int64_t firstCluster;
    bool operator<(const Hit& o) const {
      return std::tie(offset, typeId, typeKey, size, flags, id, firstCluster) <
             std::tie(o.offset, o.typeId, o.typeKey, o.size, o.flags, o.id, o.firstCluster);
    }
    bool operator==(const Hit& o) const {
      return !(*this < o) && !(o < *this);
    }
  };
  void OnSignatureHit(const FoundObject& h) override {
    {
      std::lock_guard lock(mutex_);
      hits_.push_back({h.offset, h.typeId, h.typeKey, h.size, h.flags.Load(), h.id, h.firstCluster});
      priorities_.push_back(::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())));
    }
    if (next) next->OnSignatureHit(h);
  }
  std::vector<Hit> Hits() const {
    std::lock_guard lock(mutex_);
    return hits_;
  }
  std::vector<Hit> SortedHits() const {
    auto h = Hits();
    std::sort(h.begin(), h.end());
    return h;
  }
  std::vector<int> Priorities() const {
    std::lock_guard lock(mutex_);
    return priorities_;
  }
  ISignatureHitSink* next = nullptr;  // handed every hit afterwards

 private:
  mutable std::mutex mutex_;
  std::vector<Hit> hits_;
  std::vector<int> priorities_;
};

// The plain loop the search's matcher must agree with: every searched type of the
// database in list order, each tested in full.
inline std::vector<std::uint32_t> ListOrderMatches(const FileTypeDatabase& db, platform::Bytes candidate) {
  std::vector<std::uint32_t> keys;
  for (const FileType* t : db.Types())
    if (t->searchEnabled() != 0 && t->Match(candidate)) keys.push_back(t->key());
  return keys;
}

// Writes `bytes` into `image` at byte `at`.
inline void Plant(std::vector<std::uint8_t>& image, std::size_t at, const std::vector<std::uint8_t>& bytes) {
  std::memcpy(image.data() + at, bytes.data(), std::min(bytes.size(), image.size() - at));
}

// A compound-file container: header with the sector shift and allocation-table
// sectors, the directory in sector `directorySector` (after the header sector)
// holding the given entry names (entry 0 first). A directory sector above 64 is
// only named in the header: the bytes hold no directory.
inline std::vector<std::uint8_t> CompoundDocument(const std::vector<std::u16string>& names, std::uint16_t shift = 9,
                                                  std::uint32_t fatSectors = 1, std::uint32_t directorySector = 1) {
  const std::size_t ss = std::size_t(1) << shift;
  const bool withDirectory = directorySector <= 64;
  std::vector<std::uint8_t> doc(withDirectory ? ss * (std::size_t(directorySector) + 1) + 12800 : 512, 0);
  platform::LeWriter w(doc);
  const std::uint8_t magic[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  w.Copy(0, magic, 8);
  w.U16(26, 3);
  w.U16(28, 0xFFFE);
  w.U16(30, shift);
  w.U16(32, 6);
  w.U32(44, fatSectors);
  w.U32(48, directorySector);
  if (!withDirectory) return doc;
  const std::size_t dir = ss * (std::size_t(directorySector) + 1);
  for (std::size_t e = 0; e < names.size(); ++e) platform::WriteUtf16Field(doc, dir + e * 128, 32, names[e]);
  return doc;
}

}  // namespace test
