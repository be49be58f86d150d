#pragma once
// One worker of the signature search, on a thread of its own at the lowest
// priority. It takes a block the manager has read (or, with two workers or more
// and none read for it, claims the next block position and reads that block
// itself), tests every 512-byte unit that was read against the searched types,
// makes a record for each hit with the type's fix-ups and hands it to the
// manager's hit sink, then goes on with the next block. It parses only its own
// block and touches the manager only through the hand-off (spare block, claim,
// stop), the block read and the hit sink.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

#include "engine/SectorBuffer.h"
#include "platform/ByteOrder.h"
#include "search/SignatureIndex.h"

class CSearchManager;
struct FoundObject;

class CSearcher {
 public:
  // A run of sectors of the block that was read, in sectors from the block's start.
  struct ReadRun {
    std::int64_t first = 0;
    std::int64_t end = 0;  // one past the last
  };
  // A block: its buffer, its position and the runs of it that were read. The
  // manager reads the next block into a spare one while the workers parse and
  // swaps it with the next idle worker's.
  struct Block {
    SectorBuffer buffer;
    std::int64_t position = 0;  // clusters
    std::vector<ReadRun> runs;
  };

  // Allocates the block buffer; CurrentBlock().buffer.empty() when that failed.
  CSearcher(CSearchManager& manager, std::int32_t index, std::size_t bufferBytes);
  // Stops the thread (it finishes the block in hand first) and joins it.
  ~CSearcher();
  CSearcher(const CSearcher&) = delete;
  CSearcher& operator=(const CSearcher&) = delete;

  // Starts the thread; false when it could not be started.
  bool Start();
  void ThreadLoop();
  // Tests the block in hand; stops early when the running flag clears.
  void ParseBlock();

  std::int32_t Index() const { return index_; }
  std::size_t BufferBytes() const { return bufferBytes_; }
  std::int16_t LastTypeId() const { return lastTypeId_; }

  // ---- The manager's side, while the worker is idle --------------------------------
  Block& CurrentBlock() { return block_; }
  const Block& CurrentBlock() const { return block_; }

 private:
  friend class CSearchManager;
  void MakeHit(std::size_t entry, std::int64_t unit, platform::Bytes candidate);

  CSearchManager& manager_;
  const std::int32_t index_;
  const std::size_t bufferBytes_;
  Block block_;
  SignatureIndex::RunScan scan_;
  std::int16_t lastTypeId_ = 0;
  std::thread thread_;

  // Guarded by the manager's hand-off mutex.
  bool stop_ = false;
};
