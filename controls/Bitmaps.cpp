#include "controls/Bitmaps.h"

#include <QString>

// The resource file is compiled into this static library; the reference below
// keeps the linker from dropping it.
static void InitImageResources() { Q_INIT_RESOURCE(images); }

namespace controls {

namespace {

struct BitmapEntry {
  int id;
  const char* path;
};

constexpr BitmapEntry kBitmaps[] = {
    {kBitmapSignatureWizardHeader, ":/images/wizard_header_317.svg"},
    {kBitmapWizardModeHeader, ":/images/wizard_header_325.svg"},
    {kBitmapSplash, ":/images/splash.svg"},
    {kBitmapRecoverHeader, ":/images/recover_header_276.svg"},
};

}  // namespace

QPixmap Bitmap(int id) {
  static const bool initialised = (InitImageResources(), true);
  (void)initialised;
  for (const BitmapEntry& entry : kBitmaps) {
    if (entry.id == id) return QPixmap(QString::fromLatin1(entry.path));
  }
  return {};
}

}  // namespace controls
