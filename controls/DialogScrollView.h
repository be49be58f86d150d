#pragma once
// A scrolling host for one form that may be larger than the room it gets (the
// find-in-found-files pane's search bar). The form's size at the first layout
// after it is set becomes its minimum size, once: the form fills the view when
// the view is larger and scrolls when it is smaller, and it follows a scroll
// bar's thumb while the thumb is dragged.
//
// The host creates the view, creates the form, hands it over with SetDialog
// (the view takes it as its scrolled widget) and shows it; the next layout of the
// view is the first. GUI thread only.

#include <QPointer>
#include <QScrollArea>

class CDialogScrollView : public QScrollArea {
  Q_OBJECT

 public:
  explicit CDialogScrollView(QWidget* parent = nullptr);

  // The hosted form; the first layout follows at the view's next resize, or at
  // once when the view is shown already.
  void SetDialog(QWidget* dialog);
  QWidget* GetDialog() const { return m_dialog.data(); }
  bool IsFirstLayoutPending() const { return m_firstLayoutPending; }
  // The size scrolled over: the form's size at the first layout; empty before.
  QSize GetScrollSize() const { return m_scrollSize; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void FirstLayout();

  QPointer<QWidget> m_dialog;
  bool m_firstLayoutPending = true;
  QSize m_scrollSize;
};
