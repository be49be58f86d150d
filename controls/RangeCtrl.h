#pragma once
// A sub-range of 0 to 100 percent picked by dragging two thumbs along a track;
// the band between them shows the range. One self-painting widget, 328 pixels
// wide: the track, the band and two 14-pixel push-button thumbs; one percent is
// 3 pixels of the 300-pixel band. While a thumb is held every mouse move reports
// the range through rangeChanged (queued, so the receiver runs after the move).
// A thumb dragged past a limit stops at it, or at the other thumb: the thumbs
// never cross, and the band can shrink to nothing.
//
// Owner: the form that holds it (the virtual drive dialog). GUI thread only.

#include <QRect>
#include <QWidget>

class CRangeCtrl : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 328;
  static constexpr int kThumbWidth = 14;

  explicit CRangeCtrl(QWidget* parent = nullptr);

  // Takes the place of a stand-in control of a form: its parent, position,
  // height, control id and place in a layout; the stand-in is hidden. False when
  // there is none.
  bool SubclassWindow(QWidget* standIn);
  // Back to the whole range, 0 to 100, thumbs at the ends; nothing is reported.
  void Init();

  int GetStart() const { return m_startPercent; }
  int GetEnd() const { return m_endPercent; }

  // The parts, in the control's coordinates.
  QRect TrackRect() const;
  QRect BandRect() const;
  QRect StartThumbRect() const;
  QRect EndThumbRect() const;

  QSize sizeHint() const override;

 signals:
  // The range in percent, 0 to 100 each.
  void rangeChanged(int start, int end);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  enum class Thumb { None, Start, End };

  int m_startRight = kThumbWidth;         // start thumb's right edge = the band's left edge
  int m_endLeft = kWidth - kThumbWidth;   // end thumb's left edge = the band's right edge
  int m_startPercent = 0;
  int m_endPercent = 100;
  Thumb m_held = Thumb::None;
  int m_grab = 0;  // where in the held thumb the press was
};
