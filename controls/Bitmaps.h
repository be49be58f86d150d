#pragma once
// The program's own pictures by bitmap id (resources/images.qrc, compiled into
// the controls library). Callers ask by the id the dialogs and windows name.

#include <QPixmap>

namespace controls {

inline constexpr int kBitmapSplash = 266;  // start-up picture, 320 x 390

// The picture of bitmap `id` at its natural size, or a null pixmap when there is none.
QPixmap Bitmap(int id);

}  // namespace controls
