#include "mainframe/icons/FoundObjectIcons.h"

#include <QPainter>
#include <QPixmap>

#include <array>

#include "app/Formatting.h"
#include "app/Icons.h"
#include "mainframe/icons/FoundObjectImages.h"

namespace {

enum class Mark { None, Cross, RedDot, OrangeDot, BlueDot, BlueDotCross };

Mark MarkOf(int image) {
  switch (image) {
    case CFoundObjectImages::kDeletedFile:
    case CFoundObjectImages::kDeletedFolder:
    case CFoundObjectImages::kDeletedFolder + 1:
      return Mark::Cross;
    case CFoundObjectImages::kDeletedPathFolder:
    case CFoundObjectImages::kDeletedPathFolder + 1:
      return Mark::RedDot;
    case CFoundObjectImages::kLostFolder:
    case CFoundObjectImages::kLostFolder + 1:
      return Mark::OrangeDot;
    case CFoundObjectImages::kCarvedLiveFile:
    case CFoundObjectImages::kCarvedLogicalDrive:
      return Mark::BlueDot;
    case CFoundObjectImages::kCarvedDeletedFile:
      return Mark::BlueDotCross;
    default:
      return Mark::None;
  }
}

QPixmap Marked(const QIcon& base, int size, Mark mark) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  base.paint(&p, QRect(0, 0, size, size));
  const qreal s = size;
  const qreal d = s * 0.45;
  auto dot = [&](const QColor& color, const QPointF& centre) {
    p.setPen(QPen(Qt::white, s / 16.0));
    p.setBrush(color);
    p.drawEllipse(centre, d / 2, d / 2);
  };
  auto cross = [&]() {
    const QRectF box(s - d - 0.5, s - d - 0.5, d, d);
    p.setPen(QPen(Qt::white, s / 5.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(box.topLeft(), box.bottomRight());
    p.drawLine(box.topRight(), box.bottomLeft());
    p.setPen(QPen(QColor(200, 30, 30), s / 9.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(box.topLeft(), box.bottomRight());
    p.drawLine(box.topRight(), box.bottomLeft());
  };
  const QPointF lowerRight(s - d / 2 - 0.5, s - d / 2 - 0.5);
  const QPointF lowerLeft(d / 2 + 0.5, s - d / 2 - 0.5);
  switch (mark) {
    case Mark::Cross:
      cross();
      break;
    case Mark::RedDot:
      dot(QColor(200, 30, 30), lowerRight);
      break;
    case Mark::OrangeDot:
      dot(QColor(230, 140, 0), lowerRight);
      break;
    case Mark::BlueDot:
      dot(QColor(30, 90, 210), lowerLeft);
      break;
    case Mark::BlueDotCross:
      dot(QColor(30, 90, 210), lowerLeft);
      cross();
      break;
    case Mark::None:
      break;
  }
  return pixmap;
}

QIcon Make(int image) {
  QIcon base;
  if (image == CFoundObjectImages::kMyComputer || image == CFoundObjectImages::kRecycleBin) {
    SpecialFolderInfo info;
    if (GetSpecialFolderInfo(image == CFoundObjectImages::kMyComputer ? CSIDL_DRIVES : CSIDL_BITBUCKET, info) == 0)
      base = info.icon;
  }
  if (base.isNull()) base = app::IconById(CFoundObjectImages::IconId(image));
  const Mark mark = MarkOf(image);
  if (mark == Mark::None || base.isNull()) return base;
  QIcon icon;
  for (int size : {16, 24, 32}) icon.addPixmap(Marked(base, size, mark));
  return icon;
}

}  // namespace

QIcon CFoundObjectIcons::Icon(int image) {
  // Kept for the run (never destroyed after the application object).
  static auto* icons = new std::array<QIcon, CFoundObjectImages::kImageCount>();
  static std::array<bool, CFoundObjectImages::kImageCount> made{};
  if (image < 0 || image >= CFoundObjectImages::kImageCount) return {};
  if (!made[std::size_t(image)]) {
    (*icons)[std::size_t(image)] = Make(image);
    made[std::size_t(image)] = true;
  }
  return (*icons)[std::size_t(image)];
}
