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

// The base units of the 8-point dialog font that fixed pixel sizes are given for.
inline constexpr DialogBaseUnits kDialogFontBaseUnits{6, 13};

// A pixel size given for that font, scaled to `font`'s base units (rounded), so
// that what it holds fits in the font in use.
int ScaledPixelsX(const DialogBaseUnits& units, int px);
int ScaledPixelsY(const DialogBaseUnits& units, int px);
int ScaledPixelsX(const QFont& font, int px);
int ScaledPixelsY(const QFont& font, int px);

// The same with the font's units measured on the spot.
QSize DluToPixels(const QFont& font, int x, int y);
QRect DluRectToPixels(const QFont& font, int x, int y, int width, int height);

}  // namespace controls
