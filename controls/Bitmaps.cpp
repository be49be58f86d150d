#include "controls/Bitmaps.h"

#include <QImage>
#include <QImageReader>
#include <QString>

// The resources live in a static library: referencing their initialiser keeps the
// linker from dropping them.
static void InitImageResources() { Q_INIT_RESOURCE(images); }

namespace controls {

namespace {

struct BitmapEntry {
  int id;
  const char* path;  // inside the resources
};

constexpr BitmapEntry kBitmaps[] = {
    {kBitmapSplash, ":/images/splash.svg"},
};

}  // namespace

QPixmap Bitmap(int id) {
  static const bool initialised = (InitImageResources(), true);
  (void)initialised;
  for (const BitmapEntry& entry : kBitmaps) {
    if (entry.id != id) continue;
    QImageReader reader(QString::fromLatin1(entry.path));
    const QImage image = reader.read();
    return image.isNull() ? QPixmap() : QPixmap::fromImage(image);
  }
  return {};
}

}  // namespace controls
