#pragma once
// For the FAT parser's tests: the file-system pass run the way the analysis runs it,
// FAT volumes built from bytes, and SHA-256 to compare data with the fixtures'
// manifests.

#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engine/fs/fat/FileSystem_FAT.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/PartitionTestSupport.h"
#include "engine/volume/Volume.h"
#include "platform/ByteOrder.h"
#include "support/Sha256.h"

namespace test {

// The analysis's steps around the parser: the parser becomes the volume's, the store
// is cleared and holds the device node and the root folder record (root id by the
// type code), then the pass runs with the running flag set. The parser, owned by
// the volume.
inline CFileSystem_FAT* RunFatPass(CVolume& volume, ScanProgress& progress) {
  const std::int32_t code = volume.FileSystemTypeCode();
  auto parser = std::make_unique<CFileSystem_FAT>(volume, progress);
  CFileSystem_FAT* fat = parser.get();
  volume.SetFileSystem(std::move(parser));
  FoundObjectStore& store = volume.Store();
  store.Clear();
  store.RegisterObject(volume.DeviceNode());
  const std::int32_t rootId = CFileSystem::RootFolderIdFor(code);
  store.SetRootFolderId(rootId);
  fat->root.id = rootId;
  fat->root.parentId = volume.DeviceNodeId();
  store.RegisterObject(fat->root);
  progress.running.store(1);
  progress.current.store(0);
  fat->Analyse();
  return fat;
}

// A volume over bytes in memory, set up from its boot sector as an image file is.
inline std::shared_ptr<CVolume> ImageVolume(std::vector<std::uint8_t> bytes,
                                            std::shared_ptr<MemoryBlockDevice>* deviceOut = nullptr) {
  auto device = std::make_shared<MemoryBlockDevice>(std::move(bytes));
  if (deviceOut) *deviceOut = device;
  auto v = std::make_shared<CVolume>(CVolume::kImageFile);
  v->SetDeviceOpener([device](int&) { return device; });
  v->SetDevicePath(u"/images/test.img");
  v->SetReadRetries(0);
  v->SetDeviceNodeId(-31);
  v->QueryInformation();
  v->BootSetup();
  return v;
}

inline std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---- FAT volumes from bytes -----------------------------------------------------------

struct FatLayout {
  int bits = 16;
  std::uint32_t bytesPerSector = 512;
  std::uint8_t sectorsPerCluster = 1;
  std::uint16_t reserved = 1;
  std::uint8_t fats = 2;
  std::uint16_t rootEntries = 64;  // FAT12/16
  std::uint32_t sectorsPerFat = 4;
  std::uint32_t totalSectors = 1024;
  std::uint32_t rootCluster = 2;  // FAT32
};

// 8.3 entry fields; the name is the 11 bytes as stored.
struct ShortEntry {
  std::string name11;
  std::uint8_t attr = 0x20;
  std::uint32_t cluster = 0;
  std::uint32_t size = 0;
  std::uint16_t date = (41 << 9) | (6 << 5) | 15;  // 2021-06-15
  std::uint16_t time = (12 << 11) | (30 << 5);     // 12:30:00
  std::uint8_t caseFlags = 0;
};

class FatImage {
 public:
  explicit FatImage(const FatLayout& l) : l_(l), bytes_(std::size_t(l.totalSectors) * l.bytesPerSector) {
    platform::LeWriter w(bytes_.data(), 512);
    w.U8(0, 0xEB);
    w.U8(1, 0x3C);
    w.U8(2, 0x90);
    w.Copy(3, "MSWIN4.1", 8);
    w.U16(11, std::uint16_t(l.bytesPerSector));
    w.U8(13, l.sectorsPerCluster);
    w.U16(14, l.reserved);
    w.U8(16, l.fats);
    w.U16(17, l.bits == 32 ? 0 : l.rootEntries);
    if (l.totalSectors < 65536)
      w.U16(19, std::uint16_t(l.totalSectors));
    else
      w.U32(32, l.totalSectors);
    w.U8(21, 0xF8);
    if (l.bits == 32) {
      w.U32(36, l.sectorsPerFat);
      w.U32(44, l.rootCluster);
      w.Copy(71, "TEST32     ", 11);
      w.Copy(82, "FAT32   ", 8);
    } else {
      w.U16(22, std::uint16_t(l.sectorsPerFat));
      w.Copy(43, "TEST       ", 11);
      w.Copy(54, l.bits == 12 ? "FAT12   " : "FAT16   ", 8);
    }
    w.U8(510, 0x55);
    w.U8(511, 0xAA);
    SetFat(0, l.bits == 12 ? 0xFF8 : l.bits == 16 ? 0xFFF8 : 0x0FFFFFF8);
    SetFat(1, EndOfChain());
    if (l.bits == 32) SetFat(l.rootCluster, EndOfChain());
  }

  std::uint32_t EndOfChain() const { return l_.bits == 12 ? 0xFFF : l_.bits == 16 ? 0xFFFF : 0x0FFFFFFF; }
  std::size_t RootDirOffset() const {
    return (std::size_t(l_.reserved) + std::size_t(l_.fats) * l_.sectorsPerFat) * l_.bytesPerSector;
  }
  std::size_t RootDirBytes() const {
    return (std::size_t(l_.rootEntries) * 32 + l_.bytesPerSector - 1) / l_.bytesPerSector * l_.bytesPerSector;
  }
  std::size_t DataOffset() const { return RootDirOffset() + (l_.bits == 32 ? 0 : RootDirBytes()); }
  std::size_t ClusterBytes() const { return std::size_t(l_.bytesPerSector) * l_.sectorsPerCluster; }
  std::size_t ClusterOffset(std::uint32_t c) const { return DataOffset() + (std::size_t(c) - 2) * ClusterBytes(); }
  std::uint8_t* Cluster(std::uint32_t c) { return bytes_.data() + ClusterOffset(c); }
  // The first byte of the root folder's entries.
  std::uint8_t* Root() { return l_.bits == 32 ? Cluster(l_.rootCluster) : bytes_.data() + RootDirOffset(); }

  void SetFat(std::uint32_t cluster, std::uint32_t value) {
    for (std::uint32_t f = 0; f < l_.fats; ++f) {
      std::uint8_t* fat = bytes_.data() + (std::size_t(l_.reserved) + std::size_t(f) * l_.sectorsPerFat) * l_.bytesPerSector;
      if (l_.bits == 12) {
        std::uint8_t* p = fat + cluster + cluster / 2;
        std::uint16_t v = std::uint16_t(p[0] | (p[1] << 8));
        v = (cluster & 1) ? std::uint16_t((v & 0x000F) | (value << 4)) : std::uint16_t((v & 0xF000) | (value & 0xFFF));
        p[0] = std::uint8_t(v);
        p[1] = std::uint8_t(v >> 8);
      } else if (l_.bits == 16) {
        platform::LeWriter(fat + 2 * cluster, 2).U16(0, std::uint16_t(value));
      } else {
        platform::LeWriter(fat + 4 * std::size_t(cluster), 4).U32(0, value);
      }
    }
  }
  // Links the clusters in the order given and ends the chain.
  void Chain(const std::vector<std::uint32_t>& clusters) {
    for (std::size_t i = 0; i < clusters.size(); ++i)
      SetFat(clusters[i], i + 1 < clusters.size() ? clusters[i + 1] : EndOfChain());
  }

  static std::uint8_t Checksum(const std::uint8_t* name11) {
    std::uint8_t sum = 0;
    for (int i = 0; i < 11; ++i) sum = std::uint8_t(((sum & 1) << 7) + (sum >> 1) + name11[i]);
    return sum;
  }
  static std::array<std::uint8_t, 32> Short(const ShortEntry& s) {
    std::array<std::uint8_t, 32> e{};
    for (std::size_t i = 0; i < 11; ++i) e[i] = i < s.name11.size() ? std::uint8_t(s.name11[i]) : ' ';
    platform::LeWriter w(e.data(), e.size());
    w.U8(11, s.attr);
    w.U8(12, s.caseFlags);
    w.U16(14, s.time);
    w.U16(16, s.date);
    w.U16(18, s.date);
    w.U16(20, std::uint16_t(s.cluster >> 16));
    w.U16(22, s.time);
    w.U16(24, s.date);
    w.U16(26, std::uint16_t(s.cluster));
    w.U32(28, s.size);
    return e;
  }
  // The long-name entries of `name` in the order they are stored (the last part
  // first), with sequence numbers and the check byte of `checksum`.
  static std::vector<std::array<std::uint8_t, 32>> Long(const std::u16string& name, std::uint8_t checksum) {
    static constexpr std::uint8_t kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    const std::size_t parts = (name.size() + 12) / 13;
    std::vector<std::array<std::uint8_t, 32>> out;
    for (std::size_t p = parts; p-- > 0;) {
      std::array<std::uint8_t, 32> e{};
      e[0] = std::uint8_t((p + 1) | (p + 1 == parts ? 0x40 : 0));
      e[11] = 0x0F;
      e[13] = checksum;
      for (std::size_t i = 0; i < 13; ++i) {
        const std::size_t at = p * 13 + i;
        const char16_t u = at < name.size() ? name[at] : at == name.size() ? u'\0' : char16_t(0xFFFF);
        e[kOffsets[i]] = std::uint8_t(u);
        e[kOffsets[i] + 1] = std::uint8_t(u >> 8);
      }
      out.push_back(e);
    }
    return out;
  }
  // Writes the entries of one object at slot `slot` of a folder: its long name (when
  // given) and its 8.3 entry; `deleted` marks them all 0xE5. The slot after them.
  static std::size_t Put(std::uint8_t* dir, std::size_t slot, const ShortEntry& s, const std::u16string& longName = {},
                         bool deleted = false) {
    auto sfn = Short(s);
    if (!longName.empty()) {
      for (auto e : Long(longName, Checksum(sfn.data()))) {
        if (deleted) e[0] = 0xE5;
        std::memcpy(dir + 32 * slot++, e.data(), 32);
      }
    }
    if (deleted) sfn[0] = 0xE5;
    std::memcpy(dir + 32 * slot++, sfn.data(), 32);
    return slot;
  }

  std::vector<std::uint8_t>& Bytes() { return bytes_; }
  const FatLayout& Layout() const { return l_; }

 private:
  FatLayout l_;
  std::vector<std::uint8_t> bytes_;
};

}  // namespace test
