// The explorer view over the real engine: fat16.img opened as an image and
// analysed with the signature pass, its objects arriving as the store posts them
// through the program's notifier; the tree, the list, a recovery started from the
// list and compared byte for byte, the deleted-only filter; lost.img's carved files
// under "Lost files". Screenshots of the analysed fixture and of the check marks.
#include <QHBoxLayout>
#include <QTest>

#include <filesystem>
#include <fstream>

#include "ExplorerTestSupport.h"
#include "app/Formatting.h"
#include "app/PostedEvent.h"
#include "app/QtText.h"
#include "app/UiNotifier.h"
#include "engine/FileTypeLookup.h"
#include "engine/Messages.h"
#include "mainframe/FilesListView.h"
#include "mainframe/FilesTreeView.h"
#include "mainframe/FoundObjectImages.h"
#include "mainframe/VolumeExploreView.h"
#include "platform/FileTime.h"
#include "search/BuiltinFileTypes.h"
#include "search/FileTypeDatabase.h"
#include "search/RecoveryJobs.h"
#include "search/SignaturePass.h"
#include "support/Fixtures.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "support/Sha256.h"
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
    QCoreApplication::postEvent(&p.top, new CPostedEvent(start));
    QTRY_VERIFY(RecoveryJob().Count() > 0);
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

    // Check marks, as a user sets them.
    p.explorer->Tree()->ExpandItem(old);
    p.Tree().ToggleCheck(old);
    p.Tree().ToggleCheck(p.ChildNamed(root, QStringLiteral("DCIM")));
    QVERIFY(test::SaveScreenshot(p.explorer->Tree(), "mainframe", "tree_check_marks").size() > 0);
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
