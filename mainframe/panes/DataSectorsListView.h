#pragma once
// CData_SectorsList_View: the data viewer's data run list, a plain list of the
// shown object's runs (CDataRunsModel) with no handling of its own.
//
// Owned by its pane; GUI thread only.

#include <QTableView>

class CDataRunsModel;

class CData_SectorsList_View : public QTableView {
  Q_OBJECT

 public:
  explicit CData_SectorsList_View(QWidget* parent = nullptr);

  CDataRunsModel* Runs() const { return model_; }

 private:
  CDataRunsModel* model_;
};
