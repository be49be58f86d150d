// Find in found files over the store of bench_store (1,000,000 objects: half
// parsed, a folder every 20 entries, a third of the files deleted, half carved
// hits that the store names "jpeg..."/"adobe..."), searching "*.jpg", deleted only,
// through the find pane as the program runs it (the thread at nice 19, its batches
// through the event queue, the results count pushed every 250 ms). Measures the
// time until the search ends and the longest the event loop went without turning
// (a 1 ms timer's largest gap), alone and while an analysis thread adds another
// 500,000 objects to the same store. Runs offscreen.
//
//   bench_find [count]   (default 1,000,000)

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <QLineEdit>
#include <QWidget>

#include <atomic>
#include <functional>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchFileTypes.h"
#include "bench/StallMeter.h"
#include "engine/records/FileTypeLookup.h"
#include "engine/records/ProgramLog.h"
#include "engine/volume/Volume.h"
#include "mainframe/explorer/FilesListModel.h"
#include "mainframe/explorer/FilesListView.h"
#include "mainframe/find/FindInFound.h"
#include "mainframe/find/SearchBarView.h"
#include "platform/Format.h"

namespace {


// Parsed objects from `first` on (a folder every 20), as the file-system pass adds them.
void AddParsed(FoundObjectStore& store, long first, long count) {
  std::int32_t folder = 2;
  for (long i = first; i < first + count; ++i) {
    const std::u16string name =
        i % 20 == 0 ? platform::Format(u"DIR%05d", i) : platform::Format(u"IMG_%06d.JPG", i);
    FoundObject o;
    o.id = std::int32_t(i + 3);
    o.size = 4096 + i % 5000;
    o.offset = (i + 3) * 4096;
    o.firstCluster = o.id;
    o.SetName(name);
    if (i % 20 == 0) {
      o.flags = OBJ_FOLDER | OBJ_NAMED;
      o.parentId = 2;
      folder = o.id;
    } else {
      o.flags = OBJ_NAMED | (i % 3 ? 0 : OBJ_DELETED);
      o.parentId = folder;
    }
    store.AddParsedObject(o);
  }
}


void Search(CFindInFound& find, const std::shared_ptr<CVolume>& volume, const char* what,
            const std::function<void()>& during = {}) {
  QTimer push;  // the main frame's 250 ms timer
  push.setInterval(250);
  double longestPush = 0;
  QObject::connect(&push, &QTimer::timeout, [&] {
    QElapsedTimer p;
    p.start();
    find.Results()->SetItemCount();
    longestPush = std::max(longestPush, double(p.nsecsElapsed()) / 1e6);
  });
  push.start();
  bench::StallMeter meter;
  meter.Start();
  QElapsedTimer t;
  t.start();
  find.Start(volume);
  std::thread other;
  if (during) other = std::thread(during);
  while (find.IsRunning() || !find.SearchBar()->SearchButton()->isEnabled())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  const double ms = double(t.nsecsElapsed()) / 1e6;
  if (other.joinable()) other.join();
  find.Results()->SetItemCount();
  std::printf("find \"*.jpg\", deleted only (%s): %zu records, %d found, %.0f ms; longest event-loop stall %.1f ms "
              "(of which the list's longest count push and sort %.1f ms)\n",
              what, volume->Store().Count(), find.Results()->model()->rowCount(), ms, meter.LongestMs(), longestPush);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ProgramLog log;
  g_Log = &log;
  bench::Types types;
  SetFileTypeLookup(&types);
  const long count = argc > 1 ? std::atol(argv[1]) : 1000000;

  auto volume = std::make_shared<CVolume>(CVolume::kImageFile);
  volume->SetDeviceNodeId(-31);
  FoundObjectStore& store = volume->Store();
  store.SetRootFolderId(2);
  FoundObject root;
  root.flags = OBJ_FOLDER | OBJ_NAMED;
  root.id = 2;
  root.parentId = -31;
  store.RegisterObject(root);
  const long parsed = count / 2;
  AddParsed(store, 0, parsed);
  store.EnableOffsetIndex(1);
  for (long i = 0; i < count - parsed; ++i) {
    FoundObject hit;
    hit.flags = OBJ_DELETED | OBJ_RAW;
    hit.size = -1;
    hit.typeId = std::int16_t(10 + i % 3);
    hit.offset = std::int64_t(parsed + 10) * 4096 + i * 512;
    store.AddCarvedObject(hit);
  }

  QWidget window;
  CFindInFound find;
  find.Create(&window, nullptr);
  window.show();
  find.SearchBar()->findChild<QLineEdit*>()->setText(QStringLiteral("*.jpg"));
  find.SearchBar()->OnCriteriaChanged();

  // "Search" as the button does it (the mask read, the criteria completed).
  QObject::connect(find.SearchBar()->SearchButton(), &QPushButton::clicked, [] {});
  find.SearchBar()->OnFind();
  Search(find, volume, "alone");
  find.SearchBar()->OnFind();
  Search(find, volume, "while an analysis adds 500,000 objects",
         [&] { AddParsed(store, count, 500000); });
  find.Reset();
  SetFileTypeLookup(nullptr);
  g_Log = nullptr;
  return 0;
}
