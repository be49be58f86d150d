#pragma once
// CLabel: the program's static-text control. Forms put one where they show a
// title or an information field, and it paints itself: solid or left-to-right
// gradient background, text colour and font, flashing text, a link, a hand
// cursor, rotated text, a 3-D text effect and transparency.
//
// Every setter returns the label, so that calls chain:
//   label->SetFontBold(true).SetFontSize(16).SetTransparent(true);
//
// A click reaches the label while its style holds kSsNotify (set at
// construction, cleared by SetLink with link off). In notify mode the click
// emits clicked() with the label's control id (the LCN_CLICKED notification).
// Otherwise the label opens something only after SetLink with link on: its link
// target, or its own text when it has none, and only an "http:", "https:" or
// "mailto:" address, through the one link opener (SetLinkOpener). Labels show
// names read from disk: such text is never opened.
//
// Owned by its form; GUI thread only.

#include <QColor>
#include <QFrame>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>
#include <vector>

namespace controls {

// The notification code of a click in notify mode.
inline constexpr int LCN_CLICKED = 0x8200;

// Static styles the label reads: the alignment in the low five bits, and flags.
inline constexpr unsigned kSsLeft = 0x0;
inline constexpr unsigned kSsCenter = 0x1;
inline constexpr unsigned kSsRight = 0x2;
inline constexpr unsigned kSsLeftNoWordWrap = 0xC;
inline constexpr unsigned kSsNotify = 0x100;
inline constexpr unsigned kSsCenterImage = 0x200;

// One band of a gradient fill: its rectangle and its colour.
struct GradientBand {
  QRect rect;
  QColor colour;
  bool operator==(const GradientBand&) const = default;
};

// The bands that fill `rect` from `first` (left) to `second` (right): at most
// `maxBands` (the width when that is smaller, none for a width of 0) of equal
// integer width, the last one reaching the right edge; each channel steps in
// 8.8 fixed point by (second - first) * 256 / bands.
std::vector<GradientBand> LabelGradientBands(const QRect& rect, const QColor& first, const QColor& second,
                                             int maxBands = 100);

// The text layout flags (Qt::AlignmentFlag | Qt::TextFlag) for a static style
// and the text it shows.
int LabelTextFlags(unsigned style, const QString& text);

// Whether a style leaves the painting to the default (icon, rectangle, frame,
// owner-drawn, bitmap and metafile statics).
bool LabelStyleIsPicture(unsigned style);

class CLabel : public QFrame {
  Q_OBJECT

 public:
  // The opener for link targets; the application sets it, tests set their own.
  using LinkOpener = std::function<void(const QUrl&)>;
  static void SetLinkOpener(LinkOpener opener);

  // `style` is the static's style (alignment bits and flags); kSsNotify is
  // added, as for every static the label takes over.
  explicit CLabel(QWidget* parent = nullptr, unsigned style = kSsLeft);
  CLabel(const QString& text, QWidget* parent, unsigned style = kSsLeft);
  ~CLabel() override;

  CLabel& SetBkColor(const QColor& first, const QColor& second = QColor(), bool gradient = false);
  CLabel& SetTextColor(const QColor& colour);
  CLabel& SetText(const QString& text);
  CLabel& SetFontBold(bool on);
  CLabel& SetFontName(const QString& face, int charSet = 0);
  CLabel& SetFontUnderline(bool on);
  CLabel& SetFontItalic(bool on);
  CLabel& SetFontSize(int points);
  CLabel& SetSunken(bool on);
  CLabel& SetBorder(bool on);
  CLabel& SetTransparent(bool on);
  CLabel& FlashText(bool on);
  CLabel& FlashBackground(bool on);
  CLabel& SetLinkUrl(const QString& target);
  CLabel& SetLink(bool link, bool notifyMode);
  CLabel& SetLinkCursor();
  CLabel& SetText3D(bool on, bool downRight = false);
  CLabel& SetRotationAngle(int degrees, bool rotatedMode);
  CLabel& Set3DHighlightColor(const QColor& colour);

  void Redraw();
  void ReconstructFont();

  QString Text() const { return text_; }
  unsigned Style() const { return style_; }
  bool CustomPainting() const { return customPainting_; }
  bool Transparent() const { return transparent_; }
  int FlashMode() const { return flashMode_; }
  bool FlashPhase() const { return flashPhase_; }
  // The id of the running flash timer, 0 when none runs.
  int FlashTimerId() const { return flashTimer_; }
  QString LinkUrl() const { return linkUrl_; }
  bool NotifyMode() const { return notifyMode_; }
  // The text colour the next paint uses (the flash phase applied).
  QColor PaintTextColor() const;
  // The target a click would open, empty when a click opens nothing.
  QUrl ClickTarget() const;

  QSize sizeHint() const override;

 signals:
  // A click in notify mode; `controlId` is the label's control id.
  void clicked(int controlId);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void changeEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void UpdateFrameMargins();
  // Stops the flash timer; a mode above 0 starts it again from phase 0. A mode
  // of 0 or more becomes the flash mode.
  void RestartFlash(int mode);

  QColor textColour_;
  QColor highlightColour_{Qt::white};
  QColor faceColour_;
  std::optional<QColor> background_;  // the solid background brush
  QFont fontDescription_;
  bool ownFont_ = false;
  QString text_;
  QString linkUrl_;
  bool flashPhase_ = false;
  int flashTimer_ = 0;
  bool transparent_ = false;
  bool text3D_ = false;
  bool notifyMode_ = false;
  bool linkOn_ = false;
  bool rotatedMode_ = false;
  int rotation_ = 0;
  bool customPainting_ = true;
  int flashMode_ = 0;
  bool text3DDownRight_ = false;
  bool gradient_ = false;
  QColor secondBackground_;
  QColor firstBackground_;
  unsigned style_ = 0;
  bool sunken_ = false;
  bool border_ = false;
};

}  // namespace controls
