#pragma once
// CFilesListView: the found-object list (the explorer view's right pane, and with
// five columns the find pane's results). A table over CFilesListModel: no item of
// its own per row, text and images produced on request, sorted by a click on a
// column header (folders first; name, size or date), type-ahead by first letter,
// Ctrl then A selecting every row, and the explorer's keys and menus.
//
// What it tells the explorer view (its receiver), as queued signals:
//   treeKey(13 or 8): Enter or Backspace; a double click is Enter;
//   focused(): the list took the keyboard focus (the file commands act on it);
//   a right click opens the main menu's Disk or File menu for the first selected
//   object, whose commands go where the menu's actions go.
//
// GUI thread, except AddObject and the fill flags (see CFilesListModel).

#include <QTableView>

#include <cstdint>

#include "mainframe/explorer/FilesListModel.h"

class QMenu;

class CFilesListView : public QTableView {
  Q_OBJECT

 public:
  // Column widths of the explorer's list.
  static constexpr int kColumnWidths[4] = {200, 100, 100, 120};

  // `columns`: 4 (the explorer's list) or 5 (the find results, which set their
  // own widths).
  explicit CFilesListView(QWidget* parent = nullptr, int columns = 4);
  ~CFilesListView() override;

  CFilesListModel* Model() const { return model_; }

  // ---- The list's protocol (see CFilesListModel) ------------------------------------
  void AddObject(const FoundObjectStore::ReadView& view, const FoundObject* record) {
    model_->AddObject(view, record);
  }
  void Clear() { model_->Clear(); }
  bool SetItemCount() { return model_->SetItemCount(); }
  int FindItem(int start, char16_t first) const { return model_->FindItem(start, first); }

  // The handles of the selected rows, in row order; the first selected row's.
  std::vector<std::int64_t> SelectedHandles() const;
  std::int64_t FirstSelectedHandle() const;
  // Selects one row (and makes it current and visible); -1 clears the selection.
  void SelectRow(int row);

  // Which menu a right click on a record opens: 0 the Disk menu, 1 the File menu,
  // -1 none (My Computer, the Recycle Bin, any device record in wizard mode).
  static int MenuFor(const FoundObject& record, bool wizardMode);
  // The menu of the main window that a right click would open now (null: none).
  QMenu* ContextMenu() const;

  // The last key pressed (Ctrl then A selects all).
  int LastKey() const { return lastKey_; }

 signals:
  void treeKey(int key);
  void focused();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyboardSearch(const QString& search) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  // The Type column takes the width the other columns leave free (never less
  // than its own), so that type names are not cut off beside empty space.
  void resizeEvent(QResizeEvent* event) override;

 private:
  void OnHeaderClicked(int column);
  void ShowSortArrow();

  CFilesListModel* model_;
  int lastKey_ = 0;
  int typeMinWidth_ = -1;
};
