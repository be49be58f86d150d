#pragma once
// CObjectDataReader: reads what the data viewer shows of one found object, on a
// thread of its own, so a slow or failing drive never holds the window: first the
// object's data runs (CVolume::GetObjectDataRuns), then the pages of its data the
// hex view asks for (CVolume::ReadObjectData, read-only), one page at a time. The
// newest request wins: a new object drops everything asked for the old one, and a
// new page range replaces the one not yet read.
//
// Results go to the callbacks on the reader's thread, tagged with the object's
// generation (a number SetObject returns), so that the user interface drops what
// arrives for an object it no longer shows. No callback runs once the destructor
// has begun.
//
// The destructor asks the thread to end and waits for it up to kStopWait (a read
// stuck on a dying drive can last longer): a thread still reading then is left to
// end by itself and is joined when the program ends (JoinLeftThreads, a shutdown
// hook of the application object).
//
// Public members on one thread (the user interface's).

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/store/FoundObject.h"
#include "engine/store/ObjectRunList.h"

class CVolume;

class CObjectDataReader {
 public:
  static constexpr std::uint64_t kPageSize = 4096;
  static constexpr std::chrono::milliseconds kStopWait{500};

  struct Page {
    std::uint64_t generation = 0;
    std::uint64_t index = 0;
    std::vector<std::uint8_t> bytes;  // the page's bytes (fewer for the last page)
    std::int64_t read = 0;            // how many were read (the rest are zeros)
  };
  using PageFn = std::function<void(Page page)>;
  using RunsFn = std::function<void(std::uint64_t generation, ObjectRunList runs)>;

  CObjectDataReader(PageFn onPage, RunsFn onRuns);
  ~CObjectDataReader();
  CObjectDataReader(const CObjectDataReader&) = delete;
  CObjectDataReader& operator=(const CObjectDataReader&) = delete;

  // A new object: `record` is copied (its name too); `size` is how many bytes the
  // hex view shows. A null volume stands for no object. Its runs are read first.
  // Returns the object's generation.
  std::uint64_t SetObject(std::shared_ptr<CVolume> volume, const FoundObject& record, std::uint64_t size);
  // Pages first..last of the current object, instead of those not read yet.
  void WantPages(std::uint64_t first, std::uint64_t last);
  std::uint64_t Generation() const;
  // Pages read so far (tests and the benchmark).
  std::uint64_t PagesRead() const;

  // Joins the threads that readers left running at their end (at exit).
  static void JoinLeftThreads();

 private:
  struct State;
  static void Run(std::shared_ptr<State> state);

  std::shared_ptr<State> state_;
  std::thread thread_;
};
