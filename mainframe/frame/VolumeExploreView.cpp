#include "mainframe/frame/VolumeExploreView.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>
#include <unordered_set>

#include "app/App.h"
#include "app/PostedEvent.h"
#include "app/QtText.h"
#include "controls/PaneContainerEx.h"
#include "dialogs/FileInformationViewDlg.h"
#include "dialogs/FiltersView.h"
#include "dialogs/RecoveryCommands.h"
#include "dialogs/VolumeImage_CreateDlg.h"
#include "dialogs/VolumeInformationDlg.h"
#include "engine/records/AppSettings.h"
#include "engine/records/Messages.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/ScanProgress.h"
#include "engine/records/UserCallbacks.h"
#include "engine/store/FolderContents.h"
#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"
#include "mainframe/explorer/FilesListView.h"
#include "mainframe/explorer/FilesTreeView.h"
#include "mainframe/explorer/MyComputerView.h"
#include "mainframe/explorer/RecycleBinView.h"
#include "mainframe/explorer/StoreAccess.h"
#include "mainframe/explorer/VolumeInfoView.h"
#include "mainframe/find/FindInFound.h"
#include "mainframe/frame/CommandTable.h"
#include "search/FileTypeDatabase.h"
#include "search/Recovery.h"
#include "search/RecoveryJobs.h"

CVolumeExploreView::CVolumeExploreView(QWidget* parent) : QSplitter(Qt::Horizontal, parent) {
  setChildrenCollapsible(false);
  MakeViews();
  // The tree and the list in the panes; no numbered view until the first SetView.
  left_ = tree_;
  right_ = list_;
  addWidget(tree_);
  addWidget(list_);
  // The left pane keeps its width; the right one takes what the window gains (each
  // view carries its own stretch, since a view that comes into a pane brings it).
  auto stretch = [](QWidget* w, int factor) {
    QSizePolicy policy = w->sizePolicy();
    policy.setHorizontalStretch(factor);
    w->setSizePolicy(policy);
  };
  for (QWidget* w : {static_cast<QWidget*>(tree_), searchBar_}) stretch(w, 0);
  for (QWidget* w : {static_cast<QWidget*>(list_), static_cast<QWidget*>(findResults_), static_cast<QWidget*>(volumeInfo_), recycleBin_,
                     myComputer_})
    stretch(w, 1);
  setSizes({kSplitterPosition, 600});
  rescanTimer_.setInterval(mainframe::CDriveRescan::kPollInterval);
  connect(&rescanTimer_, &QTimer::timeout, this, &CVolumeExploreView::OnRescanTimer);
  // The filters sheet closed: the tree is rebuilt through the filter.
  connect(&CFiltersView::Changes(), &CFilterChangeNotifier::filterChanged, this, &CVolumeExploreView::RefreshTree);
}

CVolumeExploreView::~CVolumeExploreView() {
  if (waitCursor_) QApplication::restoreOverrideCursor();
  // A running search ends before the views it fills go.
  findInFound_->Reset();
}

bool CVolumeExploreView::event(QEvent* event) {
  if (const PostedMessage* m = CPostedEvent::Of(event)) {
    if (OnPostedMessage(*m)) return true;
  }
  return QSplitter::event(event);
}

void CVolumeExploreView::MakeViews() {
  // The views not in a pane wait, hidden, in the stash: a window of this view's
  // that is never shown (a plain child of the splitter would become a pane of its
  // own), deleted with it.
  stash_ = new QWidget(this, Qt::Window);
  stash_->setObjectName(QStringLiteral("ExploreViewStash"));
  tree_ = new CFilesTreeView(stash_);
  list_ = new CFilesListView(stash_);
  findInFound_ = new CFindInFound(this);
  findInFound_->Create(stash_, this);
  findResults_ = findInFound_->Results();
  searchBar_ = findInFound_->Pane();
  volumeInfo_ = new CVolumeInfoView(stash_);
  recycleBin_ = new CRecycleBinView(stash_);
  myComputer_ = new CMyComputerView(stash_);

  // The children's messages to this view: keys and focus as posted messages
  // (queued), the tree's focus at once (sent), selections as they happen.
  connect(tree_, &CFilesTreeView::treeKey, this, [this](int key) { OnTreeKey(key, tree_); }, Qt::QueuedConnection);
  connect(list_, &CFilesListView::treeKey, this, [this](int key) { OnTreeKey(key, list_); }, Qt::QueuedConnection);
  connect(findResults_, &CFilesListView::treeKey, this, [this](int key) { OnTreeKey(key, findResults_); },
          Qt::QueuedConnection);
  connect(tree_, &CFilesTreeView::focused, this, [this] { OnViewFocused(tree_); });
  connect(list_, &CFilesListView::focused, this, [this] { OnViewFocused(list_); }, Qt::QueuedConnection);
  connect(findResults_, &CFilesListView::focused, this, [this] { OnViewFocused(findResults_); },
          Qt::QueuedConnection);
  connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) { OnTreeSelChanged(current); });
  connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) { OnListSelChanged(current.row()); });
  // A collapsed folder is selected (its folders are gone).
  connect(tree_, &CFilesTreeView::itemCollapsed, this, [this](const QModelIndex& index) {
    const std::int64_t handle = tree_->Model()->HandleOf(index);
    if (handle >= 0) SelectObject(handle, false);
  });
}

// ---- Chain ---------------------------------------------------------------------------------

bool CVolumeExploreView::OnCommand(int id) {
  switch (id) {
    case mainframe::ID_START_ANALYSIS:
      OnStartAnalysis();
      return true;
    case mainframe::ID_STOP_ANALYSIS:
      StopAnalysis();
      return true;
    case mainframe::ID_RESCAN_DRIVES:
      RescanDrives();
      return true;
    case mainframe::ID_LOAD_IMAGE:
      OnLoadImage();
      return true;
    case mainframe::ID_RECOVER:
      OnRecover();
      return true;
    case mainframe::ID_TRY_OPEN:
      OnTryOpen();
      return true;
    case mainframe::ID_SET_NEW_SIZE:
      OnSetNewSize();
      return true;
    case mainframe::ID_RESET_SIZE:
      OnResetSize();
      return true;
    case mainframe::ID_SEARCH_LOST_DRIVES:
      OnSearchLostDrives();
      return true;
    case mainframe::ID_REFRESH_TREE:
      RefreshTree();
      return true;
    case mainframe::ID_SELECT_NODE:
      OnSelectNode();
      return true;
    case mainframe::ID_CREATE_IMAGE:
      OnCreateImage();
      return true;
    case mainframe::ID_INFORMATION:
      OnInformation();
      return true;
    case mainframe::ID_DRIVE_PROPERTIES:
      OnDriveProperties();
      return true;
    default:
      return false;
  }
}

bool CVolumeExploreView::OnPostedMessage(const PostedMessage& message) {
  switch (message.message) {
    case WM_INIT_LAYOUT: {
      const int total = std::max(kSplitterPositionAfterLayout + 1, width());
      setSizes({kSplitterPositionAfterLayout, total - kSplitterPositionAfterLayout});
      return true;
    }
    case WM_DEVICE_CHANGED:
      RefreshTree();
      return true;
    case WM_FOUND_OBJECT:
      OnFoundObject(message.wParam, message.lParam);
      return true;
    case WM_VOLUME_ADDED:
      tree_->AddVolumeNode(CStoreAccess::VolumeOfNode(static_cast<std::int32_t>(message.wParam)));
      return true;
    case WM_START_RECOVERY:
      OnStartRecovery();
      return true;
    case WM_TOGGLE_TREE_CHECK:
      OnToggleTreeCheck(message.lParam);
      return true;
    case WM_FIND_START:
      findInFound_->Start(CStoreAccess::AnalysedVolume());
      return true;
    case WM_FIND_STOP:
      SetView(VIEW_LIST_2);
      findInFound_->Stop();
      return true;
    default:
      return false;
  }
}

void CVolumeExploreView::UpdateCommandStates(mainframe::CommandStates& states) {
  // The focused window becomes the control the file commands act on.
  QWidget* focus = QApplication::focusWidget();
  if (focus == list_ || focus == findResults_ || focus == tree_) activeControl_ = focus;
  if (!activeControl_) return;
  // Once a control has had the focus, the file commands follow its selection:
  // enabled when it holds a file or folder (Recover not while an analysis runs).
  const bool any = HasSelection();
  for (int id : mainframe::kFileCommands) states[id].enabled = any;
  states[mainframe::ID_RECOVER].enabled = any && !GetScanProgress().IsRunning();
}

void CVolumeExploreView::OnFrameTimer(int timerId) {
  if (timerId == 250) {
    list_->SetItemCount();
    findResults_->SetItemCount();
  } else if (timerId == 2000) {
    tree_->viewport()->update();
    list_->viewport()->update();
  }
}

// ---- Views ---------------------------------------------------------------------------------

QWidget* CVolumeExploreView::RightPaneOf(int view) const {
  switch (view) {
    case VIEW_LIST:
    case VIEW_LIST_2:
      return list_;
    case VIEW_FIND:
      return findResults_;
    case VIEW_VOLUME_INFO:
    case VIEW_VOLUME_INFO_2:
    case VIEW_VOLUME_INFO_3:
      return volumeInfo_;
    case VIEW_RECYCLE_BIN:
      return recycleBin_;
    case VIEW_MY_COMPUTER:
      return myComputer_;
    default:
      return nullptr;
  }
}

QWidget* CVolumeExploreView::LeftPaneOf(int view) const {
  if (view < VIEW_LIST || view > VIEW_MY_COMPUTER) return nullptr;
  return view == VIEW_FIND ? searchBar_ : tree_;
}

void CVolumeExploreView::SetView(int view, bool force) {
  if (view == VIEW_PREVIOUS) view = previousView_;
  if (view < VIEW_LIST || view > VIEW_MY_COMPUTER) return;
  QWidget* right = RightPaneOf(view);
  QWidget* left = LeftPaneOf(view);
  // The same window in the right pane: nothing happens, unless forced.
  if (!force && right == right_) return;
  const QList<int> sizes = this->sizes();
  // The left pane's window is hidden only when it leaves its pane: hiding the tree
  // that keeps its place would take the keyboard focus out of it at every
  // selection. The right pane is shown anew (forced: the same window again).
  if (left_ != left) left_->hide();
  right_->hide();
  auto place = [&](int index, QWidget* from, QWidget* to) {
    if (from == to) return;
    if (QWidget* old = replaceWidget(index, to)) old->setParent(stash_);
  };
  place(0, left_, left);
  place(1, right_, right);
  left_ = left;
  right_ = right;
  // The new views take the places of the old ones (once the splitter has sizes).
  if (sizes.size() == 2 && sizes[0] > 0 && sizes[1] > 0) setSizes(sizes);
  left_->show();
  right_->show();
  previousView_ = currentView_;
  currentView_ = view;
}

bool CVolumeExploreView::HasCurrentObject() const {
  FoundObject r;
  return currentObject_ >= 0 && CStoreAccess::ReadRecord(currentObject_, r);
}

void CVolumeExploreView::ShowForCurrentVolume(int flag) { tree_->SetVolumeMode(flag); }
void CVolumeExploreView::ShowLostFiles(int flag) { tree_->SetLostFilesMode(flag); }
void CVolumeExploreView::SetTreeFlag(int value) { tree_->SetDisplayFlag(value); }

// ---- Selection ------------------------------------------------------------------------------

void CVolumeExploreView::SendToTop(std::uint32_t message, std::int64_t wParam, std::int64_t lParam) {
  QWidget* top = g_App ? g_App->TopWindow() : nullptr;
  if (!top) return;
  PostedMessage m;
  m.message = message;
  m.wParam = wParam;
  m.lParam = lParam;
  CPostedEvent event(std::move(m));
  QCoreApplication::sendEvent(top, &event);
}

void CVolumeExploreView::SelectObject(std::int64_t handle, bool keep) {
  if (g_Computer) g_Computer->SetSelectedVolume(nullptr);
  std::shared_ptr<CVolume> volume;
  FoundObject record;
  if (!CStoreAccess::ReadRecord(handle, record, &volume)) return;
  if (record.IsDevice()) {
    SelectDevice(record.id);
    return;
  }
  if (!keep) currentObject_ = handle;
  SetView(VIEW_LIST_2, false);
  SendToTop(WM_OBJECT_SELECTED, currentObject_, 256);
  emit objectSelected(currentObject_);
  if (filling_) return;
  // The list shows the object's children, in store order through the filter, until
  // a stop is asked; then the count is pushed (which sorts).
  filling_ = true;
  CFilesListModel& model = *list_->Model();
  model.Clear();
  try {
    const FoundObjectStore::ReadView view = volume->Store().Read();
    std::vector<FoundObject*> children;
    view.CollectChildren(record.id, children);
    // Store messages still queued for these records must not add them twice.
    model.SetFillMark(view.Count());
    for (const FoundObject* child : children) {
      if (model.StopFill().load()) break;
      model.AddObject(view, child);
    }
  } catch (...) {
  }
  model.Busy().store(0);
  filling_ = false;
  model.SetItemCount();
}

void CVolumeExploreView::SelectDevice(std::int32_t nodeId) {
  currentObject_ = -1;
  std::shared_ptr<CVolume> volume = CStoreAccess::VolumeOfNode(nodeId);
  int view = VIEW_LIST;
  if (nodeId == kIdMyComputer) {
    view = VIEW_MY_COMPUTER;
  } else if (nodeId == kIdRecycleBin) {
    view = VIEW_RECYCLE_BIN;
  } else if (volume) {
    switch (volume->GetKind()) {
      case CVolume::kPhysicalDrive:
        view = VIEW_VOLUME_INFO;
        break;
      case CVolume::kLogicalDrive:
      case CVolume::kImageFile:
      case CVolume::kFoundPartition:
        view = VIEW_VOLUME_INFO_2;
        break;
      default:
        break;
    }
    // The volume becomes the selected volume, shown by the volume information view.
    if (view != VIEW_LIST && g_Computer) g_Computer->SetSelectedVolume(volume);
    if (view != VIEW_LIST) volumeInfo_->ShowVolumeInfo(volume);
  }
  lastSelectedNode_ = nodeId;
  SetView(view, true);
}

void CVolumeExploreView::OnTreeSelChanged(const QModelIndex& current) {
  std::int64_t item = -1;
  if (current.isValid()) {
    CFilesTreeModel& model = *tree_->Model();
    if (model.IsDevice(current)) {
      item = model.NodeIdOf(current);
      if (g_Computer) g_Computer->SetSelectedVolume(nullptr);
      SelectDevice(model.NodeIdOf(current));
    } else {
      item = model.HandleOf(current);
      SelectObject(item, false);
    }
  }
  emit treeSelectionChanged(item);
  if (QWidget* top = window(); top && top != this) {
    PostedMessage m;
    m.message = WM_TREE_SELECTION_CHANGED;
    m.lParam = item;
    QCoreApplication::postEvent(top, new CPostedEvent(std::move(m)));
  }
}

void CVolumeExploreView::OnListSelChanged(int row) {
  const std::int64_t handle = list_->Model()->HandleAt(row);
  if (handle < 0) return;  // -1 or outside the list
  currentObject_ = handle;
  SendToTop(WM_OBJECT_SELECTED, currentObject_, 256);
  emit objectSelected(currentObject_);
}

// ---- Store messages ----------------------------------------------------------------------

void CVolumeExploreView::OnFoundObject(std::int64_t handle, std::int64_t kind) {
  if (handle < 0) return;
  pendingFound_.push_back({handle, kind});
  ScheduleFoundObjects();
}

void CVolumeExploreView::ScheduleFoundObjects() {
  if (foundScheduled_) return;
  foundScheduled_ = true;
  QTimer::singleShot(0, this, [this] {
    foundScheduled_ = false;
    HandleFoundObjects(false);
  });
}

void CVolumeExploreView::FlushFoundObjects() {
  HandleFoundObjects(true);
  tree_->Model()->FlushQueued();
}

void CVolumeExploreView::HandleFoundObjects(bool all) {
  QElapsedTimer slice;
  slice.start();
  while (pendingNext_ < pendingFound_.size()) {
    try {
      // Plain additions in runs, each under one look at the store; the rest (and
      // the analysis's first objects) one by one.
      if (HandleAddedRun(256) == 0) HandleFoundObject(pendingFound_[pendingNext_++]);
    } catch (...) {
    }
    // A long burst is handled in slices: the rest waits for the next turn.
    if (!all && slice.elapsed() >= kFoundObjectSlice.count()) break;
  }
  if (pendingNext_ >= pendingFound_.size()) {
    pendingFound_.clear();
    pendingNext_ = 0;
    if (pendingFound_.capacity() > 65536) pendingFound_.shrink_to_fit();
  } else {
    ScheduleFoundObjects();
  }
}

void CVolumeExploreView::ShowNewRootFolder(FoundObjectStore& store) {
  CFilesTreeModel& model = *tree_->Model();
  // Folders of the store as it was before this analysis go; the node fetches the
  // new root folder when it does not show it yet.
  model.PruneStale();
  tree_->EnsureRootFolder();
  const QModelIndex node = tree_->AnalysedVolumeItem();
  if (!node.isValid()) return;
  std::int64_t rootHandle = -1;
  {
    const FoundObjectStore::ReadView view = store.Read();
    rootHandle = view.HandleOf(view.FindFolderById(view.RootFolderId()));
  }
  if (model.parent(model.IndexOfHandle(rootHandle)) != node) model.ResetChildren(node);
  tree_->ExpandItem(node);
}

std::size_t CVolumeExploreView::HandleAddedRun(std::size_t most) {
  if (tree_->rootPending || tree_->firstFolderPending) return 0;
  std::shared_ptr<CVolume> analysed = CStoreAccess::AnalysedVolume();
  if (!analysed) return 0;
  FoundObjectStore& store = analysed->Store();
  CFilesTreeModel& model = *tree_->Model();
  CFilesListModel& list = *list_->Model();
  const QModelIndex current = tree_->currentIndex();
  std::vector<FoundObject*> deleted;
  std::size_t done = 0;
  const std::uint32_t serial = store.Serial();
  {
    const FoundObjectStore::ReadView view = store.Read();
    while (done < most && pendingNext_ < pendingFound_.size()) {
      const PendingFound& message = pendingFound_[pendingNext_];
      if (message.kind != FOUND_ADDED || FoundObjectStore::SerialOfHandle(message.handle) != serial) break;
      ++pendingNext_;
      ++done;
      FoundObject* r = view.FromHandle(message.handle);
      if (!r) continue;
      // Under its parent's item, when the parent is shown: a folder into the
      // expanded parent, any object into the list while the parent is selected.
      const FoundObject* parent = view.FindFolderById(r->parentId);
      const QModelIndex parentItem = parent ? model.IndexOfHandle(view.HandleOf(parent)) : QModelIndex();
      if (parentItem.isValid()) {
        if (r->IsFolder()) {
          if (model.IsExpanded(parentItem))
            model.QueueFolder(parentItem, message.handle);
          else
            model.ChildrenMayHaveChanged(parentItem);
        }
        if (parentItem == current) list.OfferObject(view, r);
      }
      if (r->flags.Any(OBJ_DELETED)) deleted.push_back(r);
    }
  }
  // A deleted object marks the folders on its way as leading to it.
  store.MarkFolderChains(deleted);
  return done;
}

void CVolumeExploreView::HandleFoundObject(const PendingFound& message) {
  std::shared_ptr<CVolume> analysed = CStoreAccess::AnalysedVolume();
  // Only the analysed volume's objects are shown.
  if (!analysed || analysed->Store().Serial() != FoundObjectStore::SerialOfHandle(message.handle)) return;
  FoundObjectStore& store = analysed->Store();
  CFilesTreeModel& model = *tree_->Model();
  FoundObject record;
  std::int64_t parentHandle = -1;
  std::int32_t rootFolderId = 0;
  {
    const FoundObjectStore::ReadView view = store.Read();
    const FoundObject* r = view.FromHandle(message.handle);
    if (!r) return;
    record = *r;
    rootFolderId = view.RootFolderId();
    if (const FoundObject* parent = view.FindFolderById(record.parentId)) parentHandle = view.HandleOf(parent);
  }
  const QModelIndex current = tree_->currentIndex();
  switch (message.kind) {
    case FOUND_ADDED: {
      // Under its parent's item, when the parent is shown: a folder into the
      // expanded parent, any object into the list while the parent is selected.
      const QModelIndex parentItem = parentHandle >= 0 ? model.IndexOfHandle(parentHandle) : QModelIndex();
      if (parentItem.isValid()) {
        if (record.IsFolder()) {
          if (model.IsExpanded(parentItem))
            tree_->InsertFolderItem(parentItem, message.handle);
          else
            model.ChildrenMayHaveChanged(parentItem);
        }
        if (parentItem == current) {
          const FoundObjectStore::ReadView view = store.Read();
          list_->Model()->OfferObject(view, view.FromHandle(message.handle));
        }
      }
      if (record.flags.Any(OBJ_DELETED)) {
        FoundObject* r = nullptr;
        {
          const FoundObjectStore::ReadView view = store.Read();
          r = view.FromHandle(message.handle);
        }
        store.MarkFolderChain(r);
      }
      if (tree_->rootPending) {
        tree_->rootPending = false;
        ShowNewRootFolder(store);
        const QModelIndex node = tree_->AnalysedVolumeItem();
        if (node.isValid()) tree_->SelectItem(node);
      }
      if (tree_->firstFolderPending && record.IsFolder() && record.parentId == rootFolderId) {
        tree_->firstFolderPending = false;
        const QModelIndex node = tree_->AnalysedVolumeItem();
        tree_->ExpandItem(node);
        QModelIndex root;
        {
          const FoundObjectStore::ReadView view = store.Read();
          if (const FoundObject* r = view.FindFolderById(rootFolderId)) root = model.IndexOfHandle(view.HandleOf(r));
        }
        if (root.isValid()) {
          tree_->ExpandItem(root);
          tree_->SelectItem(root);
        }
      }
      break;
    }
    case FOUND_CARVED_ADDED: {
      if (tree_->lostFilesPending) {
        tree_->lostFilesPending = false;
        // A drive without a file system sends no parsed object that would have
        // put the new store's folders in place of the old ones.
        if (tree_->rootPending) {
          tree_->rootPending = false;
          ShowNewRootFolder(store);
        }
        tree_->EnsureLostFilesRoot();
      }
      if (parentHandle >= 0 && !model.IndexOfHandle(parentHandle).isValid() && tree_->LostFilesItem().isValid()) {
        // A new type folder under "Lost files"; the list shows it at once when the
        // root is selected.
        tree_->InsertFolderItem(tree_->LostFilesItem(), parentHandle, false);
        if (model.ObjectIdOf(tree_->currentIndex()) == kIdLostFiles)
          SelectObject(model.HandleOf(tree_->currentIndex()), false);
      }
      // The list of the type folder selected now takes the object (the same rows a
      // refill would show, without refilling a long list for each object).
      if (model.ObjectIdOf(tree_->currentIndex()) == record.parentId && parentHandle >= 0 &&
          model.HandleOf(tree_->currentIndex()) == parentHandle) {
        const FoundObjectStore::ReadView view = store.Read();
        list_->Model()->OfferObject(view, view.FromHandle(message.handle));
      }
      break;
    }
    case FOUND_LOST_FOLDER_MADE:
      tree_->AddLostFolder(message.handle);
      break;
    case FOUND_PLACEHOLDER_REPLACED: {
      const QModelIndex lost = tree_->LostFoldersItem();
      const QModelIndex item = model.IndexOfHandle(message.handle);
      if (lost.isValid() && model.IsExpanded(lost) && item.isValid() && model.parent(item) == lost &&
          model.ObjectIdOf(current) == record.parentId)
        model.RemoveItem(item);
      break;
    }
    default:
      break;  // 4, a carved object merged: nothing
  }
}

// ---- Keys and the find pane ----------------------------------------------------------------

void CVolumeExploreView::OnViewFocused(QWidget* view) {
  if (view == list_ || view == findResults_ || view == tree_) activeControl_ = view;
}

void CVolumeExploreView::OnTreeKey(int key, QWidget* sender) {
  try {
    if (key == 13 && sender == list_) {
      const std::int64_t handle = list_->FirstSelectedHandle();
      FoundObject record;
      if (!CStoreAccess::ReadRecord(handle, record)) return;
      if (record.IsFolder()) {
        // Into the folder: its own item under the tree's selected one.
        const QModelIndex selected = tree_->currentIndex();
        if (!tree_->isExpanded(selected)) tree_->ExpandItem(selected);
        const QModelIndex item = tree_->Model()->IndexOfHandle(handle);
        if (item.isValid()) {
          tree_->SelectItem(item);
          tree_->ExpandItem(item);
        }
      } else {
        // A file: "try to open", after this key has been handled.
        QMetaObject::invokeMethod(this, [this] { OnCommand(mainframe::ID_TRY_OPEN); }, Qt::QueuedConnection);
      }
    } else if (key == 13 && sender == findResults_) {
      ShowInFolder(findResults_->FirstSelectedHandle());
    } else if (key == 8 && currentView_ != VIEW_FIND) {
      const QModelIndex parent = tree_->Model()->parent(tree_->currentIndex());
      if (parent.isValid()) tree_->SelectItem(parent);
    }
  } catch (...) {
  }
}

void CVolumeExploreView::ShowInFolder(std::int64_t handle) {
  std::shared_ptr<CVolume> analysed = CStoreAccess::AnalysedVolume();
  if (!analysed || handle < 0) return;
  SetView(VIEW_LIST_2, false);
  const QModelIndex node = tree_->AnalysedVolumeItem();
  tree_->ExpandItem(node);
  // The chain of folders from the object up to the root folder, by parent id.
  std::vector<std::int64_t> chain;
  std::int32_t parentId = 0;
  {
    const FoundObjectStore::ReadView view = analysed->Store().Read();
    const FoundObject* r = view.FromHandle(handle);
    if (!r) return;
    parentId = r->parentId;
    std::unordered_set<const FoundObject*> seen{r};
    const std::int32_t root = view.RootFolderId();
    for (const FoundObject* f = view.FindFolderById(r->parentId); f && seen.insert(f).second;
         f = view.FindFolderById(f->parentId)) {
      chain.push_back(view.HandleOf(f));
      if (f->id == root) break;
    }
  }
  (void)parentId;
  // Opened from the top down; the object's folder is selected (which fills the
  // list), then the object's row.
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    const QModelIndex item = tree_->Model()->IndexOfHandle(*it);
    if (item.isValid()) tree_->ExpandItem(item);
  }
  if (!chain.empty()) {
    const QModelIndex folder = tree_->Model()->IndexOfHandle(chain.front());
    if (folder.isValid()) tree_->SelectItem(folder);
  }
  list_->SelectRow(list_->Model()->RowOf(handle));
}

// ---- Selection for the file commands -------------------------------------------------------

std::vector<std::int64_t> CVolumeExploreView::ActiveSelection(bool* fromTree) const {
  std::vector<std::int64_t> handles;
  if (fromTree) *fromTree = false;
  QWidget* active = activeControl_;
  if (active == list_ || active == findResults_) {
    handles = static_cast<CFilesListView*>(active)->SelectedHandles();
  } else if (active == tree_) {
    const std::int64_t handle = tree_->Model()->HandleOf(tree_->currentIndex());
    if (handle >= 0) handles.push_back(handle);
    if (fromTree) *fromTree = true;
  }
  return handles;
}

int CVolumeExploreView::CollectSelection(std::vector<FoundObject*>& out, std::shared_ptr<CVolume>* volumeOut) {
  out.clear();
  if (volumeOut) volumeOut->reset();
  bool fromTree = false;
  const std::vector<std::int64_t> handles = ActiveSelection(&fromTree);
  if (handles.empty()) return 0;
  // The store the selection belongs to, whichever volume was analysed last.
  std::shared_ptr<CVolume> volume = CStoreAccess::VolumeOf(handles.front());
  if (volumeOut) *volumeOut = volume;
  if (!volume) return 0;
  try {
    const FoundObjectStore::ReadView view = volume->Store().Read();
    // A folder contributes the files below it that the filter shows.
    CFolderContents contents(g_Computer ? &g_Computer->Filter() : nullptr);
    for (std::int64_t handle : handles) {
      FoundObject* r = view.FromHandle(handle);
      if (!r || r->IsDevice()) continue;
      if (r->IsFolder()) contents.Collect(view, r->id, out);
      // In a list the row itself follows its contents; the tree's folder stands
      // for its files alone.
      if (!fromTree) out.push_back(r);
    }
  } catch (...) {
    // What was collected stays.
  }
  return static_cast<int>(out.size());
}

bool CVolumeExploreView::HasSelection() const {
  for (std::int64_t handle : ActiveSelection()) {
    FoundObject record;
    if (CStoreAccess::ReadRecord(handle, record) && !record.IsDevice()) return true;
  }
  return false;
}

std::int64_t CVolumeExploreView::FirstSelectedObject() const {
  for (std::int64_t handle : ActiveSelection()) {
    FoundObject record;
    if (CStoreAccess::ReadRecord(handle, record) && !record.IsDevice()) return handle;
  }
  return activeControl_ ? -1 : currentObject_;
}

void CVolumeExploreView::ClearViews() {
  list_->Clear();
  list_->Model()->Busy().store(0);
  if (tree_->Model()->rowCount() > 0) {
    Log().SendStatus(57114);
    tree_->SetPendingFlags();
  }
}

// ---- Drive tree ----------------------------------------------------------------------------

void CVolumeExploreView::RefreshTree() {
  tree_->Refresh();
  MarkAnalysedVolumeBold();
  emit driveTreeRefreshed();
}

void CVolumeExploreView::MarkAnalysedVolumeBold() {
  std::shared_ptr<CVolume> analysed = CStoreAccess::AnalysedVolume();
  if (!analysed || !analysed->HasAnalysisThread()) return;
  tree_->Model()->SetBold(tree_->AnalysedVolumeItem(), true);
}

void CVolumeExploreView::SelectDeviceNode(std::int32_t nodeId) {
  lastSelectedNode_ = nodeId;
  const QModelIndex item = tree_->Model()->IndexOfNode(nodeId);
  if (item.isValid()) tree_->SelectItem(item);
}

bool CVolumeExploreView::OnToggleTreeCheck(std::int64_t item) {
  CFilesTreeModel& model = *tree_->Model();
  const QModelIndex index = item < 0 && item >= INT32_MIN ? model.IndexOfNode(static_cast<std::int32_t>(item))
                                                          : model.IndexOfHandle(item);
  if (!index.isValid()) return false;
  model.ToggleCheck(index);
  return true;
}

// ---- Commands ------------------------------------------------------------------------------

void CVolumeExploreView::RescanDrives() {
  if (!g_Computer || !rescan_.Start(g_Computer->Volumes())) return;
  if (!waitCursor_) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    waitCursor_ = true;
  }
  rescanTimer_.start();
}

void CVolumeExploreView::OnRescanTimer() {
  if (!rescan_.Poll()) return;
  rescanTimer_.stop();
  if (waitCursor_) {
    QApplication::restoreOverrideCursor();
    waitCursor_ = false;
  }
  RefreshTree();
}

namespace {

// The open dialog of "Load Drive Image...": a typed name that exists as it stands
// (an image without an extension, a link to an image file or to a device) is
// taken as it is; the default extension is added only to a name that does not.
class CImageOpenDialog : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;

  void accept() override {
    const QString suffix = defaultSuffix();
    setDefaultSuffix(QString());
    const QStringList typed = selectedFiles();
    if (typed.size() != 1 || !QFileInfo(typed.front()).exists() || QFileInfo(typed.front()).isDir())
      setDefaultSuffix(suffix);
    QFileDialog::accept();
  }
};

}  // namespace

void CVolumeExploreView::OnLoadImage() {
  if (!g_Computer) return;
  CImageOpenDialog dialog(window(), QString());
  dialog.setObjectName(QStringLiteral("LoadDriveImageDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  // The labels as the program words them; the pattern in brackets at the end is
  // what the dialog matches and does not show: the usual image names besides the
  // program's own .dsk, and "*" for all files (many image files have no dot).
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setNameFilters({QStringLiteral("Drive Image Files ( *.dsk ) (*.dsk *.img *.dd *.raw *.iso)"),
                         QStringLiteral("All Files ( *.* ) (*)")});
  dialog.setDefaultSuffix(QStringLiteral("dsk"));
  if (dialog.exec() != QDialog::Accepted) return;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return;
  std::shared_ptr<CVolume> volume = g_Computer->OpenImageFile(app::ToU16(files.front()));
  if (!volume) return;
  RefreshTree();
  SelectDeviceNode(volume->DeviceNodeId());
}

std::shared_ptr<CVolume> CVolumeExploreView::SelectedDeviceVolume() const {
  std::shared_ptr<CVolume> volume = tree_->Model()->VolumeOfItem(tree_->currentIndex());
  if (!volume || volume->GetKind() == 0) return nullptr;  // My Computer, the Recycle Bin
  return volume;
}

void CVolumeExploreView::OnCreateImage() {
  std::shared_ptr<CVolume> volume = SelectedDeviceVolume();
  if (!volume || !g_Computer) return;
  // Only an image that the writer completed is opened.
  const QString path = CVolumeImage_CreateDlg::Run(volume, window());
  if (path.isEmpty()) return;
  std::shared_ptr<CVolume> image = g_Computer->OpenImageFile(app::ToU16(path));
  RefreshTree();
  if (image) SelectDeviceNode(image->DeviceNodeId());
}

void CVolumeExploreView::OnInformation() {
  const std::int64_t handle = FirstSelectedObject();
  std::shared_ptr<CVolume> volume;
  FoundObject record;
  if (handle < 0 || !CStoreAccess::ReadRecord(handle, record, &volume) || !volume) return;
  // The object with its own volume (a find result or a found partition's file
  // lies on another volume than the current one).
  CFileInformationViewDlg dialog(volume, handle, window());
  dialog.exec();
}

void CVolumeExploreView::OnDriveProperties() {
  if (std::shared_ptr<CVolume> volume = SelectedDeviceVolume()) CVolumeInformationDlg::Show(volume, window());
}

int CVolumeExploreView::StopAnalysis(bool force) {
  if (!g_Computer) return 1;
  std::shared_ptr<CVolume> volume = g_Computer->AnalysedVolume();
  const bool running = GetScanProgress().IsRunning() || (volume && volume->HasAnalysisThread());
  if (!running || !volume) return 1;
  // The stop may ask first: nothing changes before the user agreed.
  if (!g_Computer->FinishAnalysis(volume, force)) return 0;  // No: the scan goes on
  Log().SendStatus(57112);
  Settings().SetSignaturePass(0);
  return 1;
}

void CVolumeExploreView::OnStartAnalysis() {
  if (!g_Computer) return;
  const QModelIndex selected = tree_->currentIndex();
  std::shared_ptr<CVolume> volume = tree_->Model()->VolumeOfItem(selected);
  if (!volume || volume->GetKind() == 0) return;  // no volume (My Computer, the Recycle Bin)
  tree_->Model()->SetBold(selected, false);
  // The analysis clears the store: a search over it ends first, and its results go.
  findInFound_->Reset();
  ClearViews();
  RefreshTree();
  SelectDeviceNode(volume->DeviceNodeId());
  Settings().SetSignaturePass(1);
  g_Computer->StartAnalysis(volume);
  tree_->Model()->SetBold(tree_->Model()->IndexOfNode(volume->DeviceNodeId()), true);
}

void CVolumeExploreView::OnRecover() {
  // Nothing to recover: said at once, before any destination is asked for.
  std::vector<FoundObject*> objects;
  if (CollectSelection(objects) == 0) {
    CRecoveryCommands::ReportEmptySelection(window());
    return;
  }
  // The options dialog; its OK posts WM_START_RECOVERY.
  if (recoveryOptions_)
    recoveryOptions_(window());
  else
    CRecoveryCommands::OnRecover(window());
}

void CVolumeExploreView::OnStartRecovery() {
  Log().InfoId(185);
  std::vector<FoundObject*> objects;
  std::shared_ptr<CVolume> volume;
  CollectSelection(objects, &volume);
  // The job logs "Recovery started."; an empty list is logged and shown in a
  // message box; the progress dialog follows the job.
  if (CRecoveryCommands::StartRecovery(window(), CRecoveryCommands::Of(volume, objects)) >= 0) emit recoveryEnded(0);
}

void CVolumeExploreView::OnTryOpen() {
  std::vector<FoundObject*> objects;
  std::shared_ptr<CVolume> volume;
  if (CollectSelection(objects, &volume) == 0) return;
  if (!Settings().NoTryOpenWarning()) {
    Question q;
    q.kind = QuestionKind::TryOpenWarning;
    q.buttons = Buttons::OkCancel;
    q.icon = MessageIcon::Warning;
    if (AskUser(q).answer != Answer::Ok) return;
  }
  // The progress dialog closes by itself when the copy ends.
  if (CRecoveryCommands::StartTryOpen(window(), CRecoveryCommands::Of(volume, objects)) >= 0) emit recoveryEnded(1);
}

void CVolumeExploreView::OnSetNewSize() {
  std::vector<FoundObject*> objects;
  std::shared_ptr<CVolume> volume;
  if (CollectSelection(objects, &volume) == 0 || !volume) return;
  // The size question for the first object; every object's size by the chosen mode.
  if (CRecoveryCommands::SetNewSize(CRecoveryCommands::Of(volume, objects))) list_->viewport()->update();
}

void CVolumeExploreView::OnResetSize() {
  std::vector<FoundObject*> objects;
  std::shared_ptr<CVolume> volume;
  CollectSelection(objects, &volume);
  for (FoundObject* object : objects) volume->Store().SetSize(object, -1);
  list_->viewport()->update();
}

void CVolumeExploreView::OnSearchLostDrives() {
  std::shared_ptr<CVolume> volume = g_Computer ? g_Computer->SelectedVolume() : nullptr;
  if (!volume || volume->GetKind() == 0) return;
  volume->StartPartitionSearch();
}

void CVolumeExploreView::OnSelectNode() {
  emit parentCommand(mainframe::ID_SELECT_NODE);
  const QModelIndex selected = tree_->currentIndex();
  if (!tree_->Model()->IsDevice(selected) || !g_Computer) return;
  if (std::shared_ptr<CVolume> volume = tree_->Model()->VolumeOfItem(selected)) g_Computer->SetSelectedVolume(volume);
}
