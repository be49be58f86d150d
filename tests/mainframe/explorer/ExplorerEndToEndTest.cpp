// The explorer view over the real engine: fat16.img opened as an image and
// analysed with the signature pass, its objects arriving as the store posts them
// through the program's notifier; the tree, the list, a recovery started from the
// list and compared byte for byte, the deleted-only filter; lost.img's carved files
// under "Lost files". Screenshots of the analysed fixture and of the tree (no check
// boxes).
// The recovery by clicks: rows clicked in the list, Recover..., the options dialog,
// the progress dialog, the files byte-exact with and without "Keep folder
// structure"; a carved file of unknown size whose size the recovery's thread asks
// for, answered in the real probable file size dialog.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTimer>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "ExplorerTestSupport.h"
#include "app/Formatting.h"
#include "app/PostedEvent.h"
#include "app/QtText.h"
#include "app/UiCallbacks.h"
#include "app/UiNotifier.h"
#include "controls/ControlId.h"
#include "dialogs/OnRecoveryDlg.h"
#include "dialogs/ProbableFileSizeDlg.h"
#include "dialogs/RecoveryProgressDlg.h"
#include "dialogs/RecoveryQuestions.h"
#include "engine/records/FileTypeLookup.h"
#include "engine/records/Messages.h"
#include "mainframe/explorer/FilesListView.h"
#include "mainframe/explorer/FilesTreeView.h"
#include "mainframe/frame/VolumeExploreView.h"
#include "mainframe/icons/FoundObjectImages.h"
#include "platform/FileTime.h"
#include "search/BuiltinFileTypes.h"
#include "search/FileTypeDatabase.h"
#include "search/RecoveryJobs.h"
#include "search/SignaturePass.h"
#include "support/Fixtures.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "support/Sha256.h"
#include "support/ShownWindows.h"
#include "support/TempDir.h"

using test::ExplorerWorld;

namespace {

// The top window's part: posted messages go to the explorer view; an analysis
// that ends continues the queue.
class TopWindow : public QWidget {
 public:
  CVolumeExploreView* explorer = nullptr;
  int analysesDone = 0;

 protected:
  bool event(QEvent* e) override {
    if (const PostedMessage* m = CPostedEvent::Of(e)) {
      if (m->message == WM_ANALYSIS_DONE) {
        ++analysesDone;
        if (g_Computer) g_Computer->ContinueQueue();
      } else if (explorer) {
        explorer->OnPostedMessage(*m);
      }
      return true;
    }
    return QWidget::event(e);
  }
};

// The program's engine objects, the built-in file types, the signature pass and
// the notifier that turns the engine's messages into events for the top window.
struct Program {
  ExplorerWorld world;
  std::shared_ptr<FileTypeDatabase> types = std::make_shared<FileTypeDatabase>();
  CUiNotifier notifier;
  TopWindow top;
  CVolumeExploreView* explorer = nullptr;

  Program() {
    types->CreateDefaultGroups();
    for (auto& t : MakeBuiltinFileTypes()) types->AppendFileType(std::move(t));
    types->InstallAsProgramDatabase();
    world.computer->SetFileTypeDatabase(types);
    InstallSignaturePass();
    world.settings.SetSearchThreads(2);
    world.settings.SetNoTryOpenWarning(1);
    SetNotifier(&notifier);
    auto* layout = new QHBoxLayout(&top);
    layout->setContentsMargins(0, 0, 0, 0);
    explorer = new CVolumeExploreView(&top);
    layout->addWidget(explorer);
    top.explorer = explorer;
    notifier.SetTopWindow(&top);
    top.resize(1000, 600);
    top.show();
    explorer->RefreshTree();
  }
  ~Program() {
    RecoveryJob().Join();
    SetNotifier(nullptr);
    world.computer.reset();
    CVolume::JoinAnalysisThreads();
    CVolume::SetSectorPass(nullptr);
    SetFileTypeLookup(nullptr);
    g_FileTypes = nullptr;
  }

  // Opens an image, selects its node and starts the analysis as the command does;
  // returns once the analysis has ended and its messages are handled.
  std::shared_ptr<CVolume> Analyse(const std::string& image) {
    auto volume = world.computer->OpenImageFile(platform::Utf8ToUtf16(test::FixtureImage(image)));
    if (!volume) return nullptr;
    explorer->RefreshTree();
    explorer->SelectDeviceNode(volume->DeviceNodeId());
    const int before = top.analysesDone;
    explorer->OnCommand(32774);
    if (!QTest::qWaitFor([&] { return top.analysesDone > before; }, 120000)) return nullptr;
    CVolume::JoinAnalysisThreads();
    QCoreApplication::processEvents();
    explorer->FlushFoundObjects();
    explorer->OnFrameTimer(250);
    return volume;
  }

  CFilesTreeModel& Tree() { return *explorer->Tree()->Model(); }
  QModelIndex ChildNamed(const QModelIndex& parent, const QString& name) {
    for (int row = 0; row < Tree().rowCount(parent); ++row)
      if (Tree().index(row, 0, parent).data().toString() == name) return Tree().index(row, 0, parent);
    return {};
  }
  int ListRow(const QString& name) {
    CFilesListModel& list = *explorer->List()->Model();
    for (int row = 0; row < list.rowCount(); ++row)
      if (list.index(row, 0).data().toString() == name) return row;
    return -1;
  }
};

// Clicks OK in the progress dialog once its job has ended, for as long as the
// returned timer lives.
std::unique_ptr<QTimer> ClickOkAtTheEnd() {
  auto timer = std::make_unique<QTimer>();
  QObject::connect(timer.get(), &QTimer::timeout, [] {
    auto* progress = test::ShownTopLevel<CRecoveryProgressDlg>();
    if (!progress || !progress->IsEnded()) return;
    if (auto* ok = controls::FindControlAs<QPushButton>(progress, 1)) QTest::mouseClick(ok, Qt::LeftButton);
  });
  timer->start(20);
  return timer;
}


// The recovery's questions answered by the dialogs library's dialogs, as in the
// program, for one test.
class DialogAnswers {
 public:
  DialogAnswers() : previous_(GetUserCallbacks()) {
    CRecoveryQuestions::Register(callbacks_);
    SetUserCallbacks(&callbacks_);
  }
  ~DialogAnswers() { SetUserCallbacks(previous_); }

 private:
  CUiCallbacks callbacks_;
  IUserCallbacks* previous_;
};

// Clicks list rows by name, the first alone and the others with Ctrl.
void ClickListRows(CVolumeExploreView& explorer, const QStringList& names) {
  CFilesListView& list = *explorer.List();
  list.SetItemCount();
  bool first = true;
  for (const QString& name : names) {
    for (int row = 0; row < list.Model()->rowCount(); ++row) {
      const QModelIndex index = list.Model()->index(row, 0);
      if (index.data().toString() != name) continue;
      list.scrollTo(index);
      QTest::mouseClick(list.viewport(), Qt::LeftButton, first ? Qt::NoModifier : Qt::ControlModifier,
                        list.visualRect(index).center());
      first = false;
    }
  }
  explorer.OnViewFocused(&list);
}

// Every regular file below a folder, relative to it.
std::set<std::string> FilesBelow(const std::string& root) {
  std::set<std::string> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root))
    if (e.is_regular_file()) out.insert(e.path().lexically_relative(root).string());
  return out;
}

std::string ShaOfFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), {});
  return test::Sha256(data.data(), data.size());
}

int Count(Program& p, std::u16string_view text) {
  int n = 0;
  for (const std::u16string& line : p.world.computer->GetLog().Lines())
    if (line.find(text) != std::u16string::npos) ++n;
  return n;
}

// Recover... (32787) -> the options dialog (its check box clicked when
// `toggleKeep`) -> OK -> the explorer's start -> the progress dialog, followed to
// its end and closed with OK. The size dialog, when it comes, gets `sizeAnswer`.
void RecoverByClicks(Program& p, bool toggleKeep, std::function<void(CProbableFileSizeDlg*)> sizeAnswer = {}) {
  const int completed = Count(p, u"Recovery completed.");
  bool optionsSeen = false, sizeSeen = false;
  const auto options = test::WhenShown<COnRecoveryDlg>([&](COnRecoveryDlg* dialog) {
    optionsSeen = true;
    if (toggleKeep) {
      auto* keep = controls::FindControlAs<QCheckBox>(dialog, COnRecoveryDlg::IDC_KEEP_FOLDER_STRUCTURE);
      QTest::mouseClick(keep, Qt::LeftButton, Qt::NoModifier, QPoint(8, keep->height() / 2));
    }
    QTest::mouseClick(controls::FindControlAs<QPushButton>(dialog, 1), Qt::LeftButton);
  });
  const auto size = test::WhenShown<CProbableFileSizeDlg>([&](CProbableFileSizeDlg* dialog) {
    sizeSeen = true;
    if (sizeAnswer) sizeAnswer(dialog);
  });
  const auto closer = ClickOkAtTheEnd();
  QVERIFY(p.explorer->OnCommand(32787));
  QVERIFY(optionsSeen);
  QTRY_VERIFY_WITH_TIMEOUT(Count(p, u"Recovery completed.") > completed && !RecoveryJob().IsThreadAlive() &&
                               !test::ShownTopLevel<CRecoveryProgressDlg>(),
                           60000);
  QCOMPARE(sizeSeen, bool(sizeAnswer));
}

QString ManifestDate(std::int64_t unixSeconds) {
  // The FAT parser takes the DOS time as it stands (no time-zone step).
  return FormatFileTime(platform::FileTimeFromUnix(unixSeconds));
}

}  // namespace

class ExplorerEndToEndTest : public QObject {
  Q_OBJECT

 private slots:
  void AnalysedFat16ShowsItsDeletedObjectsAndRecoversAFolder() {
    Program p;
    const nlohmann::json manifest = test::FixtureManifest("fat16");
    p.world.settings.SetSignaturePass(1);
    std::shared_ptr<CVolume> volume = p.Analyse("fat16.img");
    QVERIFY(volume);
    QCOMPARE(p.world.computer->AnalysedVolume(), volume);

    // The tree: the volume's node open, its root folder open and selected.
    const QModelIndex node = p.explorer->Tree()->AnalysedVolumeItem();
    QVERIFY(node.isValid());
    QVERIFY(p.explorer->Tree()->isExpanded(node));
    const QModelIndex root = p.ChildNamed(node, QStringLiteral("."));
    QVERIFY(root.isValid());
    QCOMPARE(p.explorer->Tree()->currentIndex(), root);
    const QModelIndex old = p.ChildNamed(root, QStringLiteral("Old Projects"));
    const QModelIndex documents = p.ChildNamed(root, QStringLiteral("Documents"));
    QVERIFY(old.isValid());
    QVERIFY(documents.isValid());
    QCOMPARE(old.data(CFilesTreeModel::ImageRole).toInt(), int(CFoundObjectImages::kDeletedFolder));
    QCOMPARE(documents.data(CFilesTreeModel::ImageRole).toInt(), int(CFoundObjectImages::kDeletedPathFolder));

    // The root's list: the deleted files with their sizes and dates.
    CFilesListModel& list = *p.explorer->List()->Model();
    for (const auto& o : manifest["objects"]) {
      if (o["parent_path"] != "/" || (o["name"] != "deleted file.txt" && o["name"] != "DELETED.JPG")) continue;
      const std::string name = test::FatListedName(o);  // "_ELETED.JPG": FAT lost its first letter
      const int row = p.ListRow(QString::fromStdString(name));
      QVERIFY2(row >= 0, name.c_str());
      // A deleted file; the JPEG's data also carries its signature, which the
      // signature pass found at the file's place: deleted and found by signature.
      const int image = o["name"] == "DELETED.JPG" ? CFoundObjectImages::kCarvedDeletedFile
                                                    : CFoundObjectImages::kDeletedFile;
      QCOMPARE(list.index(row, 0).data(CFilesListModel::ImageRole).toInt(), image);
      QCOMPARE(list.index(row, 1).data().toString(), CFilesListModel::SizeText(o["size"].get<std::int64_t>(), false));
      QCOMPARE(list.index(row, 3).data().toString(), ManifestDate(o["created_utc"].get<std::int64_t>()));
    }
    QVERIFY(test::SaveScreenshot(&p.top, "mainframe", "explorer_fat16_analysed").size() > 0);

    // "Old Projects" selected in the list and recovered: its three files, whole.
    test::TempDir out("vandrel-explorer-recovered-");
    p.world.settings.SetDestinationFolder(platform::Utf8ToUtf16(out.path()));
    const int oldRow = p.ListRow(QStringLiteral("Old Projects"));
    QVERIFY(oldRow >= 0);
    p.explorer->List()->SelectRow(oldRow);
    p.explorer->OnViewFocused(p.explorer->List());
    PostedMessage start;
    start.message = WM_START_RECOVERY;
    // The explorer follows the job in the progress dialog; its OK closes it.
    const auto closer = ClickOkAtTheEnd();
    QCoreApplication::postEvent(&p.top, new CPostedEvent(start));
    QTRY_VERIFY(RecoveryJob().Count() > 0 && !test::ShownTopLevel<CRecoveryProgressDlg>());
    RecoveryJob().Join();
    QCOMPARE(RecoveryJob().SuccessCount(), 3);
    int compared = 0;
    for (const auto& o : manifest["objects"]) {
      const std::string parent = o["parent_path"].get<std::string>();
      if (o["type"] != "file" || parent.rfind("/Old Projects", 0) != 0) continue;
      const std::string path = out.path() + test::ListedPath(o, true);
      std::ifstream in(path, std::ios::binary);
      const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), {});
      QVERIFY2(!data.empty(), path.c_str());
      QCOMPARE(test::Sha256(data.data(), data.size()), o["sha256"].get<std::string>());
      ++compared;
    }
    QCOMPARE(compared, 3);

    // "Deleted only": the live files leave the root's list.
    QVERIFY(p.ListRow(QStringLiteral("README.TXT")) >= 0);
    p.world.computer->Filter().SetDeletedOnly(1);
    p.explorer->SelectObject(p.Tree().HandleOf(root));
    QVERIFY(p.ListRow(QStringLiteral("README.TXT")) < 0);
    QVERIFY(p.ListRow(QStringLiteral("deleted file.txt")) >= 0);
    QVERIFY(p.ListRow(QStringLiteral("Documents")) >= 0);  // on the way to a deleted file
    p.world.computer->Filter().SetDeletedOnly(0);

    // No item of the tree carries a check box: a recovery takes the selection.
    p.explorer->Tree()->ExpandItem(old);
    std::function<void(const QModelIndex&)> noCheckBox = [&](const QModelIndex& parent) {
      for (int row = 0; row < p.Tree().rowCount(parent); ++row) {
        const QModelIndex item = p.Tree().index(row, 0, parent);
        QVERIFY(!(p.Tree().flags(item) & Qt::ItemIsUserCheckable));
        QVERIFY(!item.data(Qt::CheckStateRole).isValid());
        noCheckBox(item);
      }
    };
    noCheckBox({});
    QVERIFY(test::SaveScreenshot(p.explorer->Tree(), "mainframe", "tree_without_check_boxes").size() > 0);
  }

  void DeletedFilesAndAFolderRecoveredByClicksWithAndWithoutTheirPaths() {
    Program p;
    DialogAnswers answers;
    const nlohmann::json manifest = test::FixtureManifest("fat16");
    std::shared_ptr<CVolume> volume = p.Analyse("fat16.img");
    QVERIFY(volume);
    test::TempDir out("vandrel-recovered-by-clicks-");
    p.world.settings.SetDestinationFolder(platform::Utf8ToUtf16(out.path()));
    // Two deleted files and a deleted folder in the root's list.
    ClickListRows(*p.explorer, {QStringLiteral("deleted file.txt"), QStringLiteral("_ELETED.JPG"),
                                QStringLiteral("Old Projects")});
    QCOMPARE(p.explorer->List()->SelectedHandles().size(), std::size_t(3));
    std::map<std::string, std::string> sha;  // manifest path -> content
    for (const auto& o : manifest["objects"])
      if (o["type"] == "file") sha[o["path"].get<std::string>()] = o["sha256"].get<std::string>();

    // "Keep folder structure" on (the default): the folder paths recreated.
    QCOMPARE(p.world.settings.KeepFolderStructure(), 1);
    RecoverByClicks(p, false);
    const std::map<std::string, std::string> kept = {
        {"deleted file.txt", "/deleted file.txt"},
        {"_ELETED.JPG", "/DELETED.JPG"},
        {"Old Projects/Project plan.txt", "/Old Projects/Project plan.txt"},
        {"Old Projects/_ATA.BIN", "/Old Projects/DATA.BIN"},
        {"Old Projects/Sub Folder/inner file.txt", "/Old Projects/Sub Folder/inner file.txt"},
    };
    std::set<std::string> expected;
    for (const auto& [file, path] : kept) {
      expected.insert(file);
      QVERIFY2(ShaOfFile(out.path() + "/" + file) == sha.at(path), file.c_str());
    }
    QCOMPARE(FilesBelow(out.path()), expected);
    QCOMPARE(RecoveryJob().SuccessCount(), 5);

    // Off: every file straight into the same destination; a name already there is
    // numbered, nothing is overwritten.
    RecoverByClicks(p, true);
    QCOMPARE(p.world.settings.KeepFolderStructure(), 0);
    const std::map<std::string, std::string> flat = {
        {"deleted file (2).txt", "/deleted file.txt"},
        {"_ELETED (2).JPG", "/DELETED.JPG"},
        {"Project plan.txt", "/Old Projects/Project plan.txt"},
        {"_ATA.BIN", "/Old Projects/DATA.BIN"},
        {"inner file.txt", "/Old Projects/Sub Folder/inner file.txt"},
    };
    for (const auto& [file, path] : flat) {
      expected.insert(file);
      QVERIFY2(ShaOfFile(out.path() + "/" + file) == sha.at(path), file.c_str());
    }
    QCOMPARE(FilesBelow(out.path()), expected);
    for (const auto& [file, path] : kept) QVERIFY2(ShaOfFile(out.path() + "/" + file) == sha.at(path), file.c_str());
    QCOMPARE(RecoveryJob().SuccessCount(), 5);
  }

  void ACarvedFileOfUnknownSizeIsAskedForAndTakesTheSizeClickedIn() {
    Program p;
    DialogAnswers answers;
    p.world.settings.SetSignaturePass(1);
    std::shared_ptr<CVolume> volume = p.Analyse("lost.img");
    QVERIFY(volume);
    test::TempDir out("vandrel-recovered-carved-");
    p.world.settings.SetDestinationFolder(platform::Utf8ToUtf16(out.path()));
    FoundObject* carved = volume->Store().FindByOffset(53248);
    QVERIFY(carved && carved->flags.Any(OBJ_CARVED));
    QCOMPARE(int(carved->typeId), 83);
    // Its type's folder under "Lost files", its row clicked, then "Reset Size".
    p.explorer->Tree()->ExpandItem(p.explorer->Tree()->LostFilesItem());
    const FoundObject* folder = volume->Store().FindFolderById(carved->parentId);
    QVERIFY(folder);
    p.explorer->Tree()->SelectItem(p.Tree().IndexOfHandle(volume->Store().HandleOf(folder)));
    const QString name = app::ToQString(carved->Name());
    ClickListRows(*p.explorer, {name});
    QCOMPARE(p.explorer->List()->FirstSelectedHandle(), volume->Store().HandleOf(carved));
    QVERIFY(p.explorer->OnCommand(32845));
    QCOMPARE(carved->size, std::int64_t(-1));

    RecoverByClicks(p, false, [](CProbableFileSizeDlg* size) {
      QVERIFY(test::SaveScreenshot(size, "dialogs", "probable_size_106_carved").size() > 0);
      auto* custom = controls::FindControlAs<QRadioButton>(size, CProbableFileSizeDlg::IDC_MODE_CUSTOM);
      QTest::mouseClick(custom, Qt::LeftButton, Qt::NoModifier, QPoint(8, custom->height() / 2));
      auto* edit = controls::FindControlAs<QLineEdit>(size, CProbableFileSizeDlg::IDC_SIZE_VALUE);
      QVERIFY(edit->isEnabled());
      edit->setFocus();
      edit->selectAll();
      QTest::keyClicks(edit, QStringLiteral("8"));
      auto* unit = controls::FindControlAs<QComboBox>(size, CProbableFileSizeDlg::IDC_UNIT);
      QCOMPARE(unit->currentText(), QStringLiteral(" B "));  // the unset size's unit
      unit->setFocus();
      QTest::keyClick(unit, Qt::Key_Down);
      QCOMPARE(unit->currentText(), QStringLiteral(" KB"));
      QTest::mouseClick(controls::FindControlAs<QPushButton>(size, 1), Qt::LeftButton);
    });
    std::string file;
    for (const std::string& f : FilesBelow(out.path()))
      if (std::filesystem::path(f).filename() == name.toStdString()) file = out.path() + "/" + f;
    QVERIFY2(!file.empty(), qPrintable(name));
    std::ifstream in(file, std::ios::binary);
    const std::vector<std::uint8_t> got((std::istreambuf_iterator<char>(in)), {});
    QCOMPARE(got.size(), std::size_t(8192));
    std::ifstream image(test::FixtureImage("lost.img"), std::ios::binary);
    std::vector<std::uint8_t> expected(8192);
    image.seekg(53248);
    image.read(reinterpret_cast<char*>(expected.data()), 8192);
    QVERIFY(got == expected);
    QCOMPARE(carved->size, std::int64_t(8192));
  }

  void AnalysedLostImageFillsLostFilesWithItsTypeFolders() {
    Program p;
    const nlohmann::json manifest = test::FixtureManifest("lost");
    p.world.settings.SetSignaturePass(1);
    std::shared_ptr<CVolume> volume = p.Analyse("lost.img");
    QVERIFY(volume);
    const QModelIndex lost = p.explorer->Tree()->LostFilesItem();
    QVERIFY(lost.isValid());
    QCOMPARE(lost.data().toString(), QStringLiteral("Lost files"));
    QVERIFY(p.Tree().rowCount(lost) > 0);
    // Every planted file is carved into its type's folder.
    std::size_t carved = 0;
    for (int row = 0; row < p.Tree().rowCount(lost); ++row) {
      const QModelIndex folder = p.Tree().index(row, 0, lost);
      QCOMPARE(folder.data(CFilesTreeModel::ImageRole).toInt(), int(CFoundObjectImages::kDeletedFolder));
      p.explorer->Tree()->SelectItem(folder);
      p.explorer->List()->SetItemCount();
      carved += std::size_t(p.explorer->List()->Model()->rowCount());
    }
    QCOMPARE(carved, manifest["planted"].size());
    p.explorer->Tree()->SelectItem(lost);
    QVERIFY(test::SaveScreenshot(&p.top, "mainframe", "explorer_lost_files").size() > 0);
  }
};

VANDREL_QT_TEST(ExplorerEndToEndTest);
#include "ExplorerEndToEndTest.moc"
