#pragma once
// One run of an NTFS attribute's data: `clusterCount` clusters from `lcn` on the
// volume, standing for the virtual clusters firstVcn..lastVcn of the attribute. A
// sparse run has no clusters on the volume and reads as zeros.

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/ByteOrder.h"

struct DataRun {
  std::int64_t lcn = 0;  // 0 for a sparse run
  std::int64_t clusterCount = 0;
  std::uint32_t sparse = 0;  // 1 when the run's LCN field is absent
  std::int64_t firstVcn = 0;
  std::int64_t lastVcn = 0;
};

// Decodes the mapping pairs of a non-resident attribute, whose first run stands for
// virtual cluster `firstVcn`, appending the runs to `out`. Each pair starts with a
// byte whose low nibble is the byte count of the cluster count and whose high nibble
// is the byte count of the LCN delta (signed, from the previous run's LCN; 0 before
// the first); a zero byte ends the list, and a pair without a delta is sparse.
// Returns null when the list is sound, else what is wrong with it (then `out` holds
// the runs before the fault): a missing end, a count of 0 or more than 8 bytes, a
// count that is not positive, an LCN below 0, or a VCN or LCN that overflows.
const char16_t* DecodeDataRuns(platform::Bytes pairs, std::int64_t firstVcn, std::vector<DataRun>& out);

// The run of `runs` (sorted by firstVcn, not overlapping) that holds `vcn`; null
// when none does.
const DataRun* FindRun(const std::vector<DataRun>& runs, std::int64_t vcn);
