#pragma once
// CButtonEx: a push button that shows an image from its image list and a text,
// side by side or one above the other, and that can act as a toggle button.
//
// The extended style word says how: hover highlight, 3-D edges, no text,
// centring, where the image lies, toggle. The image list serves four roles
// (normal, pushed, focus-or-hover, disabled; -1 none). The checked state flips
// on every click the button receives with the mouse (a press on it released
// over it); only a toggle button (kBsxToggle) reports it through IsChecked.
//
// The layout of the content (DoPaint's sizes, origin, image choice and shifts)
// is the pure function ButtonExLayoutFor, tested without a widget.
//
// Owned by its form; GUI thread only.

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QList>
#include <QPixmap>
#include <optional>

namespace controls {

// Extended style bits.
inline constexpr unsigned kBsxHover = 0x0001;         // the highlight follows the mouse, not the focus
inline constexpr unsigned kBsxSingleEdge = 0x0002;    // single 3-D edge
inline constexpr unsigned kBsxDoubleEdge = 0x0004;    // double 3-D edge
inline constexpr unsigned kBsxNoText = 0x0008;        // only the image is drawn
inline constexpr unsigned kBsxCenterH = 0x0040;       // centre the content horizontally
inline constexpr unsigned kBsxCenterV = 0x0080;       // centre the content vertically
inline constexpr unsigned kBsxImageLeft = 0x0100;     // image left of the text
inline constexpr unsigned kBsxImageRight = 0x0200;    // image right of the text
inline constexpr unsigned kBsxImageTop = 0x0400;      // image above the text
inline constexpr unsigned kBsxImageBottom = 0x0800;   // image below the text
inline constexpr unsigned kBsxToggle = 0x1000;        // the checked state counts

// The image roles.
struct ButtonExImages {
  int normal = -1;
  int pushed = -1;
  int focusOrHover = -1;
  int disabled = -1;
};

// What the paint needs to know about the button's state.
struct ButtonExState {
  unsigned style = 0;
  QSize client;
  bool hasImage = false;  // an image list and a normal image
  QSize imageSize{0, 0};
  bool hasText = false;   // a text, and no kBsxNoText
  QSize textSize{0, 0};   // 0 x 0 unless measured with the text font
  ButtonExImages images;
  bool pressed = false;
  bool checked = false;   // IsChecked
  bool enabled = true;
  bool focused = false;
  bool mouseOver = false;
};

// Where and what the paint draws.
struct ButtonExLayout {
  QSize content;
  QPoint origin;
  int image = -1;          // the image drawn (-1 none)
  QPoint imagePos;         // before the shift
  int imageShift = 0;
  QPoint textPos;          // before the shift
  int textShift = 0;
  bool imageEmbossed = false;  // disabled without a disabled image
  bool operator==(const ButtonExLayout&) const = default;
};

QSize ButtonExContentSize(const ButtonExState& state);
QPoint ButtonExOrigin(unsigned style, QSize client, QSize content);
int ButtonExImageChoice(const ButtonExState& state);
int ButtonExImageShift(const ButtonExState& state);
ButtonExLayout ButtonExLayoutFor(const ButtonExState& state);

class CButtonEx : public QAbstractButton {
  Q_OBJECT

 public:
  explicit CButtonEx(unsigned extendedStyle = 0, QWidget* parent = nullptr);
  CButtonEx(const QString& text, unsigned extendedStyle, QWidget* parent);
  ~CButtonEx() override;

  unsigned ExtendedStyle() const { return style_; }
  void SetExtendedStyle(unsigned style);

  // The image list: images of one size.
  void SetImageList(const QList<QPixmap>& images);
  const QList<QPixmap>& ImageList() const { return imageList_; }
  void SetImages(int normal, int pushed = -1, int focusOrHover = -1, int disabled = -1);
  ButtonExImages Images() const { return images_; }

  // The font that measures and draws the text; without one the text is drawn
  // in the button's font at the content's origin.
  void SetTextFont(const QFont& font);
  void SetTextColor(const QColor& colour);

  bool IsChecked() const { return (style_ & kBsxToggle) && checked_; }
  bool MouseOver() const { return mouseOver_; }

  // The state the next paint would use, and its layout.
  ButtonExState PaintState() const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void DoPaint(QPainter& painter);

  unsigned style_ = 0;
  QList<QPixmap> imageList_;
  ButtonExImages images_;
  std::optional<QFont> textFont_;
  QColor textColour_{Qt::black};
  bool checked_ = false;
  bool clickPending_ = false;
  bool mouseOver_ = false;
};

}  // namespace controls
