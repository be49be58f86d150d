#include "engine/store/ObjectRunList.h"

ObjectRunList::ObjectRunList(std::vector<ObjectRun> runs)
    : count_(runs.size()), runs_(std::make_shared<const std::vector<ObjectRun>>(std::move(runs))) {}

ObjectRunList::ObjectRunList(std::size_t count, RunAt at) : count_(at ? count : 0), at_(std::move(at)) {}

ObjectRunList ObjectRunList::Contiguous(std::int64_t offset, std::int64_t size) {
  if (size == 0 || offset < 0) return {};
  return ObjectRunList(std::vector<ObjectRun>{{offset, size < 0 ? -1 : size, false}});
}

ObjectRun ObjectRunList::At(std::size_t index) const {
  if (index >= count_) return {};
  if (runs_) return (*runs_)[index];
  return at_(index);
}

std::vector<ObjectRun> ObjectRunList::ToVector() const {
  std::vector<ObjectRun> out;
  out.reserve(count_);
  for (std::size_t i = 0; i < count_; ++i) out.push_back(At(i));
  return out;
}
