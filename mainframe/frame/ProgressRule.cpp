#include "mainframe/frame/ProgressRule.h"

#include <algorithm>

namespace mainframe {

ProgressStep ComputeProgress(const ProgressInput& in) {
  ProgressStep out;
  if (!in.running) return out;
  out.visible = true;
  if (in.family == 0 || in.current == 0 || in.total == 0) return out;
  const std::int64_t step = in.total / 100;
  if (step == 0) return out;
  out.position = static_cast<int>(std::clamp<std::int64_t>(in.current / step, 0, 100));
  return out;
}

}  // namespace mainframe
