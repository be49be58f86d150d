// The recovery progress dialog (239) over the program's real recovery jobs on
// memory volumes: what a tick shows while the job waits at a question and once
// its index has reached the count, the end, Abort with and without the
// confirmation, close-when-done, Escape after the end, "Go to Recovered..." (the
// folder the job really wrote into), and a second start while a thread still
// lives.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <filesystem>
#include <future>

#include "dialogs/RecoveryCommands.h"
#include "dialogs/RecoveryProgressDlg.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "tests/dialogs/RecoveryWorld.h"

namespace {

std::vector<std::uint8_t> Pattern(std::size_t bytes) {
  std::vector<std::uint8_t> data(bytes);
  for (std::size_t i = 0; i < bytes; ++i) data[i] = std::uint8_t(i * 13 + i / 511);
  return data;
}

// Scripted answers whose opening with the desktop waits until released, so that a
// "try to open" job stays alive after its last copy.
class HeldOpen : public ScriptedUserCallbacks {
 public:
  bool OpenWithDesktop(const std::string& path) override {
    opened.store(true);
    release.get_future().wait();
    return ScriptedUserCallbacks::OpenWithDesktop(path);
  }
  std::promise<void> release;
  std::atomic<bool> opened{false};
};

// The program's callbacks replaced for one test.
class ScopedCallbacks {
 public:
  explicit ScopedCallbacks(IUserCallbacks* callbacks) : previous_(GetUserCallbacks()) { SetUserCallbacks(callbacks); }
  ~ScopedCallbacks() { SetUserCallbacks(previous_); }

 private:
  IUserCallbacks* previous_;
};

QString Text(QWidget* dialog, int id) { return controls::FindControlAs<QLabel>(dialog, id)->text(); }
QProgressBar* Bar(QWidget* dialog, int id) { return controls::FindControlAs<QProgressBar>(dialog, id); }
// Whether a control is shown once its dialog is (the thread suite leaves the
// dialog unshown).
bool Shown(QWidget* dialog, int id) { return !controls::FindControl(dialog, id)->isHidden(); }

// The thread suite drives the dialogs unshown; the other shows them, clicks them
// with the mouse and takes the screenshots.
void Present(QWidget* dialog, bool shown) {
  if (shown) dialog->show();
}
void Screenshot(QWidget* dialog, bool shown, const char* name) {
  if (shown) QVERIFY(!test::SaveScreenshot(dialog, QStringLiteral("dialogs"), QString::fromLatin1(name)).isEmpty());
}


void AJobWithNothingSelectedShowsZeroOfZeroAndEndsAtTheFirstTick(bool shown) {
  test::RecoveryWorld world;
  CRecovery job;
  CRecoveryProgressDlg dialog(job, &world.top);
  Present(&dialog, shown);
  QCOMPARE(Text(&dialog, CRecoveryProgressDlg::IDC_OBJECTS_DONE), QStringLiteral("0 of 0"));
  QTRY_VERIFY(dialog.IsEnded());
  QCOMPARE(Text(&dialog, CRecoveryProgressDlg::IDC_OBJECTS_DONE), QStringLiteral("0 of 0"));
  QVERIFY(!Shown(&dialog, 2));
  QVERIFY(Shown(&dialog, 1));
  QVERIFY(Shown(&dialog, CRecoveryProgressDlg::IDC_GO_TO_RECOVERED));
}

void HeldAtAQuestionAbortIsConfirmedAndASecondStartIsRefused(bool shown) {
  test::RecoveryWorld world;
  ScriptedUserCallbacks answers;
  answers.HoldAnswers(true);
  ScopedCallbacks scoped(&answers);
  auto volume = world.MemoryVolume(Pattern(1 << 20));
  FoundObject* first = world.Add(*volume, 5, u"first.txt", 4096, 3000);
  FoundObject* carved = world.Add(*volume, 6, u"jpg_65536.jpg", 65536, -1, OBJ_RAW | OBJ_CARVED | OBJ_DELETED);
  const CRecoveryCommands::Selection selection{{volume, first}, {volume, carved}};
  CRecovery& job = RecoveryJob();
  QVERIFY(job.SetSelection(selection));
  QVERIFY(job.StartRecovery());
  QTRY_COMPARE(answers.Asked().size(), std::size_t(1));

  world.Settings().SetConfirmRecoveryAbort(1);
  CRecoveryProgressDlg dialog(job, &world.top);
  QSignalSpy finished(&dialog, &QDialog::finished);
  Present(&dialog, shown);
  QTRY_COMPARE(Text(&dialog, CRecoveryProgressDlg::IDC_OBJECTS_DONE), QStringLiteral("1 of 2"));
  QCOMPARE(Text(&dialog, CRecoveryProgressDlg::IDC_CURRENT_OBJECT), QStringLiteral("jpg_65536.jpg [size: -1]"));
  QCOMPARE(Bar(&dialog, CRecoveryProgressDlg::IDC_TOTAL_BAR)->maximum(), 2);
  QCOMPARE(Bar(&dialog, CRecoveryProgressDlg::IDC_TOTAL_BAR)->value(), 1);
  QCOMPARE(Bar(&dialog, CRecoveryProgressDlg::IDC_FILE_BAR)->value(), 0);
  QVERIFY(Shown(&dialog, 2));
  QVERIFY(!Shown(&dialog, 1));
  QVERIFY(!Shown(&dialog, CRecoveryProgressDlg::IDC_GO_TO_RECOVERED));
  Screenshot(&dialog, shown, "recovery_progress_239_running");

  // Recover again while this thread lives: the user is told, nothing starts.
  QCOMPARE(CRecoveryCommands::StartRecovery(&world.top, selection), -1);
  QCOMPARE(world.boxes.shown.size(), 1);
  QCOMPARE(world.boxes.shown[0].text, QString::fromUtf16(CRecoveryCommands::kStillEndingText));
  QVERIFY(world.Logged(CRecoveryCommands::kStillEndingText));
  QCOMPARE(world.LoggedCount(u"Recovery started."), 1);
  QVERIFY(job.IsThreadAlive());

  // Abort, confirmation on, No: the job runs on, the dialog stays.
  world.boxes.Queue(Answer::No);
  test::ClickControl(&dialog, 2);
  QCOMPARE(world.boxes.shown.size(), 2);
  QCOMPARE(world.boxes.shown[1].text, QStringLiteral("Are you sure you want to stop recovery?"));
  QCOMPARE(world.boxes.shown[1].caption, QStringLiteral("Confirmation"));
  QCOMPARE(world.boxes.shown[1].buttons, Buttons::YesNo);
  QCOMPARE(finished.count(), 0);
  QTest::qWait(300);
  QVERIFY(job.IsThreadAlive());
  QVERIFY(!answers.Asked()[0].Withdrawn());

  // Confirmation off: Abort stops at once, without a question and without
  // waiting for the thread, which then ends by itself.
  world.Settings().SetConfirmRecoveryAbort(0);
  test::ClickControl(&dialog, 2);
  QCOMPARE(finished.count(), 1);
  QCOMPARE(finished.at(0).at(0).toInt(), 2);
  QCOMPARE(world.boxes.shown.size(), 2);
  QTRY_VERIFY(!job.IsThreadAlive());
  QVERIFY(answers.Asked()[0].Withdrawn());
  QVERIFY(world.Logged(u"Recovery aborted."));
  QCOMPARE(job.SuccessCount(), 1);
  answers.Release();
}

void OnceTheIndexHasReachedTheCountThenTheEndThenEscape(bool shown) {
  test::RecoveryWorld world;
  HeldOpen answers;
  ScopedCallbacks scoped(&answers);
  auto volume = world.MemoryVolume(Pattern(1 << 20));
  FoundObject* file = world.Add(*volume, 5, u"letter.doc", 8192, 5000);
  CRecovery& job = TryOpenJob();
  QVERIFY(job.SetSelection(volume, {file}));
  QVERIFY(job.StartTryOpen());
  QTRY_VERIFY(answers.opened.load());

  CRecoveryProgressDlg dialog(job, &world.top);
  QSignalSpy finished(&dialog, &QDialog::finished);
  Present(&dialog, shown);
  QTRY_COMPARE(Text(&dialog, CRecoveryProgressDlg::IDC_OBJECTS_DONE), QStringLiteral("1 of 1"));
  QCOMPARE(Text(&dialog, CRecoveryProgressDlg::IDC_CURRENT_OBJECT), QString());
  QCOMPARE(Bar(&dialog, CRecoveryProgressDlg::IDC_FILE_BAR)->value(), 100);
  QVERIFY(!dialog.IsEnded());
  QVERIFY(Shown(&dialog, 2));

  answers.release.set_value();
  QTRY_VERIFY(dialog.IsEnded());
  QCOMPARE(Bar(&dialog, CRecoveryProgressDlg::IDC_FILE_BAR)->value(), 100);
  QCOMPARE(Bar(&dialog, CRecoveryProgressDlg::IDC_TOTAL_BAR)->value(), 1);
  QCOMPARE(Bar(&dialog, CRecoveryProgressDlg::IDC_TOTAL_BAR)->maximum(), 1);
  QVERIFY(!Shown(&dialog, 2));
  QVERIFY(Shown(&dialog, 1));
  QVERIFY(Shown(&dialog, CRecoveryProgressDlg::IDC_GO_TO_RECOVERED));
  Screenshot(&dialog, shown, "recovery_progress_239_ended");
  // Once ended, Escape is OK: no question, result 1.
  world.Settings().SetConfirmRecoveryAbort(1);
  QTest::keyClick(&dialog, Qt::Key_Escape);
  QCOMPARE(finished.count(), 1);
  QCOMPARE(finished.at(0).at(0).toInt(), 1);
  QCOMPARE(world.boxes.shown.size(), 0);
}

void CloseWhenDoneClosesWithZero(bool shown) {
  test::RecoveryWorld world;
  ScriptedUserCallbacks answers;
  ScopedCallbacks scoped(&answers);
  auto volume = world.MemoryVolume(Pattern(1 << 20));
  FoundObject* file = world.Add(*volume, 5, u"sheet.xls", 8192, 5000);
  CRecovery& job = TryOpenJob();
  QVERIFY(job.SetSelection(volume, {file}));
  QVERIFY(job.StartTryOpen());
  CRecoveryProgressDlg dialog(job, &world.top);
  dialog.SetCloseWhenDone(1);
  QSignalSpy finished(&dialog, &QDialog::finished);
  Present(&dialog, shown);
  QTRY_COMPARE(finished.count(), 1);
  QCOMPARE(finished.at(0).at(0).toInt(), 0);
  QCOMPARE(answers.Opened().size(), std::size_t(1));
}

void GoToRecoveredOpensTheFolderTheJobWroteInto(bool shown) {
  // The destination lies on the source drive: the warning's OK and the folder
  // picker (the real question handler) move the job to another folder.
  test::RecoveryWorld world;
  QList<QUrl> opened;
  world.App().Callbacks().SetOpenHandler([&](const QUrl& url) {
    opened.append(url);
    return true;
  });
  const QString other = QString::fromStdString(world.dir / "chosen instead");
  world.picks.push_back(other);
  auto volume = world.MemoryVolume(Pattern(1 << 20));
  FoundObject* file = world.Add(*volume, 5, u"notes.txt", 8192, 700);
  const std::string configured = app::QStringToPath(app::ToQString(world.Settings().DestinationFolder()));
  CRecovery& job = RecoveryJob();
  job.SetDestinationMatcher([configured](const std::string& folder, const CVolume&) {
    return folder == configured ? DeviceMatch::Same : DeviceMatch::Different;
  });
  QVERIFY(job.SetSelection(volume, {file}));
  QVERIFY(job.StartRecovery());
  CRecoveryProgressDlg dialog(job, &world.top);
  QSignalSpy finished(&dialog, &QDialog::finished);
  Present(&dialog, shown);
  QTRY_VERIFY(dialog.IsEnded());
  job.SetDestinationMatcher(nullptr);
  QCOMPARE(world.boxes.shown.size(), 1);
  QCOMPARE(world.boxes.shown[0].caption, QStringLiteral("Warning!"));
  QCOMPARE(world.boxes.shown[0].buttons, Buttons::OkCancel);
  QCOMPARE(world.pickerTitles, QStringList{QStringLiteral("Select destination folder for recovered files")});
  QVERIFY(std::filesystem::exists(world.dir / "chosen instead/notes.txt"));
  test::ClickControl(&dialog, CRecoveryProgressDlg::IDC_GO_TO_RECOVERED);
  QCOMPARE(finished.count(), 1);
  QCOMPARE(finished.at(0).at(0).toInt(), 0);
  QCOMPARE(opened.size(), 1);
  QCOMPARE(opened[0], QUrl::fromLocalFile(other));
}
}  // namespace

// Shown, clicked with the mouse, photographed.
class RecoveryProgressDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void AJobWithNothingSelectedShowsZeroOfZeroAndEndsAtTheFirstTick() {
    ::AJobWithNothingSelectedShowsZeroOfZeroAndEndsAtTheFirstTick(true);
  }
  void HeldAtAQuestionAbortIsConfirmedAndASecondStartIsRefused() {
    ::HeldAtAQuestionAbortIsConfirmedAndASecondStartIsRefused(true);
  }
  void OnceTheIndexHasReachedTheCountThenTheEndThenEscape() {
    ::OnceTheIndexHasReachedTheCountThenTheEndThenEscape(true);
  }
  void CloseWhenDoneClosesWithZero() { ::CloseWhenDoneClosesWithZero(true); }
  void GoToRecoveredOpensTheFolderTheJobWroteInto() { ::GoToRecoveredOpensTheFolderTheJobWroteInto(true); }
};
VANDREL_QT_TEST(RecoveryProgressDlgTest);

// The same roads unshown, for the thread checker: the job's thread against the
// dialog's ticks.
class RecoveryProgressDlgThreads : public QObject {
  Q_OBJECT

 private slots:
  void AJobWithNothingSelectedShowsZeroOfZeroAndEndsAtTheFirstTick() {
    ::AJobWithNothingSelectedShowsZeroOfZeroAndEndsAtTheFirstTick(false);
  }
  void HeldAtAQuestionAbortIsConfirmedAndASecondStartIsRefused() {
    ::HeldAtAQuestionAbortIsConfirmedAndASecondStartIsRefused(false);
  }
  void OnceTheIndexHasReachedTheCountThenTheEndThenEscape() {
    ::OnceTheIndexHasReachedTheCountThenTheEndThenEscape(false);
  }
  void CloseWhenDoneClosesWithZero() { ::CloseWhenDoneClosesWithZero(false); }
  void GoToRecoveredOpensTheFolderTheJobWroteInto() { ::GoToRecoveredOpensTheFolderTheJobWroteInto(false); }
};
VANDREL_QT_TEST(RecoveryProgressDlgThreads);

#include "RecoveryProgressDlgTest.moc"
