#include "mainframe/find/FindInFound.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <QHeaderView>
#include <QScrollBar>
#include <QSplitter>

#include "app/App.h"
#include "app/MessageBox.h"
#include "controls/DialogScrollView.h"
#include "controls/PaneContainerEx.h"
#include "engine/store/FileFilter.h"
#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"
#include "mainframe/explorer/FilesListView.h"
#include "mainframe/find/SearchBarView.h"

namespace {

const QEvent::Type kBatchEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kDoneEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class BatchEvent : public QEvent {
 public:
  BatchEvent(std::uint64_t search, std::vector<std::int64_t> handles)
      : QEvent(kBatchEvent), search(search), handles(std::move(handles)) {}
  std::uint64_t search;
  std::vector<std::int64_t> handles;
};

class DoneEvent : public QEvent {
 public:
  explicit DoneEvent(std::uint64_t search) : QEvent(kDoneEvent), search(search) {}
  std::uint64_t search;
};

}  // namespace

CFindInFound::CFindInFound(QObject* parent) : QObject(parent) {}

CFindInFound::~CFindInFound() {
  // The thread posts to this object: it ends first.
  thread_.StopAndJoin();
}

void CFindInFound::Create(QWidget* parent, QObject* owner) {
  results_ = new CFilesListView(parent, 5);
  results_->setObjectName(QStringLiteral("FindResults"));
  for (int c = 0; c < 5; ++c) results_->setColumnWidth(c, kColumnWidths[c]);
  pane_ = new controls::CPaneContainerEx(parent);
  pane_->setObjectName(QStringLiteral("SearchPane"));
  pane_->SetTitle(LangString(163));
  host_ = new CDialogScrollView;
  host_->setFrameShape(QFrame::StyledPanel);
  searchBar_ = new CSearchBarView;
  searchBar_->SetOwner(owner);
  host_->SetDialog(searchBar_);
  searchBar_->show();
  pane_->SetClient(host_);
  pane_->installEventFilter(this);
}

bool CFindInFound::eventFilter(QObject* watched, QEvent* event) {
  if (watched == pane_ && event->type() == QEvent::Show) QMetaObject::invokeMethod(this, [this] { FitPane(); }, Qt::QueuedConnection);
  return QObject::eventFilter(watched, event);
}

void CFindInFound::FitPane() {
  // The pane comes into the explorer's left place: that place is widened, when
  // the room allows, so that the form needs no horizontal scrolling.
  auto* splitter = qobject_cast<QSplitter*>(pane_->parentWidget());
  if (!splitter || !pane_->isVisible() || splitter->indexOf(pane_) != 0 || splitter->count() < 2) return;
  const int need = searchBar_->sizeHint().width() + 2 * host_->frameWidth() +
                   host_->verticalScrollBar()->sizeHint().width() + (pane_->width() - host_->width());
  QList<int> sizes = splitter->sizes();
  const int total = sizes[0] + sizes[1];
  if (sizes[0] >= need || total - need < kMinimumResultsWidth) return;
  sizes[1] = total - need;
  sizes[0] = need;
  splitter->setSizes(sizes);
}

void CFindInFound::Reset() {
  thread_.StopAndJoin();
  ++search_;  // what is still queued for the old search is dropped
  pending_.clear();
  pendingNext_ = 0;
  doneSearch_ = 0;
  volume_.reset();
  if (results_) results_->Clear();
  if (searchBar_) searchBar_->SetSearchEnabled(true);
}

void CFindInFound::Start(std::shared_ptr<CVolume> volume) {
  Reset();
  if (!volume || !searchBar_) return;
  volume_ = volume;
  const std::uint64_t search = search_;
  ++searches_;
  saidNothingFound_ = false;
  searchBar_->SetSearchEnabled(false);
  results_->Model()->Busy().store(0);
  // The file filter applies on top of the criteria; the thread takes a copy.
  const FileFilter filter = g_Computer ? g_Computer->Filter() : FileFilter();
  thread_.Start(
      std::move(volume), searchBar_->Criteria(), filter,
      [this, search](std::vector<std::int64_t> handles) {
        QCoreApplication::postEvent(this, new BatchEvent(search, std::move(handles)));
      },
      [this, search](std::size_t, bool) { QCoreApplication::postEvent(this, new DoneEvent(search)); });
}

void CFindInFound::Stop() { thread_.Stop(); }

void CFindInFound::OnBatch(std::uint64_t search, std::vector<std::int64_t> handles) {
  if (search != search_ || !volume_) return;
  // Taken into the list a slice at a time: a burst of batches never holds the loop.
  if (pending_.empty()) {
    pending_ = std::move(handles);
    pendingNext_ = 0;
  } else {
    pending_.insert(pending_.end(), handles.begin(), handles.end());
  }
  ScheduleSlice();
}

void CFindInFound::ScheduleSlice() {
  if (sliceScheduled_) return;
  sliceScheduled_ = true;
  QTimer::singleShot(0, this, [this, search = search_] {
    sliceScheduled_ = false;
    if (search == search_) TakeSlice();
  });
}

void CFindInFound::TakeSlice() {
  if (!volume_) return;
  // The thread judged them with the filter already: every record shows.
  static const FileFilter showAll;
  QElapsedTimer slice;
  slice.start();
  {
    const FoundObjectStore::ReadView view = volume_->Store().Read();
    while (pendingNext_ < pending_.size()) {
      // A look at the clock every 256 records.
      const std::size_t end = std::min(pending_.size(), pendingNext_ + 256);
      for (; pendingNext_ < end; ++pendingNext_)
        if (const FoundObject* record = view.FromHandle(pending_[pendingNext_]))
          results_->Model()->AddObject(view, record, &showAll);
      if (slice.elapsed() >= kSliceMs) break;
    }
  }
  if (pendingNext_ < pending_.size()) {
    ScheduleSlice();
    return;
  }
  pending_.clear();
  pending_.shrink_to_fit();
  pendingNext_ = 0;
  if (doneSearch_ == search_) Finish();
}

void CFindInFound::OnDone(std::uint64_t search) {
  if (search != search_) return;
  doneSearch_ = search;
  // The last batches are taken first.
  if (pendingNext_ < pending_.size()) return;
  Finish();
}

void CFindInFound::Finish() {
  doneSearch_ = 0;
  thread_.Join();
  searchBar_->SetSearchEnabled(true);
  results_->SetItemCount();
  if (results_->Model()->ItemCount() == 0) {
    saidNothingFound_ = true;
    app::ShowMessageBox(g_App ? g_App->TopWindow() : nullptr, LangString(182), LangString(163), Buttons::Ok,
                        MessageIcon::Information);
  }
}

bool CFindInFound::event(QEvent* event) {
  if (event->type() == kBatchEvent) {
    auto* e = static_cast<BatchEvent*>(event);
    OnBatch(e->search, std::move(e->handles));
    return true;
  }
  if (event->type() == kDoneEvent) {
    OnDone(static_cast<DoneEvent*>(event)->search);
    return true;
  }
  return QObject::event(event);
}
