#pragma once
// CMultiPaneStatusBarEx: the main window's status bar. Its panes are keyed by
// id and laid out as parts with right edges; the pane with id 0 is the variable
// one that takes up what the window's width leaves. The owner puts its own
// widgets into pane rectangles (PaneRect).
//
// A button inside the bar with control id 134 (the log button) makes the bar
// emit command(134) queued, so that the owner handles it after the click's own
// handling has returned.
//
// The layout on a resize is the pure function StatusBarPaneLayout. Owned by its
// frame; GUI thread only.

#include <QList>
#include <QRect>
#include <QString>
#include <QWidget>

class QSizeGrip;

namespace controls {

// The id of the variable-width pane.
inline constexpr int kVariablePaneId = 0;
// The command of the log button inside the bar.
inline constexpr int kStatusLogButtonCommand = 134;

// The right edges of the parts after the bar was sized to `clientWidth`: the
// variable pane and every pane after it move by the change, unless that would
// put the variable pane's right edge at or left of its neighbour's (then the
// parts stay as they are). `gripWidth` is room kept for a size grip.
QList<int> StatusBarPaneLayout(const QList<int>& ids, const QList<int>& rights, int clientWidth, int gripWidth = 0);

// The right edges after pane `index` is given `width`: panes before the variable
// one push the panes up to it (the variable pane gives the room), panes after it
// push the variable pane and those up to them to the left.
QList<int> StatusBarPaneWidth(const QList<int>& ids, const QList<int>& rights, int index, int width);

class CMultiPaneStatusBarEx : public QWidget {
  Q_OBJECT

 public:
  explicit CMultiPaneStatusBarEx(QWidget* parent = nullptr, bool sizeGrip = false);
  ~CMultiPaneStatusBarEx() override;

  // Sets the panes and their widths (in order; the variable pane's width is its
  // width before it stretches), then lays them out for the current width.
  void SetPanes(const QList<int>& ids, const QList<int>& widths);
  QList<int> PaneIds() const { return ids_; }
  int PaneCount() const { return static_cast<int>(ids_.size()); }
  // The index of a pane, -1 when there is none with that id.
  int PaneIndex(int id) const;

  bool SetPaneWidth(int id, int width);
  bool SetPaneText(int id, const QString& text);
  QString PaneText(int id) const;
  // The pane's rectangle in the bar, empty when there is no such pane.
  QRect PaneRect(int id) const;

  // The right edges of the parts.
  QList<int> Parts() const { return rights_; }

  bool HasSizeGrip() const { return sizeGrip_ != nullptr; }

  QSize sizeHint() const override;

 signals:
  // A command of a button inside the bar, emitted after the click was handled.
  void command(int commandId);

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private slots:
  void OnChildClicked();

 private:
  void AttachButton(QObject* child);
  void UpdatePanesLayout();
  int GripWidth() const;

  QList<int> ids_;
  QList<int> rights_;
  QList<QString> texts_;
  QSizeGrip* sizeGrip_ = nullptr;
};

}  // namespace controls
