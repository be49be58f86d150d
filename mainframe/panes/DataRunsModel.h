#pragma once
// CDataRunsModel: an object's data runs (ObjectRunList) as rows of the data run
// list: the run's byte offset on its volume, its first sector and its length in
// bytes; a sparse run says so instead of an offset. Rows are read from the run list
// when shown, so a chain of a million runs is never copied.
//
// Owned by the data run list; GUI thread only.

#include <QAbstractTableModel>

#include "engine/store/ObjectRunList.h"

class CDataRunsModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column : int { kColumnOffset = 0, kColumnSector, kColumnLength, kColumnCount };

  explicit CDataRunsModel(QObject* parent = nullptr);

  void SetRuns(ObjectRunList runs);
  const ObjectRunList& Runs() const { return runs_; }

  static QString Number(std::int64_t value);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 private:
  ObjectRunList runs_;
};
