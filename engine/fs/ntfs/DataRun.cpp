#include "engine/fs/ntfs/DataRun.h"

#include <algorithm>

const char16_t* DecodeDataRuns(platform::Bytes pairs, std::int64_t firstVcn, std::vector<DataRun>& out) {
  if (firstVcn < 0) return u"negative first VCN";
  std::size_t pos = 0;
  std::int64_t lcn = 0;
  std::int64_t vcn = firstVcn;
  for (;;) {
    if (pos >= pairs.size()) return u"run list not terminated";
    const std::uint8_t header = pairs[pos];
    if (header == 0) return nullptr;
    const std::size_t countBytes = header & 0x0F;
    const std::size_t deltaBytes = header >> 4;
    if (countBytes == 0 || countBytes > 8 || deltaBytes > 8) return u"bad run header";
    if (!platform::InBounds(pairs.size(), pos + 1, countBytes + deltaBytes)) return u"run list truncated";
    ++pos;
    std::uint64_t count = 0;
    for (std::size_t i = 0; i < countBytes; ++i) count |= std::uint64_t(pairs[pos + i]) << (8 * i);
    pos += countBytes;
    if (count == 0 || count > std::uint64_t(INT64_MAX)) return u"bad run length";
    DataRun run;
    run.clusterCount = std::int64_t(count);
    if (deltaBytes == 0) {
      run.sparse = 1;
    } else {
      std::uint64_t raw = 0;
      for (std::size_t i = 0; i < deltaBytes; ++i) raw |= std::uint64_t(pairs[pos + i]) << (8 * i);
      // Sign-extended from its top byte.
      if (deltaBytes < 8 && (raw >> (8 * deltaBytes - 1)) & 1) raw |= ~std::uint64_t(0) << (8 * deltaBytes);
      const auto delta = static_cast<std::int64_t>(raw);
      if (__builtin_add_overflow(lcn, delta, &lcn)) return u"LCN overflow";
      if (lcn < 0) return u"negative LCN";
      std::int64_t end;
      if (__builtin_add_overflow(lcn, run.clusterCount, &end)) return u"LCN overflow";
      run.lcn = lcn;
    }
    pos += deltaBytes;
    run.firstVcn = vcn;
    std::int64_t next;
    if (__builtin_add_overflow(vcn, run.clusterCount, &next)) return u"VCN overflow";
    run.lastVcn = next - 1;
    vcn = next;
    out.push_back(run);
  }
}

const DataRun* FindRun(const std::vector<DataRun>& runs, std::int64_t vcn) {
  // The last run that starts at or before vcn.
  auto it = std::upper_bound(runs.begin(), runs.end(), vcn,
                             [](std::int64_t v, const DataRun& r) { return v < r.firstVcn; });
  if (it == runs.begin()) return nullptr;
  --it;
  return vcn <= it->lastVcn ? &*it : nullptr;
}
