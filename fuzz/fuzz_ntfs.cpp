// The NTFS parser over untrusted bytes. The low bit of the first byte picks the mode:
//
// 0: the rest is up to four MFT records, placed as records 16 to 19 of a small volume
//    built here (a boot sector, $MFT, the root folder, $Bitmap and a data area). The
//    volume is analysed (the walk parses the records, attribute lists naming each
//    other included), every object found is read, and the first record is also
//    handed over as a FILE record the signature search found (AddRecord) and parsed
//    by a parser of its own.
// 1: the rest is a volume image (boot sector, $MFT and all): analysed, every object
//    read, and the signature search's scan run at a few offsets.
//
// Seeds (fuzz/corpus/ntfs): records of tests/fixtures/ntfs.img (resident,
// non-resident, sparse, compressed, DOS name, a folder, a deleted file, the base and
// extension records of a file with an attribute list), and the first 64 KiB of small
// mkntfs volumes (512-, 1024- and 4096-byte clusters, 4096-byte sectors) with files
// written through ntfs-3g: boot sector and $MFT, the data cut away.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/device/MemoryBlockDevice.h"
#include "engine/fs/ntfs/FileSystem_NTFS.h"
#include "engine/fs/ntfs/MftRecordParser.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/Volume.h"
#include "platform/ByteOrder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t kCluster = 512;
constexpr std::int64_t kRecord = 1024;
constexpr std::int64_t kSectors = 1024;  // 512 KiB
constexpr std::int64_t kMftLcn = 16;
constexpr std::int64_t kMftRecords = 32;
constexpr std::int64_t kBitmapLcn = 8;
constexpr std::int64_t kDataLcn = 200;

// ---- A small volume, built field by field ------------------------------------------------

class RecordBuilder {
 public:
  RecordBuilder(std::uint32_t number, std::uint16_t flags) : r_(kRecord, 0), w_(r_.data(), r_.size()) {
    std::memcpy(r_.data(), "FILE", 4);
    w_.U16(4, 0x30);  // update sequence array
    w_.U16(6, 3);
    w_.U16(0x10, 1);  // sequence number
    w_.U16(0x12, 1);
    w_.U16(0x14, 0x38);
    w_.U16(0x16, flags);
    w_.U32(0x1C, kRecord);
    w_.U32(0x2C, number);
    w_.U16(0x30, 0x0101);  // update sequence number
    at_ = 0x38;
  }
  void Resident(std::uint32_t type, const Bytes& value) {
    const std::size_t length = (0x18 + value.size() + 7) / 8 * 8;
    w_.U32(at_, type);
    w_.U32(at_ + 4, std::uint32_t(length));
    w_.U32(at_ + 0x10, std::uint32_t(value.size()));
    w_.U16(at_ + 0x14, 0x18);
    w_.Copy(at_ + 0x18, value.data(), value.size());
    at_ += length;
  }
  void NonResident(std::uint32_t type, std::int64_t lcn, std::int64_t clusters, std::int64_t size) {
    const std::size_t length = 0x48;
    w_.U32(at_, type);
    w_.U32(at_ + 4, length);
    w_.U8(at_ + 8, 1);
    w_.I64(at_ + 0x10, 0);
    w_.I64(at_ + 0x18, clusters - 1);
    w_.U16(at_ + 0x20, 0x40);
    w_.I64(at_ + 0x28, clusters * kCluster);
    w_.I64(at_ + 0x30, size);
    w_.I64(at_ + 0x38, size);
    // One run: two-byte count, two-byte LCN.
    const std::uint8_t pairs[] = {0x22, std::uint8_t(clusters), std::uint8_t(clusters >> 8), std::uint8_t(lcn),
                                  std::uint8_t(lcn >> 8), 0};
    w_.Copy(at_ + 0x40, pairs, sizeof pairs);
    at_ += length;
  }
  void StandardInformation() { Resident(0x10, Bytes(48, 0x11)); }
  void FileName(std::uint32_t parent, const char* name) {
    Bytes v(66 + 2 * std::strlen(name), 0);
    platform::LeWriter w(v.data(), v.size());
    w.U64(0, parent | (std::uint64_t(1) << 48));
    w.U8(64, std::uint8_t(std::strlen(name)));
    w.U8(65, 1);
    for (std::size_t i = 0; name[i]; ++i) w.U16(66 + 2 * i, std::uint8_t(name[i]));
    Resident(0x30, v);
  }
  // Ends the attributes and protects the sector ends as the disk holds them.
  Bytes Finish() {
    w_.U32(at_, 0xFFFFFFFF);
    w_.U32(0x18, std::uint32_t(at_ + 8));
    for (int i = 1; i <= 2; ++i) {
      const std::size_t end = std::size_t(i) * 512 - 2;
      w_.U16(0x30 + 2 * i, platform::LeView(r_.data(), r_.size()).U16(end));
      w_.U16(end, 0x0101);
    }
    return r_;
  }

 private:
  Bytes r_;
  platform::LeWriter w_;
  std::size_t at_;
};

Bytes BaseVolume() {
  Bytes image(kSectors * 512, 0);
  platform::LeWriter boot(image.data(), 512);
  boot.Copy(3, "NTFS    ", 8);
  boot.U16(0x0B, 512);
  boot.U8(0x0D, 1);
  boot.I64(0x28, kSectors - 1);
  boot.I64(0x30, kMftLcn);
  boot.I64(0x38, kSectors / 2);
  boot.U8(0x40, 0xF6);
  boot.U8(0x44, 0xF4);
  boot.U16(510, 0xAA55);
  auto put = [&](std::int64_t n, const Bytes& r) {
    std::memcpy(image.data() + kMftLcn * kCluster + n * kRecord, r.data(), r.size());
  };
  RecordBuilder mft(0, 1);
  mft.StandardInformation();
  mft.FileName(5, "$MFT");
  mft.NonResident(0x80, kMftLcn, kMftRecords * kRecord / kCluster, kMftRecords * kRecord);
  put(0, mft.Finish());
  RecordBuilder root(5, 3);
  root.StandardInformation();
  root.FileName(5, ".");
  put(5, root.Finish());
  RecordBuilder bitmap(6, 1);
  bitmap.StandardInformation();
  bitmap.FileName(5, "$Bitmap");
  bitmap.NonResident(0x80, kBitmapLcn, 1, kSectors / 8);
  put(6, bitmap.Finish());
  RecordBuilder file(7, 1);
  file.StandardInformation();
  file.FileName(5, "data.bin");
  file.NonResident(0x80, kDataLcn, 8, 8 * kCluster - 100);
  put(7, file.Finish());
  for (std::int64_t c = 0; c < kDataLcn + 8; ++c) image[kBitmapLcn * kCluster + c / 8] |= std::uint8_t(1 << (c % 8));
  for (std::int64_t i = 0; i < 8 * kCluster; ++i) image[kDataLcn * kCluster + i] = std::uint8_t(i * 7 + 3);
  return image;
}

// ---- The pass --------------------------------------------------------------------------

struct Pass {
  ScanProgress progress;
  std::shared_ptr<MemoryBlockDevice> device;
  std::shared_ptr<CVolume> volume;
  CFileSystem_NTFS* fs = nullptr;

  explicit Pass(Bytes image) {
    device = std::make_shared<MemoryBlockDevice>(std::move(image));
    volume = std::make_shared<CVolume>(CVolume::kImageFile);
    auto d = device;
    volume->SetDeviceOpener([d](int&) { return d; });
    volume->SetReadRetries(0);
    volume->SetDeviceNodeId(-31);
    volume->QueryInformation();
    volume->BootSetup();
    auto parser = std::make_unique<CFileSystem_NTFS>(*volume, progress);
    fs = parser.get();
    volume->SetFileSystem(std::move(parser));
    FoundObjectStore& store = volume->Store();
    store.Clear();
    store.RegisterObject(volume->DeviceNode());
    store.SetRootFolderId(5);
    fs->root.id = 5;
    fs->root.parentId = volume->DeviceNodeId();
    store.RegisterObject(fs->root);
    progress.running = 1;
    fs->Analyse();
  }

  // Every object the pass handed over is sound, and reads stay inside their buffers.
  void CheckAndReadObjects() {
    const std::size_t count = volume->Store().Count();
    Bytes buffer(9000);
    for (std::size_t i = 0; i < count; ++i) {
      const FoundObject o = volume->Store().Snapshot(*volume->Store().At(i));
      if (o.IsDevice() || (o.id == 5 && o.Name() == u".")) continue;
      if (o.id < 0) continue;  // lost-folder placeholders
      if (o.id == 5 || o.size < -1) __builtin_trap();
      for (std::int64_t pos : {std::int64_t(0), o.size > 10 ? o.size - 10 : std::int64_t(5)}) {
        const std::int64_t got = volume->ReadObjectData(o, buffer.data(), pos, std::uint32_t(buffer.size()));
        if (got < 0 || got > std::int64_t(buffer.size())) __builtin_trap();
      }
    }
    auto layout = fs->CurrentLayout();
    if (layout) {
      if (layout->recordCount * layout->recordSize > std::int64_t(device->Size()) + kRecord) __builtin_trap();
      const std::uint64_t cap = std::uint64_t((layout->totalClusters + 63) / 64 * 8);
      if (volume->ClustersBitmap().ByteCount() > cap) __builtin_trap();
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || size > (std::size_t(4) << 20)) return 0;
  ProgramLog log;  // a log of its own per input: the log keeps every line
  log.SetTimeStamps(false);
  g_Log = &log;
  const bool wholeVolume = data[0] & 1;
  const std::uint8_t* body = data + 1;
  const std::size_t length = size - 1;

  if (!wholeVolume) {
    static const Bytes base = BaseVolume();
    Bytes image = base;
    const std::size_t take = std::min<std::size_t>(length, 4 * kRecord);
    std::memcpy(image.data() + kMftLcn * kCluster + 16 * kRecord, body, take);
    Pass pass(std::move(image));
    const platform::Bytes record(body, std::min<std::size_t>(length, kRecord));
    pass.fs->AddRecord(record);
    pass.fs->AddRecord(record, 1000 * kCluster);
    auto layout = pass.fs->CurrentLayout();
    if (layout) {
      MftRecordParser parser(*pass.fs, layout);
      if (parser.Load(record)) {
        parser.SetRecordNumber(16);
        parser.MergeExtents([&](std::int64_t n, std::vector<std::uint8_t>& out) {
          return pass.fs->ReadMftRecord(n, out) > 0;
        });
        FoundObject o;
        parser.FillObject(o);
        Bytes buffer(5000);
        if (parser.ReadData(parser.DataSize() / 2, std::int64_t(buffer.size()), buffer.data()) >
            std::int64_t(buffer.size()))
          __builtin_trap();
        for (std::int64_t v : {std::int64_t(0), std::int64_t(1), std::int64_t(1) << 40}) parser.VcnToLcn(v);
      }
    }
    pass.CheckAndReadObjects();
  } else {
    Pass pass(Bytes(body, body + length));
    for (std::int64_t offset : {std::int64_t(0), std::int64_t(16384), std::int64_t(length / 2)}) {
      FoundObject hit;
      hit.offset = offset;
      hit.typeId = 24;
      hit.flags = OBJ_DELETED | OBJ_RAW;
      pass.fs->ScanAt(hit);
    }
    pass.CheckAndReadObjects();
  }
  g_Log = nullptr;
  return 0;
}
