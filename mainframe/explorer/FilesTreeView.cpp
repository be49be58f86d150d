#include "mainframe/explorer/FilesTreeView.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

#include <algorithm>

#include "app/App.h"
#include "app/QtText.h"
#include "engine/records/Strings.h"
#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"
#include "mainframe/explorer/StoreAccess.h"
#include "mainframe/icons/FoundObjectImages.h"

// What a rebuild opens again: the expanded items, parents before children, and
// the selected one, each by its node id or store handle.
struct CFilesTreeView::OpenState {
  struct Key {
    bool device = false;
    std::int32_t nodeId = 0;
    std::int64_t handle = -1;
  };
  std::vector<Key> expanded;
  Key selected;
  bool hasSelected = false;
};

CFilesTreeView::CFilesTreeView(QWidget* parent) : QTreeView(parent), model_(new CFilesTreeModel(this)) {
  setModel(model_);
  setHeaderHidden(true);
  setUniformRowHeights(true);
  setRootIsDecorated(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setIconSize(QSize(16, 16));
  setAnimated(false);
  header()->setStretchLastSection(true);
  connect(this, &QTreeView::expanded, this, &CFilesTreeView::OnExpanded);
  connect(this, &QTreeView::collapsed, this, &CFilesTreeView::OnCollapsed);
}

CFilesTreeView::~CFilesTreeView() = default;

void CFilesTreeView::paintEvent(QPaintEvent* event) {
  // The items painted read the store once (see CFilesTreeModel::BeginPaint).
  model_->BeginPaint();
  QTreeView::paintEvent(event);
  model_->EndPaint();
}

// ---- Modes and rebuild --------------------------------------------------------------

void CFilesTreeView::SetVolumeMode(int flag) {
  volumeMode_ = flag;
  lostFilesMode_ = 0;
  Refresh();
}

void CFilesTreeView::SetLostFilesMode(int flag) {
  lostFilesMode_ = flag;
  volumeMode_ = 0;
  Refresh();
}

void CFilesTreeView::SetDisplayFlag(int) { Refresh(); }

CFilesTreeView::OpenState CFilesTreeView::SaveOpenState() const {
  OpenState state;
  auto keyOf = [&](const QModelIndex& i) {
    OpenState::Key k;
    k.device = model_->IsDevice(i);
    k.nodeId = model_->NodeIdOf(i);
    k.handle = model_->HandleOf(i);
    return k;
  };
  std::vector<QModelIndex> level{QModelIndex()};
  while (!level.empty()) {
    std::vector<QModelIndex> next;
    for (const QModelIndex& parent : level) {
      for (int row = 0; row < model_->rowCount(parent); ++row) {
        const QModelIndex child = model_->index(row, 0, parent);
        if (!isExpanded(child)) continue;
        state.expanded.push_back(keyOf(child));
        next.push_back(child);
      }
    }
    level = std::move(next);
  }
  if (currentIndex().isValid()) {
    state.selected = keyOf(currentIndex());
    state.hasSelected = true;
  }
  return state;
}

void CFilesTreeView::RestoreOpenState(const OpenState& state) {
  auto find = [&](const OpenState::Key& k) {
    return k.device ? model_->IndexOfNode(k.nodeId) : model_->IndexOfHandle(k.handle);
  };
  for (const OpenState::Key& k : state.expanded) {
    const QModelIndex i = find(k);
    if (i.isValid()) ExpandItem(i);
  }
  if (state.hasSelected) {
    const QModelIndex i = find(state.selected);
    if (i.isValid()) SelectItem(i);
  }
}

void CFilesTreeView::Refresh() {
  if (refreshing_) return;
  refreshing_ = true;
  const OpenState state = SaveOpenState();
  model_->Clear();
  lostFolders_ = lostFiles_ = myComputer_ = recycleBin_ = QPersistentModelIndex();
  if (volumeMode_)
    BuildVolumeMode();
  else if (lostFilesMode_)
    BuildLostFilesMode();
  else
    BuildFullTree();
  RestoreOpenState(state);
  refreshing_ = false;
}

QModelIndex CFilesTreeView::InsertVolume(const QModelIndex& parent, const std::shared_ptr<CVolume>& volume, int image,
                                         const QString& text, bool expand) {
  TreeItemOptions options;
  options.image = image;
  options.text = text;
  const QModelIndex i = model_->InsertDevice(parent, volume->DeviceNodeId(), options);
  if (expand) ExpandItem(i);
  return i;
}

void CFilesTreeView::RegisterSpecialNodes() {
  if (!g_Computer) return;
  std::shared_ptr<CVolume> analysed = g_Computer->AnalysedVolume();
  if (!analysed) return;
  FoundObjectStore& store = analysed->Store();
  const std::uint32_t serial = store.Serial();
  // Once per store: a store that was cleared since is another store.
  if (std::find(registeredIn_.begin(), registeredIn_.end(), serial) != registeredIn_.end()) return;
  registeredIn_.push_back(serial);
  store.RegisterObject(g_Computer->MyComputer()->DeviceNode());
  if (recycleBinPlacement_ >= 0) store.RegisterObject(g_Computer->RecycleBin()->DeviceNode());
}

void CFilesTreeView::BuildFullTree() {
  if (!g_Computer) return;
  TreeItemOptions computer;
  computer.image = CFoundObjectImages::kMyComputer;
  myComputer_ = model_->InsertDevice(QModelIndex(), kIdMyComputer, computer);
  if (recycleBinPlacement_ == 0) {
    TreeItemOptions bin;
    bin.image = CFoundObjectImages::kRecycleBin;
    recycleBin_ = model_->InsertDevice(QModelIndex(), kIdRecycleBin, bin);
  }
  RegisterSpecialNodes();
  const std::vector<std::shared_ptr<CVolume>> volumes = g_Computer->Volumes().Volumes();
  // Node ids are the drive list's: a drive keeps its id, so the folders found on it
  // (whose root hangs from that id) stay attached after a rebuild.
  for (const auto& v : volumes)
    if (v->GetKind() == CVolume::kPhysicalDrive)
      InsertVolume(myComputer_, v, -1, app::ToQString(v->Info().description), true);
  for (const auto& v : volumes) {
    if (v->GetKind() != CVolume::kLogicalDrive) continue;
    QModelIndex parent;
    if (std::shared_ptr<CVolume> disk = v->GetParentVolume(); disk && disk->GetKind() == CVolume::kPhysicalDrive)
      parent = model_->IndexOfNode(disk->DeviceNodeId());
    if (!parent.isValid()) {
      const VolumeInfo info = v->Info();
      for (const auto& d : volumes) {
        if (d->GetKind() != CVolume::kPhysicalDrive || !info.deviceNumber.valid()) continue;
        if (d->Info().deviceNumber == info.deviceNumber) parent = model_->IndexOfNode(d->DeviceNodeId());
      }
    }
    InsertVolume(parent.isValid() ? parent : QModelIndex(myComputer_), v, -1, QString(), false);
  }
  for (const auto& v : volumes)
    if (v->GetKind() == CVolume::kImageFile) InsertVolume(myComputer_, v, -1, QString(), true);
  for (const auto& v : volumes) {
    if (v->GetKind() != CVolume::kFoundPartition) continue;
    std::shared_ptr<CVolume> parentVolume = v->GetParentVolume();
    if (!parentVolume) continue;
    const QModelIndex parent = model_->IndexOfNode(parentVolume->DeviceNodeId());
    if (!parent.isValid()) continue;
    InsertVolume(parent, v, CFoundObjectImages::kPartition, QString(), true);
  }
  ExpandItem(myComputer_);
  SelectItem(myComputer_);
}

void CFilesTreeView::BuildVolumeMode() {
  std::shared_ptr<CVolume> v = CStoreAccess::AnalysedVolume();
  if (!v) return;
  const QModelIndex node =
      InsertVolume(QModelIndex(), v, CFoundObjectImages::kLogicalDrive, app::ToQString(v->GetDisplayName()), false);
  EnsureRootFolder();
  ExpandItem(node);
  ExpandItem(model_->index(0, 0, node));
  EnsureLostFoldersRoot();
}

void CFilesTreeView::BuildLostFilesMode() {
  const std::int64_t handle = EnsureLostFilesRecord();
  std::shared_ptr<CVolume> v = CStoreAccess::VolumeOf(handle);
  if (!v) return;
  QModelIndex item;
  {
    const FoundObjectStore::ReadView view = v->Store().Read();
    TreeItemOptions options;
    options.children = 1;
    item = model_->InsertRecord(QModelIndex(), view, view.FromHandle(handle), false, options);
  }
  lostFiles_ = item;
  ExpandItem(item);
  SelectItem(item);
}

// ---- What the analysis adds -----------------------------------------------------------

QModelIndex CFilesTreeView::AnalysedVolumeItem() const {
  std::shared_ptr<CVolume> v = CStoreAccess::AnalysedVolume();
  return v ? model_->IndexOfNode(v->DeviceNodeId()) : QModelIndex();
}

void CFilesTreeView::EnsureRootFolder() {
  std::shared_ptr<CVolume> v = CStoreAccess::AnalysedVolume();
  if (!v) return;
  FoundObjectStore& store = v->Store();
  if (!store.FindFolderById(store.RootFolderId())) {
    FoundObject root;
    root.flags = OBJ_FOLDER | OBJ_NAMED;
    root.id = store.RootFolderId();
    root.parentId = v->DeviceNodeId();
    root.SetName(u".");
    store.RegisterObject(root);
  }
  const QModelIndex node = model_->IndexOfNode(v->DeviceNodeId());
  if (node.isValid()) model_->SetChildrenCount(node, 1);
}

void CFilesTreeView::EnsureLostFoldersRoot() {
  std::shared_ptr<CVolume> v = CStoreAccess::AnalysedVolume();
  if (!v) return;
  FoundObjectStore& store = v->Store();
  if (lostFoldersRecord_ >= 0 && store.FromHandle(lostFoldersRecord_)) return;  // made sure of already
  FoundObject* record = store.FindFolderById(kIdLostFolders);
  if (!record) {
    const std::u16string name = GetLangString(4352);
    FoundObject lost;
    lost.flags = OBJ_FOLDER | OBJ_DELETED_PATH | OBJ_NAMED;
    lost.id = kIdLostFolders;
    lost.parentId = v->DeviceNodeId();
    lost.SetName(name);
    record = store.RegisterObject(lost);
  }
  if (!record) return;
  lostFoldersRecord_ = store.HandleOf(record);
  // An item only while the store holds lost folders.
  if (store.ChildFolderCount(kIdLostFolders) == 0) return;
  const QModelIndex node = model_->IndexOfNode(v->DeviceNodeId());
  if (!node.isValid()) return;
  QModelIndex item = model_->IndexOfHandle(lostFoldersRecord_);
  if (!item.isValid() || model_->parent(item) != node) {
    const FoundObjectStore::ReadView view = store.Read();
    TreeItemOptions options;
    options.children = 1;
    item = model_->InsertRecord(node, view, view.FromHandle(lostFoldersRecord_), true, options);
  }
  lostFolders_ = item;
}

void CFilesTreeView::AddLostFolder(std::int64_t handle) {
  EnsureLostFoldersRoot();
  if (!lostFolders_.isValid() || !model_->IsExpanded(lostFolders_)) return;
  std::shared_ptr<CVolume> v = CStoreAccess::VolumeOf(handle);
  if (!v) return;
  const FoundObjectStore::ReadView view = v->Store().Read();
  const QModelIndex existing = model_->IndexOfHandle(handle);
  if (existing.isValid() && model_->parent(existing) == QModelIndex(lostFolders_)) return;
  TreeItemOptions options;
  options.image = CFoundObjectImages::kLostFolder;
  model_->InsertRecord(lostFolders_, view, view.FromHandle(handle), false, options);
}

std::int64_t CFilesTreeView::EnsureLostFilesRecord() {
  std::shared_ptr<CVolume> v = CStoreAccess::AnalysedVolume();
  if (!v) return -1;
  FoundObjectStore& store = v->Store();
  FoundObject* record = store.FindFolderById(kIdLostFiles);
  if (!record) {
    const std::u16string name = GetLangString(5120);
    FoundObject lost;
    lost.flags = OBJ_DELETED | OBJ_FOLDER | OBJ_DELETED_PATH | OBJ_NAMED;
    lost.id = kIdLostFiles;
    lost.parentId = v->DeviceNodeId();
    lost.SetName(name);
    record = store.RegisterObject(lost);
  }
  return record ? store.HandleOf(record) : -1;
}

void CFilesTreeView::EnsureLostFilesRoot() {
  std::shared_ptr<CVolume> v = CStoreAccess::AnalysedVolume();
  if (!v) return;
  if (lostFilesRecord_ >= 0 && v->Store().FromHandle(lostFilesRecord_)) return;  // made sure of already
  lostFilesRecord_ = EnsureLostFilesRecord();
  if (lostFilesRecord_ < 0) return;
  const QModelIndex node = model_->IndexOfNode(v->DeviceNodeId());
  QModelIndex item = model_->IndexOfHandle(lostFilesRecord_);
  if (!item.isValid() || model_->parent(item) != node) {
    const FoundObjectStore::ReadView view = v->Store().Read();
    TreeItemOptions options;
    options.children = 1;
    item = model_->InsertRecord(node, view, view.FromHandle(lostFilesRecord_), true, options);
  }
  lostFiles_ = item;
  if (!item.isValid()) return;
  if (node.isValid()) ExpandItem(node);
  SelectItem(item);
  ExpandItem(item);
}

void CFilesTreeView::AddVolumeNode(const std::shared_ptr<CVolume>& volume) {
  if (!volume) return;
  std::shared_ptr<CVolume> parentVolume = volume->GetParentVolume();
  if (!parentVolume || model_->IndexOfNode(volume->DeviceNodeId()).isValid()) return;
  const QModelIndex parent = model_->IndexOfNode(parentVolume->DeviceNodeId());
  if (!parent.isValid()) return;
  TreeItemOptions options;
  options.first = true;
  options.image = CFoundObjectImages::kPartition;
  options.children = 0;
  const QModelIndex item = model_->InsertDevice(parent, volume->DeviceNodeId(), options);
  ExpandItem(parent);
  ExpandItem(item);
}

void CFilesTreeView::InsertFolderItem(const QModelIndex& parent, std::int64_t handle, bool queued) {
  if (!parent.isValid() || handle < 0) return;
  if (queued) {
    model_->QueueFolder(parent, handle);
    return;
  }
  std::shared_ptr<CVolume> v = CStoreAccess::VolumeOf(handle);
  if (!v) return;
  const FoundObjectStore::ReadView view = v->Store().Read();
  const FoundObject* record = view.FromHandle(handle);
  if (!record || !record->IsFolder()) return;
  const QModelIndex existing = model_->IndexOfHandle(handle);
  if (existing.isValid() && model_->parent(existing) == parent) return;
  model_->InsertRecord(parent, view, record, true);
}

// ---- Items ----------------------------------------------------------------------------

void CFilesTreeView::SelectItem(const QModelIndex& index) {
  if (!index.isValid()) return;
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
  scrollTo(index);
}

void CFilesTreeView::ExpandItem(const QModelIndex& index) {
  if (!index.isValid()) return;
  if (model_->canFetchMore(index)) model_->fetchMore(index);
  if (model_->rowCount(index) > 0) expand(index);
}

void CFilesTreeView::OnExpanded(const QModelIndex& index) { model_->SetExpanded(index, true); }

void CFilesTreeView::OnCollapsed(const QModelIndex& index) {
  // My Computer stays open.
  if (index == QModelIndex(myComputer_)) {
    QTimer::singleShot(0, this, [this] {
      if (myComputer_.isValid()) expand(myComputer_);
    });
    return;
  }
  model_->SetExpanded(index, false);
  // A collapsed item lets its folders go; they are fetched again on the next
  // expansion.
  model_->ResetChildren(index);
  emit itemCollapsed(index);
}

QMenu* CFilesTreeView::ContextMenu() const {
  const QModelIndex item = currentIndex();
  if (!item.isValid()) return nullptr;
  QMenuBar* bar = g_App ? g_App->SetMainMenu() : nullptr;
  if (!bar) return nullptr;
  const QList<QAction*> menus = bar->actions();
  auto sub = [&](int i) { return i < menus.size() ? menus[i]->menu() : nullptr; };
  if (model_->IsDevice(item)) {
    const std::int32_t id = model_->NodeIdOf(item);
    if (id == kIdMyComputer || id == kIdRecycleBin || deviceMenu_ == 0) return nullptr;
    return sub(0);
  }
  return sub(1);
}

void CFilesTreeView::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  // The Menu key and Shift+F10 open the selected item's menu beside it.
  if ((key == Qt::Key_Menu && !(event->modifiers() & ~Qt::KeypadModifier)) ||
      (key == Qt::Key_F10 && (event->modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier)) {
    event->accept();
    OpenContextMenu(KeyboardMenuPosition());
    return;
  }
  if (key == Qt::Key_Return || key == Qt::Key_Enter)
    emit treeKey(13);
  else if (key == Qt::Key_Backspace)
    emit treeKey(8);
  QTreeView::keyPressEvent(event);
}

void CFilesTreeView::mouseDoubleClickEvent(QMouseEvent* event) {
  emit treeKey(13);
  QTreeView::mouseDoubleClickEvent(event);
}

void CFilesTreeView::focusInEvent(QFocusEvent* event) {
  emit focused();
  QTreeView::focusInEvent(event);
}

void CFilesTreeView::contextMenuEvent(QContextMenuEvent* event) {
  event->accept();
  // The keyboard's menu comes with its key press (keyPressEvent); the window
  // system's own event for the Menu key would open it a second time.
  if (event->reason() == QContextMenuEvent::Keyboard) return;
  // The press has moved the selection to the clicked item already.
  OpenContextMenu(event->globalPos());
}

QPoint CFilesTreeView::KeyboardMenuPosition() const {
  const QRect item = visualRect(currentIndex());
  const QPoint local = item.isValid() ? QPoint(std::min(item.left() + 16, viewport()->width() - 1), item.bottom())
                                      : QPoint(0, 0);
  return viewport()->mapToGlobal(local);
}

void CFilesTreeView::OpenContextMenu(const QPoint& globalPos) {
  try {
    if (QMenu* menu = ContextMenu()) menu->exec(globalPos);
  } catch (...) {
  }
}
