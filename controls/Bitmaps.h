#pragma once
// The program's own bitmaps by resource id: pictures drawn for this project,
// kept in resources/images/ and compiled into the controls library.

#include <QPixmap>

namespace controls {

// Bitmap ids.
inline constexpr int kBitmapSignatureWizardHeader = 317;  // New Signature Wizard header
inline constexpr int kBitmapWizardModeHeader = 325;       // step-by-step wizard header
inline constexpr int kBitmapSplash = 266;                 // start-up picture, 320 x 390
inline constexpr int kBitmapRecoverHeader = 276;          // recovery options header band, 480 x 60

// The bitmap with that id at its own size, or a null pixmap when there is none.
// GUI thread only.
QPixmap Bitmap(int id);

}  // namespace controls
