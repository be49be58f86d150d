#include "dialogs/FileTypeTreeView.h"

#include <QHeaderView>
#include <QMenu>
#include <QMimeDatabase>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionViewItem>

#include "app/Icons.h"
#include "app/QtText.h"
#include "controls/ControlId.h"
#include "dialogs/ObjectInformationView.h"
#include "search/FileTypeDatabase.h"

namespace {

constexpr int kRecordRole = Qt::UserRole;
constexpr int kLastCheckRole = Qt::UserRole + 1;

}  // namespace

CFileTypeTreeView::CFileTypeTreeView(Flag flag, QWidget* parent) : QTreeWidget(parent), flag_(flag) {
  setColumnCount(1);
  header()->hide();
  setRootIsDecorated(true);
  setItemsExpandable(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setDragDropMode(QAbstractItemView::NoDragDrop);
  setIconSize(QSize(16, 16));
  // The selection stays visible when the tree loses the focus.
  QPalette p = palette();
  p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
  p.setColor(QPalette::Inactive, QPalette::HighlightedText, p.color(QPalette::Active, QPalette::HighlightedText));
  setPalette(p);
  connect(this, &QTreeWidget::itemChanged, this, &CFileTypeTreeView::OnItemChanged);
}

CFileTypeTreeView::~CFileTypeTreeView() = default;

FileTypeDatabase* CFileTypeTreeView::Database() const { return database_ ? database_ : g_FileTypes; }

QString CFileTypeTreeView::LabelOf(const FileType& record, bool group) const {
  if (group && flag_ == Flag::ShowInFilter) return app::ToQString(record.Title());
  return app::ToQString(record.DisplayName());
}

QIcon CFileTypeTreeView::IconForExtension(const QString& extension) {
  auto it = iconCache_.find(extension);
  if (it != iconCache_.end()) return *it;
  // The desktop's icon of a file named "." plus the extension, by name alone.
  QIcon icon;
  if (!extension.isEmpty()) {
    static QMimeDatabase mime;
    const QMimeType type = mime.mimeTypeForFile(QStringLiteral("x.") + extension, QMimeDatabase::MatchExtension);
    if (type.isValid() && !type.isDefault()) {
      icon = QIcon::fromTheme(type.iconName());
      if (icon.isNull()) icon = QIcon::fromTheme(type.genericIconName());
    }
  }
  if (icon.isNull()) icon = app::IconById(kIconType);
  iconCache_.insert(extension, icon);
  return icon;
}

bool CFileTypeTreeView::Fill() {
  FileTypeDatabase* db = Database();
  const bool wasPropagating = propagating_;
  propagating_ = true;
  clear();
  if (!db) {
    propagating_ = wasPropagating;
    return false;
  }
  const Qt::ItemFlags itemFlags = Qt::ItemIsEnabled | Qt::ItemIsSelectable |
                                  (hasCheckBoxes_ ? Qt::ItemIsUserCheckable : Qt::ItemFlags());
  const QIcon groupIcon = app::IconById(kIconGroup);
  const std::vector<FileType*> types = db->Types();
  for (FileTypeGroup* group : db->Groups()) {
    if (!group->listed()) continue;
    auto* root = new QTreeWidgetItem(this);
    root->setFlags(itemFlags);
    root->setText(0, LabelOf(*group, true));
    root->setIcon(0, groupIcon);
    root->setData(0, kRecordRole, QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(group)));
    if (hasCheckBoxes_) {
      root->setCheckState(0, Qt::Unchecked);
      root->setData(0, kLastCheckRole, false);
    }
    root->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    for (FileType* type : types) {
      if (type->categoryId() != group->categoryId() || !type->listed()) continue;
      auto* child = new QTreeWidgetItem(root);
      child->setFlags(itemFlags);
      child->setText(0, LabelOf(*type, false));
      child->setIcon(0, IconForExtension(app::ToQString(type->DefaultExtension()).trimmed()));
      child->setData(0, kRecordRole, QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(type)));
      if (hasCheckBoxes_) {
        child->setCheckState(0, Qt::Unchecked);
        child->setData(0, kLastCheckRole, false);
      }
    }
    root->setExpanded(true);
  }
  propagating_ = wasPropagating;
  return true;
}

FileType* CFileTypeTreeView::RecordOf(const QTreeWidgetItem* item) const {
  if (!item) return nullptr;
  return reinterpret_cast<FileType*>(item->data(0, kRecordRole).value<quintptr>());
}

QTreeWidgetItem* CFileTypeTreeView::ItemOf(const FileType* record) const {
  for (int i = 0; i < topLevelItemCount(); ++i) {
    QTreeWidgetItem* root = topLevelItem(i);
    if (RecordOf(root) == record) return root;
    for (int j = 0; j < root->childCount(); ++j)
      if (RecordOf(root->child(j)) == record) return root->child(j);
  }
  return nullptr;
}

bool CFileTypeTreeView::IsChecked(const QTreeWidgetItem* item) const {
  return item && item->checkState(0) == Qt::Checked;
}

void CFileTypeTreeView::SetCheckSilently(QTreeWidgetItem* item, bool checked) {
  item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
  item->setData(0, kLastCheckRole, checked);
}

void CFileTypeTreeView::Propagate(QTreeWidgetItem* item) {
  const bool wasPropagating = propagating_;
  propagating_ = true;
  if (QTreeWidgetItem* parent = item->parent()) {
    bool any = false;
    for (int i = 0; i < parent->childCount() && !any; ++i) any = IsChecked(parent->child(i));
    SetCheckSilently(parent, any);
  } else {
    const bool state = IsChecked(item);
    for (int i = 0; i < item->childCount(); ++i) SetCheckSilently(item->child(i), state);
  }
  propagating_ = wasPropagating;
}

void CFileTypeTreeView::OnItemChanged(QTreeWidgetItem* item, int column) {
  if (propagating_ || column != 0 || !hasCheckBoxes_) return;
  // itemChanged also reports text and icon changes: only a check that changed
  // propagates.
  const bool checked = IsChecked(item);
  if (item->data(0, kLastCheckRole).toBool() == checked) return;
  {
    const bool wasPropagating = propagating_;
    propagating_ = true;
    item->setData(0, kLastCheckRole, checked);
    propagating_ = wasPropagating;
  }
  Propagate(item);
  emit checksChanged();
}

void CFileTypeTreeView::SetChecked(QTreeWidgetItem* item, bool checked) {
  if (!item || !hasCheckBoxes_) return;
  item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);  // OnItemChanged propagates
}

void CFileTypeTreeView::LoadChecks() {
  if (!hasCheckBoxes_) return;
  FileTypeDatabase* db = Database();
  if (!db) return;
  const bool wasPropagating = propagating_;
  propagating_ = true;
  {
    auto lock = db->LockForEdit();  // flags read whole, never half-way through an edit
    for (int i = 0; i < topLevelItemCount(); ++i) {
      QTreeWidgetItem* root = topLevelItem(i);
      for (int j = 0; j < root->childCount(); ++j) {
        QTreeWidgetItem* child = root->child(j);
        const FileType* type = RecordOf(child);
        const std::int32_t value = flag_ == Flag::SearchEnabled ? type->searchEnabled() : type->showInFilter();
        SetCheckSilently(child, value != 0);
        Propagate(child);
      }
    }
  }
  propagating_ = wasPropagating;
}

bool CFileTypeTreeView::StoreChecks() {
  FileTypeDatabase* db = Database();
  if (!db || !hasCheckBoxes_) return false;
  {
    auto lock = db->LockForEdit();
    for (int i = 0; i < topLevelItemCount(); ++i) {
      QTreeWidgetItem* root = topLevelItem(i);
      for (int j = 0; j < root->childCount(); ++j) {
        QTreeWidgetItem* child = root->child(j);
        FileType* type = RecordOf(child);
        const std::int32_t value = IsChecked(child) ? 1 : 0;
        if (flag_ == Flag::SearchEnabled)
          type->SetSearchEnabled(value);
        else
          type->SetShowInFilter(value);
      }
    }
  }
  return db->SaveFileTypes();
}

void CFileTypeTreeView::CheckAll(bool checked) {
  if (!hasCheckBoxes_) return;
  const bool wasPropagating = propagating_;
  propagating_ = true;
  for (int i = 0; i < topLevelItemCount(); ++i) {
    QTreeWidgetItem* root = topLevelItem(i);
    SetCheckSilently(root, checked);
    for (int j = 0; j < root->childCount(); ++j) SetCheckSilently(root->child(j), checked);
  }
  propagating_ = wasPropagating;
  emit checksChanged();
}

bool CFileTypeTreeView::ShowProperties() {
  QTreeWidgetItem* item = currentItem();
  if (!item || !item->isSelected()) {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    item = selected.isEmpty() ? nullptr : selected.first();
  }
  FileType* record = RecordOf(item);
  if (!record) return false;
  CObjectInformationView::ShowModal(record, Database(), this);
  RefreshLabel(item);
  return true;
}

void CFileTypeTreeView::RefreshLabel(QTreeWidgetItem* item) {
  const FileType* record = RecordOf(item);
  if (!record) return;
  const bool wasPropagating = propagating_;
  propagating_ = true;
  item->setText(0, LabelOf(*record, IsGroupItem(item)));
  propagating_ = wasPropagating;
}

QMenu* CFileTypeTreeView::MakeContextMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  menu->setProperty("menuId", hasCheckBoxes_ ? kMenuWithChecks : kMenuPropertiesOnly);
  if (hasCheckBoxes_) {
    QAction* all = menu->addAction(QStringLiteral("Check All"));
    controls::SetCommandId(all, kIdCheckAll);
    connect(all, &QAction::triggered, this, [this] { CheckAll(true); });
    QAction* none = menu->addAction(QStringLiteral("Uncheck All"));
    controls::SetCommandId(none, kIdUncheckAll);
    connect(none, &QAction::triggered, this, [this] { CheckAll(false); });
    menu->addSeparator();
  }
  QAction* properties = menu->addAction(QStringLiteral("Properties..."));
  controls::SetCommandId(properties, kIdProperties);
  connect(properties, &QAction::triggered, this, [this] { ShowProperties(); });
  return menu;
}

QRect CFileTypeTreeView::CheckBoxRect(const QTreeWidgetItem* item) const {
  if (!item) return {};
  const QModelIndex index = indexFromItem(item);
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  option.rect = visualRect(index);
  option.features |= QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDecoration |
                     QStyleOptionViewItem::HasDisplay;
  option.icon = item->icon(0);
  option.text = item->text(0);
  option.decorationSize = iconSize();
  return style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, this);
}

void CFileTypeTreeView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    // The menu shows at the point; the click does not reach the tree, so the
    // selection stays where it was.
    QMenu* menu = MakeContextMenu(this);
    menu->exec(event->globalPosition().toPoint());
    delete menu;
    event->accept();
    return;
  }
  QTreeWidget::mousePressEvent(event);
}

void CFileTypeTreeView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QTreeWidget::mouseDoubleClickEvent(event);
    return;
  }
  // A double click on a check box is two clicks on it; elsewhere it opens the
  // properties of the item (selected by the first click).
  if (QTreeWidgetItem* item = itemAt(event->position().toPoint())) {
    if (hasCheckBoxes_ && CheckBoxRect(item).contains(event->position().toPoint())) {
      QTreeWidget::mouseDoubleClickEvent(event);
      return;
    }
    setCurrentItem(item);
  }
  event->accept();
  ShowProperties();
}
