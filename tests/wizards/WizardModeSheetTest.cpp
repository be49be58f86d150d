// The step-by-step sheet as the program makes it ("VandrelPro" offscreen): its
// message table by message number, where each acts and where it is dropped; the
// centring on the first page's initialisation only and the caption on each; the
// side bar and "Menu..." after resizes; the version text; the progress pages'
// start on first showing only, Step5's Back question, the bar's rules; the name
// mask stored as typed; the two settings the wizard borrows given back when it
// closes. Screenshots of the progress pages while a pass runs.
#include <QMenu>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QTest>

#include <atomic>
#include <thread>

#include "app/HelpWindow.h"
#include "app/PostedEvent.h"
#include "app/QtText.h"
#include "controls/DialogUnits.h"
#include "controls/SheetLayout.h"
#include "engine/device/MemoryBlockDevice.h"
#include "engine/records/AppSettings.h"
#include "engine/records/Messages.h"
#include "engine/store/FileFilter.h"
#include "mainframe/explorer/MyComputerView.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "tests/wizards/WizardModeTestSupport.h"
#include "wizards/WizardModeLogEdit.h"
#include "wizards/WizardModeProgressPage.h"
#include "wizards/WizardMode_LeftBar.h"
#include "wizards/WizardMode_Step0.h"
#include "wizards/WizardMode_Step2.h"
#include "wizards/WizardMode_Step5.h"
#include "wizards/WizardMode_Step7.h"

namespace {

enum Page { kStep0, kStep1, kStep2, kStep3, kStep4, kStep5, kStep6, kStep7, kStep8, kFinish };

// Counts the posted messages of one number that reach a widget.
class MessageCounter : public QObject {
 public:
  MessageCounter(QObject* target, std::uint32_t message) : message_(message) { target->installEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (const PostedMessage* m = CPostedEvent::Of(event); m && m->message == message_) ++count;
    return false;
  }

 private:
  std::uint32_t message_;
};

void Post(QObject* to, std::uint32_t message) {
  PostedMessage m;
  m.message = message;
  QCoreApplication::postEvent(to, new CPostedEvent(std::move(m)));
  // The sheet passes some on as posted messages of their own.
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

std::atomic<int> g_readDelayMs{20};

// A device whose reads take a while, so that a pass is seen running.
class SlowDevice : public MemoryBlockDevice {
 public:
  using MemoryBlockDevice::MemoryBlockDevice;
  std::int64_t ReadAt(void* buffer, std::size_t length, std::uint64_t offset) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(g_readDelayMs.load()));
    return MemoryBlockDevice::ReadAt(buffer, length, offset);
  }
};

// fat16.img as the wizard's current volume, its reads slowed down.
std::shared_ptr<CVolume> SlowFat16() {
  auto bytes = std::make_shared<std::vector<std::uint8_t>>(test::FileBytes(test::FixtureImage("fat16.img")));
  std::shared_ptr<CVolume> v = g_Computer->OpenImageFile(platform::Utf8ToUtf16(test::FixtureImage("fat16.img")));
  if (!v) return nullptr;
  v->SetDeviceOpener([bytes](int&) -> std::shared_ptr<IBlockDevice> { return std::make_shared<SlowDevice>(*bytes); });
  v->Close();  // the next read opens the slow device
  g_Computer->SetSelectedVolume(v);
  g_Computer->SetAnalysedVolume(v);
  g_Computer->SetScannedVolume(v);
  return v;
}

}  // namespace

class WizardModeSheetTest : public QObject {
  Q_OBJECT

 private slots:
  void TheProgramOpensInTheSheetWithItsSideBar() {
    test::WizardModeWorld w;
    QVERIFY(w.Start());
    QCOMPARE(g_App->TopWindow(), static_cast<QWidget*>(w.sheet.data()));
    QCOMPARE(w.sheet->PageCount(), 10);
    QVERIFY(w.sheet->LayoutDone());
    QVERIFY(w.sheet->LeftBar());
    QVERIFY(!w.sheet->LeftBar()->PageAddress().isEmpty());
    QVERIFY(w.sheet->LeftBar()->Browser()->toPlainText().contains(QStringLiteral("Summary")));
    QCOMPARE(w.sheet->MenuButton()->text(), QStringLiteral("Menu..."));
    // Log lines carry no time stamps in this mode.
    QVERIFY(!g_Computer->GetLog().TimeStamps());
  }

  // The side bar marks the step shown: its row of the steps' table in bold, the
  // others not; the welcome page marks none.
  void TheSideBarMarksTheCurrentStep() {
    test::WizardModeWorld w;
    QVERIFY(w.Start());
    auto boldRows = [&] {
      QList<int> rows;
      QTextTable* table = nullptr;
      for (QTextFrame* f : w.sheet->LeftBar()->Browser()->document()->rootFrame()->childFrames())
        if ((table = qobject_cast<QTextTable*>(f))) break;
      if (!table) return QList<int>{-1};
      for (int r = 0; r < table->rows(); ++r) {
        QTextCursor c = table->cellAt(r, 1).firstCursorPosition();
        c.movePosition(QTextCursor::NextCharacter);
        if (c.charFormat().fontWeight() == QFont::Bold) rows << r + 1;
      }
      return rows;
    };
    QCOMPARE(boldRows(), QList<int>{});
    QVERIFY(w.ClickNext());
    QCOMPARE(w.sheet->LeftBar()->CurrentStep(), 1);
    QCOMPARE(boldRows(), QList<int>{1});
    QVERIFY(w.sheet->SetActivePage(int(kStep4)));
    QCOMPARE(boldRows(), QList<int>{4});
    QVERIFY(w.sheet->SetActivePage(int(kFinish)));
    QCOMPARE(boldRows(), QList<int>{9});
    QVERIFY(w.ClickBack());
    QCOMPARE(boldRows(), QList<int>{w.Page()});
  }

  // Help from a page opens that page's topic.
  void HelpFromAPageOpensItsTopic_data() {
    QTest::addColumn<int>("page");
    QTest::newRow("welcome") << int(kStep0);
    QTest::newRow("drive") << int(kStep1);
    QTest::newRow("auto-pilot") << int(kStep4);
    QTest::newRow("summary") << int(kFinish);
  }
  void HelpFromAPageOpensItsTopic() {
    QFETCH(int, page);
    test::WizardModeWorld w;
    QVERIFY(w.Start());
    QVERIFY(w.sheet->SetActivePage(page));
    QVERIFY(w.Click(controls::kSheetHelpId, false));
    CHelpWindow* help = CHelpWindow::Instance();
    QVERIFY(help->isVisible());
    QCOMPARE(help->CurrentTopic(), QStringLiteral("files/wizard.steps.html"));
    QCOMPARE(help->Browser()->source().fragment(), QStringLiteral("step%1").arg(page));
    CHelpWindow::Destroy();
  }

  // Beside the drive page's tree: the wizard's own road, not the main window's.
  void TheDrivePageDescribesTheWizardsRoad() {
    test::WizardModeWorld w;
    QVERIFY(w.Start());
    QVERIFY(w.ClickNext());
    auto* page = qobject_cast<CMyComputerView*>(
        w.sheet->Step1()->View()->RightPaneOf(CVolumeExploreView::VIEW_MY_COMPUTER));
    QVERIFY(page);
    const QString text = page->Browser()->toPlainText();
    QVERIFY2(text.contains(QStringLiteral("Choose the drive")), qPrintable(text.left(200)));
    QVERIFY(text.contains(QStringLiteral("Load Drive Image...")));
    QVERIFY(!text.contains(QStringLiteral("toolbar")));
    QCOMPARE(w.sheet->Step1()->View()->CurrentView(), int(CVolumeExploreView::VIEW_MY_COMPUTER));
    QVERIFY(!test::SaveScreenshot(w.sheet, "wizards", "wizard_step1_drive_page").isEmpty());
  }

  void ResizesKeepTheSideBarAndTheMenuButton_data() {
    QTest::addColumn<QSize>("size");
    QTest::newRow("larger") << QSize(1000, 700);
    QTest::newRow("wide and low") << QSize(1200, 520);
    QTest::newRow("back to small") << QSize(700, 500);
  }
  void ResizesKeepTheSideBarAndTheMenuButton() {
    QFETCH(QSize, size);
    test::WizardModeWorld w;
    QVERIFY(w.Start());
    w.sheet->resize(size);
    QTest::qWait(50);
    QWidget* bar = w.sheet->LeftBar();
    QWidget* header = controls::FindControl(w.sheet, controls::kWizardHeaderLineId);
    QWidget* lower = controls::FindControl(w.sheet, controls::kWizardButtonLineId);
    QWidget* help = controls::FindControl(w.sheet, controls::kSheetHelpId);
    QVERIFY(header && lower && help);
    // The pixels of the 8-point dialog font, scaled with the sheet's.
    auto px = [&](int n) { return controls::ScaledPixelsX(w.sheet->font(), n); };
    QCOMPARE(bar->x(), 0);
    QCOMPARE(bar->width(), px(145));
    QCOMPARE(bar->y(), header->y() + header->height() - 1);
    QCOMPARE(bar->y() + bar->height(), lower->y());
    QCOMPARE(w.sheet->MenuButton()->x(), px(20));
    QCOMPARE(w.sheet->MenuButton()->x() + w.sheet->MenuButton()->width(), px(20) + px(80));
    QCOMPARE(w.sheet->MenuButton()->y(), help->y());
    QCOMPARE(w.sheet->MenuButton()->height(), help->height());
  }

  void CentredOnTheFirstPageInitialisationOnlyCaptionOnEach() {
    test::WizardModeWorld w;
    QVERIFY(w.Start());
    QVERIFY(w.sheet->Centred());
    w.sheet->move(w.sheet->pos() + QPoint(37, 23));
    const QPoint moved = w.sheet->pos();
    w.sheet->setWindowTitle(QStringLiteral("something else"));
    // The drive page's first showing initialises it.
    QVERIFY(w.ClickNext());
    QCOMPARE(w.Page(), int(kStep1));
    QCOMPARE(w.sheet->pos(), moved);
    QCOMPARE(w.sheet->windowTitle(), g_App->GetTitle());
  }

  void MessagesActWhereTheyBelong_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("toStep6");
    QTest::addColumn<int>("toStep8");
    QTest::addColumn<bool>("treeRebuilt");
    QTest::newRow("welcome") << int(kStep0) << 0 << 0 << false;
    QTest::newRow("drive") << int(kStep1) << 0 << 0 << true;
    QTest::newRow("file types") << int(kStep2) << 0 << 0 << false;
    QTest::newRow("results") << int(kStep6) << 1 << 0 << false;
    QTest::newRow("sector results") << int(kStep8) << 0 << 1 << false;
    QTest::newRow("summary") << int(kFinish) << 0 << 0 << false;
  }
  void MessagesActWhereTheyBelong() {
    QFETCH(int, page);
    QFETCH(int, toStep6);
    QFETCH(int, toStep8);
    QFETCH(bool, treeRebuilt);
    test::WizardModeWorld w;
    QVERIFY(w.Start());
    QVERIFY(w.sheet->SetActivePage(page));
    QCOMPARE(w.Page(), page);
    MessageCounter six(w.sheet->Step6()->View(), WM_START_RECOVERY);
    MessageCounter eight(w.sheet->Step8()->View(), WM_START_RECOVERY);
    Post(w.sheet, WM_START_RECOVERY);
    QCOMPARE(six.count, toStep6);
    QCOMPARE(eight.count, toStep8);

    // A device change rebuilds the drive page's tree, on that page only.
    CFilesTreeModel* model = w.sheet->Step1()->View()->Tree()->Model();
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);
    Post(w.sheet, WM_DEVICE_CHANGED);
    QCoreApplication::processEvents();
    QCOMPARE(resets.count() > 0, treeRebuilt);

    // 0x0303 re-arms both passes wherever it comes.
    w.sheet->Step5()->SetStartPending(false);
    w.sheet->Step7()->SetStartPending(false);
    w.sheet->Step5()->LogEdit()->AppendLine(QStringLiteral("old line"));
    w.sheet->Step5()->LogEdit()->Flush();
    Post(w.sheet, CWizardMode_Main::WM_RESET_PROGRESS);
    QVERIFY(w.sheet->Step5()->StartPending());
    QVERIFY(w.sheet->Step7()->StartPending());
    QVERIFY(w.sheet->Step5()->LogEdit()->toPlainText().isEmpty());
  }

  void Step1NextOnlyForADriveWhoseQueryDidNotFail_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("next");
    QTest::newRow("query failed") << int(CVolume::kNotReady) << false;
    QTest::newRow("ready") << int(CVolume::kReady) << true;
    QTest::newRow("still querying") << int(CVolume::kQuerying) << true;
  }
  void Step1NextOnlyForADriveWhoseQueryDidNotFail() {
    QFETCH(int, state);
    QFETCH(bool, next);
    test::WizardModeWorld w;
    QVERIFY(w.Start());
    QVERIFY(w.ClickNext());
    QVERIFY(w.LoadImage("fat16.img"));
    std::shared_ptr<CVolume> drive = w.sheet->Step1()->SelectedDrive();
    QVERIFY(drive);
    drive->SetState(state);
    w.sheet->Step1()->UpdateButtons();
    QCOMPARE(w.NextEnabled(), next);
    // Next refuses such a drive even when asked directly.
    QCOMPARE(w.sheet->Step1()->ChooseSelectedDrive(), next);
    drive->SetState(CVolume::kReady);
  }

  void MenuOffersSettingsAndAbout() {
    test::WizardModeWorld w;
    QVERIFY(w.Start());
    QMenu* menu = w.sheet->MakeMenuPopup(w.sheet);
    const QList<QAction*> actions = menu->actions();
    QCOMPARE(actions.size(), 6);
    QCOMPARE(actions[0]->text(), QStringLiteral("Settings..."));
    QCOMPARE(controls::CommandId(actions[0]), 32792);
    QVERIFY(actions[1]->isSeparator());
    QCOMPARE(controls::CommandId(actions[2]), 32839);
    QCOMPARE(controls::CommandId(actions[3]), 32841);
    QVERIFY(actions[4]->isSeparator());
    QCOMPARE(actions[5]->text(), QStringLiteral("About..."));
    QCOMPARE(controls::CommandId(actions[5]), 57664);
    delete menu;
    QCOMPARE(controls::ControlId(w.sheet->MenuButton()), 32771);
  }

  // The menu's mode commands leave the wizard for the main window, without asking
  // and without ending the program.
  void MenuSwitchesToTheMainWindow_data() {
    QTest::addColumn<int>("mode");
    QTest::newRow("explorer") << 32839;
    QTest::newRow("explorer with data viewer") << 32841;
  }
  void MenuSwitchesToTheMainWindow() {
    QFETCH(int, mode);
    test::WizardModeWorld w(true);
    QVERIFY(w.Start());
    QVERIFY(w.sheet->OnCommand(mode));
    QTRY_VERIFY(!w.sheet || !w.sheet->isVisible());
    QTRY_VERIFY(g_App->TopWindow() && g_App->TopWindow()->inherits("CMainFrame"));
    QVERIFY(g_App->TopWindow()->isVisible());
    QCOMPARE(g_App->SetUIMode(-1), mode);
    QVERIFY(!g_App->IsQuitting());
    delete g_App->TopWindow();
  }

  void FinishEndsTheProgram() {
    test::WizardModeWorld w;
    QVERIFY(w.Start());
    QVERIFY(w.sheet->SetActivePage(int(kFinish)));
    QVERIFY(w.ButtonEnabled(test::kWizFinishId));
    QVERIFY(!g_App->IsQuitting());
    QVERIFY(w.Click(test::kWizFinishId, false));
    QVERIFY(g_App->IsQuitting());
  }

  void FormatVersion_data() {
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("shown");
    QTest::newRow("four parts") << QStringLiteral("5, 0, 0, 478") << QStringLiteral("5.0 Build 478");
    QTest::newRow("no blanks") << QStringLiteral("5,1,2,9") << QStringLiteral("5.1 Build 9");
    QTest::newRow("three parts") << QStringLiteral("6, 2, 17") << QStringLiteral("6.2 Build 17");
    QTest::newRow("one comma") << QStringLiteral("5, 0") << QString();
    QTest::newRow("no comma") << QStringLiteral("5.0.0.478") << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("empty part") << QStringLiteral("5, , 0, 478") << QString();
  }
  void FormatVersion() {
    QFETCH(QString, version);
    QFETCH(QString, shown);
    test::WizardModeWorld w;
    QVERIFY(w.Start());
    const std::optional<QString> text = CWizardMode_Step0::FormatVersion(version);
    QCOMPARE(text.value_or(QString()), shown);
    // A version that can't be read leaves the label as it was.
    CWizardMode_Step0* step0 = w.sheet->Step0();
    auto* label = controls::FindControlAs<QLabel>(step0, CWizardMode_Step0::IDC_VERSION);
    QVERIFY(label);
    label->setText(QStringLiteral("before"));
    step0->ShowVersion(&version);
    QCOMPARE(label->text(), shown.isEmpty() ? QStringLiteral("before") : shown);
  }

  void TheNameMaskIsStoredAsTypedAndOnNext() {
    test::WizardModeWorld w;
    QVERIFY(w.Start());
    QVERIFY(w.sheet->SetActivePage(int(kStep2)));
    QVERIFY(w.Click(CWizardMode_Step2::IDC_USE_MASK));
    QVERIFY(w.Type(CWizardMode_Step2::IDC_MASK, QStringLiteral("report*.doc;*.txt")));
    // Each edit reaches the filter at once.
    QCOMPARE(g_Computer->Filter().UseMask(), 1);
    QCOMPARE(QString::fromStdU16String(std::u16string(g_Computer->Filter().Mask())), QStringLiteral("report*.doc;*.txt"));
    QVERIFY(w.ClickNext());
    QCOMPARE(w.Page(), int(kStep3));
    // Saved: a filter read back from the store holds it.
    FileFilter again;
    again.Load();
    QCOMPARE(again.UseMask(), 1);
    QCOMPARE(QString::fromStdU16String(std::u16string(again.Mask())), QStringLiteral("report*.doc;*.txt"));
  }

  void TheBorrowedSettingsComeBackAfterAPass() {
    test::WizardModeWorld w;
    {
      // The main window's choices, stored before the program starts.
      AppSettings before;
      before.Load();
      before.SetSignaturePass(1);
      before.SetAutoContinueQueue(1);
      before.Save();
    }
    QVERIFY(w.Start());
    AppSettings& s = w.Settings();
    QCOMPARE(s.SignaturePass(), 0);
    QVERIFY(SlowFat16());
    QVERIFY(w.sheet->SetActivePage(int(kStep5)));
    QCOMPARE(s.AutoContinueQueue(), 0);
    w.sheet->Step5()->Stop();
    QVERIFY(QTest::qWaitFor([] { return !GetScanProgress().IsRunning(); }, 20000));
    CVolume::JoinAnalysisThreads();
    // Cancel ends the program; the two values are back before the last save.
    QVERIFY(w.Click(test::kWizCancelId, false));
    QCOMPARE(s.SignaturePass(), 1);
    QCOMPARE(s.AutoContinueQueue(), 1);
    AppSettings stored;
    stored.Load();
    QCOMPARE(stored.SignaturePass(), 1);
    QCOMPARE(stored.AutoContinueQueue(), 1);
  }

  void Step5StartsOnItsFirstShowingOnlyAndBackRearms() {
    test::WizardModeWorld w;
    QVERIFY(w.Start());
    std::shared_ptr<CVolume> v = SlowFat16();
    QVERIFY(v);
    QVERIFY(w.sheet->SetActivePage(int(kStep5)));
    CWizardMode_Step5* step5 = w.sheet->Step5();
    QVERIFY(!step5->StartPending());
    QVERIFY(GetScanProgress().IsRunning() || v->HasAnalysisThread());
    // Busy: no wizard button, Start off, Stop on, a marquee for FAT.
    QVERIFY(!w.NextEnabled() && !w.ButtonEnabled(test::kWizBackId));
    QVERIFY(!controls::FindControl(step5, CWizardModeProgressPage::IDC_START)->isEnabled());
    QVERIFY(controls::FindControl(step5, CWizardModeProgressPage::IDC_STOP)->isEnabled());
    QCOMPARE(qobject_cast<QLabel*>(controls::FindControl(step5, CWizardModeProgressPage::IDC_STATUS))->text(),
             QStringLiteral("Busy"));
    QVERIFY(step5->BarIsMarquee());
    QTest::qWait(250);
    QVERIFY(!test::SaveScreenshot(w.sheet, "wizards", "wizard_step5_busy").isEmpty());
    QVERIFY(w.WaitForPassEnd());
    // Ready again: the bar is full and no longer a marquee.
    QTest::qWait(250);
    QVERIFY(!step5->BarIsMarquee());
    QCOMPARE(step5->Bar()->value(), step5->Bar()->maximum());

    // Leaving and coming back does not start it again.
    QVERIFY(w.ClickNext());
    QCOMPARE(w.Page(), int(kStep6));
    QVERIFY(w.ClickBack());
    QCOMPARE(w.Page(), int(kStep5));
    QVERIFY(!GetScanProgress().IsRunning());
    QVERIFY(!step5->StartPending());

    // Back asks 223: No keeps the page, Yes shows the file types and re-arms.
    w.boxes.Queue(Answer::No);
    QVERIFY(w.ClickBack());
    QCOMPARE(w.Page(), int(kStep5));
    QCOMPARE(w.boxes.shown.last().text, LangString(223));
    w.boxes.Queue(Answer::Yes);
    QVERIFY(w.ClickBack());
    QCOMPARE(w.Page(), int(kStep2));
    QVERIFY(step5->StartPending());
  }

  // The auto-pilot goes on by itself only after a pass that ended by itself: Stop
  // halts it on the page where it is, with nothing recovered.
  void StopHaltsTheAutoPilotOnItsPage() {
    test::WizardModeWorld w;
    QVERIFY(w.Start());
    w.Settings().SetAutoRecover(1);
    w.Settings().SetDestinationFolder(app::ToU16(QString::fromStdString(w.out.path() + "/")));
    std::shared_ptr<CVolume> v = SlowFat16();
    QVERIFY(v);
    QVERIFY(w.sheet->SetActivePage(int(kStep5)));
    QTRY_VERIFY(GetScanProgress().IsRunning());
    QVERIFY(w.Click(CWizardModeProgressPage::IDC_STOP));
    QVERIFY(w.WaitForPassEnd());
    QTest::qWait(300);
    QCOMPARE(w.Page(), int(kStep5));
    QCOMPARE(w.sheet->RecoveredCount(), 0);
    QVERIFY(test::FilesUnder(w.out.path()).empty());
  }

  // A finished pass shows its last position equal to its total and the bar full;
  // "Read errors:" the sectors it could not read.
  void AFinishedPassShowsItsEndAndItsReadErrors() {
    test::WizardModeWorld w;
    QVERIFY(w.Start());
    auto device = std::make_shared<MemoryBlockDevice>(test::FileBytes(test::FixtureImage("fat16.img")));
    // Two sectors of the root folder can't be read.
    device->InjectFault(67, MemoryBlockDevice::Fault::Error);
    device->InjectFault(70, MemoryBlockDevice::Fault::Error);
    std::shared_ptr<CVolume> v = g_Computer->OpenImageFile(platform::Utf8ToUtf16(test::FixtureImage("fat16.img")));
    QVERIFY(v);
    v->SetDeviceOpener([device](int&) -> std::shared_ptr<IBlockDevice> { return device; });
    v->SetReadRetries(0);
    v->Close();
    g_Computer->SetSelectedVolume(v);
    g_Computer->SetAnalysedVolume(v);
    g_Computer->SetScannedVolume(v);
    QVERIFY(w.sheet->SetActivePage(int(kStep5)));
    QVERIFY(w.WaitForPassEnd());
    QTest::qWait(2 * CWizardModeProgressPage::kTimerPeriodMs);
    auto text = [&](int id) { return qobject_cast<QLabel*>(w.PageControl(id))->text(); };
    QVERIFY(text(CWizardMode_Step5::IDC_TOTAL_RECORDS).toLongLong() > 0);
    QCOMPARE(text(CWizardMode_Step5::IDC_CURRENT_RECORD), text(CWizardMode_Step5::IDC_TOTAL_RECORDS));
    QProgressBar* bar = w.sheet->Step5()->Bar();
    QCOMPARE(bar->value(), bar->maximum());
    // At least the two sectors (a read of the whole folder leaves all its sectors zeros).
    QVERIFY(text(CWizardModeProgressPage::IDC_READ_ERRORS).toLongLong() >= 2);
    QCOMPARE(text(CWizardModeProgressPage::IDC_READ_ERRORS).toLongLong(), GetScanProgress().unreadable.load());
    QVERIFY(!test::SaveScreenshot(w.sheet, "wizards", "wizard_step5_finished").isEmpty());
  }

  void TheBarDoesNotMoveUnderAHundredUnits_data() {
    QTest::addColumn<qint64>("current");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<int>("position");
    QTest::newRow("under 100") << qint64(50) << qint64(99) << 0;
    QTest::newRow("half") << qint64(500) << qint64(1000) << 50;
    QTest::newRow("nothing yet") << qint64(0) << qint64(1000) << 0;
  }
  void TheBarDoesNotMoveUnderAHundredUnits() {
    QFETCH(qint64, current);
    QFETCH(qint64, total);
    QFETCH(int, position);
    test::WizardModeWorld w;
    QVERIFY(w.Start());
    // An NTFS-like volume (not of the FAT family) that is being analysed.
    auto v = std::make_shared<CVolume>(CVolume::kImageFile);
    v->SetFileSystemTypeCode(7);
    v->SetState(CVolume::kAnalysing);
    g_Computer->SetAnalysedVolume(v);
    CWizardMode_Step7* step7 = w.sheet->Step7();
    CWizardMode_Step5* step5 = w.sheet->Step5();
    step5->ResetProgress();
    QVERIFY(!step5->BarIsMarquee());
    GetScanProgress().current.store(current);
    GetScanProgress().total.store(total);
    step5->UpdateProgress();
    step7->UpdateProgress();
    QCOMPARE(step5->Bar()->value(), position);
    QCOMPARE(step7->Bar()->value(), position);
    GetScanProgress().current.store(0);
    GetScanProgress().total.store(0);
    v->SetState(CVolume::kReady);
    g_Computer->SetAnalysedVolume(nullptr);
  }

  void Step7BusyAndItsFreeClusters() {
    test::WizardModeWorld w;
    QVERIFY(w.Start());
    std::shared_ptr<CVolume> v = SlowFat16();
    QVERIFY(v);
    w.Settings().SetSkipAllocatedClusters(0);
    g_readDelayMs = 250;
    // No file-system pass before: the whole volume counts as free.
    w.sheet->Step5()->SetStartPending(false);
    QVERIFY(w.sheet->SetActivePage(int(kStep7)));
    QVERIFY(GetScanProgress().IsRunning() || v->HasAnalysisThread());
    QTest::qWait(700);
    QVERIFY(GetScanProgress().IsRunning());
    QVERIFY(!test::SaveScreenshot(w.sheet, "wizards", "wizard_step7_busy").isEmpty());
    g_readDelayMs = 20;
    // Stop logs the abort and ends the pass; the page is idle again.
    w.sheet->Step7()->Stop();
    QVERIFY(w.WaitForPassEnd());
    QTRY_VERIFY((w.sheet->Step7()->LogEdit()->Flush(), w.sheet->Step7()->LogEdit()->toPlainText().contains(
        QStringLiteral("Operation aborted. Incomplete drive analysis!"))));
  }
};

VANDREL_QT_TEST(WizardModeSheetTest);
#include "WizardModeSheetTest.moc"
