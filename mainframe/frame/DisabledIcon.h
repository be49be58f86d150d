#pragma once
// The toolbar's disabled images: each pixel that is not black becomes the grey of
// its brightness, g = 0.299 red + 0.587 green + 0.114 blue cut to an integer;
// black stays black and every pixel keeps its alpha.

#include <QIcon>
#include <QImage>
#include <QSize>

namespace mainframe {

// The grey of one colour, computed exactly (in thousandths) and cut.
int DisabledGrey(int red, int green, int blue);
// A new image in ARGB32 (not premultiplied) with every pixel turned as above; a
// null image gives a null image.
QImage MakeDisabledImage(const QImage& image);
// The icon's pixmap at `size` turned as above; a null icon when the icon has no
// image at that size.
QIcon MakeDisabledIcon(const QIcon& icon, QSize size);

}  // namespace mainframe
