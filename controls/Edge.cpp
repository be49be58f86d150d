#include "controls/Edge.h"

namespace controls {

namespace {

// One line of an edge: the top-left colour and the bottom-right colour.
QRect DrawLine(QPainter& painter, const QRect& rect, const QColor& topLeft, const QColor& bottomRight, int sides) {
  if (rect.width() <= 0 || rect.height() <= 0) return rect;
  const int left = rect.left();
  const int top = rect.top();
  const int right = rect.right();   // inclusive
  const int bottom = rect.bottom(); // inclusive
  if (sides & kEdgeBottom) painter.fillRect(QRect(left, bottom, rect.width(), 1), bottomRight);
  if (sides & kEdgeRight) painter.fillRect(QRect(right, top, 1, rect.height()), bottomRight);
  if (sides & kEdgeTop) painter.fillRect(QRect(left, top, rect.width() - ((sides & kEdgeRight) ? 1 : 0), 1), topLeft);
  if (sides & kEdgeLeft) {
    painter.fillRect(QRect(left, top, 1, rect.height() - ((sides & kEdgeBottom) ? 1 : 0)), topLeft);
  }
  return rect.adjusted((sides & kEdgeLeft) ? 1 : 0, (sides & kEdgeTop) ? 1 : 0, (sides & kEdgeRight) ? -1 : 0,
                       (sides & kEdgeBottom) ? -1 : 0);
}

}  // namespace

QRect DrawEdge(QPainter& painter, const QRect& rect, EdgeKind kind, int sides, const QPalette& palette) {
  const QColor highlight = palette.color(QPalette::Light);
  const QColor light = palette.color(QPalette::Midlight);
  const QColor shadow = palette.color(QPalette::Dark);
  const QColor darkShadow = palette.color(QPalette::Shadow);
  switch (kind) {
    case EdgeKind::RaisedInner:
      return DrawLine(painter, rect, highlight, shadow, sides);
    case EdgeKind::SunkenOuter:
      return DrawLine(painter, rect, shadow, highlight, sides);
    case EdgeKind::Raised:
      return DrawLine(painter, DrawLine(painter, rect, light, darkShadow, sides), highlight, shadow, sides);
    case EdgeKind::Sunken:
      return DrawLine(painter, DrawLine(painter, rect, shadow, highlight, sides), darkShadow, light, sides);
    case EdgeKind::Etched:
      return DrawLine(painter, DrawLine(painter, rect, shadow, highlight, sides), highlight, shadow, sides);
  }
  return rect;
}

}  // namespace controls
