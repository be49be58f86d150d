#pragma once
// CWizardPropertySheet: the resizable sheet of the step-by-step wizard, with
// room on the left for its side bar. Interior pages start 145 pixels (for the
// 8-point dialog font; scaled with the sheet's font, ScaledPixelsX) from the left
// edge with 7-pixel margins; after every resize the sheet receives exactly
// one WM_PAGE_LAYOUT_CHANGED (queued, after the page has been placed; resizes
// that come before the event loop runs give one), so that the class built on it
// can place its side bar and other controls after the pages
// (OnPageLayoutChanged).
//
// Otherwise as CResizablePropertySheet. GUI thread only.

#include "controls/ResizablePropertySheet.h"

namespace controls {

inline constexpr int kWizardSideBarWidth = 145;
inline constexpr int kWizardSideBarMargin = 7;

class CWizardPropertySheet : public CResizablePropertySheet {
  Q_OBJECT

 public:
  CWizardPropertySheet(const QString& title, int startPage = 0, QWidget* parent = nullptr, bool composited = false,
                       bool wizard = false);
  ~CWizardPropertySheet() override;

 signals:
  // Emitted on each WM_PAGE_LAYOUT_CHANGED, after OnPageLayoutChanged.
  void pageLayoutChanged();

 protected:
  int InteriorLeft() const override;
  int InteriorMargin() const override { return kWizardSideBarMargin; }
  // The layout after a resize: the page is in place.
  virtual void OnPageLayoutChanged() {}

  bool event(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  bool layoutChangePosted_ = false;
};

}  // namespace controls
