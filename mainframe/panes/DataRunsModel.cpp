#include "mainframe/panes/DataRunsModel.h"

#include <climits>

#include "app/App.h"
#include "app/Formatting.h"

CDataRunsModel::CDataRunsModel(QObject* parent) : QAbstractTableModel(parent) {}

void CDataRunsModel::SetRuns(ObjectRunList runs) {
  beginResetModel();
  runs_ = std::move(runs);
  endResetModel();
}

QString CDataRunsModel::Number(std::int64_t value) {
  QString text = QString::number(value);
  GroupThousands(text);
  return text;
}

int CDataRunsModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return static_cast<int>(std::min<std::size_t>(runs_.Count(), INT_MAX));
}

int CDataRunsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant CDataRunsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0) return {};
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  if (role != Qt::DisplayRole) return {};
  const ObjectRun run = runs_.At(std::size_t(index.row()));
  switch (index.column()) {
    case kColumnOffset:
      return run.sparse ? QStringLiteral("(sparse)") : Number(run.offset);
    case kColumnSector:
      return run.sparse ? QString() : Number(run.offset / 512);
    case kColumnLength:
      return run.length < 0 ? LangString(57116) : Number(run.length);
    default:
      return {};
  }
}

QVariant CDataRunsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case kColumnOffset:
      return QStringLiteral("Offset");
    case kColumnSector:
      return QStringLiteral("Sector");
    case kColumnLength:
      return QStringLiteral("Length");
    default:
      return {};
  }
}
