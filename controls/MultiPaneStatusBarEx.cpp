#include "controls/MultiPaneStatusBarEx.h"

#include <QAbstractButton>
#include <QChildEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPointer>
#include <QSizeGrip>
#include <QStyle>

#include "controls/ControlId.h"
#include "controls/Edge.h"

namespace controls {

namespace {

constexpr int kPaneTop = 2;     // parts start below the bar's top border
constexpr int kPaneGap = 2;     // between two parts
constexpr int kTextPadding = 3;

}  // namespace

QList<int> StatusBarPaneLayout(const QList<int>& ids, const QList<int>& rights, int clientWidth, int gripWidth) {
  if (ids.isEmpty() || ids.size() != rights.size()) return rights;
  const int offset = clientWidth - rights.last() - gripWidth;
  const int variable = static_cast<int>(ids.indexOf(kVariablePaneId));
  if (variable < 0) return rights;
  const int leftNeighbour = variable == 0 ? 0 : rights[variable - 1];
  if (rights[variable] + offset <= leftNeighbour) return rights;
  QList<int> result = rights;
  for (int i = variable; i < result.size(); ++i) result[i] += offset;
  return result;
}

QList<int> StatusBarPaneWidth(const QList<int>& ids, const QList<int>& rights, int index, int width) {
  if (ids.size() != rights.size() || index < 0 || index >= rights.size()) return rights;
  const int current = rights[index] - (index == 0 ? 0 : rights[index - 1]);
  const int offset = width - current;
  int variable = static_cast<int>(ids.indexOf(kVariablePaneId));
  if (variable < 0) variable = static_cast<int>(ids.size());
  QList<int> result = rights;
  if (index < variable) {
    for (int i = index; i < variable; ++i) result[i] += offset;
  } else {
    for (int i = variable; i < index; ++i) result[i] -= offset;
  }
  return result;
}

CMultiPaneStatusBarEx::CMultiPaneStatusBarEx(QWidget* parent, bool sizeGrip) : QWidget(parent) {
  if (sizeGrip) sizeGrip_ = new QSizeGrip(this);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

CMultiPaneStatusBarEx::~CMultiPaneStatusBarEx() = default;

void CMultiPaneStatusBarEx::SetPanes(const QList<int>& ids, const QList<int>& widths) {
  ids_ = ids;
  rights_.clear();
  texts_ = QList<QString>(ids.size());
  int right = 0;
  for (int i = 0; i < ids.size(); ++i) {
    right += i < widths.size() ? std::max(0, widths[i]) : 0;
    rights_.append(right);
  }
  UpdatePanesLayout();
  update();
}

int CMultiPaneStatusBarEx::PaneIndex(int id) const { return static_cast<int>(ids_.indexOf(id)); }

bool CMultiPaneStatusBarEx::SetPaneWidth(int id, int width) {
  const int index = PaneIndex(id);
  if (index < 0) return false;
  rights_ = StatusBarPaneWidth(ids_, rights_, index, width);
  update();
  return true;
}

bool CMultiPaneStatusBarEx::SetPaneText(int id, const QString& text) {
  const int index = PaneIndex(id);
  if (index < 0) return false;
  texts_[index] = text;
  update(PaneRect(id));
  return true;
}

QString CMultiPaneStatusBarEx::PaneText(int id) const {
  const int index = PaneIndex(id);
  return index < 0 ? QString() : texts_[index];
}

QRect CMultiPaneStatusBarEx::PaneRect(int id) const {
  const int index = PaneIndex(id);
  if (index < 0) return {};
  const int left = index == 0 ? 0 : rights_[index - 1] + kPaneGap;
  const int right = rights_[index];
  return QRect(left, kPaneTop, std::max(0, right - left), std::max(0, height() - kPaneTop));
}

QSize CMultiPaneStatusBarEx::sizeHint() const {
  const int height = std::max(QFontMetrics(font()).height() + 2 * kTextPadding + kPaneTop, 22);
  return QSize(rights_.isEmpty() ? 200 : rights_.last(), height);
}

int CMultiPaneStatusBarEx::GripWidth() const {
  if (!sizeGrip_) return 0;
  return style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this) + 2;
}

void CMultiPaneStatusBarEx::UpdatePanesLayout() {
  // A minimised window keeps its parts.
  if (ids_.isEmpty() || (window() && window()->isMinimized())) return;
  rights_ = StatusBarPaneLayout(ids_, rights_, width(), GripWidth());
}

void CMultiPaneStatusBarEx::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (sizeGrip_) {
    const QSize grip = sizeGrip_->sizeHint();
    sizeGrip_->setGeometry(width() - grip.width(), height() - grip.height(), grip.width(), grip.height());
  }
  UpdatePanesLayout();
  update();
}

void CMultiPaneStatusBarEx::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& pal = palette();
  painter.fillRect(rect(), pal.color(QPalette::Window));
  painter.setPen(pal.color(QPalette::WindowText));
  for (int i = 0; i < ids_.size(); ++i) {
    const QRect pane = PaneRect(ids_[i]);
    if (pane.width() <= 0) continue;
    const QRect inside = DrawEdge(painter, pane, EdgeKind::SunkenOuter, kEdgeRect, pal);
    if (texts_[i].isEmpty()) continue;
    const QRect text = inside.adjusted(kTextPadding, 0, -kTextPadding, 0);
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     QFontMetrics(font()).elidedText(texts_[i], Qt::ElideRight, text.width()));
  }
}

bool CMultiPaneStatusBarEx::event(QEvent* event) {
  if (event->type() == QEvent::ChildAdded) {
    // The child is not yet fully made when it is added; look at it once it is.
    QPointer<QObject> child = static_cast<QChildEvent*>(event)->child();
    QMetaObject::invokeMethod(this, [this, child] { AttachButton(child); }, Qt::QueuedConnection);
  } else if (event->type() == QEvent::ChildPolished) {
    AttachButton(static_cast<QChildEvent*>(event)->child());
  }
  return QWidget::event(event);
}

void CMultiPaneStatusBarEx::AttachButton(QObject* child) {
  if (auto* button = qobject_cast<QAbstractButton*>(child)) {
    connect(button, &QAbstractButton::clicked, this, &CMultiPaneStatusBarEx::OnChildClicked, Qt::UniqueConnection);
  }
}

void CMultiPaneStatusBarEx::OnChildClicked() {
  auto* button = qobject_cast<QAbstractButton*>(sender());
  if (ControlId(button) != kStatusLogButtonCommand) return;
  // Posted, not sent: the owner sees the command after the click was handled.
  QMetaObject::invokeMethod(this, [this] { emit command(kStatusLogButtonCommand); }, Qt::QueuedConnection);
}

}  // namespace controls
