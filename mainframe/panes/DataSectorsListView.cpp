#include "mainframe/panes/DataSectorsListView.h"

#include <QHeaderView>

#include "mainframe/panes/DataRunsModel.h"

CData_SectorsList_View::CData_SectorsList_View(QWidget* parent)
    : QTableView(parent), model_(new CDataRunsModel(this)) {
  setObjectName(QStringLiteral("CData_SectorsList_View"));
  setModel(model_);
  setFrameShape(QFrame::StyledPanel);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setShowGrid(false);
  setWordWrap(false);
  verticalHeader()->hide();
  // Fixed row heights: a list of a million runs lays out without measuring rows.
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  // The columns share the pane's width (it is a quarter of the window's).
  horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  horizontalHeader()->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}
