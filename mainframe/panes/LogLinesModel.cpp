#include "mainframe/panes/LogLinesModel.h"

#include <algorithm>

CLogLinesModel::CLogLinesModel(int maxLines, QObject* parent)
    : QAbstractListModel(parent), maxLines_(std::max(1, maxLines)) {}

void CLogLinesModel::AddLines(const std::vector<QString>& lines) {
  if (lines.empty()) return;
  // Only the newest maxLines of the batch can be kept.
  const std::size_t take = std::min(lines.size(), std::size_t(maxLines_));
  const std::size_t first = lines.size() - take;
  beginInsertRows(QModelIndex(), 0, int(take) - 1);
  for (std::size_t i = first; i < lines.size(); ++i) lines_.push_front(lines[i]);
  endInsertRows();
  if (lines_.size() > std::size_t(maxLines_)) {
    beginRemoveRows(QModelIndex(), maxLines_, int(lines_.size()) - 1);
    lines_.resize(std::size_t(maxLines_));
    endRemoveRows();
  }
}

QString CLogLinesModel::Line(int row) const {
  return row >= 0 && std::size_t(row) < lines_.size() ? lines_[std::size_t(row)] : QString();
}

int CLogLinesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(lines_.size());
}

QVariant CLogLinesModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.column() != 0 || index.row() < 0 || std::size_t(index.row()) >= lines_.size())
    return {};
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return lines_[std::size_t(index.row())];
  return {};
}
