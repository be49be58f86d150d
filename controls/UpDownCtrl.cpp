#include "controls/UpDownCtrl.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace controls {

CUpDownCtrl::CUpDownCtrl(QWidget* parent) : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (QToolButton* b : {up_, down_}) {
    b->setAutoRepeat(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    layout->addWidget(b);
  }
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  connect(up_, &QToolButton::clicked, this, [this] { Step(1); });
  connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

CUpDownCtrl::~CUpDownCtrl() {
  if (buddy_) buddy_->removeEventFilter(this);
}

void CUpDownCtrl::SetBuddy(QLineEdit* buddy) {
  if (buddy_) buddy_->removeEventFilter(this);
  buddy_ = buddy;
  buddyObject_ = buddy;
  if (buddy_) {
    buddy_->installEventFilter(this);
    setEnabled(buddy_->isEnabled());
    // As tall as the edit, the two arrows sharing its height.
    const QSize size = sizeHint();
    up_->setFixedSize(size.width(), size.height() / 2);
    down_->setFixedSize(size.width(), size.height() - size.height() / 2);
    setFixedSize(size);
  }
  updateGeometry();
}

void CUpDownCtrl::SetRange32(std::int32_t low, std::int32_t high) {
  low_ = low;
  high_ = high;
}

void CUpDownCtrl::Step(int steps) {
  if (!buddy_ || !isEnabled()) return;
  const std::int64_t lo = std::min(low_, high_);
  const std::int64_t hi = std::max(low_, high_);
  const int direction = high_ >= low_ ? 1 : -1;
  bool ok = false;
  const qlonglong current = buddy_->text().trimmed().toLongLong(&ok);
  std::int64_t value;
  if (!ok) {
    value = steps * direction > 0 ? lo : hi;
  } else {
    value = std::clamp<std::int64_t>(static_cast<std::int64_t>(current) + std::int64_t(steps) * direction, lo, hi);
  }
  buddy_->setText(QString::number(value));
  buddy_->selectAll();
}

QSize CUpDownCtrl::sizeHint() const {
  const int h = buddy_ ? buddy_->sizeHint().height() : 22;
  return {std::max(14, h * 2 / 3), h};
}

bool CUpDownCtrl::eventFilter(QObject* watched, QEvent* event) {
  if (watched != buddyObject_) return QWidget::eventFilter(watched, event);
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
      Step(key->key() == Qt::Key_Up ? 1 : -1);
      return true;
    }
  } else if (event->type() == QEvent::EnabledChange) {
    setEnabled(static_cast<QWidget*>(watched)->isEnabled());
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace controls
