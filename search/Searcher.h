#pragma once
// One worker of the signature search, on a thread of its own at the lowest
// priority. It takes a block the manager has read (or, with two workers or more
// and none read for it, claims the next block position and reads that block
// itself), tests every 512-byte unit that was read against the searched types,
// drops the hits whose header cannot be their type's, finds each file's end by its
// format's walk where it has one, makes a record for each hit with the type's
// fix-ups, hands the block's records to the manager (which passes them to the hit
// sink in block order), then goes on with the next block. It parses only its own
// block and touches the manager only through the hand-off (spare block, claim,
// stop), the block read and the hit sink.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

#include "engine/device/SectorBuffer.h"
#include "engine/store/FoundObject.h"
#include "platform/ByteOrder.h"
#include "search/SignatureIndex.h"

class CSearchManager;

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
  // A record made from a hit, and whether its end came from its format's walk (the
  // bytes up to it are the file's own, and no hit inside them is a file).
  struct Hit {
    FoundObject record;
    bool walked = false;
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
  // The hits of one unit (entries of the index, in list order): header checks, the
  // format walks (each once per unit), the TIFF family's type by its Make tag, then
  // a record for each hit that stays.
  void TakeUnitHits(std::int64_t unit, platform::Bytes candidate);
  // `end`: the file's end as its format walk found it, or -1.
  void MakeHit(std::size_t entry, std::int64_t unit, platform::Bytes candidate, std::int64_t end);
  // Hands the block's records to the manager (in block order they reach the sink).
  void HandInBlock();

  CSearchManager& manager_;
  const std::int32_t index_;
  const std::size_t bufferBytes_;
  Block block_;
  SignatureIndex::RunScan scan_;
  std::vector<std::size_t> unitHits_;
  std::vector<std::uint8_t> walkScratch_;
  std::vector<Hit> blockHits_;
  // The last file this worker walked to its end: hits inside it are not walked
  // again (they are inner hits, and the manager drops them).
  std::int64_t walkedStart_ = -1, walkedEnd_ = -1;
  std::int16_t lastTypeId_ = 0;
  std::thread thread_;

  // Guarded by the manager's hand-off mutex.
  bool stop_ = false;
};
