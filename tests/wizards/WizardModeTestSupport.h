#pragma once
// What the wizard-mode tests share: the program started as "VandrelPro" starts it
// (private configuration folder, the dialogs and wizards registered, no event
// loop of its own), so that the step-by-step sheet is the top window; message
// boxes answered from a script; the sheet's buttons and the current page's
// controls found by their ids; drive images loaded on the drive page through the
// open dialog; recoveries driven through the options and progress dialogs.

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/Startup.h"
#include "controls/ControlId.h"
#include "dialogs/DialogsRegistration.h"
#include "dialogs/OnRecoveryDlg.h"
#include "dialogs/RecoveryProgressDlg.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"
#include "mainframe/explorer/FilesListModel.h"
#include "mainframe/explorer/FilesListView.h"
#include "mainframe/explorer/FilesTreeModel.h"
#include "mainframe/explorer/FilesTreeView.h"
#include "mainframe/explorer/StoreAccess.h"
#include "mainframe/frame/CommandTable.h"
#include "mainframe/frame/MainframeRegistration.h"
#include "mainframe/frame/VolumeExploreView.h"
#include "platform/Text.h"
#include "search/RecoveryJobs.h"
#include "support/Fixtures.h"
#include "support/Sha256.h"
#include "support/ShownWindows.h"
#include "support/TempDir.h"
#include "tests/app/AppTestSupport.h"
#include "wizards/WizardMode_Main.h"
#include "wizards/WizardMode_Step1.h"
#include "wizards/WizardMode_Step6.h"
#include "wizards/WizardMode_Step8.h"
#include "wizards/WizardsRegistration.h"

namespace test {

inline constexpr int kWizBackId = 0x3023;
inline constexpr int kWizNextId = 0x3024;
inline constexpr int kWizFinishId = 0x3025;
inline constexpr int kWizCancelId = 2;

// Clicks OK in the recovery progress dialog once its job has ended, while the
// returned timer lives.
inline std::unique_ptr<QTimer> CloseProgressAtTheEnd() {
  auto timer = std::make_unique<QTimer>();
  QObject::connect(timer.get(), &QTimer::timeout, [] {
    auto* progress = ShownTopLevel<CRecoveryProgressDlg>();
    if (!progress || !progress->IsEnded() || !progress->isVisible()) return;
    if (auto* ok = controls::FindControlAs<QPushButton>(progress, 1)) QTest::mouseClick(ok, Qt::LeftButton);
  });
  timer->start(20);
  return timer;
}

inline std::string ShaOfFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), {});
  return Sha256(data.data(), data.size());
}

inline std::vector<std::uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

// Every regular file below a folder, relative to it.
inline std::set<std::string> FilesUnder(const std::string& root) {
  std::set<std::string> out;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    if (it->is_regular_file()) out.insert(it->path().lexically_relative(root).string());
  return out;
}

// Types a file's name into a file dialog, in the file's folder, and accepts it.
inline void AnswerFileDialog(QFileDialog* dialog, const std::string& file) {
  const std::filesystem::path path(file);
  dialog->setDirectory(QString::fromStdString(path.parent_path().string()));
  auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  if (!edit) {
    dialog->reject();
    return;
  }
  edit->setText(QString::fromStdString(path.filename().string()));
  QTest::keyClick(edit, Qt::Key_Return);
}

// The program after "VandrelPro": the step-by-step sheet is the top window.
class WizardModeWorld {
 public:
  // withMainFrame: the main window too, as the program registers it (mode switches).
  explicit WizardModeWorld(bool withMainFrame = false) {
    CStartup::Seams seams;
    seams.isUserAdmin = [] { return true; };
    seams.runEventLoop = false;
    seams.programDir = QString::fromStdString(programDir.path());
    seams.registerLibraries = [withMainFrame](CApp& app) {
      RegisterDialogs(app);
      if (withMainFrame) RegisterMainframe(app);
      RegisterWizards(app);
    };
    startup = std::make_unique<CStartup>(seams);
    // The side bar's and the drive page's pages beside the program.
    std::filesystem::create_directories(programDir / "media");
    for (const char* page : {"WizardBar.html", "WizardDrives.html", "index.html", "legend.html"})
      std::filesystem::copy_file(std::string(VANDREL_SOURCE_DIR) + "/media/" + page, programDir / ("media/" + std::string(page)));
  }
  ~WizardModeWorld() {
    for (CRecovery* job : {&RecoveryJob(), &TryOpenJob()}) {
      job->StopRecovery();
      job->Join();
    }
    if (g_Computer)
      if (std::shared_ptr<CVolume> v = g_Computer->AnalysedVolume()) g_Computer->FinishAnalysis(v, true);
    CVolume::JoinAnalysisThreads();
    delete sheet.data();
    startup.reset();
  }
  WizardModeWorld(const WizardModeWorld&) = delete;
  WizardModeWorld& operator=(const WizardModeWorld&) = delete;

  // Runs the entry path; the sheet when one was made.
  CWizardMode_Main* Start(std::u16string_view commandLine = u"") {
    startup->Main(commandLine);
    if (!g_App) return nullptr;
    g_App->Settings().SetExitProcessOnQuit(0);
    g_App->Settings().SetConfirmExit(0);
    g_App->Settings().SetSearchThreads(2);
    g_App->SetExitFunction([this](int code) { exitCodes.push_back(code); });
    g_App->Callbacks().SetOpenHandler([this](const QUrl& url) {
      opened.push_back(url);
      return true;
    });
    sheet = qobject_cast<CWizardMode_Main*>(g_App->TopWindow());
    if (!sheet) return nullptr;
    for (CVolumeExploreView* v : {sheet->Step6()->View(), sheet->Step8()->View()})
      QObject::connect(v, &CVolumeExploreView::recoveryEnded, &counter, [this](int) { ++recoveriesEnded; });
    (void)QTest::qWaitForWindowExposed(sheet, 2000);
    return sheet;
  }

  AppSettings& Settings() { return g_App->Settings(); }

  QWidget* Control(int id) const { return sheet ? controls::FindControl(sheet, id) : nullptr; }
  QWidget* PageControl(int id) const {
    return sheet && sheet->ActivePage() ? controls::FindControl(sheet->ActivePage(), id) : nullptr;
  }
  bool Click(int id, bool onPage = true) {
    auto* b = qobject_cast<QAbstractButton*>(onPage ? PageControl(id) : Control(id));
    if (!b || !b->isEnabled() || !b->isVisible()) return false;
    if (b->inherits("QRadioButton") || b->inherits("QCheckBox"))
      QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2));
    else
      QTest::mouseClick(b, Qt::LeftButton);
    QApplication::processEvents();
    return true;
  }
  bool ButtonEnabled(int id) const {
    auto* b = qobject_cast<QPushButton*>(Control(id));
    return b && b->isVisible() && b->isEnabled();
  }
  bool NextEnabled() const { return ButtonEnabled(kWizNextId); }
  bool ClickNext() { return Click(kWizNextId, false); }
  bool ClickBack() { return Click(kWizBackId, false); }
  int Page() const { return sheet ? sheet->ActiveIndex() : -1; }
  bool Type(int id, const QString& text) {
    auto* edit = qobject_cast<QLineEdit*>(PageControl(id));
    if (!edit) return false;
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
    return edit->text() == text;
  }

  // Waits until the pass shown on the current progress page has ended and the
  // page is idle again (Next on).
  bool WaitForPassEnd(std::chrono::milliseconds timeout = std::chrono::milliseconds(120000)) {
    return QTest::qWaitFor(
        [&] {
          std::shared_ptr<CVolume> v = g_Computer ? g_Computer->AnalysedVolume() : nullptr;
          return !GetScanProgress().IsRunning() && v && !v->HasAnalysisThread() && NextEnabled();
        },
        int(timeout.count()));
  }

  // Loads an image on the drive page as "Load Drive Image..." does (the open
  // dialog answered with its name).
  bool LoadImage(const std::string& fixture) {
    // A fixture by its name, or any image by its full path.
    const std::filesystem::path path(fixture.rfind('/', 0) == 0 ? fixture : FixtureImage(fixture));
    bool answered = false;
    auto timer = WhenShown<QFileDialog>([&](QFileDialog* dialog) {
      answered = true;
      AnswerFileDialog(dialog, path.string());
    });
    sheet->Step1()->View()->OnCommand(mainframe::ID_LOAD_IMAGE);
    QApplication::processEvents();
    return answered && sheet->Step1()->SelectedDrive() != nullptr;
  }

  // Clicks list rows of a result page's explorer view by name (the first alone,
  // the others with Ctrl); the list then is the view's focus.
  static int ClickListRows(CVolumeExploreView& view, const QStringList& names) {
    CFilesListView& list = *view.List();
    list.SetItemCount();
    int clicked = 0;
    bool first = true;
    for (const QString& name : names) {
      for (int row = 0; row < list.Model()->rowCount(); ++row) {
        const QModelIndex index = list.Model()->index(row, 0);
        if (index.data().toString() != name) continue;
        list.scrollTo(index);
        QTest::mouseClick(list.viewport(), Qt::LeftButton, first ? Qt::NoModifier : Qt::ControlModifier,
                          list.visualRect(index).center());
        first = false;
        ++clicked;
        break;
      }
    }
    view.OnViewFocused(&list);
    return clicked;
  }

  // The child of a tree item by its shown name.
  static QModelIndex TreeChild(CVolumeExploreView& view, const QModelIndex& parent, const QString& name) {
    CFilesTreeModel& model = *view.Tree()->Model();
    if (model.canFetchMore(parent)) model.fetchMore(parent);
    for (int row = 0; row < model.rowCount(parent); ++row)
      if (model.index(row, 0, parent).data().toString() == name) return model.index(row, 0, parent);
    return {};
  }
  // Clicks a tree item.
  static void ClickTreeItem(CVolumeExploreView& view, const QModelIndex& index) {
    CFilesTreeView& tree = *view.Tree();
    for (QModelIndex p = index.parent(); p.isValid(); p = p.parent()) tree.expand(p);
    QApplication::processEvents();
    tree.scrollTo(index);
    const QRect rect = tree.visualRect(index);
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, QPoint(std::min(rect.center().x(), tree.viewport()->width() - 4), rect.center().y()));
    QApplication::processEvents();
  }

  // Walks the tree below `parent` (clicking each folder) until the list shows a
  // file whose record lies at `offset`; its shown name, or empty.
  static QString FindListedAt(CVolumeExploreView& view, const QModelIndex& parent, std::int64_t offset, int depth = 0) {
    if (depth > 4) return {};
    ClickTreeItem(view, parent);
    CFilesListView& list = *view.List();
    list.SetItemCount();
    for (int row = 0; row < list.Model()->rowCount(); ++row) {
      FoundObject record;
      if (CStoreAccess::ReadRecord(list.Model()->HandleAt(row), record) && !record.IsFolder() &&
          record.offset == offset)
        return list.Model()->index(row, 0).data().toString();
    }
    CFilesTreeModel& model = *view.Tree()->Model();
    if (model.canFetchMore(parent)) model.fetchMore(parent);
    for (int row = 0; row < model.rowCount(parent); ++row) {
      const QString name = FindListedAt(view, model.index(row, 0, parent), offset, depth + 1);
      if (!name.isEmpty()) return name;
    }
    return {};
  }

  // "Recover..." (1177) on the current result page -> the options dialog's OK ->
  // the sheet passes WM_START_RECOVERY to the page's view -> the progress dialog,
  // closed at the end. True once the job has ended and the dialog is gone.
  bool RecoverByClicks() {
    bool optionsSeen = false;
    const auto options = WhenShown<COnRecoveryDlg>([&](COnRecoveryDlg* dialog) {
      optionsSeen = true;
      QTest::mouseClick(controls::FindControlAs<QPushButton>(dialog, 1), Qt::LeftButton);
    });
    const auto closer = CloseProgressAtTheEnd();
    const int runs = recoveriesEnded;
    if (!Click(CWizardModeResultsPage::IDC_RECOVER)) return false;
    const bool done = QTest::qWaitFor(
        [&] { return optionsSeen && recoveriesEnded > runs && !ShownTopLevel<CRecoveryProgressDlg>(); }, 60000);
    RecoveryJob().Join();
    return done;
  }

  ScopedConfig config;
  TempDir programDir;
  TempDir out{"vandrel-wizard-out-"};
  ScriptedBoxes boxes{Answer::Yes};
  std::unique_ptr<CStartup> startup;
  QPointer<CWizardMode_Main> sheet;
  std::vector<int> exitCodes;
  std::vector<QUrl> opened;
  int recoveriesEnded = 0;
  QObject counter;
};

}  // namespace test
