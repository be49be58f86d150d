#include "controls/SheetLayout.h"

#include <array>

namespace controls {

namespace {

constexpr int kTabMargin = 4;

constexpr std::array<ResizeMapEntry, 16> kSheetResizeMap{{
    // Tabbed: the buttons keep their distance to the bottom-right corner, the
    // tab control grows.
    {kSheetOkId, kResizeMoveX | kResizeMoveY},
    {kSheetApplyId, kResizeMoveX | kResizeMoveY},
    {kSheetCancelId, kResizeMoveX | kResizeMoveY},
    {kSheetHelpId, kResizeMoveX | kResizeMoveY},
    {kSheetTabControlId, kResizeSizeX | kResizeSizeY},
    {-1, 0},
    // Wizard: the buttons move, both lines widen, the lower one follows the bottom.
    {kWizardBackId, kResizeMoveX | kResizeMoveY},
    {kWizardNextId, kResizeMoveX | kResizeMoveY},
    {kWizardFinishId, kResizeMoveX | kResizeMoveY},
    {kSheetCancelId, kResizeMoveX | kResizeMoveY},
    {kSheetHelpId, kResizeMoveX | kResizeMoveY},
    {kWizardHeaderLineId, kResizeSizeX},
    {kWizardButtonLineId, kResizeMoveY},
    {kWizardButtonLineId, kResizeSizeX},
    {-1, 0},
    {-1, 0},
}};

}  // namespace

std::span<const ResizeMapEntry> SheetResizeMap() { return kSheetResizeMap; }

int SelectResizeMapSegment(std::span<const ResizeMapEntry> map, int n, int current) {
  if (n <= 0) return 0;
  int closed = 0;
  for (size_t i = 0; i < map.size(); ++i) {
    if (map[i].controlId != -1) continue;
    // An end entry after an end entry ends the table.
    if (i == 0 || map[i - 1].controlId == -1) return current;
    if (++closed == n) {
      const size_t next = i + 1;
      return next < map.size() && map[next].controlId != -1 ? static_cast<int>(next) : current;
    }
  }
  return current;
}

std::span<const ResizeMapEntry> ResizeMapSection(std::span<const ResizeMapEntry> map, int start) {
  if (start < 0 || static_cast<size_t>(start) >= map.size()) return {};
  size_t end = static_cast<size_t>(start);
  while (end < map.size() && map[end].controlId != -1) ++end;
  return map.subspan(static_cast<size_t>(start), end - static_cast<size_t>(start));
}

QRect ApplyResizeFlags(const QRect& initial, QSize initialClient, QSize client, int flags) {
  const int dx = client.width() - initialClient.width();
  const int dy = client.height() - initialClient.height();
  QRect rect = initial;
  if (flags & kResizeMoveX) rect.translate(dx, 0);
  if (flags & kResizeMoveY) rect.translate(0, dy);
  if (flags & kResizeSizeX) rect.setWidth(initial.width() + dx);
  if (flags & kResizeSizeY) rect.setHeight(initial.height() + dy);
  return rect;
}

QRect TabbedPageRect(const QRect& tabControl, int itemBottom) {
  const int x = tabControl.left() + kTabMargin;
  const int y = tabControl.top() + itemBottom + kTabMargin;
  const int width = tabControl.width() - 2 * kTabMargin;
  const int height = tabControl.top() + tabControl.height() - y - kTabMargin;
  return QRect(x, y, width, height);
}

QRect WizardPageRect(QSize client, int headerLineTop, int buttonLineTop, bool exterior, int left, int margin) {
  if (exterior) return QRect(0, 0, client.width(), buttonLineTop);
  const int y = headerLineTop + margin;
  return QRect(left, y, client.width() - margin - left, buttonLineTop - y - margin);
}

}  // namespace controls
