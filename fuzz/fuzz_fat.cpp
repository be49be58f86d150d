// The FAT file-system pass over an in-memory image: boot set-up, parameter block,
// allocation table, the walk of every folder, then reads of what was found (through
// the parser, as the recovery reads) and a scan at a raw offset, as the signature
// search asks. When the boot sector names no FAT, byte 1 (the jump's offset, which
// nothing parses) picks a partition-type code to parse it as anyway.
//
// Seeds in fuzz/corpus/fat/ are small volumes made with mkfs.fat and mtools (files,
// long names, deleted files and folders, a fragmented file), cut after their last
// used cluster:
//   mkfs.fat -C -F 12 img 160; mkfs.fat -C -F 16 -s 1 img 4200; mkfs.fat -C -F 32
//   -s 1 -f 1 -R 2 img 1024; mkfs.fat -C -F 16 -S 4096 -s 1 img 20480; then mmd,
//   mcopy, mdel and mdeltree -i img, and head -c to cut.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/device/MemoryBlockDevice.h"
#include "engine/fs/fat/FileSystem_FAT.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/Volume.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 512 || size > (std::size_t(4) << 20)) return 0;
  ProgramLog log;  // a log of its own per input: the log keeps every line
  log.SetTimeStamps(false);
  g_Log = &log;
  {
    auto device = std::make_shared<MemoryBlockDevice>(data, size);
    auto volume = std::make_shared<CVolume>(CVolume::kImageFile);
    volume->SetDeviceOpener([device](int&) { return device; });
    volume->SetReadRetries(0);
    volume->SetDeviceNodeId(-31);
    volume->QueryInformation();
    volume->BootSetup();
    if (CFileSystem::FatBitsFor(volume->FileSystemTypeCode()) == 0) {
      static constexpr std::int32_t kCodes[] = {1, 4, 6, 11, 12, 14};
      volume->SetFileSystemTypeCode(kCodes[data[1] % 6]);
    }
    const std::int32_t code = volume->FileSystemTypeCode();

    ScanProgress progress;
    auto parser = MakeFatParser(*volume, progress);
    auto* fat = static_cast<CFileSystem_FAT*>(parser.get());
    volume->SetFileSystem(std::move(parser));
    FoundObjectStore& store = volume->Store();
    store.Clear();
    store.RegisterObject(volume->DeviceNode());
    const std::int32_t rootId = CFileSystem::RootFolderIdFor(code);
    store.SetRootFolderId(rootId);
    fat->root.id = rootId;
    fat->root.parentId = volume->DeviceNodeId();
    store.RegisterObject(fat->root);
    progress.running.store(1);
    fat->Analyse();

    const FatParameters p = fat->Parameters();
    std::vector<FoundObject> found;
    {
      const auto view = store.Read();
      for (std::size_t i = 0; i < view.Count(); ++i) {
        const FoundObject* r = view.At(i);
        if (r->IsDevice() || r->parentId == kIdLostFolders) continue;
        if (r->id == rootId && r->Name() == u".") continue;
        // Every object the parser hands over starts at a cluster of the volume and
        // has an id that is no special node's.
        if (r->firstCluster < 2 || r->firstCluster > std::int64_t(p.clusterCount) + 1) __builtin_trap();
        if (r->id < 0 || r->Name().empty()) __builtin_trap();
        if (r->offset != p.ClusterOffset(std::uint32_t(r->firstCluster))) __builtin_trap();
        found.push_back(store.Snapshot(*r));
      }
    }
    std::vector<std::uint8_t> buffer(64 * 1024 + 512);
    std::size_t reads = 0;
    for (const FoundObject& r : found) {
      if (++reads > 64) break;
      const auto n = std::uint32_t(r.size > 0 && r.size < 65536 ? r.size : 65536);
      if (volume->ReadObjectData(r, buffer.data(), 0, n) > n) __builtin_trap();
      if (volume->ReadObjectData(r, buffer.data(), 700, 1000) > 1000) __builtin_trap();
    }
    if (!found.empty()) {
      FoundObject hit;
      hit.flags = OBJ_DELETED | OBJ_RAW;
      hit.offset = found.front().offset;
      hit.size = -1;
      fat->ScanAt(hit);
      if (volume->ReadObjectData(hit, buffer.data(), 0, 4096) > 4096) __builtin_trap();
    }
  }
  g_Log = nullptr;
  return 0;
}
