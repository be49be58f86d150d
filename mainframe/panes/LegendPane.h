#pragma once
// CLegend_Pane: the legend below the explorer view (mode 32839): a pane container
// with its header bar on the left and its close button, title string 190
// "Legend", holding the legend's page (CLegendView).
//
// Owned by the main window; GUI thread only.

#include "controls/PaneContainerEx.h"

class CLegendView;

class CLegend_Pane : public controls::CPaneContainerEx {
  Q_OBJECT

 public:
  explicit CLegend_Pane(QWidget* parent = nullptr, const QString& mediaFolder = {});

  CLegendView* View() const { return view_; }

 private:
  CLegendView* view_;
};
