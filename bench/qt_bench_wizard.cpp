// The wizard's progress log (Step5 with "Show filenames" on): a worker posts
// 100,000 WM_LOG_LINE messages as a file-system pass that logs every name it finds
// does, to a page that hands each line to its log edit (as the progress pages do).
// Reports the time until the last line is in the edit and the event loop's longest
// stall, for the batched log edit and, for comparison, one insertion per line.
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "StallMeter.h"
#include "app/PostedEvent.h"
#include "engine/records/Messages.h"
#include "platform/Text.h"
#include "wizards/WizardModeLogEdit.h"

namespace {

double RunUntil(const std::function<bool()>& done, int ms = 120000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  return double(t.nsecsElapsed()) / 1e6;
}

// The page's part: WM_LOG_LINE into the log, batched or line by line.
class Page : public QWidget {
 public:
  explicit Page(bool batched) : batched_(batched) {
    auto* layout = new QVBoxLayout(this);
    if (batched)
      edit_ = log_ = new CWizardModeLogEdit(this);
    else
      edit_ = new QPlainTextEdit(this);
    layout->addWidget(edit_);
  }
  int Lines() const { return edit_->document()->blockCount(); }

 protected:
  bool event(QEvent* e) override {
    if (const PostedMessage* m = CPostedEvent::Of(e); m && m->message == WM_LOG_LINE) {
      if (batched_) {
        log_->AppendLine(QString::fromStdU16String(m->text));
      } else {
        edit_->moveCursor(QTextCursor::End);
        edit_->insertPlainText(QString::fromStdU16String(m->text) + QLatin1Char('\n'));
      }
      return true;
    }
    return QWidget::event(e);
  }

 private:
  bool batched_;
  CWizardModeLogEdit* log_ = nullptr;
  QPlainTextEdit* edit_ = nullptr;
};

void Burst(bool batched, int lines) {
  Page page(batched);
  page.resize(480, 200);
  page.show();
  RunUntil([] { return false; }, 30);
  bench::StallMeter meter;
  meter.Start();
  std::thread worker([&] {
    for (int i = 0; i < lines; ++i) {
      PostedMessage m;
      m.message = WM_LOG_LINE;
      m.text = platform::Utf8ToUtf16("Found: /DCIM/100CANON/IMG_" + std::to_string(i) + ".JPG");
      QCoreApplication::postEvent(&page, new CPostedEvent(std::move(m)));
    }
  });
  // The edit holds one block per line plus the empty one after the last.
  const double took = RunUntil([&] { return page.Lines() > lines; });
  worker.join();
  meter.Stop();
  std::printf("progress log (%s): %d lines; %s after %.0f ms; longest event-loop stall %.1f ms\n",
              batched ? "batched per event-loop turn" : "one insertion per line, for comparison", lines,
              page.Lines() > lines ? "all shown" : "NOT all shown", took, meter.LongestMs());
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const int lines = argc > 1 ? std::atoi(argv[1]) : 100000;
  Burst(true, lines);
  Burst(false, lines);
  return 0;
}
