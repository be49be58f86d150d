// The Qt adapters: text and times converted without loss, engine messages
// delivered as queued events to the right receiver, questions answered on the GUI
// thread.
#include <QCoreApplication>
#include <QPointer>
#include <QTest>
#include <QThread>
#include <QTimeZone>
#include <QUrl>

#include <atomic>
#include <future>
#include <thread>

#include "app/PostedEvent.h"
#include "app/QtText.h"
#include "app/UiCallbacks.h"
#include "app/UiNotifier.h"
#include "engine/records/Messages.h"
#include "support/QtTestRegistry.h"
#include "tests/app/AppTestSupport.h"

namespace {
// Keeps every posted message it receives, and the thread it arrived on.
class Sink : public QObject {
 public:
  std::vector<PostedMessage> got;
  bool onGuiThread = true;

 protected:
  bool event(QEvent* e) override {
    if (const PostedMessage* m = CPostedEvent::Of(e)) {
      got.push_back(*m);
      onGuiThread = onGuiThread && QThread::currentThread() == qApp->thread();
      return true;
    }
    return QObject::event(e);
  }
};
}  // namespace

class QtAdaptersTest : public QObject {
  Q_OBJECT
 private slots:
  void TextRoundTripsWithoutLoss_data() {
    QTest::addColumn<QString>("label");
    QTest::newRow("ascii") << QStringLiteral("photo.jpg");
    QTest::newRow("latin and cjk") << QStringLiteral("Fotos \u00e4\u00f6\u00fc \u65e5\u672c");
    QTest::newRow("pair") << QStringLiteral("emoji");
    QTest::newRow("lone high") << QStringLiteral("lone high");
    QTest::newRow("lone low") << QStringLiteral("lone low");
  }
  void TextRoundTripsWithoutLoss() {
    QFETCH(QString, label);
    std::u16string text;
    if (label == QLatin1String("emoji")) text = u"a\xD83D\xDE00z";
    else if (label == QLatin1String("lone high")) text = std::u16string(u"x") + char16_t(0xD800) + u"y";
    else if (label == QLatin1String("lone low")) text = std::u16string(1, char16_t(0xDC00));
    else text = app::ToU16(label);
    const QString q = app::ToQString(text);
    QCOMPARE(q.size(), static_cast<qsizetype>(text.size()));
    QVERIFY(app::ToU16(q) == text);
  }

  void FileTimesConvertBothWays() {
    // 2024-02-29 12:34:56.789 UTC
    const QDateTime dt(QDate(2024, 2, 29), QTime(12, 34, 56, 789), QTimeZone::utc());
    const platform::FileTime ft = app::DateTimeToFileTime(dt);
    QCOMPARE(ft, platform::kFileTimeUnixEpoch + dt.toMSecsSinceEpoch() * 10000);
    QCOMPARE(app::FileTimeToDateTime(ft), dt);
    QCOMPARE(app::FileTimeToDateTime(0).date(), QDate(1601, 1, 1));
    QCOMPARE(app::DateTimeToFileTime(QDateTime()), platform::FileTime(0));
    // Sub-millisecond ticks are cut toward the past, also before 1970.
    QCOMPARE(app::FileTimeToDateTime(platform::kFileTimeUnixEpoch - 1).toMSecsSinceEpoch(), qint64(-1));
  }

  void PostedMessagesReachTheirReceiverOnTheGuiThread() {
    CUiNotifier notifier;
    Sink top, log, job;
    notifier.SetTopWindow(&top);
    notifier.SetLogWindow(&log);
    const std::uint64_t key = notifier.NewReceiverKey();
    QVERIFY(key != 0);
    notifier.RegisterReceiver(key, &job);

    std::thread worker([&] {
      notifier.Post(PostedMessage{WM_ANALYSIS_DONE, -31, 0, {}, 0});
      notifier.Post(PostedMessage{WM_LOG_LINE, 0, 0, u"line one", 0});
      notifier.Post(PostedMessage{WM_RECOVERY_PROGRESS, 0, 50, {}, key});
      notifier.Post(PostedMessage{WM_IMAGE_DONE, 1, 0, {}, key + 1000});  // nobody
    });
    worker.join();
    QVERIFY(top.got.empty());  // queued, never delivered on the worker
    QCoreApplication::sendPostedEvents(&notifier);

    QCOMPARE(top.got.size(), size_t(1));
    QCOMPARE(top.got[0].message, std::uint32_t(WM_ANALYSIS_DONE));
    QCOMPARE(top.got[0].wParam, std::int64_t(-31));
    QCOMPARE(log.got.size(), size_t(1));
    QVERIFY(log.got[0].text == u"line one");
    QCOMPARE(job.got.size(), size_t(1));
    QCOMPARE(job.got[0].lParam, std::int64_t(50));
    QVERIFY(top.onGuiThread && log.onGuiThread && job.onGuiThread);
    QCOMPARE(notifier.Dropped(), std::uint64_t(1));
  }

  // The store's messages come in batches, one event per burst, each message still
  // delivered alone and in the order posted, also around other messages and from
  // several threads.
  void FoundObjectsComeInBatchesInTheOrderPosted() {
    CUiNotifier notifier;
    Sink top;
    notifier.SetTopWindow(&top);
    for (int i = 0; i < 5; ++i) notifier.Post(PostedMessage{WM_FOUND_OBJECT, i, 1, {}, 0});
    notifier.Post(PostedMessage{WM_FILE_SYSTEM_PASS_DONE, 0, 0, {}, 0});
    for (int i = 5; i < 8; ++i) notifier.Post(PostedMessage{WM_FOUND_OBJECT, i, 2, {}, 0});
    QCoreApplication::sendPostedEvents(&notifier);
    QCOMPARE(notifier.Batches(), std::uint64_t(2));
    QCOMPARE(top.got.size(), size_t(9));
    for (int i = 0; i < 9; ++i) {
      const PostedMessage& m = top.got[std::size_t(i)];
      if (i == 5) {
        QCOMPARE(m.message, std::uint32_t(WM_FILE_SYSTEM_PASS_DONE));
        continue;
      }
      QCOMPARE(m.message, std::uint32_t(WM_FOUND_OBJECT));
      QCOMPARE(m.wParam, std::int64_t(i < 5 ? i : i - 1));
      QCOMPARE(m.lParam, std::int64_t(i < 5 ? 1 : 2));
    }
    // A batch delivered is closed: what comes after it makes a new one.
    notifier.Post(PostedMessage{WM_FOUND_OBJECT, 100, 1, {}, 0});
    QCoreApplication::sendPostedEvents(&notifier);
    QCOMPARE(top.got.back().wParam, std::int64_t(100));
    QCOMPARE(notifier.Batches(), std::uint64_t(3));

    // Two workers: each one's messages arrive in its own order, none lost.
    top.got.clear();
    std::thread a([&] {
      for (int i = 0; i < 20000; ++i) notifier.Post(PostedMessage{WM_FOUND_OBJECT, i, 1, {}, 0});
    });
    std::thread b([&] {
      for (int i = 0; i < 20000; ++i) notifier.Post(PostedMessage{WM_FOUND_OBJECT, i, 2, {}, 0});
    });
    while (top.got.size() < 40000) QCoreApplication::sendPostedEvents(&notifier);
    a.join();
    b.join();
    std::int64_t next[3] = {0, 0, 0};
    for (const PostedMessage& m : top.got) {
      QCOMPARE(m.wParam, next[m.lParam]);
      ++next[m.lParam];
    }
    QVERIFY(top.onGuiThread);
    QVERIFY(notifier.Batches() < 40000);
  }

  void LogLinesGoToTheTopWindowWithoutALogWindowAndDeadReceiversAreSkipped() {
    CUiNotifier notifier;
    Sink top;
    notifier.SetTopWindow(&top);
    auto* job = new Sink;
    const std::uint64_t key = notifier.NewReceiverKey();
    notifier.RegisterReceiver(key, job);
    notifier.Post(PostedMessage{WM_LOG_LINE, 0, 0, u"x", 0});
    notifier.Post(PostedMessage{WM_IMAGE_PROGRESS, 0, 0, {}, key});
    delete job;
    QCoreApplication::sendPostedEvents(&notifier);
    QCOMPARE(top.got.size(), size_t(1));
    QCOMPARE(top.got[0].message, std::uint32_t(WM_LOG_LINE));
    QCOMPARE(notifier.Receiver(key), nullptr);
    QCOMPARE(notifier.Dropped(), std::uint64_t(1));
  }

  void QuestionsFromAWorkerAreAnsweredOnTheGuiThread() {
    CUiCallbacks callbacks;
    std::atomic<bool> handlerOnGui{false};
    callbacks.SetQuestionHandler(QuestionKind::ProbableFileSize, [&](const Question& q, QWidget*) {
      handlerOnGui = QThread::currentThread() == qApp->thread();
      return Reply{Answer::Ok, {q.values.empty() ? 0 : q.values[0] * 2}, {}};
    });
    test::ScriptedBoxes boxes(Answer::No);

    std::promise<Reply> sized, confirmed;
    auto sizedFuture = sized.get_future();
    auto confirmedFuture = confirmed.get_future();
    std::thread worker([&] {
      Question size;
      size.kind = QuestionKind::ProbableFileSize;
      size.values = {21};
      callbacks.Ask(size, std::move(sized));
      Question confirm;
      confirm.text = u"Stop?";
      confirm.caption = u"Confirmation";
      callbacks.Ask(confirm, std::move(confirmed));
    });
    worker.join();
    QVERIFY(sizedFuture.wait_for(std::chrono::seconds(0)) == std::future_status::timeout);
    QTRY_VERIFY(confirmedFuture.wait_for(std::chrono::seconds(0)) == std::future_status::ready);
    const Reply r1 = sizedFuture.get();
    QCOMPARE(r1.answer, Answer::Ok);
    QCOMPARE(r1.values.at(0), std::int64_t(42));
    QVERIFY(handlerOnGui.load());
    QCOMPARE(confirmedFuture.get().answer, Answer::No);
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown[0].text, QStringLiteral("Stop?"));
    QCOMPARE(boxes.shown[0].caption, QStringLiteral("Confirmation"));
    QCOMPARE(boxes.shown[0].buttons, Buttons::YesNo);
  }

  void OpeningGoesThroughTheReplaceableOpener() {
    CUiCallbacks callbacks;
    QList<QUrl> opened;
    callbacks.SetOpenHandler([&](const QUrl& url) {
      opened.append(url);
      return true;
    });
    QVERIFY(callbacks.OpenWithDesktop("/tmp/x y/photo.jpg"));
    // A worker waits for the opener's answer, which the GUI thread gives.
    std::atomic<int> fromWorker{-1};
    std::thread worker([&] { fromWorker.store(callbacks.OpenWithDesktop("/tmp/from worker.txt") ? 1 : 0); });
    QTRY_COMPARE(fromWorker.load(), 1);
    worker.join();
    QTRY_COMPARE(opened.size(), 2);
    QCOMPARE(opened[0], QUrl::fromLocalFile(QStringLiteral("/tmp/x y/photo.jpg")));
    QCOMPARE(opened[1].toLocalFile(), QStringLiteral("/tmp/from worker.txt"));
  }
};

VANDREL_QT_TEST(QtAdaptersTest);
#include "QtAdaptersTest.moc"
