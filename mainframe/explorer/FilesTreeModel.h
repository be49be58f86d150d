#pragma once
// The found-object tree as an item model. Its items are device nodes (named by
// their node id) and folders (named by their store handle); an item never keeps a
// record or volume pointer. Text, images and whether an item has children are read
// on request: a folder item has children while its store holds a folder under it
// (the store's per-parent count answers at once, however many files lie beside).
//
// Children are fetched lazily: expanding an item collects the folders among its
// children from the store (the item's own volume's store for a device node, the
// analysed volume's for a folder), drops what the file filter hides and inserts
// them sorted by name, without letter case. Folders that arrive while an analysis
// runs are queued (QueueFolder) and inserted once per event-loop turn, as one row
// insertion per parent.
//
// Items show no check box: a recovery takes what is selected. The marks the
// records keep (state image 1 not checked, 2 checked, 3 something below is
// checked; OBJ_CHECKED and the checked count in a folder's record, a device item's
// count in the item) are kept by ToggleCheck for the tree's posted toggle only and
// play no part in what is recovered.
//
// GUI thread only.

#include <QAbstractItemModel>
#include <QString>

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "engine/store/FoundObjectStore.h"

class CVolume;
class FileFilter;

// How a tree item is inserted. children: -1 on demand, 0 none, 1 has children.
// image: -1 on demand. text: empty on demand.
struct TreeItemOptions {
  bool first = false;
  int children = -1;
  int image = -1;
  QString text;
};

class CFilesTreeModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  enum Role : int {
    HandleRole = Qt::UserRole + 1,  // qint64: a folder item's store handle (-1 for devices)
    NodeIdRole,                     // int: a device item's node id (0 for folders)
    ImageRole,                      // int: the item's image number
    StateImageRole,                 // int: 0 none, 1..3 (see above)
  };

  using ItemOptions = TreeItemOptions;

  explicit CFilesTreeModel(QObject* parent = nullptr);
  ~CFilesTreeModel() override;

  // ---- Building ------------------------------------------------------------------

  // Removes every item.
  void Clear();
  QModelIndex InsertDevice(const QModelIndex& parent, std::int32_t nodeId, const ItemOptions& options);
  // Inserts a record of the store `view` reads (nothing when the filter hides it,
  // or when it is no folder and `foldersOnly`): appended, first, or `sorted` in
  // its place among the folders. Returns its index, or an invalid one.
  QModelIndex InsertRecord(const QModelIndex& parent, const FoundObjectStore::ReadView& view, const FoundObject* record,
                           bool sorted, const ItemOptions& options = {});
  // Queues a folder of the analysed store for insertion under `parent`, sorted;
  // the queue is inserted at the end of the event-loop turn (or by FlushQueued).
  void QueueFolder(const QModelIndex& parent, std::int64_t handle);
  void FlushQueued();
  // A parent whose "has children" may have changed (a folder came under an item
  // not expanded yet): the view is told at the next flush.
  void ChildrenMayHaveChanged(const QModelIndex& parent);
  void RemoveItem(const QModelIndex& index);
  // Removes the folder items below an item (a collapse); device items stay. The
  // item is fetched again when it is next expanded.
  void ResetChildren(const QModelIndex& index);
  // Removes every folder item whose handle no longer resolves (its store was
  // cleared), with what lies below it; returns how many went.
  int PruneStale();

  // ---- Look-ups ------------------------------------------------------------------

  // The item that shows a record, or invalid: the item "maps back" to it.
  QModelIndex IndexOfHandle(std::int64_t handle) const;
  QModelIndex IndexOfNode(std::int32_t nodeId) const;
  std::int64_t HandleOf(const QModelIndex& index) const;
  // A device item's node id; 0 for a folder item or an invalid index.
  std::int32_t NodeIdOf(const QModelIndex& index) const;
  bool IsDevice(const QModelIndex& index) const;
  // The id of the record an item stands for (a device item: its node id); 0 for
  // an invalid index.
  std::int32_t ObjectIdOf(const QModelIndex& index) const;
  // The volume a device item stands for; null for a folder item.
  std::shared_ptr<CVolume> VolumeOfItem(const QModelIndex& index) const;

  // ---- Item state ----------------------------------------------------------------

  bool IsExpanded(const QModelIndex& index) const;
  void SetExpanded(const QModelIndex& index, bool expanded);
  bool IsFetched(const QModelIndex& index) const;
  int StateImage(const QModelIndex& index) const;
  void SetStateImage(const QModelIndex& index, int image);
  void SetBold(const QModelIndex& index, bool bold);
  bool IsBold(const QModelIndex& index) const;
  // -1 on demand, 0 none, 1 has children.
  void SetChildrenCount(const QModelIndex& index, int children);

  // Toggles an item's check mark with the tree's rules (see the class comment).
  void ToggleCheck(const QModelIndex& index);
  // The checked count kept for an item (a folder's in its record).
  std::int32_t CheckedCount(const QModelIndex& index) const;
  bool IsChecked(const QModelIndex& index) const;

  // While a view paints (between BeginPaint and EndPaint), each folder's record is
  // read once for all its roles, together with the folders after it under the same
  // parent, under one look at the store (an analysis adding objects holds the
  // store for a moment at a time; a paint that asked it for every role of every
  // item would wait on it again and again).
  void BeginPaint();
  void EndPaint();

  // The filter the insertions go through (null: the computer's).
  void SetFilter(const FileFilter* filter) { filter_ = filter; }

  // ---- QAbstractItemModel --------------------------------------------------------

  QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  struct Node;
  Node* NodeOf(const QModelIndex& index) const;
  QModelIndex IndexOf(const Node* node) const;
  void InsertRun(Node* parent, int at, std::vector<std::unique_ptr<Node>>& nodes);
  void Forget(Node* node);
  const FileFilter* Filter() const;
  bool ResolveRecord(const Node* node, FoundObject& out, std::int32_t* root = nullptr,
                     std::shared_ptr<CVolume>* volume = nullptr) const;
  void ScheduleFlush();
  // A folder item's record for data(): from the paint's reads while painting. Its
  // name lies in `name` or in the paint's copy, never in the store.
  bool ReadForData(const Node* node, FoundObject& out, std::int32_t& root, std::u16string& name) const;

  std::unique_ptr<Node> root_;
  std::unordered_map<std::int64_t, Node*> byHandle_;
  std::unordered_map<std::int32_t, Node*> byNode_;
  std::unordered_map<Node*, std::vector<std::int64_t>> queued_;
  std::vector<Node*> changed_;
  bool flushScheduled_ = false;
  const FileFilter* filter_ = nullptr;

  struct PaintRecord {
    bool resolved = false;
    std::int32_t root = 0;
    FoundObject record;  // its name in `name`, copied under the store's lock
    std::u16string name;
  };
  bool painting_ = false;
  mutable std::unordered_map<const Node*, PaintRecord> paintRecords_;
};
