// The device layer's readers of text the kernel writes: uevent datagrams, lines of
// mountinfo, and sysfs attribute files. The input is cut at bytes 0xFF into
// segments: the first is a uevent datagram, the second the mountinfo text, the rest
// the attribute files of a small fake sysfs tree, in this order:
//   sda: dev, size, removable, device/vendor, device/model, diskseq,
//        queue/logical_block_size, capability, device/type, device/media
//   sda1: dev, partition, start, size
//   loop0: dev, size, loop/backing_file
//   dm-0 (on sda1): dev, size
// (a missing segment leaves its file out). The tree is then read as the drive list
// reads it: whole disks, partitions, facts, the disks beneath each device, mounts,
// the mount and device of a path.
//
// Checks: what a parser returns comes from its text (no field longer than the text),
// the disk order is a strict weak order over any names, lists come back sorted, a
// sector size lies in 512 to 65,536.
//
// Seeds (fuzz/corpus/devices) hold datagrams, mountinfo lines and attribute files
// in the layout the kernel writes them (see make_seeds.sh).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "platform/BlockDevices.h"
#include "platform/UeventMonitor.h"

namespace {

namespace fs = std::filesystem;
using platform::BlockDeviceId;

std::vector<std::string_view> Segments(std::string_view all) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  while (start <= all.size() && out.size() < 64) {
    std::size_t end = all.find('\xFF', start);
    if (end == std::string_view::npos) end = all.size();
    out.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

void WriteFile(const std::string& path, std::string_view text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// The disk order must be usable for sorting: irreflexive, asymmetric, transitive,
// and "neither before the other" transitive too.
void CheckOrder(const std::vector<std::string>& names) {
  const std::size_t n = std::min<std::size_t>(names.size(), 10);
  for (std::size_t a = 0; a < n; ++a) {
    fuzz::Check(!platform::DiskNameLess(names[a], names[a]), "a name is not before itself");
    for (std::size_t b = 0; b < n; ++b) {
      const bool ab = platform::DiskNameLess(names[a], names[b]), ba = platform::DiskNameLess(names[b], names[a]);
      fuzz::Check(!(ab && ba), "two names are not each before the other");
      for (std::size_t c = 0; c < n; ++c) {
        const bool bc = platform::DiskNameLess(names[b], names[c]), ac = platform::DiskNameLess(names[a], names[c]);
        if (ab && bc) fuzz::Check(ac, "the disk order is transitive");
        const bool cb = platform::DiskNameLess(names[c], names[b]), ca = platform::DiskNameLess(names[c], names[a]);
        if (!ab && !ba && !bc && !cb) fuzz::Check(!ac && !ca, "names of one rank stay of one rank");
      }
    }
  }
}

void CheckUevent(std::string_view datagram) {
  auto e = platform::ParseUevent(datagram);
  if (!e) return;
  fuzz::Check(!e->action.empty() && !e->subsystem.empty(), "an event has an action and a subsystem");
  for (const std::string* s : {&e->action, &e->subsystem, &e->devName, &e->devType, &e->devPath})
    fuzz::Check(s->size() <= datagram.size(), "an event's field comes from the datagram");
}

void CheckMountinfo(std::string_view text, std::vector<std::string>& words) {
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    if (auto m = platform::ParseMountInfoLine(line)) {
      fuzz::Check(m->mountPoint.size() <= line.size() && m->source.size() <= line.size() &&
                      m->fsType.size() <= line.size(),
                  "a mount's fields come from its line");
    }
    std::size_t w = 0;
    while (w < line.size() && words.size() < 40) {
      std::size_t e = line.find(' ', w);
      if (e == std::string_view::npos) e = line.size();
      const std::string_view word = line.substr(w, e - w);
      const std::string decoded = platform::DecodeMountField(word);
      fuzz::Check(decoded.size() <= word.size(), "decoding never lengthens a field");
      platform::ParseDeviceNumbers(word);
      if (!word.empty()) words.emplace_back(word);
      w = e + 1;
    }
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 65536) return 0;
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string_view> seg = Segments(all);
  auto part = [&](std::size_t i) { return i < seg.size() ? seg[i] : std::string_view(); };

  CheckUevent(part(0));
  std::vector<std::string> words;
  CheckMountinfo(part(1), words);
  CheckOrder(words);

  // The fake tree, laid out as the kernel lays out its own.
  const std::string root = fuzz::FreshFolder("devices");
  const std::string sys = root + "/sys", dev = root + "/dev";
  for (const char* d : {"/sys/block", "/sys/class/block", "/sys/dev/block", "/proc/self", "/dev", "/mnt/data"})
    fs::create_directories(root + d);
  WriteFile(root + "/proc/self/mountinfo", part(1));
  struct Attr {
    const char* device;
    const char* file;
  };
  static const Attr attrs[] = {
      {"sda", "dev"},       {"sda", "size"},          {"sda", "removable"},
      {"sda", "device/vendor"}, {"sda", "device/model"}, {"sda", "diskseq"},
      {"sda", "queue/logical_block_size"}, {"sda", "capability"}, {"sda", "device/type"},
      {"sda", "device/media"}, {"sda/sda1", "dev"},     {"sda/sda1", "partition"},
      {"sda/sda1", "start"}, {"sda/sda1", "size"},      {"loop0", "dev"},
      {"loop0", "size"},    {"loop0", "loop/backing_file"}, {"dm-0", "dev"},
      {"dm-0", "size"},
  };
  for (std::size_t i = 0; i < std::size(attrs); ++i)
    if (i + 2 < seg.size()) WriteFile(sys + "/devices/" + attrs[i].device + "/" + attrs[i].file, seg[i + 2]);
  std::error_code ec;
  fs::create_directories(sys + "/devices/dm-0/slaves", ec);
  fs::create_directory_symlink(sys + "/devices/sda/sda1", sys + "/devices/dm-0/slaves/sda1", ec);
  for (const char* d : {"sda", "loop0", "dm-0"}) {
    fs::create_directories(sys + "/devices/" + d, ec);
    fs::create_directory_symlink(sys + "/devices/" + d, sys + "/block/" + d, ec);
    fs::create_directory_symlink(sys + "/devices/" + d, sys + "/class/block/" + d, ec);
  }
  fs::create_directory_symlink(sys + "/devices/sda/sda1", sys + "/class/block/sda1", ec);
  // The dev/block links go by the numbers the dev files give, as the kernel's do.
  std::vector<BlockDeviceId> ids;
  for (const char* d : {"sda", "sda/sda1", "loop0", "dm-0"}) {
    std::ifstream in(sys + "/devices/" + d + "/dev");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    if (auto id = platform::ParseDeviceNumbers(text)) {
      ids.push_back(*id);
      fs::create_directory_symlink(sys + "/devices/" + d,
                                   sys + "/dev/block/" + std::to_string(id->major) + ":" + std::to_string(id->minor), ec);
    }
  }

  platform::BlockDeviceTree tree(sys, root + "/proc", dev);
  const auto disks = tree.WholeDisks();
  for (std::size_t i = 0; i < disks.size(); ++i) {
    fuzz::Check(disks[i].logicalSectorSize >= 512 && disks[i].logicalSectorSize <= 65536, "a sector size");
    if (i > 0) fuzz::Check(!platform::DiskNameLess(disks[i].name, disks[i - 1].name), "disks in order");
    const auto parts = tree.Partitions(disks[i].name);
    for (std::size_t p = 1; p < parts.size(); ++p)
      fuzz::Check(parts[p - 1].number <= parts[p].number, "partitions in order");
    tree.IsOptical(disks[i].name);
  }
  for (const BlockDeviceId& id : ids) {
    tree.Facts(id);
    tree.WholeDisksOf(id);
    tree.NameOf(id);
  }
  for (const char* name : {"sda", "sda1", "loop0", "dm-0"}) tree.IdOf(name);
  const auto mounts = tree.BlockMounts();
  for (std::size_t a = 0; a < mounts.size(); ++a)
    for (std::size_t b = a + 1; b < mounts.size(); ++b)
      fuzz::Check(!(mounts[a].device() == mounts[b].device()), "a device is listed at one mount");
  tree.MountOfPath("/");
  tree.MountOfPath("/mnt/data/photos");
  for (std::size_t i = 0; i < words.size() && i < 4; ++i) tree.MountOfPath(platform::DecodeMountField(words[i]));
  tree.DeviceOfPath(root + "/mnt/data/missing/file");
  return 0;
}
