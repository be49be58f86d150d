#include "mainframe/explorer/FilesTreeModel.h"

#include <QFont>
#include <QTimer>

#include <algorithm>
#include <unordered_set>

#include "app/Formatting.h"
#include "app/QtText.h"
#include "engine/store/FileFilter.h"
#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"
#include "mainframe/explorer/FoundObjectSorter.h"
#include "mainframe/explorer/StoreAccess.h"
#include "mainframe/icons/FoundObjectIcons.h"
#include "mainframe/icons/FoundObjectImages.h"

struct CFilesTreeModel::Node {
  Node* parent = nullptr;
  std::vector<std::unique_ptr<Node>> children;
  int row = 0;
  bool device = false;
  std::int32_t nodeId = 0;    // device items
  std::int64_t handle = -1;   // folder items
  std::int32_t recordId = 0;  // the record's id (a device item: its node id)
  bool fetched = false;
  bool expanded = false;
  bool bold = false;
  int childrenCount = -1;
  // What the store last said about folders under the item (-1: not asked yet);
  // asked again when a folder comes under it (ChildrenMayHaveChanged).
  mutable int storeHasFolders = -1;
  int image = -1;
  QString text;
  int stateImage = 0;
  // Device items keep their check mark here; folders keep theirs in the record.
  bool checked = false;
  std::int32_t checkedCount = 0;

  int FirstRecordRow() const {
    int i = 0;
    while (i < int(children.size()) && children[std::size_t(i)]->device) ++i;
    return i;
  }
};

namespace {

std::shared_ptr<CVolume> StoreVolumeOfNode(std::int32_t nodeId) { return CStoreAccess::VolumeOfNode(nodeId); }

int StateImageOfRecord(const FoundObject& r) {
  if (r.flags.Any(OBJ_CHECKED)) return 2;
  return r.checkedCount > 0 ? 3 : 1;
}

}  // namespace

CFilesTreeModel::CFilesTreeModel(QObject* parent) : QAbstractItemModel(parent), root_(std::make_unique<Node>()) {}

CFilesTreeModel::~CFilesTreeModel() = default;

const FileFilter* CFilesTreeModel::Filter() const {
  if (filter_) return filter_;
  return g_Computer ? &g_Computer->Filter() : nullptr;
}

CFilesTreeModel::Node* CFilesTreeModel::NodeOf(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this) return nullptr;
  return static_cast<Node*>(index.internalPointer());
}

QModelIndex CFilesTreeModel::IndexOf(const Node* node) const {
  if (!node || node == root_.get()) return {};
  return createIndex(node->row, 0, const_cast<Node*>(node));
}

// ---- Building ---------------------------------------------------------------------

void CFilesTreeModel::Clear() {
  beginResetModel();
  root_ = std::make_unique<Node>();
  byHandle_.clear();
  byNode_.clear();
  queued_.clear();
  changed_.clear();
  endResetModel();
}

void CFilesTreeModel::InsertRun(Node* parent, int at, std::vector<std::unique_ptr<Node>>& nodes) {
  if (nodes.empty()) return;
  at = std::clamp(at, 0, int(parent->children.size()));
  beginInsertRows(IndexOf(parent), at, at + int(nodes.size()) - 1);
  for (auto& n : nodes) {
    n->parent = parent;
    if (n->device)
      byNode_[n->nodeId] = n.get();
    else
      byHandle_[n->handle] = n.get();
  }
  parent->children.insert(parent->children.begin() + at, std::make_move_iterator(nodes.begin()),
                          std::make_move_iterator(nodes.end()));
  for (std::size_t i = std::size_t(at); i < parent->children.size(); ++i) parent->children[i]->row = int(i);
  nodes.clear();
  endInsertRows();
}

QModelIndex CFilesTreeModel::InsertDevice(const QModelIndex& parentIndex, std::int32_t nodeId,
                                          const ItemOptions& options) {
  Node* parent = parentIndex.isValid() ? NodeOf(parentIndex) : root_.get();
  if (!parent) return {};
  auto node = std::make_unique<Node>();
  node->device = true;
  node->nodeId = nodeId;
  node->recordId = nodeId;
  node->childrenCount = options.children;
  node->image = options.image;
  node->text = options.text;
  Node* raw = node.get();
  std::vector<std::unique_ptr<Node>> run;
  run.push_back(std::move(node));
  // Devices stay before the folders of the same parent.
  InsertRun(parent, options.first ? 0 : parent->FirstRecordRow(), run);
  return IndexOf(raw);
}

QModelIndex CFilesTreeModel::InsertRecord(const QModelIndex& parentIndex, const FoundObjectStore::ReadView& view,
                                          const FoundObject* record, bool sorted, const ItemOptions& options) {
  Node* parent = parentIndex.isValid() ? NodeOf(parentIndex) : root_.get();
  if (!parent || !record) return {};
  const FileFilter* filter = Filter();
  if (filter && filter->IsHidden(*record)) return {};
  const std::int64_t handle = view.HandleOf(record);
  if (handle < 0) return {};
  auto node = std::make_unique<Node>();
  node->handle = handle;
  node->recordId = record->id;
  node->childrenCount = options.children;
  node->image = options.image;
  node->text = options.text;
  node->stateImage = StateImageOfRecord(*record);
  Node* raw = node.get();
  int at = int(parent->children.size());
  if (options.first) {
    at = parent->FirstRecordRow();
  } else if (sorted) {
    const CFoundObjectSorter sorter(CFoundObjectSorter::kByName, false);
    auto begin = parent->children.begin() + parent->FirstRecordRow();
    auto pos = std::upper_bound(begin, parent->children.end(), record, [&](const FoundObject* r, const auto& n) {
      return sorter.Less(r, handle, view.FromHandle(n->handle), n->handle);
    });
    at = int(pos - parent->children.begin());
  }
  std::vector<std::unique_ptr<Node>> run;
  run.push_back(std::move(node));
  InsertRun(parent, at, run);
  return IndexOf(raw);
}

void CFilesTreeModel::QueueFolder(const QModelIndex& parentIndex, std::int64_t handle) {
  Node* parent = NodeOf(parentIndex);
  if (!parent) return;
  queued_[parent].push_back(handle);
  ScheduleFlush();
}

void CFilesTreeModel::ChildrenMayHaveChanged(const QModelIndex& parentIndex) {
  Node* parent = NodeOf(parentIndex);
  if (!parent || parent->fetched) return;
  parent->storeHasFolders = -1;
  if (std::find(changed_.begin(), changed_.end(), parent) == changed_.end()) changed_.push_back(parent);
  ScheduleFlush();
}

void CFilesTreeModel::ScheduleFlush() {
  if (flushScheduled_) return;
  flushScheduled_ = true;
  QTimer::singleShot(0, this, [this] { FlushQueued(); });
}

void CFilesTreeModel::FlushQueued() {
  flushScheduled_ = false;
  auto queued = std::move(queued_);
  queued_.clear();
  auto changed = std::move(changed_);
  changed_.clear();
  for (auto& [parent, handles] : queued) {
    // A parent that went meanwhile has no entry any more (Forget drops it).
    if (!parent) continue;
    std::shared_ptr<CVolume> volume = CStoreAccess::VolumeOf(handles.front());
    if (!volume) continue;
    const int firstRecord = parent->FirstRecordRow();
    const int shown = int(parent->children.size()) - firstRecord;
    // What the store says, read in one look and before any signal (a view answering
    // a signal reads the store itself): the new folders, in name order, and where
    // each goes among the folders shown (after those equal to it).
    std::vector<std::unique_ptr<Node>> fresh;
    std::vector<int> at;
    {
      const FoundObjectStore::ReadView view = volume->Store().Read();
      const FileFilter* filter = Filter();
      std::vector<std::pair<const FoundObject*, std::int64_t>> records;
      std::unordered_set<std::int64_t> seen;
      for (std::int64_t h : handles) {
        const FoundObject* r = view.FromHandle(h);
        if (!r || !r->IsFolder() || !seen.insert(h).second) continue;
        auto it = byHandle_.find(h);
        if (it != byHandle_.end() && it->second->parent == parent) continue;  // already shown here
        if (filter && filter->IsHidden(*r)) continue;
        records.emplace_back(r, h);
      }
      if (records.empty()) continue;
      const CFoundObjectSorter sorter(CFoundObjectSorter::kByName, false);
      sorter.SortRecords(records);
      int from = 0;
      for (const auto& [r, h] : records) {
        auto node = std::make_unique<Node>();
        node->handle = h;
        node->recordId = r->id;
        node->stateImage = StateImageOfRecord(*r);
        node->storeHasFolders = view.ChildFolderCount(r->id) > 0 ? 1 : 0;
        fresh.push_back(std::move(node));
        // Binary search over the shown folders.
        int lo = from, hi = shown;
        while (lo < hi) {
          const int mid = (lo + hi) / 2;
          const std::int64_t mh = parent->children[std::size_t(firstRecord + mid)]->handle;
          if (sorter.Less(r, h, view.FromHandle(mh), mh))
            hi = mid;
          else
            lo = mid + 1;
        }
        at.push_back(lo);
        from = lo;
      }
    }
    // Few places: one insertion each (the last first, so the earlier places stay).
    // Many: one insertion at the end and one reordering.
    int runs = 0;
    for (std::size_t i = 0; i < at.size(); ++i) runs += (i == 0 || at[i] != at[i - 1]);
    if (runs <= 8) {
      std::size_t end = fresh.size();
      while (end > 0) {
        std::size_t begin = end - 1;
        while (begin > 0 && at[begin - 1] == at[end - 1]) --begin;
        std::vector<std::unique_ptr<Node>> run;
        for (std::size_t i = begin; i < end; ++i) run.push_back(std::move(fresh[i]));
        InsertRun(parent, firstRecord + at[end - 1], run);
        end = begin;
      }
      continue;
    }
    std::vector<Node*> added;
    for (auto& node : fresh) added.push_back(node.get());
    InsertRun(parent, int(parent->children.size()), fresh);
    const QModelIndex parentIndex = IndexOf(parent);
    emit layoutAboutToBeChanged({QPersistentModelIndex(parentIndex)}, QAbstractItemModel::VerticalSortHint);
    std::vector<std::unique_ptr<Node>> merged;
    merged.reserve(parent->children.size());
    for (int i = 0; i < firstRecord; ++i) merged.push_back(std::move(parent->children[std::size_t(i)]));
    std::size_t next = 0;
    for (int i = 0; i <= shown; ++i) {
      while (next < added.size() && at[next] == i)
        merged.push_back(std::move(parent->children[std::size_t(firstRecord + shown) + next++]));
      if (i < shown) merged.push_back(std::move(parent->children[std::size_t(firstRecord + i)]));
    }
    parent->children = std::move(merged);
    for (std::size_t i = std::size_t(firstRecord); i < parent->children.size(); ++i) parent->children[i]->row = int(i);
    QModelIndexList moved, to;
    for (const QModelIndex& p : persistentIndexList()) {
      Node* n = NodeOf(p);
      if (!n || n->parent != parent || n->row == p.row()) continue;
      moved.append(p);
      to.append(createIndex(n->row, p.column(), n));
    }
    changePersistentIndexList(moved, to);
    emit layoutChanged({QPersistentModelIndex(parentIndex)}, QAbstractItemModel::VerticalSortHint);
  }
  for (Node* n : changed) {
    const QModelIndex i = IndexOf(n);
    if (i.isValid()) emit dataChanged(i, i);
  }
}

void CFilesTreeModel::Forget(Node* node) {
  for (auto& c : node->children) Forget(c.get());
  if (node->device) {
    auto it = byNode_.find(node->nodeId);
    if (it != byNode_.end() && it->second == node) byNode_.erase(it);
  } else {
    auto it = byHandle_.find(node->handle);
    if (it != byHandle_.end() && it->second == node) byHandle_.erase(it);
  }
  queued_.erase(node);
  changed_.erase(std::remove(changed_.begin(), changed_.end(), node), changed_.end());
}

void CFilesTreeModel::RemoveItem(const QModelIndex& index) {
  Node* node = NodeOf(index);
  if (!node) return;
  Node* parent = node->parent;
  const int row = node->row;
  beginRemoveRows(IndexOf(parent), row, row);
  Forget(node);
  parent->children.erase(parent->children.begin() + row);
  for (std::size_t i = std::size_t(row); i < parent->children.size(); ++i) parent->children[i]->row = int(i);
  endRemoveRows();
}

void CFilesTreeModel::ResetChildren(const QModelIndex& index) {
  Node* node = NodeOf(index);
  if (!node) return;
  const int first = node->FirstRecordRow();
  const int count = int(node->children.size());
  if (count > first) {
    beginRemoveRows(index, first, count - 1);
    for (int i = first; i < count; ++i) Forget(node->children[std::size_t(i)].get());
    node->children.erase(node->children.begin() + first, node->children.end());
    endRemoveRows();
  }
  node->fetched = false;
  node->storeHasFolders = -1;
}

int CFilesTreeModel::PruneStale() {
  int removed = 0;
  std::vector<Node*> stack{root_.get()};
  while (!stack.empty()) {
    Node* node = stack.back();
    stack.pop_back();
    for (int i = int(node->children.size()) - 1; i >= 0; --i) {
      Node* child = node->children[std::size_t(i)].get();
      FoundObject r;
      if (!child->device && !CStoreAccess::ReadRecord(child->handle, r)) {
        RemoveItem(IndexOf(child));
        ++removed;
      }
    }
    for (auto& c : node->children) stack.push_back(c.get());
  }
  return removed;
}

// ---- Look-ups ---------------------------------------------------------------------

QModelIndex CFilesTreeModel::IndexOfHandle(std::int64_t handle) const {
  auto it = byHandle_.find(handle);
  return it == byHandle_.end() ? QModelIndex() : IndexOf(it->second);
}

QModelIndex CFilesTreeModel::IndexOfNode(std::int32_t nodeId) const {
  auto it = byNode_.find(nodeId);
  return it == byNode_.end() ? QModelIndex() : IndexOf(it->second);
}

std::int64_t CFilesTreeModel::HandleOf(const QModelIndex& index) const {
  const Node* n = NodeOf(index);
  return n && !n->device ? n->handle : -1;
}

std::int32_t CFilesTreeModel::NodeIdOf(const QModelIndex& index) const {
  const Node* n = NodeOf(index);
  return n && n->device ? n->nodeId : 0;
}

bool CFilesTreeModel::IsDevice(const QModelIndex& index) const {
  const Node* n = NodeOf(index);
  return n && n->device;
}

std::int32_t CFilesTreeModel::ObjectIdOf(const QModelIndex& index) const {
  const Node* n = NodeOf(index);
  return n ? n->recordId : 0;
}

std::shared_ptr<CVolume> CFilesTreeModel::VolumeOfItem(const QModelIndex& index) const {
  const Node* n = NodeOf(index);
  return n && n->device ? StoreVolumeOfNode(n->nodeId) : nullptr;
}

bool CFilesTreeModel::ResolveRecord(const Node* node, FoundObject& out, std::int32_t* root,
                                    std::shared_ptr<CVolume>* volume) const {
  if (!node || node->device) return false;
  return CStoreAccess::ReadRecord(node->handle, out, volume, root);
}

void CFilesTreeModel::BeginPaint() {
  painting_ = true;
  paintRecords_.clear();
}

void CFilesTreeModel::EndPaint() {
  painting_ = false;
  paintRecords_.clear();
}

bool CFilesTreeModel::ReadForData(const Node* node, FoundObject& out, std::int32_t& root,
                                  std::u16string& name) const {
  const auto resolve = [&] { return !node->device && CStoreAccess::ReadRecord(node->handle, out, nullptr, &root, &name); };
  if (!painting_ || !node->parent) return resolve();
  auto it = paintRecords_.find(node);
  if (it == paintRecords_.end()) {
    // This folder and the next ones under the same parent, under one look at their
    // store (the rows a paint asks for next).
    constexpr std::size_t kAhead = 128;
    std::shared_ptr<CVolume> volume = CStoreAccess::VolumeOf(node->handle);
    if (!volume) return false;
    const std::uint32_t serial = volume->Store().Serial();
    const FoundObjectStore::ReadView view = volume->Store().Read();
    const auto& siblings = node->parent->children;
    for (std::size_t i = std::size_t(node->row), n = 0; i < siblings.size() && n < kAhead; ++i, ++n) {
      const Node* s = siblings[i].get();
      if (s->device || FoundObjectStore::SerialOfHandle(s->handle) != serial) continue;
      PaintRecord& p = paintRecords_[s];
      if (const FoundObject* r = view.FromHandle(s->handle)) {
        p.record = *r;
        p.record.SetName({});
        p.name.assign(r->Name());
        p.resolved = true;
      }
      p.root = view.RootFolderId();
    }
    it = paintRecords_.find(node);
    if (it == paintRecords_.end()) return resolve();
  }
  if (!it->second.resolved) return false;
  out = it->second.record;
  out.SetName(it->second.name);
  root = it->second.root;
  return true;
}

// ---- Item state -------------------------------------------------------------------

bool CFilesTreeModel::IsExpanded(const QModelIndex& index) const {
  const Node* n = NodeOf(index);
  return n && n->expanded;
}

void CFilesTreeModel::SetExpanded(const QModelIndex& index, bool expanded) {
  Node* n = NodeOf(index);
  if (!n || n->expanded == expanded) return;
  n->expanded = expanded;
  emit dataChanged(index, index, {Qt::DecorationRole, ImageRole});
}

bool CFilesTreeModel::IsFetched(const QModelIndex& index) const {
  const Node* n = NodeOf(index);
  return n && n->fetched;
}

int CFilesTreeModel::StateImage(const QModelIndex& index) const {
  const Node* n = NodeOf(index);
  return n ? n->stateImage : 0;
}

void CFilesTreeModel::SetStateImage(const QModelIndex& index, int image) {
  Node* n = NodeOf(index);
  if (!n || n->stateImage == image) return;
  n->stateImage = image;
  emit dataChanged(index, index, {StateImageRole});
}

void CFilesTreeModel::SetBold(const QModelIndex& index, bool bold) {
  Node* n = NodeOf(index);
  if (!n || n->bold == bold) return;
  n->bold = bold;
  emit dataChanged(index, index, {Qt::FontRole});
}

bool CFilesTreeModel::IsBold(const QModelIndex& index) const {
  const Node* n = NodeOf(index);
  return n && n->bold;
}

void CFilesTreeModel::SetChildrenCount(const QModelIndex& index, int children) {
  Node* n = NodeOf(index);
  if (!n) return;
  n->childrenCount = children;
  n->storeHasFolders = -1;
  emit dataChanged(index, index);
}

// ---- Check marks --------------------------------------------------------------------

bool CFilesTreeModel::IsChecked(const QModelIndex& index) const {
  const Node* n = NodeOf(index);
  if (!n) return false;
  if (n->device) return n->checked;
  FoundObject r;
  return ResolveRecord(n, r) && r.flags.Any(OBJ_CHECKED);
}

std::int32_t CFilesTreeModel::CheckedCount(const QModelIndex& index) const {
  const Node* n = NodeOf(index);
  if (!n) return 0;
  if (n->device) return n->checkedCount;
  FoundObject r;
  return ResolveRecord(n, r) ? r.checkedCount : 0;
}

void CFilesTreeModel::ToggleCheck(const QModelIndex& index) {
  Node* item = NodeOf(index);
  if (!item) return;
  // The mark and count of one item, read and written where they live.
  auto checked = [&](Node* n) { return IsChecked(IndexOf(n)); };
  auto setChecked = [&](Node* n, bool on) {
    if (n->device) {
      n->checked = on;
      return;
    }
    std::shared_ptr<CVolume> v = CStoreAccess::VolumeOf(n->handle);
    if (!v) return;
    const FoundObjectStore::ReadView view = v->Store().Read();
    if (FoundObject* r = view.FromHandle(n->handle)) {
      if (on)
        r->flags.Set(OBJ_CHECKED);
      else
        r->flags.Clear(OBJ_CHECKED);
    }
  };
  auto count = [&](Node* n) { return CheckedCount(IndexOf(n)); };
  auto setCount = [&](Node* n, std::int32_t value) {
    if (n->device) {
      n->checkedCount = value;
      return;
    }
    std::shared_ptr<CVolume> v = CStoreAccess::VolumeOf(n->handle);
    if (!v) return;
    FoundObject* r = nullptr;
    {
      const FoundObjectStore::ReadView view = v->Store().Read();
      r = view.FromHandle(n->handle);
    }
    if (r) v->Store().SetCheckedCount(r, value);
  };
  auto setState = [&](Node* n, int image) { SetStateImage(IndexOf(n), image); };
  auto ancestors = [&](Node* n) {
    std::vector<Node*> out;
    for (Node* a = n->parent; a && a != root_.get(); a = a->parent) out.push_back(a);
    return out;
  };

  if (!checked(item)) {
    setState(item, 2);
    setChecked(item, true);
    for (Node* a : ancestors(item)) {
      setState(a, 3);
      setCount(a, count(a) + 1);
    }
    for (auto& c : item->children) {
      setChecked(c.get(), true);
      setState(c.get(), 2);
    }
    return;
  }
  setChecked(item, false);
  setState(item, 1);
  for (auto& c : item->children) {
    setChecked(c.get(), false);
    setState(c.get(), 1);
  }
  Node* parent = item->parent;
  if (!parent || parent == root_.get()) return;
  int change;
  if (checked(parent)) {
    setChecked(parent, false);
    for (Node* a : ancestors(parent)) setCount(a, count(a) - 1);
    change = 0;
    for (auto& c : parent->children)
      if (checked(c.get())) ++change;
  } else {
    if (count(parent) < 0) setCount(parent, 0);
    change = -1;
  }
  std::vector<Node*> chain{parent};
  for (Node* a : ancestors(parent)) chain.push_back(a);
  for (Node* a : chain) {
    const std::int32_t value = count(a) + change;
    if (value <= 0) {
      setCount(a, 0);
      setState(a, 1);
    } else {
      setCount(a, value);
      setState(a, 3);
    }
  }
}

// ---- QAbstractItemModel -------------------------------------------------------------

QModelIndex CFilesTreeModel::index(int row, int column, const QModelIndex& parentIndex) const {
  if (column != 0 || row < 0) return {};
  const Node* parent = parentIndex.isValid() ? NodeOf(parentIndex) : root_.get();
  if (!parent || row >= int(parent->children.size())) return {};
  return createIndex(row, 0, parent->children[std::size_t(row)].get());
}

QModelIndex CFilesTreeModel::parent(const QModelIndex& child) const {
  const Node* n = NodeOf(child);
  if (!n || !n->parent || n->parent == root_.get()) return {};
  return IndexOf(n->parent);
}

int CFilesTreeModel::rowCount(const QModelIndex& parentIndex) const {
  if (parentIndex.column() > 0) return 0;
  const Node* parent = parentIndex.isValid() ? NodeOf(parentIndex) : root_.get();
  return parent ? int(parent->children.size()) : 0;
}

int CFilesTreeModel::columnCount(const QModelIndex&) const { return 1; }

bool CFilesTreeModel::hasChildren(const QModelIndex& parentIndex) const {
  const Node* n = parentIndex.isValid() ? NodeOf(parentIndex) : root_.get();
  if (!n) return false;
  if (!n->children.empty()) return true;
  if (n == root_.get() || n->fetched) return false;
  if (n->childrenCount >= 0) return n->childrenCount > 0;
  // A folder has children as soon as the analysed store holds a folder under it.
  // The view asks for every item it lays out: the answer is kept until a folder
  // comes under the item, so that the view does not wait on a worker's adds.
  if (n->storeHasFolders < 0) {
    try {
      std::shared_ptr<CVolume> v = CStoreAccess::AnalysedVolume();
      n->storeHasFolders = v && v->Store().ChildFolderCount(n->recordId) > 0 ? 1 : 0;
    } catch (...) {
      return false;
    }
  }
  return n->storeHasFolders > 0;
}

bool CFilesTreeModel::canFetchMore(const QModelIndex& parentIndex) const {
  const Node* n = NodeOf(parentIndex);
  return n && !n->fetched && hasChildren(parentIndex);
}

void CFilesTreeModel::fetchMore(const QModelIndex& parentIndex) {
  Node* n = NodeOf(parentIndex);
  if (!n || n->fetched) return;
  n->fetched = true;
  // The children of the item's object: a device node's from its own volume's store,
  // a folder's from the store that holds it.
  std::shared_ptr<CVolume> volume = n->device ? StoreVolumeOfNode(n->nodeId) : CStoreAccess::VolumeOf(n->handle);
  if (!volume) return;
  try {
    std::vector<std::int64_t> handles;
    {
      const FoundObjectStore::ReadView view = volume->Store().Read();
      std::vector<FoundObject*> children;
      view.CollectChildren(n->recordId, children);
      for (const FoundObject* r : children)
        if (r->IsFolder()) handles.push_back(view.HandleOf(r));
    }
    if (handles.empty()) return;
    queued_[n].insert(queued_[n].end(), handles.begin(), handles.end());
    // Inserted now, not at the end of the turn: the view expands what it fetched.
    FlushQueued();
  } catch (...) {
  }
}

QVariant CFilesTreeModel::data(const QModelIndex& index, int role) const {
  const Node* n = NodeOf(index);
  if (!n) return {};
  switch (role) {
    case HandleRole:
      return QVariant::fromValue<qint64>(n->device ? -1 : n->handle);
    case NodeIdRole:
      return n->device ? n->nodeId : 0;
    case StateImageRole:
      return n->stateImage;
    case Qt::FontRole:
      if (!n->bold) return {};
      {
        QFont font;
        font.setBold(true);
        return font;
      }
    case Qt::DisplayRole:
    case Qt::DecorationRole:
    case ImageRole:
      break;
    default:
      return {};
  }
  try {
    int image = n->image;
    QString text = n->text;
    if (n->device) {
      if (text.isEmpty() && role == Qt::DisplayRole) {
        if (n->nodeId == kIdMyComputer || n->nodeId == kIdRecycleBin) {
          SpecialFolderInfo info;
          GetSpecialFolderInfo(n->nodeId == kIdMyComputer ? CSIDL_DRIVES : CSIDL_BITBUCKET, info);
          text = info.displayName;
        } else if (std::shared_ptr<CVolume> v = StoreVolumeOfNode(n->nodeId)) {
          text = app::ToQString(v->GetDisplayName());
        }
      }
      if (image < 0 && role != Qt::DisplayRole) {
        if (n->nodeId == kIdMyComputer || n->nodeId == kIdRecycleBin) {
          image = CFoundObjectImages::DeviceImage(n->nodeId, 0, 0, false);
        } else if (std::shared_ptr<CVolume> v = StoreVolumeOfNode(n->nodeId)) {
          image = CFoundObjectImages::DeviceImage(*v);
        }
      }
    } else {
      FoundObject r;
      std::int32_t root = 0;
      std::u16string name;
      if (!ReadForData(n, r, root, name)) return {};
      if (text.isEmpty()) text = app::ToQString(r.Name());
      if (image < 0) image = CFoundObjectImages::TreeImage(r, root, n->expanded);
    }
    if (role == Qt::DisplayRole) return text;
    if (role == ImageRole) return image;
    return CFoundObjectIcons::Icon(image);
  } catch (...) {
    return {};
  }
}

Qt::ItemFlags CFilesTreeModel::flags(const QModelIndex& index) const {
  // No check box: what is recovered is what is selected, never a mark.
  if (!NodeOf(index)) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
