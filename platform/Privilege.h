#pragma once
// The administrator check: whether this process may open the whole-disk block
// devices. That is so for the effective user root, or for a member of the group
// that owns those devices ("disk" on Debian).

#include <sys/types.h>

#include <optional>
#include <vector>

namespace platform {

struct PrivilegeFacts {
  uid_t effectiveUid = 0;
  gid_t effectiveGid = 0;
  std::vector<gid_t> groups;         // supplementary groups
  std::optional<gid_t> diskGroup;    // the group owning the whole-disk devices
};

// The decision on the facts: uid 0, or the disk group among the effective and
// supplementary groups. Without a known disk group only root qualifies.
bool IsAdminFor(const PrivilegeFacts& facts);

// The group owning the whole-disk devices: that of the first whole disk found in
// `devRoot` (as `sysRoot` lists them), else the group named "disk".
std::optional<gid_t> DiskGroup(const char* sysRoot = "/sys", const char* devRoot = "/dev");

// The facts of this process.
PrivilegeFacts CurrentPrivilegeFacts();

// Nonzero when this process is an administrator as above; 0 otherwise and on any
// failure.
int IsUserAdmin();

}  // namespace platform
