#include "controls/RangeCtrl.h"

#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>

#include <algorithm>

#include "controls/ControlId.h"

namespace {

constexpr int kLeftLimit = 0;
constexpr int kRightLimit = CRangeCtrl::kWidth;
constexpr int kBandMin = CRangeCtrl::kThumbWidth;
constexpr int kBandMax = CRangeCtrl::kWidth - CRangeCtrl::kThumbWidth;
constexpr int kPixelsPerPercent = (kBandMax - kBandMin) / 100;

bool StrictlyInside(const QRect& r, const QPoint& p) {
  return r.left() < p.x() && p.x() < r.left() + r.width() && r.top() < p.y() && p.y() < r.top() + r.height();
}

}  // namespace

CRangeCtrl::CRangeCtrl(QWidget* parent) : QWidget(parent) {
  setFixedWidth(kWidth);
  resize(sizeHint());
  Init();
}

QSize CRangeCtrl::sizeHint() const { return {kWidth, 20}; }

bool CRangeCtrl::SubclassWindow(QWidget* standIn) {
  if (!standIn) return false;
  QWidget* parent = standIn->parentWidget();
  setParent(parent);
  setGeometry(standIn->x(), standIn->y(), kWidth, standIn->height());
  setMinimumHeight(standIn->height());
  if (parent && parent->layout()) delete parent->layout()->replaceWidget(standIn, this);
  // The control takes over the stand-in's number, so that forms and language
  // tables find it by the same id.
  if (controls::ControlId(standIn) >= 0) {
    controls::SetControlId(this, controls::ControlId(standIn));
    standIn->setProperty(controls::kControlIdProperty, QVariant());
  }
  setVisible(!standIn->isHidden());
  standIn->hide();
  Init();
  return true;
}

void CRangeCtrl::Init() {
  m_startRight = kBandMin;
  m_endLeft = kBandMax;
  m_startPercent = 0;
  m_endPercent = 100;
  m_held = Thumb::None;
  update();
}

QRect CRangeCtrl::TrackRect() const { return QRect(0, 6, kWidth, std::max(0, height() - 12)); }

QRect CRangeCtrl::BandRect() const {
  return QRect(m_startRight, 7, m_endLeft - m_startRight, std::max(0, height() - 14));
}

QRect CRangeCtrl::StartThumbRect() const { return QRect(m_startRight - kThumbWidth, 0, kThumbWidth, height()); }

QRect CRangeCtrl::EndThumbRect() const { return QRect(m_endLeft, 0, kThumbWidth, height()); }

void CRangeCtrl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QColor frame = palette().color(QPalette::WindowText);
  // The track: a black bar with its border; the band: white between the thumbs.
  painter.fillRect(TrackRect(), frame);
  painter.fillRect(BandRect(), palette().color(QPalette::Base));
  auto thumb = [&](const QRect& rect, bool held) {
    QStyleOptionButton option;
    option.initFrom(this);
    option.rect = rect;
    option.state |= held ? QStyle::State_Sunken : QStyle::State_Raised;
    style()->drawControl(QStyle::CE_PushButton, &option, &painter, this);
  };
  thumb(StartThumbRect(), m_held == Thumb::Start);
  thumb(EndThumbRect(), m_held == Thumb::End);
}

void CRangeCtrl::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint pos = event->position().toPoint();
  if (StrictlyInside(StartThumbRect(), pos)) {
    m_held = Thumb::Start;
    m_grab = pos.x() - StartThumbRect().left();
  } else if (StrictlyInside(EndThumbRect(), pos)) {
    m_held = Thumb::End;
    m_grab = pos.x() - EndThumbRect().left();
  }
  update();
}

void CRangeCtrl::mouseMoveEvent(QMouseEvent* event) {
  if (m_held == Thumb::None) return;
  // The thumb follows the cursor, stopped at the track's ends and at the other thumb.
  const int left = static_cast<int>(event->position().x()) - m_grab;
  if (m_held == Thumb::Start) {
    m_startRight = std::clamp(left, kLeftLimit, m_endLeft - kThumbWidth) + kThumbWidth;
  } else {
    m_endLeft = std::clamp(left, m_startRight, kRightLimit - kThumbWidth);
  }
  m_startPercent = (m_startRight - kBandMin) / kPixelsPerPercent;
  m_endPercent = 100 - (kBandMax - m_endLeft) / kPixelsPerPercent;
  update();
  const int start = m_startPercent;
  const int end = m_endPercent;
  QMetaObject::invokeMethod(this, [this, start, end] { emit rangeChanged(start, end); }, Qt::QueuedConnection);
}

void CRangeCtrl::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  m_held = Thumb::None;
  update();
}
