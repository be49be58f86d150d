// The explorer's views over a store of 1,000,000 objects: one folder of 1,000,000
// files, one of 100,000 subfolders. Measures the list's fill with its first sort,
// a re-sort by each column, expanding the tree's node of the 100,000 folders,
// scrolling the list from top to bottom, and the resident memory the views add
// beyond the store. Runs offscreen.
//
//   bench_explorer [files] [folders] [quick|sort]   (default 1,000,000 and 100,000)
//
// With "stream": a producer thread adds `files` objects (one in a hundred a folder
// in the open root, the rest files in the selected folder) through the store with
// the program's notifier, while the explorer view shows them; measures how late a
// 10 ms timer fires meanwhile (the event loop's latency), the time until every
// object is shown, and the memory the views take beyond the store's own.
//
//   bench_explorer [objects] 0 stream

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QScrollBar>

#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/PostedEvent.h"
#include "app/UiNotifier.h"
#include "engine/records/AppSettings.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"
#include "mainframe/explorer/FilesListView.h"
#include "mainframe/explorer/FilesTreeView.h"
#include "mainframe/frame/VolumeExploreView.h"

namespace {

long ResidentKB() {
  std::ifstream in("/proc/self/statm");
  long pages = 0, resident = 0;
  in >> pages >> resident;
  return resident * 4;
}

// Wall time and the CPU time of this thread since the last restart: the machine
// may be shared, and the CPU time says what the work costs.
class Timer {
 public:
  Timer() { restart(); }
  void restart() {
    wall_.start();
    cpu_ = Cpu();
  }
  double Wall() const { return double(wall_.nsecsElapsed()) / 1e6; }
  double CpuMs() const { return Cpu() - cpu_; }
  std::string Text() const {
    char b[64];
    std::snprintf(b, sizeof b, "%.0f ms (CPU %.0f ms)", Wall(), CpuMs());
    return b;
  }

 private:
  static double Cpu() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
  }
  QElapsedTimer wall_;
  double cpu_ = 0;
};

// The application that times each event it delivers at the top level while
// objects stream in: the slowest (30 ms and more) say what held the event loop.
class TimedApp : public QApplication {
 public:
  using QApplication::QApplication;
  struct Slow {
    double ms;
    std::string what;
  };
  bool timing = false;
  std::vector<Slow> slow;
  bool notify(QObject* receiver, QEvent* event) override {
    if (!timing || depth_ > 0) return QApplication::notify(receiver, event);
    ++depth_;
    QElapsedTimer t;
    t.start();
    const bool result = QApplication::notify(receiver, event);
    --depth_;
    const double ms = double(t.nsecsElapsed()) / 1e6;
    if (ms >= 30) {
      std::string what = receiver->metaObject()->className();
      what += "(" + receiver->objectName().toStdString() + ")";
      what += " event " + std::to_string(int(event->type()));
      slow.push_back({ms, what});
    }
    return result;
  }

 private:
  int depth_ = 0;
};

void Settle() {
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

// Forwards the engine's messages to the explorer view, as the main frame does.
class Top : public QWidget {
 public:
  CVolumeExploreView* explorer = nullptr;

 protected:
  bool event(QEvent* e) override {
    if (const PostedMessage* m = CPostedEvent::Of(e)) {
      if (explorer) explorer->OnPostedMessage(*m);
      return true;
    }
    return QWidget::event(e);
  }
};

FoundObject Parsed(std::int32_t id, std::int32_t parent, const std::u16string& name, std::uint16_t flags) {
  FoundObject o;
  o.id = id;
  o.parentId = parent;
  o.flags = std::uint16_t(flags | OBJ_NAMED);
  o.SetName(name);
  o.size = 1000 + id % 100000;
  o.created = 130000000000000000LL + std::int64_t(id) * 10000000;
  return o;
}

// What the producer adds: every hundredth object a folder in the root (0), the
// others files in the folder 3.
void Produce(FoundObjectStore& store, long count) {
  for (long i = 0; i < count; ++i) {
    std::u16string name = (i % 100 == 0) ? u"Folder " : u"file_";
    for (char c : std::to_string(i * 7919 % count)) name += char16_t(c);
    if (i % 100 == 0)
      store.AddParsedObject(Parsed(std::int32_t(10000000 + i), 0, name, OBJ_FOLDER));
    else
      store.AddParsedObject(Parsed(std::int32_t(100 + i), 3, name + u".jpg", (i % 3 == 0) ? OBJ_DELETED : 0));
  }
}

std::shared_ptr<CVolume> StreamVolume(CLocalComputer& computer) {
  auto volume = std::make_shared<CVolume>(CVolume::kImageFile);
  volume->SetDevicePath(u"/tmp/stream.dsk");
  volume->SetDeviceNodeId(computer.NewObjectId());
  computer.Volumes().Add(volume);
  FoundObject root = Parsed(0, volume->DeviceNodeId(), u".", OBJ_FOLDER);
  volume->Store().RegisterObject(root);
  volume->Store().RegisterObject(Parsed(3, 0, u"Stream", OBJ_FOLDER));
  return volume;
}

int Stream(TimedApp& app, CLocalComputer& computer, long count) {
  // The store's own memory: the same objects without any window.
  long before = ResidentKB();
  auto alone = StreamVolume(computer);
  std::thread quiet([&] { Produce(alone->Store(), count); });
  quiet.join();
  const long storeKB = ResidentKB() - before;
  std::printf("store of %ld objects alone: %ld MB\n", count, storeKB / 1024);

  auto volume = StreamVolume(computer);
  computer.SetAnalysedVolume(volume);
  CUiNotifier notifier;
  SetNotifier(&notifier);
  Top top;
  top.resize(1000, 700);
  auto* explorer = new CVolumeExploreView(&top);
  explorer->resize(1000, 700);
  top.explorer = explorer;
  notifier.SetTopWindow(&top);
  top.show();
  explorer->RefreshTree();
  CFilesTreeView& tree = *explorer->Tree();
  tree.rootPending = tree.firstFolderPending = tree.lostFilesPending = false;
  const QModelIndex node = tree.AnalysedVolumeItem();
  tree.ExpandItem(node);
  const QModelIndex root = tree.Model()->index(0, 0, node);
  tree.ExpandItem(root);
  tree.SelectItem(tree.Model()->index(0, 0, root));  // "Stream"
  Settle();
  before = ResidentKB();

  QTimer frame;
  frame.setInterval(250);
  frame.setObjectName(QStringLiteral("frame timer"));
  QObject::connect(&frame, &QTimer::timeout, [&] { explorer->OnFrameTimer(250); });
  frame.start();
  std::vector<double> lateness;
  QElapsedTimer since;
  since.start();
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  probe.setInterval(10);
  probe.setObjectName(QStringLiteral("probe"));
  QObject::connect(&probe, &QTimer::timeout, [&] {
    lateness.push_back(double(since.nsecsElapsed()) / 1e6 - 10.0);
    since.restart();
  });
  probe.start();
  app.timing = true;

  const long files = count - (count + 99) / 100, folders = (count + 99) / 100;
  std::atomic<bool> produced{false};
  Timer total;
  Timer producer;
  double producerMs = 0;
  std::thread thread([&] {
    Produce(volume->Store(), count);
    producerMs = producer.Wall();
    produced.store(true);
  });
  QEventLoop loop;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (produced.load() && explorer->List()->Model()->LastCount() >= files &&
        tree.Model()->rowCount(root) >= folders + 1)
      loop.quit();
  });
  check.setObjectName(QStringLiteral("check"));
  check.start(50);
  loop.exec();
  const double shownMs = total.Wall();
  thread.join();
  probe.stop();
  app.timing = false;
  std::sort(lateness.begin(), lateness.end());
  const double p99 = lateness.empty() ? 0 : lateness[std::size_t(double(lateness.size() - 1) * 0.99)];
  const double worst = lateness.empty() ? 0 : lateness.back();
  const long viewsKB = ResidentKB() - before - storeKB;
  std::printf("streamed %ld objects: producer %.0f ms, all shown after %.0f ms (list %d rows, tree %d folders)\n",
              count, producerMs, shownMs, explorer->List()->Model()->LastCount(), tree.Model()->rowCount(root));
  std::printf("event loop: 10 ms timer late by at most %.1f ms, 99th percentile %.1f ms (%zu ticks)\n", worst, p99,
              lateness.size());
  std::printf("the user-interface thread's CPU time meanwhile: %.0f ms of %.0f ms\n", total.CpuMs(), shownMs);
  std::printf("memory beyond the store while streaming: %ld MB\n", viewsKB / 1024);
  std::printf("events of 30 ms and more: %zu\n", app.slow.size());
  std::sort(app.slow.begin(), app.slow.end(), [](const auto& a, const auto& b) { return a.ms > b.ms; });
  for (std::size_t i = 0; i < app.slow.size() && i < 8; ++i)
    std::printf("  slow event: %.1f ms, %s\n", app.slow[i].ms, app.slow[i].what.c_str());
  SetNotifier(nullptr);
  std::fflush(stdout);
  std::quick_exit(0);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const long files = argc > 1 ? std::atol(argv[1]) : 1000000;
  const long folders = argc > 2 ? std::atol(argv[2]) : 100000;
  // "quick": no page-by-page scroll; "sort": the list's fill and sorts only.
  const std::string mode = argc > 3 ? argv[3] : "";
  const bool quick = mode == "quick" || mode == "sort";
  TimedApp app(argc, argv);
  AppSettings settings;
  settings.FillDefaults();
  SetSettings(&settings);
  ScanProgress progress;
  SetScanProgress(&progress);
  auto computer = std::make_unique<CLocalComputer>();
  if (argc > 3 && std::string(argv[3]) == "stream") return Stream(app, *computer, files);

  const long before = ResidentKB();
  auto volume = std::make_shared<CVolume>(CVolume::kImageFile);
  volume->SetDevicePath(u"/tmp/bench.dsk");
  volume->SetDeviceNodeId(computer->NewObjectId());
  computer->Volumes().Add(volume);
  computer->SetAnalysedVolume(volume);
  FoundObjectStore& store = volume->Store();
  auto add = [&](std::int32_t id, std::int32_t parent, const std::u16string& name, std::uint16_t flags,
                 std::int64_t size, std::int64_t created) {
    FoundObject o;
    o.id = id;
    o.parentId = parent;
    o.flags = std::uint16_t(flags | OBJ_NAMED);
    o.SetName(name);
    o.size = size;
    o.created = created;
    store.RegisterObject(o);
  };
  add(0, volume->DeviceNodeId(), u".", OBJ_FOLDER, 0, 0);
  add(1, 0, u"Many files", OBJ_FOLDER, 0, 0);
  add(2, 0, u"Many folders", OBJ_FOLDER, 0, 0);
  std::mt19937_64 random(1);
  const char16_t* words[] = {u"IMG_", u"photo ", u"Report ", u"scan-", u"DSC", u"notes_", u"Invoice ", u"zz"};
  const char16_t* extensions[] = {u".jpg", u".pdf", u".txt", u".doc", u".png", u".xls", u".zip", u".bin"};
  for (long i = 0; i < files; ++i) {
    std::u16string name = words[random() % 8];
    for (char c : std::to_string(random() % 10000000)) name += char16_t(c);
    name += extensions[random() % 8];
    add(std::int32_t(1000 + i), 1, name, (random() % 3 == 0) ? OBJ_DELETED : 0, std::int64_t(random() % 50000000),
        std::int64_t(130000000000000000LL + std::int64_t(random() % 100000000000000LL)));
  }
  for (long i = 0; i < folders; ++i) {
    std::u16string name = u"Folder ";
    for (char c : std::to_string(random() % 10000000)) name += char16_t(c);
    add(std::int32_t(20000000 + i), 2, name, OBJ_FOLDER, 0, 0);
  }
  const long storeKB = ResidentKB() - before;
  std::printf("store: %ld files, %ld folders, %ld MB resident\n", files, folders, storeKB / 1024);

  // ---- The list ---------------------------------------------------------------------
  CFilesListView list;
  list.resize(800, 600);
  list.show();
  Settle();
  const long listBefore = ResidentKB();
  Timer t;
  CFilesListModel& model = *list.Model();
  model.Clear();
  {
    const FoundObjectStore::ReadView view = store.Read();
    std::vector<FoundObject*> children;
    view.CollectChildren(1, children);
    for (const FoundObject* r : children) model.AddObject(view, r);
  }
  model.Busy().store(0);
  model.SetItemCount();
  const std::string fill = t.Text();
  Settle();
  std::printf("list fill and first sort (%d rows): %s; with the first paint %s\n", model.rowCount(), fill.c_str(),
              t.Text().c_str());
  // How the list of a million looks (for the notes).
  QDir().mkpath(QStringLiteral(VANDREL_SCREENSHOT_DIR "/mainframe"));
  list.grab().save(QStringLiteral(VANDREL_SCREENSHOT_DIR "/mainframe/list_million.png"), "PNG");
  const char* columnNames[] = {"name", "size", "type", "date"};
  for (int column : {1, 3, 0, 2}) {
    t.restart();
    model.HeaderClicked(column);
    model.SetItemCount();
    Settle();
    std::printf("re-sort by %s: %s\n", columnNames[column], t.Text().c_str());
  }
  if (mode == "sort") {
    // The same sorts on a model no view shows: what the sort itself costs.
    CFilesListModel alone;
    alone.Clear();
    {
      const FoundObjectStore::ReadView view = store.Read();
      std::vector<FoundObject*> children;
      view.CollectChildren(1, children);
      for (const FoundObject* r : children) alone.AddObject(view, r);
    }
    alone.Busy().store(0);
    t.restart();
    alone.SetItemCount();
    std::printf("without a view: first sort %s", t.Text().c_str());
    for (int column : {1, 3, 0, 2}) {
      t.restart();
      alone.HeaderClicked(column);
      alone.SetItemCount();
      std::printf(", by %s %s", columnNames[column], t.Text().c_str());
    }
    std::printf("\n");
    std::fflush(stdout);
    std::quick_exit(0);
  }
  // Scrolling: every page from the top to the bottom would be ~35,000 repaints;
  // 2,000 pages spread evenly over the range, each painted, give the cost per page.
  QScrollBar* bar = list.verticalScrollBar();
  const int pages = 2000;
  t.restart();
  for (int i = 0; i <= pages; ++i) {
    bar->setValue(int(std::int64_t(bar->maximum()) * i / pages));
    list.viewport()->repaint();
  }
  const double perPage = t.Wall() / (pages + 1), perPageCpu = t.CpuMs() / (pages + 1);
  const long totalPages = bar->maximum() / std::max(1, bar->pageStep()) + 1;
  std::printf("scroll: %.2f ms per page painted (CPU %.2f ms); %ld pages from top to bottom\n", perPage, perPageCpu,
              totalPages);
  if (!quick) {
    t.restart();
    bar->setValue(0);
    for (int v = 0; v <= bar->maximum(); v += bar->pageStep()) {
      bar->setValue(v);
      QApplication::processEvents();
    }
    std::printf("scroll top to bottom page by page through the event loop: %s\n", t.Text().c_str());
  }
  const long listKB = ResidentKB() - listBefore;
  std::printf("list memory beyond the store: %ld MB\n", listKB / 1024);

  // ---- The tree ---------------------------------------------------------------------
  CFilesTreeView tree;
  tree.resize(300, 600);
  tree.show();
  tree.Refresh();
  Settle();
  const QModelIndex node = tree.Model()->IndexOfNode(volume->DeviceNodeId());
  tree.ExpandItem(node);
  const QModelIndex root = tree.Model()->index(0, 0, node);
  tree.ExpandItem(root);
  QModelIndex many;
  for (int row = 0; row < tree.Model()->rowCount(root); ++row)
    if (tree.Model()->index(row, 0, root).data().toString() == QStringLiteral("Many folders"))
      many = tree.Model()->index(row, 0, root);
  const long treeBefore = ResidentKB();
  t.restart();
  tree.ExpandItem(many);
  Settle();
  std::printf("expand the node of %d folders: %s\n", tree.Model()->rowCount(many), t.Text().c_str());
  t.restart();
  tree.collapse(many);
  Settle();
  std::printf("collapse it: %s\n", t.Text().c_str());
  t.restart();
  for (int i = 0; i < 100; ++i) (void)tree.Model()->hasChildren(tree.Model()->index(1, 0, root));
  std::printf("has-children of the folder of %ld files (100 asks): %.3f ms\n", files, t.Wall());
  std::printf("tree memory beyond the store (expanded, then collapsed): %ld MB\n",
              (ResidentKB() - treeBefore) / 1024);
  SetScanProgress(nullptr);
  SetSettings(nullptr);
  std::fflush(stdout);
  std::quick_exit(0);
}
