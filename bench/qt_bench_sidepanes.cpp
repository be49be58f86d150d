// The side panes under load, offscreen:
//   - the log box taking a burst of 100,000 WM_LOG_LINE messages posted by a worker
//     (as an analysis that logs every name it finds posts them): the time until
//     the newest line shows, and the longest the event loop went without turning
//     (a 1 ms timer's largest gap); the same for a box that inserts one item per
//     line, for comparison;
//   - the data viewer's hex view of a 4 GiB object on a sparse image file: the
//     time until the first page shows, the pages read for it, and the pages read
//     while the view jumps to the end and pages down 100 times.
//
//   bench_sidepanes [lines]   (default 100,000)

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/PostedEvent.h"
#include "bench/StallMeter.h"
#include "controls/HexEditorCtrl2.h"
#include "engine/records/Messages.h"
#include "engine/records/ProgramLog.h"
#include "engine/volume/Volume.h"
#include "mainframe/panes/HexViewerPane.h"
#include "mainframe/panes/LogView.h"
#include "mainframe/panes/ObjectDataPages.h"
#include "mainframe/panes/ObjectDataReader.h"
#include "platform/Text.h"
#include "support/TempDir.h"

namespace {


// Runs the event loop until `done` or `ms` have passed; the time it took in ms.
double RunUntil(const std::function<bool()>& done, int ms = 60000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  return double(t.nsecsElapsed()) / 1e6;
}

// Receives WM_LOG_LINE the way the box did before lines were batched: one item
// inserted at the top per line, and selected (for comparison).
class LinePerLineBox : public QComboBox {
 protected:
  bool event(QEvent* e) override {
    if (const PostedMessage* m = CPostedEvent::Of(e); m && m->message == WM_LOG_LINE) {
      insertItem(0, QString::fromStdU16String(m->text));
      setCurrentIndex(0);
      return true;
    }
    return QComboBox::event(e);
  }
};

// A worker posts `lines` log lines as fast as it can while the loop runs.
template <typename Box>
void LogBurst(const char* what, int lines, int limitMs, bool open) {
  Box log;
  log.resize(400, 24);
  log.show();
  if (open) log.showPopup();
  RunUntil([] { return false; }, 20);
  bench::StallMeter meter;
  meter.Start();
  const std::string newest = "Found: /DCIM/100CANON/IMG_" + std::to_string(lines - 1) + ".JPG";
  std::thread worker([&] {
    for (int i = 0; i < lines; ++i) {
      PostedMessage m;
      m.message = WM_LOG_LINE;
      m.text = platform::Utf8ToUtf16("Found: /DCIM/100CANON/IMG_" + std::to_string(i) + ".JPG");
      QCoreApplication::postEvent(&log, new CPostedEvent(std::move(m)));
    }
  });
  const double shown = RunUntil([&] { return log.currentText().toStdString() == newest; }, limitMs);
  worker.join();
  meter.Stop();
  const bool done = log.currentText().toStdString() == newest;
  std::printf("log burst (%s%s): %d lines; newest %s after %.0f ms; %d lines in the box; longest event-loop stall %.1f ms\n",
              what, open ? ", its list open" : "", lines, done ? "shown" : "NOT shown yet", shown, log.count(), meter.LongestMs());
}

void HexOfFourGiB() {
  test::TempDir dir;
  const std::string path = dir / "big.img";
  const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
  if (fd < 0 || ::ftruncate(fd, (std::int64_t(4) << 30) + 65536) != 0) {
    std::printf("hex view: no sparse file\n");
    return;
  }
  ::close(fd);
  auto volume = std::make_shared<CVolume>(CVolume::kImageFile);
  volume->SetDevicePath(platform::Utf8ToUtf16(path));
  volume->SetDeviceNodeId(-31);
  volume->QueryInformation();
  FoundObject big;
  big.flags = OBJ_DELETED | OBJ_RAW | OBJ_NAMED;
  big.SetName(u"big.bin");
  big.offset = 4096;
  big.size = std::int64_t(4) << 30;
  const std::int64_t handle = volume->Store().HandleOf(volume->Store().RegisterObject(big));
  CHexViewer_Pane pane;
  pane.resize(1280, 300);
  pane.show();
  RunUntil([] { return false; }, 50);
  QElapsedTimer t;
  t.start();
  pane.SetObject(volume, handle);
  CHexEditorCtrl2* hex = pane.HexView();
  const double first = RunUntil([&] { return hex->Model().Size() > 0 && hex->Model().IsAvailable(0); });
  const std::uint64_t firstPages = pane.Reader().PagesRead();
  bench::StallMeter meter;
  meter.Start();
  const std::uint64_t end = (std::uint64_t(4) << 30) - 1;
  hex->SetSelection(end, end);
  RunUntil([&] { return hex->Model().IsAvailable(end); });
  for (int i = 0; i < 100; ++i) {
    hex->setFocus();
    QKeyEvent up(QEvent::KeyPress, Qt::Key_PageUp, Qt::NoModifier);
    QApplication::sendEvent(hex, &up);
    const std::uint64_t shown = hex->Model().FirstOffset();
    RunUntil([&] { return hex->Model().IsAvailable(shown); });
  }
  meter.Stop();
  std::printf("hex view of a 4 GiB object: first page shown after %.1f ms (%llu page(s) read); "
              "to the end and 100 pages up: %llu pages read in all (%llu bytes of 4 GiB), %zu kept; "
              "longest event-loop stall %.1f ms\n",
              first, static_cast<unsigned long long>(firstPages),
              static_cast<unsigned long long>(pane.Reader().PagesRead()),
              static_cast<unsigned long long>(pane.Reader().PagesRead() * CObjectDataReader::kPageSize),
              pane.Pages().CachedPages(), meter.LongestMs());
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ProgramLog log;
  g_Log = &log;
  const int lines = argc > 1 ? std::atoi(argv[1]) : 100000;
  for (bool open : {false, true}) {
    LogBurst<CLogView>("batched, newest 10,000 kept", lines, 60000, open);
    LogBurst<LinePerLineBox>("one insertion per line, for comparison", lines, 60000, open);
  }
  HexOfFourGiB();
  g_Log = nullptr;
  return 0;
}
