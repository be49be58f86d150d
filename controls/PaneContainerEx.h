#pragma once
// CPaneContainerEx: frames one child view with a title bar and a small close
// button. The side panes of the main window and the legend use it; style 0 is
// the plain container with title and close button.
//
// Extended style bits: kPaneNoCloseButton, kPaneVertical (the header is a bar on
// the left, no title drawn), kPaneNoHeader (no header at all: the view fills the
// container; neither title nor close button shows).
//
// The header is |font px| + 10 high, at least 22 (22 wide when vertical, 0 with
// kPaneNoHeader); the close button is 20 x 18 at (width - 23, 3), or at (2, 3)
// when vertical. A click on it emits closeRequested with the container (the
// ID_PANE_CLOSE command, sent to the parent with the container as sender).
//
// The geometry is the pure function PaneContainerLayoutFor. The container owns
// its view; GUI thread only.

#include <QRect>
#include <QString>
#include <QWidget>

class QAbstractButton;

namespace controls {

// The command of the close button.
inline constexpr int ID_PANE_CLOSE = 0xE152;

inline constexpr unsigned kPaneNoCloseButton = 0x1;
inline constexpr unsigned kPaneVertical = 0x2;
inline constexpr unsigned kPaneNoHeader = 0x4;

inline constexpr int kPaneHeaderMinimum = 22;
inline constexpr int kPaneTitleMaxLength = 80;

// The header size for a title font of that pixel height.
int PaneHeaderSize(int fontPixelHeight, unsigned style);

struct PaneContainerLayout {
  QRect header;
  QRect closeButton;  // empty when there is none
  QRect client;
  QRect title;        // where the title is drawn (empty when vertical or without header)
  bool operator==(const PaneContainerLayout&) const = default;
};

PaneContainerLayout PaneContainerLayoutFor(QSize size, unsigned style, int headerSize);

class CPaneContainerEx : public QWidget {
  Q_OBJECT

 public:
  explicit CPaneContainerEx(QWidget* parent = nullptr, unsigned extendedStyle = 0);
  ~CPaneContainerEx() override;

  // The hosted view; the container takes it over. A null view leaves the pane empty.
  void SetClient(QWidget* client);
  QWidget* Client() const { return client_; }

  // At most kPaneTitleMaxLength characters are kept.
  void SetTitle(const QString& title);
  QString Title() const { return title_; }

  unsigned ExtendedStyle() const { return style_; }
  void SetExtendedStyle(unsigned style);

  int HeaderSize() const { return headerSize_; }
  // The close button, null when the container has none.
  QAbstractButton* CloseButton() const;
  // The title as drawn: elided at the end to fit its strip.
  QString ElidedTitle() const;
  PaneContainerLayout Layout() const;

  void UpdateLayout();

 signals:
  void closeRequested(controls::CPaneContainerEx* container);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void CalcSize();
  void CreateOrRemoveCloseButton();

  QAbstractButton* closeButton_ = nullptr;
  QWidget* client_ = nullptr;
  int headerSize_ = kPaneHeaderMinimum;
  QString title_;
  unsigned style_ = 0;
};

}  // namespace controls
