#include "mainframe/explorer/RecycleBinView.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/Formatting.h"
#include "app/MessageBox.h"
#include "app/QtText.h"
#include "controls/ControlId.h"
#include "mainframe/explorer/FilesListModel.h"

namespace {

// Sizes as the found-object lists show them; none for folders.
QString SizeText(const TrashEntry& e) { return e.folder ? QString() : CFilesListModel::SizeText(e.size, false); }

}  // namespace

CRecycleBinView::CRecycleBinView(QWidget* parent, const QString& trashFolder)
    : QWidget(parent), trash_(trashFolder), list_(new QTreeWidget(this)) {
  setObjectName(QStringLiteral("CRecycleBinView"));
  setWindowTitle(QStringLiteral("Trash"));
  controls::SetControlId(list_, kListId);
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  list_->setColumnCount(kColumnCount);
  list_->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Original Location"), QStringLiteral("Date Deleted"),
                          QStringLiteral("Size")});
  list_->headerItem()->setTextAlignment(kColumnSize, Qt::AlignRight | Qt::AlignVCenter);
  list_->header()->setStretchLastSection(false);
  for (int c = 0; c < kColumnCount; ++c) list_->setColumnWidth(c, kColumnWidth);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(list_);
  connect(list_, &QWidget::customContextMenuRequested, this, &CRecycleBinView::OnContextMenu);
  Fill();
}

void CRecycleBinView::Fill() {
  list_->clear();
  entries_ = trash_.Read();
  QFileIconProvider icons;
  QList<QTreeWidgetItem*> rows;
  for (const TrashEntry& e : entries_) {
    auto* item = new QTreeWidgetItem;
    item->setText(kColumnName, e.name);
    item->setIcon(kColumnName, icons.icon(QFileInfo(e.filePath)));
    item->setText(kColumnLocation, QFileInfo(e.originalPath).path());
    item->setToolTip(kColumnLocation, e.originalPath);
    item->setText(kColumnDeleted,
                  e.deleted.isValid() ? FormatFileTime(app::DateTimeToFileTime(e.deleted)) : QString());
    item->setText(kColumnSize, SizeText(e));
    item->setTextAlignment(kColumnSize, Qt::AlignRight | Qt::AlignVCenter);
    rows.append(item);
  }
  list_->addTopLevelItems(rows);
}

const TrashEntry* CRecycleBinView::EntryAt(int row) const {
  return row >= 0 && std::size_t(row) < entries_.size() ? &entries_[std::size_t(row)] : nullptr;
}

QMenu* CRecycleBinView::MakeContextMenu(const QPoint& pos) {
  const QModelIndex index = list_->indexAt(pos);
  if (!index.isValid()) return nullptr;
  const int row = index.row();
  auto* menu = new QMenu(this);
  menu->setObjectName(QStringLiteral("TrashMenu"));
  QAction* restore = menu->addAction(QStringLiteral("Restore"));
  restore->setData(kCommandRestore);
  QAction* remove = menu->addAction(QStringLiteral("Delete"));
  remove->setData(kCommandDelete);
  connect(menu, &QMenu::triggered, this, [this, row](QAction* a) { RunCommand(a->data().toInt(), row); });
  return menu;
}

void CRecycleBinView::OnContextMenu(const QPoint& pos) {
  QMenu* menu = MakeContextMenu(pos);
  if (!menu) return;
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(list_->viewport()->mapToGlobal(pos));
}

bool CRecycleBinView::RunCommand(int command, int row) {
  const TrashEntry* entry = EntryAt(row);
  if (!entry) return false;
  QString error;
  CTrashFolder::Result result;
  if (command == kCommandRestore) {
    result = trash_.Restore(*entry, &error);
    if (result == CTrashFolder::Result::Taken) {
      app::ShowMessageBox(window(),
                          QStringLiteral("\"%1\" can't be restored: %2 exists. Nothing was replaced.")
                              .arg(entry->name, entry->originalPath),
                          windowTitle(), Buttons::Ok, MessageIcon::Warning);
      return false;
    }
  } else if (command == kCommandDelete) {
    if (app::ShowMessageBox(window(),
                            QStringLiteral("Delete \"%1\" for good? It can't be restored afterwards.").arg(entry->name),
                            windowTitle(), Buttons::YesNo, MessageIcon::Question) != Answer::Yes)
      return false;
    result = trash_.Delete(*entry, &error);
  } else {
    return false;
  }
  if (result == CTrashFolder::Result::Failed) {
    app::ShowMessageBox(window(), QStringLiteral("\"%1\": %2").arg(entry->name, error), windowTitle(), Buttons::Ok,
                        MessageIcon::Error);
    return false;
  }
  // Done, or gone already: the row goes.
  delete list_->takeTopLevelItem(row);
  entries_.erase(entries_.begin() + row);
  return result == CTrashFolder::Result::Done;
}
