#pragma once
// The 3-D edges the program's controls draw around buttons, panes and labels:
// one or two one-pixel lines on chosen sides, lit from the top left.

#include <QPainter>
#include <QPalette>
#include <QRect>

namespace controls {

enum class EdgeKind {
  RaisedInner,  // highlight top-left, shadow bottom-right
  SunkenOuter,  // shadow top-left, highlight bottom-right
  Raised,       // light / dark shadow outside, highlight / shadow inside
  Sunken,       // shadow / highlight outside, dark shadow / light inside
  Etched,       // sunken outer line, raised inner line
};

// Sides of an edge.
inline constexpr int kEdgeLeft = 0x1;
inline constexpr int kEdgeTop = 0x2;
inline constexpr int kEdgeRight = 0x4;
inline constexpr int kEdgeBottom = 0x8;
inline constexpr int kEdgeRect = 0xF;

// Draws the edge inside `rect` on the given sides and returns the rectangle
// left inside it (each drawn side moved in by the edge's width).
QRect DrawEdge(QPainter& painter, const QRect& rect, EdgeKind kind, int sides, const QPalette& palette);

}  // namespace controls
