#include "mainframe/panes/HexViewerPane.h"

#include <QCoreApplication>
#include <QSplitter>

#include "app/App.h"
#include "app/PostedEvent.h"
#include "controls/HexEditorCtrl2.h"
#include "engine/records/Messages.h"
#include "engine/volume/Volume.h"
#include "mainframe/panes/DataInfoView.h"
#include "mainframe/panes/DataRunsModel.h"
#include "mainframe/panes/DataSectorsListView.h"
#include "mainframe/panes/ObjectDataPages.h"
#include "mainframe/panes/ObjectDataReader.h"

namespace {

// What the reader's thread hands over, delivered on the pane's thread.
const QEvent::Type kPageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kRunsEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class PageEvent : public QEvent {
 public:
  explicit PageEvent(CObjectDataReader::Page page) : QEvent(kPageEvent), page(std::move(page)) {}
  CObjectDataReader::Page page;
};

class RunsEvent : public QEvent {
 public:
  RunsEvent(std::uint64_t generation, ObjectRunList runs) : QEvent(kRunsEvent), generation(generation), runs(std::move(runs)) {}
  std::uint64_t generation;
  ObjectRunList runs;
};

void PostToSelf(QObject* self, std::uint32_t message) {
  PostedMessage m;
  m.message = message;
  QCoreApplication::postEvent(self, new CPostedEvent(std::move(m)));
}

// Threads a reader leaves running at its end are joined when the program ends.
void JoinReadersAtExit() {
  static CApp* registered = nullptr;
  if (!g_App || registered == g_App) return;
  registered = g_App;
  g_App->AddShutdownHook([] { CObjectDataReader::JoinLeftThreads(); });
}

}  // namespace

CHexViewer_Pane::CHexViewer_Pane(QWidget* parent) : controls::CPaneContainerEx(parent, controls::kPaneVertical) {
  setObjectName(QStringLiteral("CHexViewer_Pane"));
  SetTitle(LangString(369));
  JoinReadersAtExit();

  outer_ = new QSplitter(Qt::Horizontal);
  outer_->setObjectName(QStringLiteral("DataViewerOuterSplitter"));
  outer_->setChildrenCollapsible(false);
  inner_ = new QSplitter(Qt::Horizontal);
  inner_->setObjectName(QStringLiteral("DataViewerInnerSplitter"));
  inner_->setChildrenCollapsible(false);

  infoPane_ = new controls::CPaneContainerEx(nullptr, controls::kPaneNoCloseButton | controls::kPaneVertical |
                                                          controls::kPaneNoHeader);
  infoPane_->setObjectName(QStringLiteral("CDataInfo_Pane"));
  infoPane_->SetTitle(LangString(129));
  info_ = new CDataInfo_View;
  infoPane_->SetClient(info_);

  hexPane_ = new controls::CPaneContainerEx(nullptr, controls::kPaneNoCloseButton | controls::kPaneVertical |
                                                         controls::kPaneNoHeader);
  hexPane_->setObjectName(QStringLiteral("CHexEditor_Pane"));
  hexPane_->SetTitle(LangString(129));
  hex_ = new CHexEditorCtrl2;
  hex_->SetReadOnly(true);
  hex_->setFrameShape(QFrame::StyledPanel);
  hexPane_->SetClient(hex_);

  runsPane_ = new controls::CPaneContainerEx(nullptr, controls::kPaneVertical | controls::kPaneNoHeader);
  runsPane_->setObjectName(QStringLiteral("CData_SectorsList_Pane"));
  runsPane_->SetTitle(QStringLiteral("Data run list"));
  runs_ = new CData_SectorsList_View;
  runsPane_->SetClient(runs_);

  outer_->addWidget(infoPane_);
  outer_->addWidget(inner_);
  inner_->addWidget(hexPane_);
  inner_->addWidget(runsPane_);
  outer_->setStretchFactor(1, 1);
  SetClient(outer_);

  // The reader's results come back through the event queue; the pages ask the
  // reader for what the hex view shows.
  reader_ = std::make_unique<CObjectDataReader>(
      [this](CObjectDataReader::Page page) { QCoreApplication::postEvent(this, new PageEvent(std::move(page))); },
      [this](std::uint64_t generation, ObjectRunList runs) {
        QCoreApplication::postEvent(this, new RunsEvent(generation, std::move(runs)));
      });
  pages_ = std::make_shared<CObjectDataPages>(
      [this](std::uint64_t first, std::uint64_t last) { reader_->WantPages(first, last); });

  PostToSelf(this, WM_INIT_LAYOUT);
}

CHexViewer_Pane::~CHexViewer_Pane() {
  // The reader first: no result arrives once it is gone.
  reader_.reset();
}

void CHexViewer_Pane::SetObject(std::shared_ptr<CVolume> volume, std::int64_t handle) {
  if (!volume) handle = -1;
  if (haveObject_ && volume == volume_ && handle == handle_) return;
  haveObject_ = true;
  volume_ = std::move(volume);
  handle_ = handle;
  PostToSelf(this, WM_REFRESH_VIEW);
}

void CHexViewer_Pane::OnInitLayout() {
  const int w = Layout().client.width();
  const int outerLeft = w / 4;
  outer_->setSizes({outerLeft, std::max(1, w - outerLeft - outer_->handleWidth())});
  const int innerLeft = w - w / 2;
  inner_->setSizes({innerLeft, std::max(1, inner_->width() - innerLeft - inner_->handleWidth())});
}

void CHexViewer_Pane::OnRefresh() {
  info_->SetObject(volume_, handle_);
  // The record as it is now, for the reader (which keeps its own copy).
  FoundObject record;
  bool found = false;
  std::u16string name;
  if (volume_ && handle_ >= 0) {
    const FoundObjectStore::ReadView view = volume_->Store().Read();
    if (const FoundObject* r = view.FromHandle(handle_)) {
      record = *r;
      name.assign(r->Name());
      found = true;
    }
  }
  record.SetName(name);
  std::uint64_t size = 0;
  if (found && !record.IsFolder() && !record.IsDevice())
    size = record.size < 0 ? kUnknownSizeView : static_cast<std::uint64_t>(record.size);
  const std::uint64_t generation = reader_->SetObject(found ? volume_ : nullptr, record, size);
  pages_->Reset(generation, size);
  runs_->Runs()->SetRuns({});
  hex_->SetPages(pages_, size);
}

bool CHexViewer_Pane::event(QEvent* event) {
  if (event->type() == kPageEvent) {
    auto* e = static_cast<PageEvent*>(event);
    if (pages_->Deliver(e->page.generation, e->page.index, std::move(e->page.bytes))) hex_->viewport()->update();
    return true;
  }
  if (event->type() == kRunsEvent) {
    auto* e = static_cast<RunsEvent*>(event);
    if (e->generation == reader_->Generation()) runs_->Runs()->SetRuns(std::move(e->runs));
    return true;
  }
  if (const PostedMessage* m = CPostedEvent::Of(event)) {
    if (m->message == WM_INIT_LAYOUT) {
      OnInitLayout();
      return true;
    }
    if (m->message == WM_REFRESH_VIEW) {
      OnRefresh();
      return true;
    }
  }
  return controls::CPaneContainerEx::event(event);
}
