// The "Lost files" root over a second sector search of the same drive: after the
// second analysis of lost.img no tree item is unnamed and every type folder under
// "Lost files" names its carved files, as after the first.
#include <QTest>

#include <functional>

#include "engine/volume/Volume.h"
#include "mainframe/explorer/FilesListView.h"
#include "mainframe/explorer/FilesTreeView.h"
#include "mainframe/frame/CommandTable.h"
#include "mainframe/frame/VolumeExploreView.h"
#include "platform/Text.h"
#include "search/BuiltinFileTypes.h"
#include "search/FileTypeDatabase.h"
#include "search/SignaturePass.h"
#include "support/Fixtures.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "tests/mainframe/frame/FrameTestSupport.h"

namespace {

// Every item below `parent`, depth first, with its text.
void Walk(const QAbstractItemModel& model, const QModelIndex& parent, QStringList& out) {
  for (int row = 0; row < model.rowCount(parent); ++row) {
    const QModelIndex index = model.index(row, 0, parent);
    out << index.data().toString();
    Walk(model, index, out);
  }
}

}  // namespace

class LostFilesTreeTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { GetScanProgress().running.store(0); }

  void ASecondSectorSearchLeavesNoUnnamedItem() {
    test::FrameWorld world;
    auto types = std::make_shared<FileTypeDatabase>();
    types->CreateDefaultGroups();
    for (auto& t : MakeBuiltinFileTypes()) types->AppendFileType(std::move(t));
    types->InstallAsProgramDatabase();
    world.computer->SetFileTypeDatabase(types);
    InstallSignaturePass();
    CMainFrame* frame = world.Open(32839);
    frame->resize(1000, 700);
    world.Idle();
    CVolumeExploreView* explorer = frame->ExploreView();
    auto volume = world.computer->OpenImageFile(platform::Utf8ToUtf16(test::FixtureImage("lost.img")));
    QVERIFY(volume);
    explorer->RefreshTree();
    CFilesTreeView* tree = explorer->Tree();
    QStringList first;
    for (int pass = 0; pass < 2; ++pass) {
      explorer->SelectDeviceNode(volume->DeviceNodeId());
      Settings().SetSignaturePass(1);
      explorer->OnCommand(mainframe::ID_START_ANALYSIS);
      QVERIFY(test::WaitUntil([&] { return !GetScanProgress().IsRunning() && !volume->HasAnalysisThread(); }, 120000));
      CVolume::JoinAnalysisThreads();
      QCoreApplication::processEvents();
      explorer->FlushFoundObjects();
      world.Idle();
      const QModelIndex lost = tree->LostFilesItem();
      QVERIFY(lost.isValid());
      tree->ExpandItem(lost);
      QStringList items;
      Walk(*tree->Model(), {}, items);
      QVERIFY2(!items.contains(QString()), qPrintable(items.join('|')));
      QCOMPARE(lost.data().toString(), QStringLiteral("Lost files"));
      // Each type folder lists its files by name.
      for (int row = 0; row < tree->Model()->rowCount(lost); ++row) {
        tree->SelectItem(tree->Model()->index(row, 0, lost));
        explorer->List()->SetItemCount();
        CFilesListModel& list = *explorer->List()->Model();
        QVERIFY(list.rowCount() > 0);
        for (int r = 0; r < list.rowCount(); ++r) QVERIFY(!list.index(r, 0).data().toString().isEmpty());
      }
      if (pass == 0) first = items;
      else QCOMPARE(items, first);
    }
    QVERIFY(!test::SaveScreenshot(frame, QStringLiteral("mainframe"), QStringLiteral("lost_files_second_search")).isEmpty());
  }
};

VANDREL_QT_TEST(LostFilesTreeTest);
#include "LostFilesTreeTest.moc"
