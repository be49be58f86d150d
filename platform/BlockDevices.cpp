#include "platform/BlockDevices.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/Paths.h"

namespace platform {
namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  if (!in) return {};
  std::stringstream ss;
  ss << in.rdbuf();
  std::string s = ss.str();
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\t')) s.pop_back();
  std::size_t b = 0;
  while (b < s.size() && (s[b] == ' ' || s[b] == '\t')) ++b;
  return s.substr(b);
}

std::uint64_t ReadNumber(const std::string& path) {
  std::string s = ReadText(path);
  if (s.empty()) return 0;
  return std::strtoull(s.c_str(), nullptr, 10);
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::vector<std::string> ListDir(const std::string& path) {
  std::vector<std::string> out;
  if (DIR* d = opendir(path.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") out.push_back(n);
    }
    closedir(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whole-disk names the drive list takes.
bool IsDiskName(const std::string& n) {
  if (StartsWith(n, "sd") || StartsWith(n, "hd") || StartsWith(n, "vd") || StartsWith(n, "xvd")) {
    return n.size() > 2 && n.find_first_of("0123456789") == std::string::npos;
  }
  if (StartsWith(n, "nvme")) {  // nvme<ctrl>n<ns>, not the hidden per-path nvme<c>c<p>n<ns>
    std::size_t nPos = n.find('n', 4);
    return nPos != std::string::npos && AllDigits(n.substr(4, nPos - 4)) && AllDigits(n.substr(nPos + 1));
  }
  if (StartsWith(n, "mmcblk")) return AllDigits(n.substr(6));  // not mmcblk0boot0 or mmcblk0rpmb
  if (StartsWith(n, "loop")) return AllDigits(n.substr(4));
  return false;
}

// The family part of a whole-disk name: the driver's prefix.
std::string_view DiskFamily(std::string_view n) {
  for (std::string_view p : {"xvd", "sd", "hd", "vd", "nvme", "mmcblk", "loop"})
    if (n.substr(0, p.size()) == p) return n.substr(0, p.size());
  std::size_t i = 0;
  while (i < n.size() && !(n[i] >= '0' && n[i] <= '9')) ++i;
  return n.substr(0, i);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool DiskNameLess(const std::string& a, const std::string& b) {
  std::string_view fa = DiskFamily(a), fb = DiskFamily(b);
  if (fa != fb) return fa < fb;
  std::string_view ra = std::string_view(a).substr(fa.size()), rb = std::string_view(b).substr(fb.size());
  // Runs of digits and runs of other characters, compared run by run.
  auto next = [](std::string_view& s) {
    std::size_t i = 1;
    while (i < s.size() && IsDigit(s[i]) == IsDigit(s[0])) ++i;
    std::string_view run = s.substr(0, i);
    s.remove_prefix(i);
    return run;
  };
  while (!ra.empty() && !rb.empty()) {
    std::string_view x = next(ra), y = next(rb);
    const bool dx = IsDigit(x[0]), dy = IsDigit(y[0]);
    if (dx != dy) return dx;  // a number before letters
    if (dx) {
      while (x.size() > 1 && x[0] == '0') x.remove_prefix(1);
      while (y.size() > 1 && y[0] == '0') y.remove_prefix(1);
    }
    if (x.size() != y.size()) return x.size() < y.size();
    if (x != y) return x < y;
  }
  if (ra.empty() != rb.empty()) return ra.empty();
  return a < b;
}

std::string DecodeMountField(std::string_view field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      std::string_view oct = field.substr(i + 1, 3);
      if (oct.size() == 3 && std::all_of(oct.begin(), oct.end(), [](char c) { return c >= '0' && c <= '7'; })) {
        out.push_back(char((oct[0] - '0') * 64 + (oct[1] - '0') * 8 + (oct[2] - '0')));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

std::optional<BlockDeviceId> ParseDeviceNumbers(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
  std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  std::string_view a = text.substr(0, colon), b = text.substr(colon + 1);
  if (!AllDigits(a) || !AllDigits(b) || a.size() > 9 || b.size() > 9) return std::nullopt;
  return BlockDeviceId{static_cast<unsigned>(std::strtoul(std::string(a).c_str(), nullptr, 10)),
                       static_cast<unsigned>(std::strtoul(std::string(b).c_str(), nullptr, 10))};
}

BlockDeviceTree::BlockDeviceTree(std::string sysRoot, std::string procRoot, std::string devRoot)
    : sys_(std::move(sysRoot)), proc_(std::move(procRoot)), dev_(std::move(devRoot)) {}

std::optional<DiskEntry> BlockDeviceTree::Disk(const std::string& name) const {
  const std::string base = JoinPath(JoinPath(sys_, "block"), name);
  auto id = ParseDeviceNumbers(ReadText(JoinPath(base, "dev")));
  if (!id) return std::nullopt;
  DiskEntry d;
  d.name = name;
  d.devNode = JoinPath(dev_, name);
  d.id = *id;
  d.sizeBytes = ReadNumber(JoinPath(base, "size")) * 512;
  d.removable = ReadNumber(JoinPath(base, "removable")) != 0;
  d.vendor = ReadText(JoinPath(base, "device/vendor"));
  d.model = ReadText(JoinPath(base, "device/model"));
  d.diskseq = ReadNumber(JoinPath(base, "diskseq"));
  d.backingFile = ReadText(JoinPath(base, "loop/backing_file"));
  std::uint64_t lss = ReadNumber(JoinPath(base, "queue/logical_block_size"));
  d.logicalSectorSize = (lss >= 512 && lss <= 65536) ? static_cast<unsigned>(lss) : 512;
  return d;
}

std::vector<DiskEntry> BlockDeviceTree::WholeDisks() const {
  std::vector<DiskEntry> out;
  for (const std::string& name : ListDir(JoinPath(sys_, "block"))) {
    if (!IsDiskName(name)) continue;
    auto d = Disk(name);
    if (!d) continue;
    if (StartsWith(name, "loop") && d->backingFile.empty()) continue;  // an unattached loop device
    if (IsOptical(name)) continue;  // optical drives are not drives this program reads
    out.push_back(std::move(*d));
  }
  std::sort(out.begin(), out.end(), [](const DiskEntry& a, const DiskEntry& b) { return DiskNameLess(a.name, b.name); });
  return out;
}

bool BlockDeviceTree::IsOptical(const std::string& diskName) const {
  if (StartsWith(diskName, "sr") || StartsWith(diskName, "scd")) return true;
  const std::string base = JoinPath(JoinPath(sys_, "block"), diskName);
  if (ReadText(JoinPath(base, "device/type")) == "5") return true;  // SCSI peripheral type: CD/DVD
  if (ReadText(JoinPath(base, "device/media")) == "cdrom") return true;  // the old IDE driver
  // GENHD_FL_CD (0x8) in the capability bits, which kernels before 5.17 show; the
  // bit is unused since.
  const std::string cap = ReadText(JoinPath(base, "capability"));
  if (!cap.empty() && (std::strtoul(cap.c_str(), nullptr, 16) & 0x8) != 0) return true;
  return false;
}

std::optional<BlockDeviceFacts> BlockDeviceTree::Facts(BlockDeviceId id) const {
  auto name = NameOf(id);
  if (!name) return std::nullopt;
  const std::string dir = JoinPath(JoinPath(sys_, "class/block"), *name);
  char resolved[PATH_MAX];
  const std::string real = realpath(dir.c_str(), resolved) ? std::string(resolved) : dir;
  BlockDeviceFacts f;
  f.name = *name;
  f.id = id;
  f.sizeBytes = ReadNumber(JoinPath(real, "size")) * 512;
  f.diskName = *name;
  if (Exists(JoinPath(real, "partition"))) {
    // A partition's folder lies inside its disk's folder.
    const std::string parent = real.substr(0, real.rfind('/'));
    f.isPartition = true;
    f.startBytes = ReadNumber(JoinPath(real, "start")) * 512;
    f.diskName = parent.substr(parent.rfind('/') + 1);
    f.diskseq = ReadNumber(JoinPath(parent, "diskseq"));
  } else {
    f.diskseq = ReadNumber(JoinPath(real, "diskseq"));
  }
  return f;
}

std::vector<PartitionEntry> BlockDeviceTree::Partitions(const std::string& diskName) const {
  std::vector<PartitionEntry> out;
  const std::string base = JoinPath(JoinPath(sys_, "block"), diskName);
  for (const std::string& name : ListDir(base)) {
    const std::string dir = JoinPath(base, name);
    if (!Exists(JoinPath(dir, "partition"))) continue;
    auto id = ParseDeviceNumbers(ReadText(JoinPath(dir, "dev")));
    if (!id) continue;
    PartitionEntry p;
    p.name = name;
    p.devNode = JoinPath(dev_, name);
    p.id = *id;
    p.disk = diskName;
    p.number = static_cast<int>(ReadNumber(JoinPath(dir, "partition")));
    p.startBytes = ReadNumber(JoinPath(dir, "start")) * 512;  // sysfs counts 512-byte units
    p.sizeBytes = ReadNumber(JoinPath(dir, "size")) * 512;
    out.push_back(std::move(p));
  }
  std::sort(out.begin(), out.end(), [](auto& a, auto& b) { return a.number < b.number; });
  return out;
}

std::optional<std::string> BlockDeviceTree::NameOf(BlockDeviceId id) const {
  const std::string link =
      JoinPath(JoinPath(sys_, "dev/block"), std::to_string(id.major) + ":" + std::to_string(id.minor));
  char resolved[PATH_MAX];
  if (!realpath(link.c_str(), resolved)) return std::nullopt;
  std::string path = resolved;
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::optional<BlockDeviceId> BlockDeviceTree::IdOf(const std::string& name) const {
  return ParseDeviceNumbers(ReadText(JoinPath(JoinPath(JoinPath(sys_, "class/block"), name), "dev")));
}

void BlockDeviceTree::CollectWholeDisks(const std::string& name, std::vector<BlockDeviceId>& out, int depth) const {
  if (depth > 16) return;  // a loop in a damaged or fake tree ends here
  const std::string dir = JoinPath(JoinPath(sys_, "class/block"), name);
  char resolved[PATH_MAX];
  std::string real = realpath(dir.c_str(), resolved) ? std::string(resolved) : dir;
  auto add = [&out](BlockDeviceId id) {
    if (std::find(out.begin(), out.end(), id) == out.end()) out.push_back(id);
  };
  if (Exists(JoinPath(real, "partition"))) {
    // A partition's folder lies inside its disk's folder.
    std::string parent = real.substr(0, real.rfind('/'));
    if (auto id = ParseDeviceNumbers(ReadText(JoinPath(parent, "dev")))) add(*id);
    return;
  }
  std::vector<std::string> slaves = ListDir(JoinPath(real, "slaves"));
  if (!slaves.empty()) {
    for (const std::string& s : slaves) CollectWholeDisks(s, out, depth + 1);
    return;
  }
  if (auto id = ParseDeviceNumbers(ReadText(JoinPath(real, "dev")))) add(*id);
}

std::vector<BlockDeviceId> BlockDeviceTree::WholeDisksOf(BlockDeviceId id) const {
  std::vector<BlockDeviceId> out;
  if (auto name = NameOf(id)) CollectWholeDisks(*name, out, 0);
  return out;
}

std::optional<MountEntry> ParseMountInfoLine(std::string_view line) {
  std::istringstream ss{std::string(line)};
  std::vector<std::string> f;
  std::string w;
  while (ss >> w) f.push_back(w);
  auto sep = std::find(f.begin(), f.end(), "-");
  if (f.size() < 7 || sep == f.end() || std::distance(sep, f.end()) < 3) return std::nullopt;
  MountEntry m;
  auto id = ParseDeviceNumbers(f[2]);
  if (!id) return std::nullopt;
  m.id = *id;
  m.mountPoint = DecodeMountField(f[4]);
  m.fsType = DecodeMountField(*(sep + 1));
  m.source = DecodeMountField(*(sep + 2));
  return m;
}

std::vector<MountEntry> BlockDeviceTree::AllMounts() const {
  std::vector<MountEntry> out;
  std::ifstream in(JoinPath(proc_, "self/mountinfo"));
  std::string line;
  while (std::getline(in, line))
    if (auto m = ParseMountInfoLine(line)) out.push_back(std::move(*m));
  return out;
}

std::vector<MountEntry> BlockDeviceTree::BlockMounts() const {
  std::vector<MountEntry> out;
  for (MountEntry& m : AllMounts()) {
    // The source names a block device: a node under /dev that sysfs knows.
    if (StartsWith(m.source, "/dev/")) {
      struct stat st{};
      std::string node = JoinPath(dev_, m.source.substr(5));
      if (stat(node.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
        m.sourceId = {major(st.st_rdev), minor(st.st_rdev)};
      } else {
        std::string base = m.source.substr(m.source.rfind('/') + 1);
        if (auto id = IdOf(base)) m.sourceId = *id;
      }
    }
    bool block = m.sourceId.valid() || (m.id.major != 0 && NameOf(m.id).has_value());
    if (!block) continue;
    BlockDeviceId dev = m.device();
    if (std::any_of(out.begin(), out.end(), [&](const MountEntry& o) { return o.device() == dev; })) continue;
    out.push_back(std::move(m));
  }
  return out;
}

std::optional<MountEntry> BlockDeviceTree::MountOfPath(const std::string& path) const {
  std::optional<MountEntry> best;
  for (MountEntry& m : AllMounts()) {
    const std::string& mp = m.mountPoint;
    bool prefix = path == mp || mp == "/" || (StartsWith(path, mp) && path.size() > mp.size() && path[mp.size()] == '/');
    if (prefix && (!best || mp.size() >= best->mountPoint.size())) best = m;  // later mounts cover earlier ones
  }
  if (best && StartsWith(best->source, "/dev/")) {
    struct stat st{};
    if (stat(JoinPath(dev_, best->source.substr(5)).c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
      best->sourceId = {major(st.st_rdev), minor(st.st_rdev)};
    } else if (auto id = IdOf(best->source.substr(best->source.rfind('/') + 1))) {
      best->sourceId = *id;
    }
  }
  return best;
}

std::optional<BlockDeviceId> BlockDeviceTree::DeviceOfPath(const std::string& path) const {
  // The nearest folder that exists, made absolute and free of links.
  std::string p = path;
  char resolved[PATH_MAX];
  while (!p.empty() && !realpath(p.c_str(), resolved)) {
    std::size_t slash = p.find_last_of('/');
    if (slash == std::string::npos) {
      p = ".";
      continue;
    }
    p = slash == 0 ? "/" : p.substr(0, slash);
  }
  if (p.empty()) return std::nullopt;
  std::string real = resolved;
  struct stat st{};
  if (stat(real.c_str(), &st) != 0) return std::nullopt;
  BlockDeviceId id{major(st.st_dev), minor(st.st_dev)};
  if (id.major != 0 && NameOf(id)) return id;
  auto m = MountOfPath(real);
  if (m && m->sourceId.valid()) return m->sourceId;
  return std::nullopt;
}

}  // namespace platform
