#pragma once
// CUpDownCtrl: a pair of arrow buttons beside a numeric edit (its buddy), as the
// settings pages put one next to each number. The arrows (and the Up and Down
// keys in the buddy) step the buddy's number by one inside the control's range and
// stop at its ends; a text that is not a number steps from the nearest end.
//
// The control never checks what is typed into the buddy: the page that reads the
// edit decides what to do with a number outside the range, so a typed value is
// never changed behind the user's back.
//
// Owner: the parent widget. GUI thread only.

#include <QLineEdit>
#include <QPointer>
#include <QWidget>

#include <cstdint>

class QToolButton;

namespace controls {

class CUpDownCtrl : public QWidget {
  Q_OBJECT

 public:
  explicit CUpDownCtrl(QWidget* parent = nullptr);
  ~CUpDownCtrl() override;

  // The edit the arrows step; the control takes its height.
  void SetBuddy(QLineEdit* buddy);
  QLineEdit* Buddy() const { return buddy_; }
  // The range (low may be above high: the arrows then step downwards).
  void SetRange32(std::int32_t low, std::int32_t high);
  std::int32_t Low() const { return low_; }
  std::int32_t High() const { return high_; }

  // Steps the buddy's number by `steps` (positive: towards High), clamped.
  void Step(int steps);

  QToolButton* UpButton() const { return up_; }
  QToolButton* DownButton() const { return down_; }

  QSize sizeHint() const override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QLineEdit> buddy_;
  // The buddy for identity only: events come to the filter while it is destroyed,
  // when it is no QLineEdit any more.
  const QObject* buddyObject_ = nullptr;
  QToolButton* up_;
  QToolButton* down_;
  std::int32_t low_ = 0;
  std::int32_t high_ = 100;
};

}  // namespace controls
