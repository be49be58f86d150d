#pragma once
// The place (control 1220) where the wizard's drive and result pages show the
// explorer view of the main window: the view is its child, one pixel inside it and
// three pixels smaller than it, with the tree 120 pixels wide.
//
// Owned by its page; GUI thread only.

#include <QFrame>

class CVolumeExploreView;

class CWizardModeExplorerHost : public QFrame {
  Q_OBJECT

 public:
  static constexpr int IDC_PLACEHOLDER = 1220;
  static constexpr int kSplitterPosition = 120;
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
