#include "controls/ButtonEx.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include "controls/Edge.h"

namespace controls {

namespace {

constexpr unsigned kEdgeBits = kBsxSingleEdge | kBsxDoubleEdge;
constexpr int kEdgeWidth = 2;  // one edge's width, as the system measures it
constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic | Qt::TextSingleLine;

}  // namespace

QSize ButtonExContentSize(const ButtonExState& state) {
  const QSize image = state.hasImage ? state.imageSize : QSize(0, 0);
  const QSize text = state.hasText ? state.textSize : QSize(0, 0);
  if (state.hasImage && state.hasText) {
    if (state.style & (kBsxImageLeft | kBsxImageRight)) {
      return QSize(text.width() + image.width(), std::max(text.height(), image.height()));
    }
    if (state.style & (kBsxImageTop | kBsxImageBottom)) {
      return QSize(std::max(text.width(), image.width()), text.height() + image.height());
    }
    return QSize(0, 0);
  }
  if (state.hasImage) return image;
  if (state.hasText) return text;
  return QSize(0, 0);
}

QPoint ButtonExOrigin(unsigned style, QSize client, QSize content) {
  // Halves round toward zero, as integer division does.
  const int x = (style & kBsxCenterH) ? (client.width() - content.width()) / 2 : 0;
  const int y = (style & kBsxCenterV) ? (client.height() - content.height()) / 2 : 0;
  return QPoint(x, y);
}

int ButtonExImageChoice(const ButtonExState& state) {
  if (!state.hasImage) return -1;
  const bool hover = state.style & kBsxHover;
  const ButtonExImages& images = state.images;
  int choice = -1;
  if (state.pressed || (state.checked && state.enabled)) {
    choice = images.pushed != -1 ? images.pushed : images.focusOrHover;
  } else if ((!hover && state.focused) || (hover && state.mouseOver)) {
    choice = images.focusOrHover;
  } else if (!state.enabled) {
    choice = (state.checked && images.pushed != -1) ? images.pushed : images.disabled;
  }
  return choice == -1 ? images.normal : choice;
}

int ButtonExImageShift(const ButtonExState& state) {
  return (state.pressed || state.checked) && (state.style & kEdgeBits) && state.images.pushed == -1 ? 1 : 0;
}

ButtonExLayout ButtonExLayoutFor(const ButtonExState& state) {
  ButtonExLayout layout;
  const unsigned style = state.style;
  const QSize image = state.hasImage ? state.imageSize : QSize(0, 0);
  const QSize text = state.hasText ? state.textSize : QSize(0, 0);
  layout.content = ButtonExContentSize(state);
  layout.origin = ButtonExOrigin(style, state.client, layout.content);
  const int x0 = layout.origin.x();
  const int y0 = layout.origin.y();
  const QSize content = layout.content;

  if (state.hasImage) {
    layout.image = ButtonExImageChoice(state);
    layout.imageShift = ButtonExImageShift(state);
    layout.imageEmbossed = !state.enabled && state.images.disabled == -1;
    if (style & kBsxImageLeft) {
      layout.imagePos = QPoint(x0, y0);
    } else if (style & kBsxImageRight) {
      layout.imagePos = QPoint(x0 + text.width(), y0);
    } else if (style & kBsxImageTop) {
      layout.imagePos = QPoint(x0 + (content.width() - image.width()) / 2, y0);
    } else if (style & kBsxImageBottom) {
      layout.imagePos = QPoint(x0 + (content.width() - image.width()) / 2, y0 + text.height());
    } else {
      layout.imagePos = QPoint(x0, y0);
    }
  }

  if (state.hasText) {
    layout.textShift = state.pressed || state.checked ? 1 : 0;
    if (style & kBsxImageLeft) {
      layout.textPos = QPoint(x0 + image.width(), y0 + (content.height() - text.height()) / 2);
    } else if ((style & kBsxImageRight) && state.hasImage) {
      layout.textPos = QPoint(x0, y0 + (content.height() - text.height()) / 2);
    } else if (style & kBsxImageTop) {
      layout.textPos = QPoint(x0 + (content.width() - text.width()) / 2, y0 + image.height());
    } else if (style & kBsxImageBottom) {
      layout.textPos = QPoint(x0 + (content.width() - text.width()) / 2, y0);
    } else {
      layout.textPos = QPoint(x0, y0);
    }
  }
  return layout;
}

CButtonEx::CButtonEx(unsigned extendedStyle, QWidget* parent) : QAbstractButton(parent), style_(extendedStyle) {
  setAttribute(Qt::WA_Hover);
  setFocusPolicy(Qt::StrongFocus);
}

CButtonEx::CButtonEx(const QString& text, unsigned extendedStyle, QWidget* parent) : CButtonEx(extendedStyle, parent) {
  setText(text);
}

CButtonEx::~CButtonEx() = default;

void CButtonEx::SetExtendedStyle(unsigned style) {
  style_ = style;
  updateGeometry();
  update();
}

void CButtonEx::SetImageList(const QList<QPixmap>& images) {
  imageList_ = images;
  updateGeometry();
  update();
}

void CButtonEx::SetImages(int normal, int pushed, int focusOrHover, int disabled) {
  images_ = {normal, pushed, focusOrHover, disabled};
  updateGeometry();
  update();
}

void CButtonEx::SetTextFont(const QFont& font) {
  textFont_ = font;
  updateGeometry();
  update();
}

void CButtonEx::SetTextColor(const QColor& colour) {
  textColour_ = colour;
  update();
}

ButtonExState CButtonEx::PaintState() const {
  ButtonExState state;
  state.style = style_;
  state.client = size();
  state.hasImage = !imageList_.isEmpty() && images_.normal != -1;
  if (state.hasImage) state.imageSize = imageList_.front().deviceIndependentSize().toSize();
  state.hasText = !text().isEmpty() && !(style_ & kBsxNoText);
  if (state.hasText && textFont_) {
    state.textSize = QFontMetrics(*textFont_).size(kTextFlags, text());
  }
  state.images = images_;
  state.pressed = isDown();
  state.checked = IsChecked();
  state.enabled = isEnabled();
  state.focused = hasFocus();
  state.mouseOver = mouseOver_;
  return state;
}

QSize CButtonEx::sizeHint() const {
  ButtonExState state = PaintState();
  if (state.hasText && !textFont_) state.textSize = QFontMetrics(font()).size(kTextFlags, text());
  const QSize content = ButtonExContentSize(state);
  return content + QSize(4 * kEdgeWidth + 8, 4 * kEdgeWidth + 4);
}

void CButtonEx::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  DoPaint(painter);
}

void CButtonEx::DoPaint(QPainter& painter) {
  const QPalette& pal = palette();
  const QRect client = rect();
  // The background: the highlight colour while a toggle button is checked.
  painter.fillRect(client, IsChecked() ? pal.color(QPalette::Light) : pal.color(QPalette::Button));

  const ButtonExState state = PaintState();
  const ButtonExLayout layout = ButtonExLayoutFor(state);

  if (state.hasImage && layout.image >= 0 && layout.image < imageList_.size()) {
    QPixmap image = imageList_.at(layout.image);
    if (layout.imageEmbossed) {
      QStyleOption option;
      option.initFrom(this);
      image = style()->generatedIconPixmap(QIcon::Disabled, image, &option);
    }
    const int shift = layout.imageShift;
    painter.drawPixmap(QRect(layout.imagePos + QPoint(shift, shift), state.imageSize), image);
  }

  if (state.hasText) {
    painter.setFont(textFont_ ? *textFont_ : font());
    // Without a text font the text keeps its own measure at its position.
    const QSize textSize = textFont_ ? state.textSize : QFontMetrics(font()).size(kTextFlags, text());
    const QRect textRect(layout.textPos + QPoint(layout.textShift, layout.textShift), textSize);
    if (state.enabled) {
      painter.setPen(textColour_);
      painter.drawText(textRect, kTextFlags, text());
    } else {
      // Embossed, as disabled text is drawn.
      painter.setPen(pal.color(QPalette::Light));
      painter.drawText(textRect.translated(1, 1), kTextFlags, text());
      painter.setPen(pal.color(QPalette::Dark));
      painter.drawText(textRect, kTextFlags, text());
    }
  }

  if (style_ & kEdgeBits) {
    const bool hover = style_ & kBsxHover;
    if (state.pressed || state.checked) {
      DrawEdge(painter, client, (style_ & kBsxSingleEdge) ? EdgeKind::SunkenOuter : EdgeKind::Sunken, kEdgeRect, pal);
    } else if (!hover || mouseOver_) {
      DrawEdge(painter, client, (style_ & kBsxSingleEdge) ? EdgeKind::RaisedInner : EdgeKind::Raised, kEdgeRect, pal);
    }
    if (!hover && state.focused) {
      QStyleOptionFocusRect option;
      option.initFrom(this);
      option.rect = client.adjusted(2 * kEdgeWidth, 2 * kEdgeWidth, -2 * kEdgeWidth, -2 * kEdgeWidth);
      option.backgroundColor = pal.color(QPalette::Button);
      style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
  }
}

void CButtonEx::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) clickPending_ = true;
  QAbstractButton::mousePressEvent(event);
}

void CButtonEx::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second press of a double click is a press like the first.
  if (event->button() == Qt::LeftButton) clickPending_ = true;
  QAbstractButton::mouseDoubleClickEvent(event);
}

void CButtonEx::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    // The state flips only when the click is delivered: pressed on the button
    // and released over it.
    const bool delivered = clickPending_ && isDown() && hitButton(event->position().toPoint());
    clickPending_ = false;
    if (delivered) checked_ = !checked_;
  }
  QAbstractButton::mouseReleaseEvent(event);
}

void CButtonEx::enterEvent(QEnterEvent* event) {
  mouseOver_ = true;
  update();
  QAbstractButton::enterEvent(event);
}

void CButtonEx::leaveEvent(QEvent* event) {
  mouseOver_ = false;
  update();
  QAbstractButton::leaveEvent(event);
}

}  // namespace controls
