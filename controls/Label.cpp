#include "controls/Label.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>

#include "controls/ControlId.h"
#include "controls/Edge.h"

namespace controls {

namespace {

constexpr int kFlashIntervalMs = 500;

CLabel::LinkOpener& Opener() {
  static CLabel::LinkOpener opener = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  return opener;
}

// Only web and mail addresses are ever opened from a label.
bool IsOpenableAddress(const QUrl& url) {
  if (!url.isValid()) return false;
  const QString scheme = url.scheme().toLower();
  if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) return !url.host().isEmpty();
  if (scheme == QLatin1String("mailto")) return !url.path().isEmpty();
  return false;
}

}  // namespace

std::vector<GradientBand> LabelGradientBands(const QRect& rect, const QColor& first, const QColor& second,
                                             int maxBands) {
  std::vector<GradientBand> bands;
  const int width = rect.width();
  const int n = std::min(maxBands, width);
  if (n <= 0) return bands;
  const int divisor = n < 2 ? 1 : n;
  int red = first.red() * 256;
  int green = first.green() * 256;
  int blue = first.blue() * 256;
  const int redStep = ((second.red() - first.red()) * 256) / divisor;
  const int greenStep = ((second.green() - first.green()) * 256) / divisor;
  const int blueStep = ((second.blue() - first.blue()) * 256) / divisor;
  const int bandWidth = width / divisor;
  const int rightEdge = rect.x() + width;  // exclusive
  int left = rect.x();
  bands.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    const int right = i == n - 1 ? rightEdge : left + bandWidth;
    bands.push_back({QRect(left, rect.y(), right - left, rect.height()), QColor(red / 256, green / 256, blue / 256)});
    left = right;
    red += redStep;
    green += greenStep;
    blue += blueStep;
  }
  return bands;
}

int LabelTextFlags(unsigned style, const QString& text) {
  if (style & kSsCenterImage) {
    int flags = Qt::AlignHCenter;
    // A text of one line is centred vertically too.
    if (!text.contains(QLatin1Char('\n'))) flags |= Qt::AlignVCenter | Qt::TextSingleLine;
    else flags |= Qt::AlignTop;
    return flags;
  }
  switch (style & 0x1F) {
    case kSsCenter:
      return Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
    case kSsRight:
      return Qt::AlignRight | Qt::AlignTop | Qt::TextWordWrap;
    case kSsLeftNoWordWrap:
      return Qt::AlignLeft | Qt::AlignTop;
    default:
      return Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
  }
}

bool LabelStyleIsPicture(unsigned style) {
  const unsigned kind = style & 0xFF;
  return (kind >= 3 && kind <= 9) || (kind >= 13 && kind <= 15);
}

void CLabel::SetLinkOpener(LinkOpener opener) { Opener() = std::move(opener); }

CLabel::CLabel(QWidget* parent, unsigned style) : QFrame(parent), style_(style | kSsNotify) {
  textColour_ = palette().color(QPalette::WindowText);
  faceColour_ = palette().color(QPalette::Button);
  customPainting_ = !LabelStyleIsPicture(style_);
  if (customPainting_) {
    // The label takes the font of the form it sits on as its own.
    fontDescription_ = parent ? parent->font() : font();
    ReconstructFont();
  }
}

CLabel::CLabel(const QString& text, QWidget* parent, unsigned style) : CLabel(parent, style) { text_ = text; }

CLabel::~CLabel() = default;

CLabel& CLabel::SetBkColor(const QColor& first, const QColor& second, bool gradient) {
  firstBackground_ = first;
  secondBackground_ = second;
  gradient_ = gradient;
  background_.reset();
  if (!gradient) background_ = first;
  Redraw();
  return *this;
}

CLabel& CLabel::SetTextColor(const QColor& colour) {
  textColour_ = colour;
  Redraw();
  return *this;
}

CLabel& CLabel::SetText(const QString& text) {
  text_ = text;
  updateGeometry();
  Redraw();
  return *this;
}

CLabel& CLabel::SetFontBold(bool on) {
  fontDescription_.setWeight(on ? QFont::Bold : QFont::Normal);
  ReconstructFont();
  Redraw();
  return *this;
}

CLabel& CLabel::SetFontName(const QString& face, int /*charSet*/) {
  fontDescription_.setFamily(face);
  ReconstructFont();
  Redraw();
  return *this;
}

CLabel& CLabel::SetFontUnderline(bool on) {
  fontDescription_.setUnderline(on);
  ReconstructFont();
  Redraw();
  return *this;
}

CLabel& CLabel::SetFontItalic(bool on) {
  fontDescription_.setItalic(on);
  ReconstructFont();
  Redraw();
  return *this;
}

CLabel& CLabel::SetFontSize(int points) {
  if (points > 0) fontDescription_.setPointSize(points);
  ReconstructFont();
  Redraw();
  return *this;
}

CLabel& CLabel::SetSunken(bool on) {
  sunken_ = on;
  UpdateFrameMargins();
  return *this;
}

CLabel& CLabel::SetBorder(bool on) {
  border_ = on;
  UpdateFrameMargins();
  return *this;
}

CLabel& CLabel::SetTransparent(bool on) {
  transparent_ = on;
  Redraw();
  return *this;
}

CLabel& CLabel::FlashText(bool on) {
  RestartFlash(on ? 1 : 0);
  Redraw();
  return *this;
}

CLabel& CLabel::FlashBackground(bool on) {
  // Switched off, background flashing keeps its mode; only the timer stops.
  RestartFlash(on ? 2 : -1);
  return *this;
}

void CLabel::RestartFlash(int mode) {
  if (flashTimer_) {
    killTimer(flashTimer_);
    flashTimer_ = 0;
  }
  if (mode > 0) {
    flashPhase_ = false;
    flashTimer_ = startTimer(kFlashIntervalMs);
  }
  if (mode >= 0) flashMode_ = mode;
}

CLabel& CLabel::SetLinkUrl(const QString& target) {
  linkUrl_ = target;
  return *this;
}

CLabel& CLabel::SetLink(bool link, bool notifyMode) {
  notifyMode_ = notifyMode;
  linkOn_ = link;
  if (link) style_ |= kSsNotify;
  else style_ &= ~kSsNotify;
  return *this;
}

CLabel& CLabel::SetLinkCursor() {
  setCursor(Qt::PointingHandCursor);
  return *this;
}

CLabel& CLabel::SetText3D(bool on, bool downRight) {
  text3D_ = on;
  text3DDownRight_ = downRight;
  Redraw();
  return *this;
}

CLabel& CLabel::SetRotationAngle(int degrees, bool rotatedMode) {
  rotation_ = degrees;
  rotatedMode_ = rotatedMode;
  ReconstructFont();
  Redraw();
  return *this;
}

CLabel& CLabel::Set3DHighlightColor(const QColor& colour) {
  highlightColour_ = colour;
  Redraw();
  return *this;
}

void CLabel::Redraw() {
  // A transparent label shows its parent's background: Qt repaints the parent
  // below a widget that does not fill its own background.
  update();
}

void CLabel::ReconstructFont() {
  setFont(fontDescription_);
  ownFont_ = true;
  updateGeometry();
}

QColor CLabel::PaintTextColor() const {
  if (flashMode_ == 1 && !flashPhase_) return background_ ? *background_ : QColor(Qt::black);
  return textColour_;
}

QUrl CLabel::ClickTarget() const {
  if (!(style_ & kSsNotify) || notifyMode_ || !linkOn_) return {};
  const QString target = (linkUrl_.isEmpty() ? text_ : linkUrl_).trimmed();
  if (target.isEmpty()) return {};
  const QUrl url(target, QUrl::StrictMode);
  return IsOpenableAddress(url) ? url : QUrl();
}

QSize CLabel::sizeHint() const {
  const QFontMetrics metrics(font());
  const int flags = LabelTextFlags(style_, text_) & ~Qt::TextWordWrap;
  const QSize text = metrics.size(flags, text_.isEmpty() ? QStringLiteral(" ") : text_);
  const QMargins margins = contentsMargins();
  return text + QSize(margins.left() + margins.right() + 2, margins.top() + margins.bottom() + 2);
}

void CLabel::UpdateFrameMargins() {
  const int margin = (border_ ? 1 : 0) + (sunken_ ? 1 : 0);
  setContentsMargins(margin, margin, margin, margin);
  update();
}

void CLabel::paintEvent(QPaintEvent* event) {
  if (!customPainting_) {
    QFrame::paintEvent(event);
    return;
  }
  QPainter painter(this);
  const QRect client = contentsRect();

  if (!transparent_) {
    if (gradient_) {
      for (const GradientBand& band : LabelGradientBands(client, firstBackground_, secondBackground_)) {
        painter.fillRect(band.rect, band.colour);
      }
    } else {
      painter.fillRect(client, background_ ? *background_ : faceColour_);
    }
  }

  painter.setPen(PaintTextColor());
  const int flags = LabelTextFlags(style_, text_);
  if (rotatedMode_) {
    // The text starts at the centre on its baseline, turned by the angle.
    painter.save();
    painter.translate(client.x() + client.width() / 2, client.y() + client.height() / 2);
    painter.rotate(-rotation_);
    painter.drawText(QPoint(0, 0), text_);
    painter.restore();
  } else {
    const auto drawAt = [&](const QRect& rect) {
      if (rotation_ == 0) {
        painter.drawText(rect, flags, text_);
        return;
      }
      painter.save();
      painter.translate(rect.topLeft());
      painter.rotate(-rotation_);
      painter.drawText(QRect(QPoint(0, 0), rect.size()), flags, text_);
      painter.restore();
    };
    drawAt(client);
    if (text3D_) {
      painter.setPen(highlightColour_);
      drawAt(client.translated(text3DDownRight_ ? QPoint(1, 1) : QPoint(-1, -1)));
    }
  }

  // The frame lies outside the client area: the border outermost, the static
  // edge inside it.
  QRect frame = rect();
  if (border_) {
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawRect(frame.adjusted(0, 0, -1, -1));
    frame.adjust(1, 1, -1, -1);
  }
  if (sunken_) DrawEdge(painter, frame, EdgeKind::SunkenOuter, kEdgeRect, palette());
}

void CLabel::timerEvent(QTimerEvent* event) {
  if (event->timerId() != flashTimer_ || flashTimer_ == 0) {
    QFrame::timerEvent(event);
    return;
  }
  flashPhase_ = !flashPhase_;
  Redraw();
}

void CLabel::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange) {
    faceColour_ = palette().color(QPalette::Button);
    Redraw();
  }
  QFrame::changeEvent(event);
}

void CLabel::mousePressEvent(QMouseEvent* event) {
  // Without the notify style the click belongs to the form below.
  if (event->button() != Qt::LeftButton || !(style_ & kSsNotify)) {
    event->ignore();
    return;
  }
  event->accept();
  if (notifyMode_) {
    emit clicked(ControlId(this));
    return;
  }
  const QUrl target = ClickTarget();
  if (!target.isEmpty() && Opener()) Opener()(target);
}

}  // namespace controls
