#include "mainframe/panes/LegendPane.h"

#include "app/App.h"
#include "mainframe/panes/LegendView.h"

CLegend_Pane::CLegend_Pane(QWidget* parent, const QString& mediaFolder)
    : controls::CPaneContainerEx(parent, controls::kPaneVertical),
      view_(new CLegendView(nullptr, mediaFolder)) {
  setObjectName(QStringLiteral("CLegend_Pane"));
  SetTitle(LangString(190));
  SetClient(view_);
  view_->show();
}
