#include "platform/Privilege.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "platform/BlockDevices.h"

namespace platform {

bool IsAdminFor(const PrivilegeFacts& facts) {
  if (facts.effectiveUid == 0) return true;
  if (!facts.diskGroup) return false;
  const gid_t disk = *facts.diskGroup;
  if (facts.effectiveGid == disk) return true;
  return std::find(facts.groups.begin(), facts.groups.end(), disk) != facts.groups.end();
}

std::optional<gid_t> DiskGroup(const char* sysRoot, const char* devRoot) {
  try {
    BlockDeviceTree tree(sysRoot, "/proc", devRoot);
    for (const DiskEntry& disk : tree.WholeDisks()) {
      if (disk.backingFile.size() > 0) continue;  // loop devices may belong to others
      struct stat st {};
      if (::stat(disk.devNode.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) return st.st_gid;
    }
  } catch (...) {
  }
  struct group grp {};
  struct group* found = nullptr;
  std::vector<char> buffer(16384);
  if (::getgrnam_r("disk", &grp, buffer.data(), buffer.size(), &found) == 0 && found) return found->gr_gid;
  return std::nullopt;
}

PrivilegeFacts CurrentPrivilegeFacts() {
  PrivilegeFacts facts;
  facts.effectiveUid = ::geteuid();
  facts.effectiveGid = ::getegid();
  const int count = ::getgroups(0, nullptr);
  if (count > 0) {
    facts.groups.resize(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, facts.groups.data());
    facts.groups.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  }
  facts.diskGroup = DiskGroup();
  return facts;
}

int IsUserAdmin() { return IsAdminFor(CurrentPrivilegeFacts()) ? 1 : 0; }

}  // namespace platform
