#pragma once
// Where the signature search hands its hits: one seam between the search and what
// becomes of a hit. The volume's analysis plugs CVolume::OnSignatureHit in here (a
// boot sector becomes a partition volume, a file-system structure goes to the
// parser, a file becomes a carved object of the store); until it does, and
// whenever no sink is given, the search uses StoreHitSink, which adds file hits to
// the searched volume's store.
//
// Calls come from the search's worker threads, but never two at once: the search
// serialises them. A sink may throw; the search swallows it and goes on.

#include "engine/store/FoundObject.h"

class ISignatureHitSink {
 public:
  virtual ~ISignatureHitSink() = default;
  // One hit: a zeroed record with offset, firstCluster, typeId, typeKey, size and
  // flags set as the search's fix-ups left them. It is the search's own and freed
  // after the call: a sink keeps what it needs by copying (the store copies the
  // records it takes).
  virtual void OnSignatureHit(const FoundObject& hit) = 0;
};
