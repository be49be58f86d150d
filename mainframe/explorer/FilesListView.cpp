#include "mainframe/explorer/FilesListView.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>

#include "app/App.h"
#include "mainframe/explorer/StoreAccess.h"

CFilesListView::CFilesListView(QWidget* parent, int columns)
    : QTableView(parent), model_(new CFilesListModel(columns, this)) {
  setModel(model_);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setShowGrid(false);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  setTabKeyNavigation(false);
  setIconSize(QSize(16, 16));
  setFrameShape(QFrame::StyledPanel);
  verticalHeader()->hide();
  // Uniform rows: the header keeps no per-row state worth having for a million.
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(std::max(18, fontMetrics().height() + 4));
  QHeaderView* header = horizontalHeader();
  header->setSectionsClickable(true);
  header->setHighlightSections(false);
  header->setStretchLastSection(false);
  header->setSortIndicatorShown(true);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  if (columns == 4)
    for (int c = 0; c < 4; ++c) setColumnWidth(c, kColumnWidths[c]);
  connect(header, &QHeaderView::sectionClicked, this, &CFilesListView::OnHeaderClicked);
  ShowSortArrow();
}

CFilesListView::~CFilesListView() = default;

void CFilesListView::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  const int columns = model_->columnCount();
  if (columns <= CFilesListModel::kColumnType) return;
  int others = 0;
  for (int c = 0; c < columns; ++c)
    if (c != CFilesListModel::kColumnType) others += columnWidth(c);
  // Its own width, as set up, is the least it gets.
  if (typeMinWidth_ < 0) typeMinWidth_ = columnWidth(CFilesListModel::kColumnType);
  const int free = viewport()->width() - others;
  setColumnWidth(CFilesListModel::kColumnType, std::max(typeMinWidth_, free));
}

void CFilesListView::paintEvent(QPaintEvent* event) {
  // The rows painted read the store once (see CFilesListModel::BeginPaint).
  model_->BeginPaint();
  QTableView::paintEvent(event);
  model_->EndPaint();
}

void CFilesListView::OnHeaderClicked(int column) {
  model_->HeaderClicked(column);
  ShowSortArrow();
  model_->SetItemCount();
}

void CFilesListView::ShowSortArrow() {
  // The arrow of direction 0 or 1 on the sort column (name for type and folder).
  horizontalHeader()->setSortIndicator(model_->SortColumn(),
                                       model_->Descending() ? Qt::DescendingOrder : Qt::AscendingOrder);
}

std::vector<std::int64_t> CFilesListView::SelectedHandles() const {
  std::vector<std::int64_t> out;
  if (!selectionModel()) return out;
  QModelIndexList rows = selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  for (const QModelIndex& i : rows) {
    const std::int64_t h = model_->HandleAt(i.row());
    if (h >= 0) out.push_back(h);
  }
  return out;
}

std::int64_t CFilesListView::FirstSelectedHandle() const {
  const std::vector<std::int64_t> all = SelectedHandles();
  return all.empty() ? -1 : all.front();
}

void CFilesListView::SelectRow(int row) {
  if (row < 0 || row >= model_->rowCount()) {
    clearSelection();
    return;
  }
  const QModelIndex index = model_->index(row, 0);
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  scrollTo(index);
}

int CFilesListView::MenuFor(const FoundObject& record, bool wizardMode) {
  if (record.IsDevice()) {
    if (record.id == kIdMyComputer || record.id == kIdRecycleBin || wizardMode) return -1;
    return 0;
  }
  return 1;
}

QMenu* CFilesListView::ContextMenu() const {
  const std::int64_t handle = FirstSelectedHandle();
  if (handle < 0) return nullptr;
  FoundObject record;
  if (!CStoreAccess::ReadRecord(handle, record)) return nullptr;
  const bool wizard = g_App && g_App->Settings().UIMode() == CApp::MODE_WIZARD;
  const int which = MenuFor(record, wizard);
  QMenuBar* bar = g_App ? g_App->SetMainMenu() : nullptr;
  if (which < 0 || !bar) return nullptr;
  const QList<QAction*> menus = bar->actions();
  return which < menus.size() ? menus[which]->menu() : nullptr;
}

void CFilesListView::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    emit treeKey(13);
  } else if (key == Qt::Key_Backspace) {
    emit treeKey(8);
  } else if (key == Qt::Key_A && lastKey_ == Qt::Key_Control && model_->rowCount() > 0) {
    // Ctrl, then A: every row selected, the last one current and visible.
    selectAll();
    const QModelIndex last = model_->index(model_->rowCount() - 1, 0);
    selectionModel()->setCurrentIndex(last, QItemSelectionModel::NoUpdate);
    scrollTo(last);
  }
  lastKey_ = key;
  QTableView::keyPressEvent(event);
}

void CFilesListView::keyboardSearch(const QString& search) {
  if (search.isEmpty() || model_->rowCount() == 0) return;
  // A new letter searches on from the row after the current one, wrapping round.
  const QModelIndex current = currentIndex();
  const int start = current.isValid() ? (current.row() + 1) % model_->rowCount() : 0;
  const int row = model_->FindItem(start, search.at(0).unicode());
  if (row >= 0) SelectRow(row);
}

void CFilesListView::mouseDoubleClickEvent(QMouseEvent* event) {
  emit treeKey(13);
  QTableView::mouseDoubleClickEvent(event);
}

void CFilesListView::focusInEvent(QFocusEvent* event) {
  emit focused();
  QTableView::focusInEvent(event);
}

void CFilesListView::contextMenuEvent(QContextMenuEvent* event) {
  if (QMenu* menu = ContextMenu()) menu->exec(event->globalPos());
  event->accept();
}
