#pragma once
// CFindInFound: find in found files, the explorer view's view 3. It holds the
// results list (a five-column CFilesListView: "Name", "Size", "Type", "Date
// Modified", "In Folder"), the search bar (CSearchBarView) in its scrolling host
// inside a pane container titled "Search", and the find thread (CFindThread).
//
// Start (WM_FIND_START) stops and joins a running search, empties the results and
// searches the store of the given volume with the search bar's criteria and a copy
// of the file filter, at the lowest priority; the matches come back a batch per
// store slice through the event queue and go into the results list in slices of
// at most kSliceMs per turn of the event loop; the main frame's 250 ms timer
// pushes the count. "Search" is disabled while it runs. At the end a search
// that found nothing says "No files found". Stop (WM_FIND_STOP) only asks the
// thread to end; Reset stops it, waits for it and empties the list, so results
// never outlive their store.
//
// Owned by the explorer view; its widgets live where the view puts them. GUI
// thread only, except the thread's own work.
//
// The search pane widens the explorer's left place to its form's width when it
// comes in (while the results keep kMinimumResultsWidth); it scrolls when the
// window is too small for that.

#include <QObject>
#include <QPointer>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "mainframe/find/FindThread.h"

class CDialogScrollView;
class CFilesListView;
class CSearchBarView;
class CVolume;
class QWidget;

namespace controls {
class CPaneContainerEx;
}

class CFindInFound : public QObject {
  Q_OBJECT

 public:
  // Column widths of the results list.
  static constexpr int kColumnWidths[5] = {150, 100, 100, 120, 180};
  // The room the results keep when the search pane is widened to fit its form.
  static constexpr int kMinimumResultsWidth = 300;
  // How long one turn of the event loop takes found records into the list.
  static constexpr int kSliceMs = 8;

  CFindInFound(QObject* parent = nullptr);
  ~CFindInFound() override;

  // Makes the widgets as children of `parent`; `owner` gets WM_FIND_STOP.
  void Create(QWidget* parent, QObject* owner);

  CFilesListView* Results() const { return results_; }
  CSearchBarView* SearchBar() const { return searchBar_; }
  CDialogScrollView* Host() const { return host_; }
  controls::CPaneContainerEx* Pane() const { return pane_; }

  // Stops and joins a running search, then empties the results.
  void Reset();
  // A new search over `volume`'s store (null: nothing happens).
  void Start(std::shared_ptr<CVolume> volume);
  // Asks the running search to end between two records.
  void Stop();
  bool IsRunning() const { return thread_.IsRunning(); }
  // Waits for a running search to end (tests).
  void Join() { thread_.Join(); }
  // Searches started so far, and whether the last one said "No files found".
  int Searches() const { return searches_; }
  bool SaidNothingFound() const { return saidNothingFound_; }

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnBatch(std::uint64_t search, std::vector<std::int64_t> handles);
  void OnDone(std::uint64_t search);
  void ScheduleSlice();
  void TakeSlice();
  void Finish();
  void FitPane();

  CFilesListView* results_ = nullptr;
  CSearchBarView* searchBar_ = nullptr;
  CDialogScrollView* host_ = nullptr;
  controls::CPaneContainerEx* pane_ = nullptr;
  CFindThread thread_;
  std::shared_ptr<CVolume> volume_;
  std::uint64_t search_ = 0;  // the number of the current search
  std::uint64_t doneSearch_ = 0;  // the search whose thread has ended (0: none)
  std::vector<std::int64_t> pending_;  // found, not yet in the list
  std::size_t pendingNext_ = 0;
  bool sliceScheduled_ = false;
  int searches_ = 0;
  bool saidNothingFound_ = false;
};
