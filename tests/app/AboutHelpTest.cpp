// The About box, the help window and the help and web commands; screenshots of
// the About box, the help window at the quick-start topic and a placeholder top
// window.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QTimer>
#include <QHelpContentWidget>
#include <QHelpEngine>
#include <QHelpSearchEngine>
#include <QHelpSearchResult>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <QUrl>

#include "app/AboutDlg.h"
#include "app/App.h"
#include "app/HelpWindow.h"
#include "app/PlaceholderWindow.h"
#include "app/WebLinks.h"
#include "controls/ControlId.h"
#include "controls/Label.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "tests/app/AppTestSupport.h"

namespace {
// The program folder of the build tree (help/, Languages/ beside the executable).
QString ProgramDir() { return QDir(QStringLiteral(VANDREL_FIXTURE_DIR "/../bin")).absolutePath(); }

QString Page(const char* path) {
  return BuildEventUrl(app::MakerPage(path), QStringLiteral("OnHelp"));
}
}  // namespace

// Follows whether a window is blocked by a modal one (the events Qt sends it).
class BlockWatch : public QObject {
 public:
  explicit BlockWatch(QWidget* w) { w->installEventFilter(this); }
  bool blocked = false;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::WindowBlocked) blocked = true;
    if (e->type() == QEvent::WindowUnblocked) blocked = false;
    return false;
  }
};

class AboutHelpTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    config_ = std::make_unique<test::ScopedConfig>();
    app_ = std::make_unique<CApp>(ProgramDir());
    app_->LoadSettings();
    opened_.clear();
    app_->Callbacks().SetOpenHandler([this](const QUrl& url) {
      opened_.append(url);
      return true;
    });
  }
  void cleanup() {
    CHelpWindow::Destroy();
    app_.reset();
    config_.reset();
  }

  void TheAboutBoxShowsNameVersionAndLinks() {
    QWidget owner;
    CAboutDlg dialog(&owner);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("About"));
    QCOMPARE(controls::FindControlAs<QLabel>(&dialog, CAboutDlg::IDC_PRODUCT)->text(), QStringLiteral("Vandrel Pro"));
    QCOMPARE(controls::FindControlAs<QLabel>(&dialog, CAboutDlg::IDC_VERSION)->text(),
             CAboutDlg::VersionText(CAboutDlg::FileVersion()));
    QVERIFY(controls::FindControlAs<QLabel>(&dialog, CAboutDlg::IDC_VERSION)->text().startsWith(QStringLiteral("Version 5.0 Build ")));
    auto* web = controls::FindControlAs<controls::CLabel>(&dialog, CAboutDlg::IDC_WEB_LINK);
    auto* support = controls::FindControlAs<controls::CLabel>(&dialog, CAboutDlg::IDC_SUPPORT_LINK);
    QVERIFY(web && support);
    QCOMPARE(web->Text(), app::MakerWebSite());
    QCOMPARE(support->Text(), app::MakerWebSite() + QStringLiteral("/support/"));
    QVERIFY(web->NotifyMode());
    QVERIFY(controls::FindControlAs<QPushButton>(&dialog, 1));
    QVERIFY(controls::FindControlAs<QPushButton>(&dialog, CAboutDlg::IDC_HELP_BUTTON));
    QVERIFY(!test::SaveScreenshot(&dialog, QStringLiteral("app"), QStringLiteral("about_box")).isEmpty());
  }

  void OkAndEscClose() {
    {
      CAboutDlg dialog;
      dialog.show();
      QTest::mouseClick(controls::FindControlAs<QPushButton>(&dialog, 1), Qt::LeftButton);
      QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
    {
      CAboutDlg dialog;
      dialog.show();
      QTest::keyClick(&dialog, Qt::Key_Escape);
      QCOMPARE(dialog.result(), int(QDialog::Rejected));
      QVERIFY(!dialog.isVisible());
    }
  }

  void HelpGoesToTheOwnerAndTheDialogStays() {
    QWidget owner;
    auto* contents = new QAction(&owner);
    owner.addAction(contents);
    controls::SetCommandId(contents, 57670);
    int triggered = 0;
    connect(contents, &QAction::triggered, this, [&] { ++triggered; });
    CAboutDlg dialog(&owner);
    dialog.show();
    QTest::mouseClick(controls::FindControlAs<QPushButton>(&dialog, CAboutDlg::IDC_HELP_BUTTON), Qt::LeftButton);
    QCOMPARE(triggered, 0);  // posted, not sent
    QTRY_COMPARE(triggered, 1);
    QVERIFY(dialog.isVisible());
  }

  void ALinkClickOpensItsPageAndClosesTheBox_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("url");
    QTest::newRow("web") << int(CAboutDlg::IDC_WEB_LINK) << Page(app::kProductsPath);
    QTest::newRow("support") << int(CAboutDlg::IDC_SUPPORT_LINK) << Page(app::kSupportPath);
  }
  void ALinkClickOpensItsPageAndClosesTheBox() {
    QFETCH(int, id);
    QFETCH(QString, url);
    QWidget owner;  // no actions: the application's help command serves it
    CAboutDlg dialog(&owner);
    dialog.show();
    dialog.setResult(-5);
    QTest::mouseClick(controls::FindControl(&dialog, id), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), 0);
    QTRY_COMPARE(opened_.size(), 1);
    QCOMPARE(opened_[0].toString(), url);
  }

  void WebCommandsOpenTheMakersPages_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("url");
    QTest::newRow("products") << 32789 << Page(app::kProductsPath);
    QTest::newRow("support") << 32795 << Page(app::kSupportPath);
    QTest::newRow("testimonials") << 32838 << Page(app::kTestimonialsPath);
  }
  void WebCommandsOpenTheMakersPages() {
    QFETCH(int, command);
    QFETCH(QString, url);
    QCOMPARE(app_->OnHelpCommand(command), 0);
    QCOMPARE(opened_.size(), 1);
    QCOMPARE(opened_[0].toString(), url);
    QVERIFY(url.endsWith(QStringLiteral("/?event1=VandrelPro&event2=Application&event3=OnHelp")));
  }

  void HelpCommandsShowTheHelpWindow_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("topic");
    QTest::addColumn<bool>("search");
    QTest::newRow("contents") << 57670 << "index.html" << false;
    QTest::newRow("zero") << 0 << "index.html" << false;
    QTest::newRow("unknown") << 4242 << "index.html" << false;
    QTest::newRow("recovery guide") << 32817 << "files/basics.quickstart.html" << false;
    QTest::newRow("search") << 32818 << "index.html" << true;
  }
  void HelpCommandsShowTheHelpWindow() {
    QFETCH(int, command);
    QFETCH(QString, topic);
    QFETCH(bool, search);
    QCOMPARE(app_->OnHelpCommand(command), 0);
    CHelpWindow* help = CHelpWindow::Instance();
    QVERIFY(help->isVisible());
    QCOMPARE(help->CurrentTopic(), topic);
    QCOMPARE(help->SearchShown(), search);
    QVERIFY(opened_.isEmpty());
    QVERIFY(!QApplication::overrideCursor());  // the wait cursor is gone again
  }

  void TheHelpShowsItsPagesAndFindsWords() {
    QVERIFY2(QFileInfo::exists(ProgramDir() + QStringLiteral("/help/vandrelpro.qch")), "the help is built");
    CHelpWindow::ShowTopic(QString::fromLatin1(CHelpWindow::kQuickStartTopic));
    CHelpWindow* help = CHelpWindow::Instance();
    QVERIFY(help->Browser()->toPlainText().contains(QStringLiteral("Recovery Guide")));
    QVERIFY(help->Browser()->toPlainText().contains(QStringLiteral("Select the drive")));
    // The contents tree lists every topic, opened.
    auto* tree = help->findChild<QHelpContentWidget*>();
    QVERIFY(tree);
    QTRY_VERIFY(tree->model()->rowCount() == 1);
    const QModelIndex root = tree->model()->index(0, 0);
    QTRY_COMPARE(tree->model()->rowCount(root), 7);
    QTRY_VERIFY(tree->isExpanded(root));
    QVERIFY(!test::SaveScreenshot(help, QStringLiteral("app"), QStringLiteral("help_quickstart")).isEmpty());

    // Every page of the contents loads.
    for (const char* page : {"index.html", "files/basics.modes.html", "files/wizard.steps.html", "files/basics.scanning.html",
                             "files/basics.recovery.html", "files/basics.signatures.html", "files/basics.rights.html"}) {
      const QByteArray data = help->Engine()->fileData(CHelpWindow::TopicUrl(QString::fromLatin1(page)));
      QVERIFY2(data.contains("<h1>"), page);
    }

    // The full-text index is built in the background; a search finds the page
    // that holds the word once it is there.
    QHelpSearchEngine* search = help->Engine()->searchEngine();
    bool found = false;
    for (int attempt = 0; attempt < 100 && !found; ++attempt) {
      QSignalSpy finished(search, &QHelpSearchEngine::searchingFinished);
      help->Search(QStringLiteral("filesig"));
      QVERIFY(finished.count() > 0 || finished.wait(10000));
      for (const QHelpSearchResult& r : search->searchResults(0, search->searchResultCount()))
        found = found || r.url().path().endsWith(QStringLiteral("basics.signatures.html"));
      if (!found) QTest::qWait(100);
    }
    QVERIFY(found);
  }

  // A person's ways through the help window: one click on a contents entry opens
  // it, Esc closes the window, and while a modal dialog is open (the settings
  // sheet) the help opened from it still answers clicks.
  void TheHelpWindowAnswersClicksEscAndBesideAModal() {
    CHelpWindow::ShowContents();
    CHelpWindow* help = CHelpWindow::Instance();
    QVERIFY(QTest::qWaitForWindowExposed(help));
    auto* tree = help->findChild<QHelpContentWidget*>();
    QVERIFY(tree);
    QTRY_VERIFY(tree->model()->rowCount() == 1 && tree->model()->rowCount(tree->model()->index(0, 0)) > 2);
    auto clickEntry = [&](int row) {
      const QModelIndex entry = tree->model()->index(row, 0, tree->model()->index(0, 0));
      tree->scrollTo(entry);
      QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(entry).center());
      return entry;
    };
    clickEntry(1);
    QCOMPARE(help->CurrentTopic(), QStringLiteral("files/basics.modes.html"));
    QTest::keyClick(help->Browser(), Qt::Key_Escape);
    QVERIFY(!help->isVisible());

    // A modal dialog whose Help opens the help window: the window is not blocked.
    BlockWatch watch(help);
    QDialog modal;
    modal.setWindowTitle(QStringLiteral("Settings"));
    QString topicWhileModal;
    bool blockedWhileModal = true;
    QTimer::singleShot(100, &modal, [&] {
      CHelpWindow::ShowContents();
      QTest::qWait(200);
      blockedWhileModal = watch.blocked;
      clickEntry(0);
      topicWhileModal = help->CurrentTopic();
      modal.reject();
    });
    modal.exec();
    QVERIFY(!blockedWhileModal);
    QCOMPARE(topicWhileModal, QStringLiteral("files/basics.quickstart.html"));
    CHelpWindow::Destroy();
  }

  void APlaceholderTopWindow() {
    app_->SetUIMode(CApp::MODE_WIZARD);
    QWidget* top = app_->TopWindow();
    QVERIFY(qobject_cast<CPlaceholderWindow*>(top));
    QVERIFY(!test::SaveScreenshot(top, QStringLiteral("app"), QStringLiteral("placeholder_wizard_mode")).isEmpty());
    delete top;
  }

 private:
  std::unique_ptr<test::ScopedConfig> config_;
  std::unique_ptr<CApp> app_;
  QList<QUrl> opened_;
};

VANDREL_QT_TEST(AboutHelpTest);
#include "AboutHelpTest.moc"
