#pragma once
// The computer's list of volumes: the drives, and the image files and partitions
// opened during the run, in the order added. The list holds a shared reference to
// each; a volume in use elsewhere (a running analysis, the queue) outlives its place
// in the list.
//
// Threads: the user-interface thread, the analysis thread (partitions found by the
// walk or the signature pass) and the refresh add and read at once; every access
// takes the list's lock, and a find-or-add is one step under it.

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class CVolume;

class CVolumesList {
 public:
  CVolumesList();
  ~CVolumesList();
  CVolumesList(const CVolumesList&) = delete;
  CVolumesList& operator=(const CVolumesList&) = delete;

  // Appends a volume; returns the new count.
  int Add(std::shared_ptr<CVolume> volume);
  int GetCount() const;
  // The volume at `index`; null, with "CVolumesList::GetAt except" logged, when the
  // index lies outside the list.
  std::shared_ptr<CVolume> GetAt(int index) const;
  // A copy of the list, for walking it without the lock.
  std::vector<std::shared_ptr<CVolume>> Volumes() const;
  // The volume whose device node has this id, or null.
  std::shared_ptr<CVolume> FindByNodeId(std::int32_t id) const;

  // The first volume for which `match` holds; when none does, the one `make` returns
  // (null: nothing) is appended. Both run under the list's lock and must not use the
  // list. `added` tells which of the two it was.
  template <typename Match, typename Make>
  std::shared_ptr<CVolume> FindOrAdd(Match&& match, Make&& make, bool& added) {
    std::lock_guard lock(mutex_);
    added = false;
    for (const auto& v : volumes_)
      if (match(*v)) return v;
    std::shared_ptr<CVolume> made = make();
    if (made) {
      volumes_.push_back(made);
      added = true;
    }
    return made;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<CVolume>> volumes_;
};
