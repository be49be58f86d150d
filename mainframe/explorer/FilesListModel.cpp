#include "mainframe/explorer/FilesListModel.h"

#include <QThread>

#include <algorithm>
#include <unordered_map>

#include "app/App.h"
#include "app/Formatting.h"
#include "app/QtText.h"
#include "engine/store/FileFilter.h"
#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"
#include "mainframe/explorer/StoreAccess.h"
#include "mainframe/icons/FoundObjectIcons.h"
#include "mainframe/icons/FoundObjectImages.h"

CFilesListModel::CFilesListModel(int columns, QObject* parent)
    : QAbstractTableModel(parent), columns_(std::clamp(columns, 4, 5)) {}

CFilesListModel::~CFilesListModel() = default;

// ---- Filling ------------------------------------------------------------------------

void CFilesListModel::AddObject(const FoundObjectStore::ReadView& view, const FoundObject* record,
                                const FileFilter* filter) {
  if (!record) return;
  if (!filter && g_Computer) filter = &g_Computer->Filter();
  if (filter && filter->IsHidden(*record)) return;
  const std::int64_t handle = view.HandleOf(record);
  if (handle < 0) return;
  if (QThread::currentThread() == thread()) {
    // On the model's own thread the row takes its sort key now, while the record
    // is at hand.
    pendingRows_.push_back(CFoundObjectSorter(sortColumn_, descending_).MakeRow(record, handle));
    return;
  }
  std::lock_guard lock(pendingMutex_);
  pending_.push_back(handle);
}

void CFilesListModel::OfferObject(const FoundObjectStore::ReadView& view, const FoundObject* record) {
  if (!record) return;
  const std::int64_t handle = view.HandleOf(record);
  if (handle < 0) return;
  // Records stored before the fill: only a placeholder that has since become a
  // folder of this one can be missing; look for it.
  if (std::size_t(handle & 0xFFFFFFFF) < fillMark_) {
    if (HasRow(handle)) return;
    std::lock_guard lock(pendingMutex_);
    if (std::find(pending_.begin(), pending_.end(), handle) != pending_.end()) return;
    for (const auto& row : pendingRows_)
      if (row.handle == handle) return;
  }
  AddObject(view, record);
}

void CFilesListModel::Clear() {
  stopFill_.store(1);
  stopFill_.store(0);
  busy_.store(1);
  dirty_.store(1);
  beginResetModel();
  {
    std::lock_guard lock(pendingMutex_);
    pending_.clear();
    pending_.shrink_to_fit();
    pendingRows_.clear();
    pendingRows_.shrink_to_fit();
  }
  CFoundObjectSorter::Rows().swap(items_);
  lastCount_ = 0;
  fillMark_ = 0;
  fullSort_ = true;
  endResetModel();
}

std::size_t CFilesListModel::ItemCount() const {
  std::lock_guard lock(pendingMutex_);
  return items_.size() + pending_.size() + pendingRows_.size();
}

bool CFilesListModel::SetItemCount() {
  if (busy_.load()) return false;
  // The rows that have their keys first, then those that come without.
  const std::size_t keyed = pendingRows_.size();
  items_.insert(items_.end(), pendingRows_.begin(), pendingRows_.end());
  if (pendingRows_.capacity() > 65536)
    std::vector<CFoundObjectSorter::Row>().swap(pendingRows_);  // a fill's worth is not kept
  else
    pendingRows_.clear();
  {
    std::lock_guard lock(pendingMutex_);
    if (!pending_.empty()) {
      for (std::int64_t h : pending_) items_.push_back(CFoundObjectSorter::Row{0, 0, 0, h});
      pending_.clear();
    }
  }
  if (items_.size() > std::size_t(INT32_MAX)) items_.resize(INT32_MAX);
  const int count = static_cast<int>(items_.size());
  if (count == lastCount_ && !dirty_.load()) return false;
  dirty_.store(0);
  const int sorted = lastCount_;
  if (sorted == 0) {
    fullSort_ = true;
    Sort(0, 0);
    if (count > 0) {
      beginInsertRows(QModelIndex(), 0, count - 1);
      lastCount_ = count;
      endInsertRows();
    }
    return true;
  }
  if (count > sorted) {
    // The new rows come in at the end, then take their places in one layout change.
    beginInsertRows(QModelIndex(), sorted, count - 1);
    lastCount_ = count;
    endInsertRows();
  }
  if (!fullSort_ && count == sorted) return true;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  std::vector<std::int64_t> before;
  const bool remap = !persistentIndexList().isEmpty();
  if (remap) {
    before.reserve(items_.size());
    for (const auto& row : items_) before.push_back(row.handle);
  }
  Sort(std::size_t(sorted), keyed);
  if (remap) RemapPersistent(before);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
  return true;
}

void CFilesListModel::Sort(std::size_t sorted, std::size_t keyed) {
  if (items_.empty()) {
    fullSort_ = false;
    return;
  }
  const std::shared_ptr<CVolume> volume = CStoreAccess::VolumeOf(items_.front().handle);
  if (!volume) return;
  const CFoundObjectSorter sorter(sortColumn_, descending_);
  const FoundObjectStore::ReadView view = volume->Store().Read();
  if (fullSort_)
    sorter.SortAll(view, items_);
  else
    sorter.MergeTail(view, items_, sorted, keyed);
  fullSort_ = false;
}

void CFilesListModel::RemapPersistent(const std::vector<std::int64_t>& before) {
  const QModelIndexList from = persistentIndexList();
  std::unordered_map<std::int64_t, int> wanted;
  wanted.reserve(std::size_t(from.size()));
  for (const QModelIndex& i : from)
    if (i.row() >= 0 && std::size_t(i.row()) < before.size()) wanted.emplace(before[std::size_t(i.row())], -1);
  std::size_t left = wanted.size();
  for (std::size_t row = 0; row < items_.size() && left > 0; ++row) {
    auto it = wanted.find(items_[row].handle);
    if (it != wanted.end() && it->second < 0) {
      it->second = static_cast<int>(row);
      --left;
    }
  }
  QModelIndexList to;
  to.reserve(from.size());
  for (const QModelIndex& i : from) {
    int row = -1;
    if (i.row() >= 0 && std::size_t(i.row()) < before.size()) row = wanted[before[std::size_t(i.row())]];
    to.append(row < 0 ? QModelIndex() : index(row, i.column()));
  }
  changePersistentIndexList(from, to);
}

// ---- Sorting ------------------------------------------------------------------------

void CFilesListModel::HeaderClicked(int column) {
  descending_ = !descending_;
  sortColumn_ = CFoundObjectSorter::KeyOfColumn(column);
  dirty_.store(1);
  fullSort_ = true;
  emit headerDataChanged(Qt::Horizontal, 0, columns_ - 1);
}

// ---- Look-ups -----------------------------------------------------------------------

std::int64_t CFilesListModel::HandleAt(int row) const {
  if (row < 0 || row >= lastCount_ || std::size_t(row) >= items_.size()) return -1;
  return items_[std::size_t(row)].handle;
}

bool CFilesListModel::HasRow(std::int64_t handle) const {
  return std::any_of(items_.begin(), items_.end(), [&](const CFoundObjectSorter::Row& r) { return r.handle == handle; });
}

int CFilesListModel::RowOf(std::int64_t handle) const {
  const std::size_t n = std::min(items_.size(), std::size_t(lastCount_));
  for (std::size_t i = 0; i < n; ++i)
    if (items_[i].handle == handle) return static_cast<int>(i);
  return -1;
}

int CFilesListModel::FindItem(int start, char16_t first) const {
  const int n = static_cast<int>(std::min(items_.size(), std::size_t(lastCount_)));
  if (n == 0) return -1;
  if (start < 0 || start >= n) start = 0;
  const std::shared_ptr<CVolume> volume = CStoreAccess::VolumeOf(items_.front().handle);
  if (!volume) return -1;
  const char16_t key = static_cast<char16_t>(first & ~0x20);
  const FoundObjectStore::ReadView view = volume->Store().Read();
  auto matches = [&](int row) {
    const FoundObject* r = view.FromHandle(items_[std::size_t(row)].handle);
    if (!r || !r->flags.Any(OBJ_NAMED) || !r->name || r->nameLength == 0) return false;
    return static_cast<char16_t>(r->name[0] & ~0x20) == key;
  };
  for (int row = start; row < n; ++row)
    if (matches(row)) return row;
  for (int row = 0; row < start; ++row)
    if (matches(row)) return row;
  return -1;
}

QString CFilesListModel::SizeText(std::int64_t size, bool folder) {
  constexpr std::int64_t kKB = 1024, kMB = 1048576, kGB = 1073741824;
  if (folder) return {};
  if (size == -1) return LangString(57116);
  if (size > kGB) return QString::number(size / kGB) + QStringLiteral(" GB");
  if (size > kMB) return QString::number(size / kMB) + QStringLiteral(" MB");
  if (size > kKB) return QString::number(size / kKB) + QStringLiteral(" KB");
  return QString::number(size);
}

// ---- QAbstractItemModel -------------------------------------------------------------

int CFilesListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : lastCount_; }

int CFilesListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : columns_; }

Qt::ItemFlags CFilesListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QVariant CFilesListModel::data(const QModelIndex& index, int role) const {
  const std::int64_t handle = index.isValid() ? HandleAt(index.row()) : -1;
  if (handle < 0) return {};
  const int column = index.column();
  switch (role) {
    case HandleRole:
      return QVariant::fromValue<qint64>(handle);
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(column == kColumnSize ? (Qt::AlignRight | Qt::AlignVCenter)
                                                       : (Qt::AlignLeft | Qt::AlignVCenter));
    case Qt::DisplayRole:
    case Qt::DecorationRole:
    case ImageRole:
      break;
    default:
      return {};
  }
  if (role == Qt::DecorationRole && column != kColumnName) return {};
  // A fault in a request leaves the cell empty.
  try {
    FoundObject r;
    std::shared_ptr<CVolume> volume;
    std::int32_t root = 0;
    std::u16string name;
    if (!ReadRow(index.row(), handle, r, volume, root, name)) return {};
    if (role == ImageRole || role == Qt::DecorationRole) {
      const int image = CFoundObjectImages::ListImage(r, root);
      if (role == ImageRole) return image;
      return CFoundObjectIcons::Icon(image);
    }
    switch (column) {
      case kColumnName:
        return app::ToQString(r.Name());
      case kColumnSize:
        return SizeText(r.size, r.IsFolder());
      case kColumnType:
        return typeNames_.TypeName(r);
      case kColumnDate:
        return r.created == 0 ? QString() : FormatFileTime(r.created);
      case kColumnFolder: {
        if (!r.flags.Any(OBJ_NAMED)) return QString();
        std::u16string path;
        volume->GetObjectPath(r, path);
        return app::ToQString(path);
      }
      default:
        return {};
    }
  } catch (...) {
    return {};
  }
}

void CFilesListModel::BeginPaint() {
  painting_ = true;
  paintRows_.clear();
}

void CFilesListModel::EndPaint() {
  painting_ = false;
  paintRows_.clear();
  paintVolume_.reset();
}

bool CFilesListModel::ReadRow(int row, std::int64_t handle, FoundObject& out, std::shared_ptr<CVolume>& volume,
                              std::int32_t& root, std::u16string& name) const {
  if (!painting_) return CStoreAccess::ReadRecord(handle, out, &volume, &root, &name);
  const auto cached = [&]() -> const PaintRow* {
    if (row < paintFirst_ || row >= paintFirst_ + int(paintRows_.size())) return nullptr;
    const PaintRow& p = paintRows_[std::size_t(row - paintFirst_)];
    return p.handle == handle ? &p : nullptr;
  };
  const PaintRow* p = cached();
  if (!p) {
    // This row and the next ones a paint asks for, under one look at their store.
    constexpr int kAhead = 128;
    paintRows_.clear();
    paintFirst_ = row;
    paintVolume_ = CStoreAccess::VolumeOf(handle);
    if (!paintVolume_) return false;
    const int end = std::min({lastCount_, int(items_.size()), row + kAhead});
    const std::uint32_t serial = paintVolume_->Store().Serial();
    const FoundObjectStore::ReadView view = paintVolume_->Store().Read();
    paintRows_.reserve(std::size_t(end - row));
    for (int i = row; i < end; ++i) {
      PaintRow pr;
      pr.handle = items_[std::size_t(i)].handle;
      // A row of another store (none in one list) is read on its own when asked.
      if (FoundObjectStore::SerialOfHandle(pr.handle) == serial) {
        if (const FoundObject* r = view.FromHandle(pr.handle)) {
          pr.record = *r;
          pr.record.SetName({});
          pr.name.assign(r->Name());
          pr.resolved = true;
        }
      } else {
        pr.handle = -1;
      }
      pr.root = view.RootFolderId();
      paintRows_.push_back(pr);
    }
    p = cached();
    if (!p) return CStoreAccess::ReadRecord(handle, out, &volume, &root, &name);
  }
  if (!p->resolved) return false;
  out = p->record;
  out.SetName(p->name);
  root = p->root;
  volume = paintVolume_;
  return true;
}

QVariant CFilesListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columns_) return {};
  if (role == Qt::DisplayRole) return LangString(164 + std::uint32_t(section));
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue(section == kColumnSize ? (Qt::AlignRight | Qt::AlignVCenter)
                                                      : (Qt::AlignLeft | Qt::AlignVCenter));
  return {};
}
