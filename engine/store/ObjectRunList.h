#pragma once
// Where an object's data lies on its volume, as its parser knows it: runs of a
// byte offset on the volume and a length, in the order of the data, or sparse runs
// that hold no clusters (they read as zeros). The data viewer lists them; nothing
// reads data through them (CVolume::ReadObjectData does that).
//
// A list is made by CVolume::GetObjectDataRuns and never changes afterwards, so any
// thread may read it; copies share their runs. A FAT chain's list shares the
// parser's cached chain rather than copying it and works each run out when asked,
// so the caller of a chain of a million runs holds no copy of it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct ObjectRun {
  std::int64_t offset = 0;  // byte offset on the volume; 0 for a sparse run
  std::int64_t length = 0;  // bytes; -1 when not known (a carved object of unknown size)
  bool sparse = false;
  bool operator==(const ObjectRun&) const = default;
};

class ObjectRunList {
 public:
  // Run `index` (< count) of a list whose runs are worked out when asked.
  using RunAt = std::function<ObjectRun(std::size_t index)>;

  // No runs (device nodes, folders without data, empty files).
  ObjectRunList() = default;
  explicit ObjectRunList(std::vector<ObjectRun> runs);
  // `count` runs given by `at`, which keeps alive what it reads.
  ObjectRunList(std::size_t count, RunAt at);
  // One run: a contiguous object's data from `offset`, `size` bytes (-1 unknown;
  // a size of 0 gives no run).
  static ObjectRunList Contiguous(std::int64_t offset, std::int64_t size);

  std::size_t Count() const { return count_; }
  bool Empty() const { return count_ == 0; }
  ObjectRun At(std::size_t index) const;
  // Every run, copied (tests and small lists).
  std::vector<ObjectRun> ToVector() const;

 private:
  std::size_t count_ = 0;
  std::shared_ptr<const std::vector<ObjectRun>> runs_;
  RunAt at_;
};
