#pragma once
// Dialog sizes are given in dialog units: a horizontal unit is a quarter of the
// dialog font's average character width, a vertical unit an eighth of its height.
// Every form converts through this one helper.

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace controls {

struct DialogBaseUnits {
  int width = 0;   // average character width in pixels
  int height = 0;  // character height in pixels
};

// The average width of the 52 letters "A".."Z" and "a".."z", rounded, and the
// font's line height, as the system measures a dialog font.
DialogBaseUnits BaseUnitsOf(const QFont& font);

// x * width / 4 and y * height / 8, rounded to the nearest pixel.
int DluToPixelsX(const DialogBaseUnits& units, int x);
int DluToPixelsY(const DialogBaseUnits& units, int y);
QSize DluToPixels(const DialogBaseUnits& units, int x, int y);
QRect DluRectToPixels(const DialogBaseUnits& units, int x, int y, int width, int height);

// The same with the font's units measured on the spot.
QSize DluToPixels(const QFont& font, int x, int y);
QRect DluRectToPixels(const QFont& font, int x, int y, int width, int height);

}  // namespace controls
