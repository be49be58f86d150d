#include "controls/DialogUnits.h"

#include <QFontMetrics>
#include <QString>

namespace controls {

namespace {
int MulDivRounded(int value, int mul, int div) {
  const long long product = static_cast<long long>(value) * mul;
  const long long half = div / 2;
  return static_cast<int>(product >= 0 ? (product + half) / div : (product - half) / div);
}
}  // namespace

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const int total = metrics.horizontalAdvance(letters);
  DialogBaseUnits units;
  units.width = (total / 26 + 1) / 2;
  units.height = metrics.height();
  if (units.width < 1) units.width = 1;
  if (units.height < 1) units.height = 1;
  return units;
}

int DluToPixelsX(const DialogBaseUnits& units, int x) { return MulDivRounded(x, units.width, 4); }
int DluToPixelsY(const DialogBaseUnits& units, int y) { return MulDivRounded(y, units.height, 8); }

QSize DluToPixels(const DialogBaseUnits& units, int x, int y) {
  return QSize(DluToPixelsX(units, x), DluToPixelsY(units, y));
}

QRect DluRectToPixels(const DialogBaseUnits& units, int x, int y, int width, int height) {
  const int left = DluToPixelsX(units, x);
  const int top = DluToPixelsY(units, y);
  return QRect(left, top, DluToPixelsX(units, x + width) - left, DluToPixelsY(units, y + height) - top);
}

int ScaledPixelsX(const DialogBaseUnits& units, int px) {
  if (units.width <= 0) return px;
  return static_cast<int>((static_cast<long long>(px) * units.width * 2 + kDialogFontBaseUnits.width) /
                          (2 * kDialogFontBaseUnits.width));
}

int ScaledPixelsY(const DialogBaseUnits& units, int px) {
  if (units.height <= 0) return px;
  return static_cast<int>((static_cast<long long>(px) * units.height * 2 + kDialogFontBaseUnits.height) /
                          (2 * kDialogFontBaseUnits.height));
}

int ScaledPixelsX(const QFont& font, int px) { return ScaledPixelsX(BaseUnitsOf(font), px); }
int ScaledPixelsY(const QFont& font, int px) { return ScaledPixelsY(BaseUnitsOf(font), px); }

QSize DluToPixels(const QFont& font, int x, int y) { return DluToPixels(BaseUnitsOf(font), x, y); }

QRect DluRectToPixels(const QFont& font, int x, int y, int width, int height) {
  return DluRectToPixels(BaseUnitsOf(font), x, y, width, height);
}

}  // namespace controls
