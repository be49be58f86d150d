#pragma once
// CLogLinesModel: the log box's lines, newest first, at most a fixed number (the
// oldest go first). Lines come in batches: one row insertion at the top and one
// removal at the bottom per batch, so a burst of log lines costs the box two model
// signals, not one per line.
//
// Owned by the log box; GUI thread only.

#include <QAbstractListModel>
#include <QString>

#include <deque>
#include <vector>

class CLogLinesModel : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit CLogLinesModel(int maxLines, QObject* parent = nullptr);

  // Puts the lines in at the top, the last of them first (it is the newest).
  void AddLines(const std::vector<QString>& lines);
  int MaxLines() const { return maxLines_; }
  QString Line(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 private:
  const int maxLines_;
  std::deque<QString> lines_;  // newest first
};
