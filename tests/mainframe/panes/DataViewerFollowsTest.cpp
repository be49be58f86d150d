// The data viewer below the explorer follows the current object: a file's row
// clicked fills its information pane and hex view; the drive's node clicked in the
// tree then leaves them empty instead of showing the file before.
#include <QLabel>
#include <QTest>

#include "controls/HexEditorCtrl2.h"
#include "engine/volume/Volume.h"
#include "mainframe/explorer/FilesListView.h"
#include "mainframe/explorer/FilesTreeView.h"
#include "mainframe/frame/CommandTable.h"
#include "mainframe/frame/VolumeExploreView.h"
#include "mainframe/panes/DataInfoView.h"
#include "mainframe/panes/HexViewerPane.h"
#include "platform/Text.h"
#include "support/Fixtures.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "tests/mainframe/frame/FrameTestSupport.h"

namespace {

void Click(QAbstractItemView* view, const QModelIndex& index) {
  (void)QTest::qWaitFor([&] { return view->viewport()->width() > 0; }, 2000);
  view->scrollTo(index);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
}

}  // namespace

class DataViewerFollowsTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { GetScanProgress().running.store(0); }

  void TheInformationPaneEmptiesForADriveNode() {
    test::FrameWorld world;
    CMainFrame* frame = world.Open(32841);
    frame->resize(1280, 900);
    world.Idle();
    const std::shared_ptr<CVolume> volume = test::AnalyseImage(world, frame, "fat16.img");
    QVERIFY(volume);
    CVolumeExploreView* explorer = frame->ExploreView();
    CFilesListView* list = explorer->List();
    list->SetItemCount();
    QModelIndex jpeg;
    for (int row = 0; row < list->model()->rowCount(); ++row)
      if (list->model()->index(row, 0).data().toString() == QStringLiteral("_ELETED.JPG")) jpeg = list->model()->index(row, 0);
    QVERIFY(jpeg.isValid());
    Click(list, jpeg);
    CHexViewer_Pane* viewer = frame->DataViewerPane();
    QLabel* status = viewer->InfoView()->Field(CDataInfo_View::kIdStatus);
    QLabel* name = viewer->InfoView()->Field(CDataInfo_View::kIdName);
    QTRY_COMPARE(status->text(), QStringLiteral("Deleted"));
    QCOMPARE(name->text(), QStringLiteral("_ELETED.JPG"));
    QTRY_VERIFY(viewer->HexView()->Model().Size() == 838 && viewer->HexView()->Model().IsAvailable(0));
    QVERIFY(!test::SaveScreenshot(frame, QStringLiteral("mainframe"), QStringLiteral("data_viewer_jpeg")).isEmpty());

    // The drive's node: no file is shown any more.
    CFilesTreeView* tree = explorer->Tree();
    Click(tree, tree->Model()->IndexOfNode(volume->DeviceNodeId()));
    QTRY_COMPARE(name->text(), QString());
    QCOMPARE(status->text(), QString());
    QTRY_COMPARE(viewer->Handle(), std::int64_t(-1));
  }
};

VANDREL_QT_TEST(DataViewerFollowsTest);
#include "DataViewerFollowsTest.moc"
