#include "controls/PaneContainerEx.h"

#include <QAbstractButton>
#include <QEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>

#include "controls/ControlId.h"
#include "controls/Edge.h"

namespace controls {

namespace {

constexpr QSize kCloseButtonSize(20, 18);
constexpr int kEtchedWidth = 2;
constexpr int kTitleMarginLeft = 4;
constexpr int kTitleMarginRight = 4;
constexpr int kTitleMarginRightWithClose = 27;

// The close button: a flat button that draws a cross.
class PaneCloseButton : public QAbstractButton {
 public:
  explicit PaneCloseButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::NoFocus);
    SetControlId(this, ID_PANE_CLOSE);
    resize(kCloseButtonSize);
  }
  QSize sizeHint() const override { return kCloseButtonSize; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QPalette& pal = palette();
    painter.fillRect(rect(), pal.color(QPalette::Button));
    // The cross lies in the image rectangle (6, 5)-(13, 12).
    const QRect image(QPoint(6, 5), QPoint(12, 11));
    if (!isEnabled()) {
      DrawCross(painter, image.translated(1, 1), pal.color(QPalette::Light));
      DrawCross(painter, image, pal.color(QPalette::Dark));
    } else {
      DrawCross(painter, isDown() ? image.translated(1, 1) : image, pal.color(QPalette::ButtonText));
    }
  }

 private:
  // Four diagonal strokes, each ending before its end point as lines are drawn
  // from point to point: two falling, two rising, side by side.
  static void DrawCross(QPainter& painter, const QRect& image, const QColor& colour) {
    const int left = image.left();
    const int top = image.top();
    const int right = image.right() + 1;
    const int bottom = image.bottom() + 1;
    const auto stroke = [&](int x0, int y0, int x1, int y1) {
      const int steps = std::abs(x1 - x0);
      const int sx = x1 > x0 ? 1 : -1;
      const int sy = y1 > y0 ? 1 : -1;
      for (int i = 0; i < steps; ++i) painter.fillRect(QRect(x0 + i * sx, y0 + i * sy, 1, 1), colour);
    };
    stroke(left, top, right, bottom);
    stroke(left + 1, top, right + 1, bottom);
    stroke(left, bottom - 1, right, top - 1);
    stroke(left + 1, bottom - 1, right + 1, top - 1);
  }
};

}  // namespace

int PaneHeaderSize(int fontPixelHeight, unsigned style) {
  if (style & kPaneNoHeader) return 0;
  if (style & kPaneVertical) return kPaneHeaderMinimum;
  return std::max(std::abs(fontPixelHeight) + 10, kPaneHeaderMinimum);
}

PaneContainerLayout PaneContainerLayoutFor(QSize size, unsigned style, int headerSize) {
  PaneContainerLayout layout;
  const int width = size.width();
  const int height = size.height();
  if ((style & kPaneNoHeader) || headerSize <= 0) {
    layout.client = QRect(0, 0, width, height);
    return layout;
  }
  const bool close = !(style & kPaneNoCloseButton);
  if (style & kPaneVertical) {
    layout.header = QRect(0, 0, headerSize, height);
    if (close) layout.closeButton = QRect(QPoint(2, 3), kCloseButtonSize);
    layout.client = QRect(headerSize, 0, width - headerSize, height);
    return layout;
  }
  layout.header = QRect(0, 0, width, headerSize);
  if (close) layout.closeButton = QRect(QPoint(width - 23, 3), kCloseButtonSize);
  layout.client = QRect(0, headerSize, width, height - headerSize);
  // Inside the etched edge on the left, top and right.
  const int titleLeft = kEtchedWidth + kTitleMarginLeft;
  const int titleRight = width - kEtchedWidth - (close ? kTitleMarginRightWithClose : kTitleMarginRight);
  layout.title = QRect(titleLeft, kEtchedWidth, std::max(0, titleRight - titleLeft), headerSize - kEtchedWidth);
  return layout;
}

CPaneContainerEx::CPaneContainerEx(QWidget* parent, unsigned extendedStyle) : QWidget(parent), style_(extendedStyle) {
  CalcSize();
  CreateOrRemoveCloseButton();
  UpdateLayout();
}

CPaneContainerEx::~CPaneContainerEx() = default;

void CPaneContainerEx::SetClient(QWidget* client) {
  client_ = client;
  setFocusProxy(client);
  if (client) {
    client->setParent(this);
    client->show();
  }
  UpdateLayout();
}

void CPaneContainerEx::SetTitle(const QString& title) {
  title_ = title.left(kPaneTitleMaxLength);
  update(Layout().header);
}

void CPaneContainerEx::SetExtendedStyle(unsigned style) {
  style_ = style;
  CalcSize();
  CreateOrRemoveCloseButton();
  UpdateLayout();
}

QAbstractButton* CPaneContainerEx::CloseButton() const { return closeButton_; }

PaneContainerLayout CPaneContainerEx::Layout() const { return PaneContainerLayoutFor(size(), style_, headerSize_); }

QString CPaneContainerEx::ElidedTitle() const {
  const QRect title = Layout().title;
  if (title.isEmpty()) return {};
  return QFontMetrics(font()).elidedText(title_, Qt::ElideRight, title.width());
}

void CPaneContainerEx::CalcSize() { headerSize_ = PaneHeaderSize(QFontInfo(font()).pixelSize(), style_); }

void CPaneContainerEx::CreateOrRemoveCloseButton() {
  // Without a header there is nothing to put a close button on.
  const bool wanted = !(style_ & (kPaneNoCloseButton | kPaneNoHeader));
  if (wanted && !closeButton_) {
    closeButton_ = new PaneCloseButton(this);
    connect(closeButton_, &QAbstractButton::clicked, this, [this] { emit closeRequested(this); });
    closeButton_->show();
  } else if (!wanted && closeButton_) {
    delete closeButton_;
    closeButton_ = nullptr;
  }
}

void CPaneContainerEx::UpdateLayout() {
  const PaneContainerLayout layout = Layout();
  if (closeButton_) closeButton_->setGeometry(layout.closeButton);
  if (client_) client_->setGeometry(layout.client);
  update(layout.header);
}

void CPaneContainerEx::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& pal = palette();
  const PaneContainerLayout layout = Layout();
  if (!layout.header.isEmpty()) {
    const bool vertical = style_ & kPaneVertical;
    const int sides = vertical ? (kEdgeLeft | kEdgeTop | kEdgeBottom) : (kEdgeLeft | kEdgeTop | kEdgeRight);
    const QRect inside = DrawEdge(painter, layout.header, EdgeKind::Etched, sides, pal);
    painter.fillRect(inside, pal.color(QPalette::Button));
    if (!vertical && !layout.title.isEmpty()) {
      painter.setPen(pal.color(QPalette::WindowText));
      painter.setFont(font());
      painter.drawText(layout.title, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, ElidedTitle());
    }
  }
  if (!client_) {
    // The empty pane.
    const QRect inside = DrawEdge(painter, layout.client, EdgeKind::Sunken, kEdgeRect, pal);
    painter.fillRect(inside, pal.color(QPalette::Mid));
  }
}

void CPaneContainerEx::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  UpdateLayout();
}

void CPaneContainerEx::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) {
    CalcSize();
    UpdateLayout();
    update();
  }
  QWidget::changeEvent(event);
}

}  // namespace controls
