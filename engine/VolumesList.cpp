#include "engine/VolumesList.h"

#include "engine/ProgramLog.h"
#include "engine/Volume.h"

CVolumesList::CVolumesList() = default;

CVolumesList::~CVolumesList() {
  // Volumes go outside the lock: the last reference closes a device.
  std::vector<std::shared_ptr<CVolume>> old;
  {
    std::lock_guard lock(mutex_);
    old.swap(volumes_);
  }
}

int CVolumesList::Add(std::shared_ptr<CVolume> volume) {
  std::lock_guard lock(mutex_);
  if (volume) volumes_.push_back(std::move(volume));
  return static_cast<int>(volumes_.size());
}

int CVolumesList::GetCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(volumes_.size());
}

std::shared_ptr<CVolume> CVolumesList::GetAt(int index) const {
  {
    std::lock_guard lock(mutex_);
    if (index >= 0 && static_cast<std::size_t>(index) < volumes_.size()) return volumes_[std::size_t(index)];
  }
  Log().Error(u"CVolumesList::GetAt except");
  return nullptr;
}

std::vector<std::shared_ptr<CVolume>> CVolumesList::Volumes() const {
  std::lock_guard lock(mutex_);
  return volumes_;
}

std::shared_ptr<CVolume> CVolumesList::FindByNodeId(std::int32_t id) const {
  std::lock_guard lock(mutex_);
  for (const auto& v : volumes_)
    if (v->DeviceNodeId() == id) return v;
  return nullptr;
}
