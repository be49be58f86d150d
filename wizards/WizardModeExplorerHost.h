#pragma once
// The place (control 1220) where the wizard's drive and result pages show the
// explorer view of the main window: the view is its child, one pixel inside it and
// three pixels smaller than it, with the tree 120 pixels wide (for the 8-point
// dialog font; wider with a larger one).
//
// Owned by its page; GUI thread only.

#include <QFrame>

class CVolumeExploreView;

class CWizardModeExplorerHost : public QFrame {
  Q_OBJECT

 public:
  static constexpr int IDC_PLACEHOLDER = 1220;
  // The tree's width for the 8-point dialog font; TreeWidth scales it.
  static constexpr int kSplitterPosition = 120;
  // The tree's width in the host's font.
  int TreeWidth() const;
  static constexpr int kTreeIndentation = 10;

  explicit CWizardModeExplorerHost(QWidget* parent = nullptr);
  ~CWizardModeExplorerHost() override;

  CVolumeExploreView* View() const { return view_; }
  // Where the view lies inside a host of `size`.
  static QRect ViewRect(QSize size);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  CVolumeExploreView* view_;
  bool splitterMoved_ = false;
};
