#pragma once
// Where the partition walk hands each partition it finds. The computer object
// implements it (it makes the partition volume, or marks the one it already has)
// and installs itself at start-up; without a sink the walk finds but adds nothing.

#include <memory>

class CVolume;
struct FoundObject;

class IPartitionSink {
 public:
  virtual ~IPartitionSink() = default;
  // `partition` describes one partition of the volume walked: parentId = that
  // volume's device-node id, offset = the partition's first byte on that volume
  // (64-bit; the volume's own base offset is not included), size = its bytes by the
  // table, typeId = its partition-type byte; every other field is zero. Called on
  // the walking thread; the sink may set up the new volume there and then, and that
  // volume may walk its own table: the walk keeps such nested walks from going round.
  // Returns the volume made or marked, or null.
  virtual std::shared_ptr<CVolume> AddPartitionVolume(const FoundObject& partition) = 0;
};

void SetPartitionSink(IPartitionSink* sink);
IPartitionSink* GetPartitionSink();
