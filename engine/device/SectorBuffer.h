#pragma once
// Memory for bulk sector reads (the search's blocks, the recovery's and the image
// writer's 2 MB chunks) that the I/O layer reads into directly, without a copy.
//
// The memory is page-aligned (the kernel copies into aligned memory twice as fast)
// and shared with a read while it runs. When a read into it times out, the read may
// still complete later in the kernel: the buffer then lets that memory go to the
// read and takes new zero-filled memory of the same size, so what the owner holds
// is never written after the read returned. Take data() again after every read.

#include <cstddef>
#include <cstdint>
#include <memory>

class SectorBuffer {
 public:
  struct Memory;

  SectorBuffer() = default;
  // `bytes` of zero-filled memory; empty when the allocation fails.
  explicit SectorBuffer(std::size_t bytes);

  std::uint8_t* data() const;
  std::size_t size() const;
  bool empty() const { return size() == 0; }

  // Leaves the current memory to whoever still holds it and takes new zero-filled
  // memory of the same size.
  void Renew();
  const std::shared_ptr<Memory>& memory() const { return memory_; }

 private:
  std::shared_ptr<Memory> memory_;
};
