#include "mainframe/frame/DisabledIcon.h"

#include <QPixmap>

namespace mainframe {

int DisabledGrey(int red, int green, int blue) { return (299 * red + 587 * green + 114 * blue) / 1000; }

QImage MakeDisabledImage(const QImage& image) {
  if (image.isNull()) return {};
  QImage out = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      const QRgb p = line[x];
      const int r = qRed(p), g = qGreen(p), b = qBlue(p);
      if (r == 0 && g == 0 && b == 0) continue;
      const int grey = DisabledGrey(r, g, b);
      line[x] = qRgba(grey, grey, grey, qAlpha(p));
    }
  }
  return out;
}

QIcon MakeDisabledIcon(const QIcon& icon, QSize size) {
  if (icon.isNull()) return {};
  const QPixmap pixmap = icon.pixmap(size);
  if (pixmap.isNull()) return {};
  QIcon out;
  out.addPixmap(QPixmap::fromImage(MakeDisabledImage(pixmap.toImage())));
  return out;
}

}  // namespace mainframe
