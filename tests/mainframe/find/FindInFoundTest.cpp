// Find in found files in the explorer view and the main window: the results list's
// columns, "No files found" from a store of special nodes only, Cancel, a new
// analysis ending a search first; and the whole road over the real engine: the
// FAT16 fixture analysed, a search for deleted "*.pdf" listing "Old invoice.pdf",
// Enter showing it in its folder, and the data viewer showing its first bytes.
#include <QAbstractItemView>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTest>

#include "app/PostedEvent.h"
#include "controls/ControlId.h"
#include "controls/DialogScrollView.h"
#include "controls/HexEditorCtrl2.h"
#include "engine/fs/fat/FileSystemFatTestSupport.h"
#include "engine/records/Messages.h"
#include "engine/volume/Volume.h"
#include "mainframe/explorer/FilesListView.h"
#include "mainframe/explorer/FilesTreeView.h"
#include "mainframe/find/FindInFound.h"
#include "mainframe/find/SearchBarView.h"
#include "mainframe/frame/CommandTable.h"
#include "mainframe/frame/FrameStatusBar.h"
#include "mainframe/frame/VolumeExploreView.h"
#include "mainframe/panes/DataInfoView.h"
#include "mainframe/panes/DataSectorsListView.h"
#include "mainframe/panes/HexViewerPane.h"
#include "mainframe/panes/LogView.h"
#include "platform/Text.h"
#include "support/Fixtures.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "tests/mainframe/frame/FrameTestSupport.h"

namespace {

// The row of the results list whose name is `name`; -1 when none.
int RowNamed(CFilesListView* list, const QString& name) {
  for (int row = 0; row < list->model()->rowCount(); ++row)
    if (list->model()->index(row, 0).data().toString() == name) return row;
  return -1;
}

}  // namespace

class FindInFoundTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { GetScanProgress().running.store(0); }

  void ResultsListAndSearchPane() {
    test::FrameWorld world;
    CMainFrame* frame = world.Open(32839);
    CFindInFound* find = frame->ExploreView()->FindInFound();
    CFilesListView* results = find->Results();
    QCOMPARE(results, frame->ExploreView()->FindResults());
    const QStringList titles{QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Type"),
                             QStringLiteral("Date Modified"), QStringLiteral("In Folder")};
    QCOMPARE(results->model()->columnCount(), 5);
    for (int c = 0; c < 5; ++c) {
      QCOMPARE(results->model()->headerData(c, Qt::Horizontal).toString(), titles[c]);
      QCOMPARE(results->columnWidth(c), CFindInFound::kColumnWidths[c]);
    }
    QCOMPARE(find->Pane()->Title(), QStringLiteral("Search"));
    QCOMPARE(find->Host()->GetDialog(), static_cast<QWidget*>(find->SearchBar()));
    // The Search command shows view 3: the search pane left, the results right.
    QVERIFY(test::ClickMenuItem(frame, mainframe::ID_VIEW_SEARCH));
    QCOMPARE(frame->ExploreView()->CurrentView(), int(CVolumeExploreView::VIEW_FIND));
    QCOMPARE(frame->ExploreView()->widget(0), static_cast<QWidget*>(find->Pane()));
    QCOMPARE(frame->ExploreView()->widget(1), static_cast<QWidget*>(results));
    // Cancel: the list shows again and a search is asked to stop.
    QTest::mouseClick(find->SearchBar()->CancelButton(), Qt::LeftButton);
    QTRY_COMPARE(frame->ExploreView()->CurrentView(), int(CVolumeExploreView::VIEW_LIST_2));
    // The pane's close button leaves the find view too.
    QVERIFY(test::ClickMenuItem(frame, mainframe::ID_VIEW_SEARCH));
    QCOMPARE(frame->ExploreView()->CurrentView(), int(CVolumeExploreView::VIEW_FIND));
    QVERIFY(find->Pane()->CloseButton());
    QTest::mouseClick(find->Pane()->CloseButton(), Qt::LeftButton);
    QTRY_VERIFY(frame->ExploreView()->CurrentView() != int(CVolumeExploreView::VIEW_FIND));
    QVERIFY(!frame->ExploreView()->FindPaneFlag());
  }

  void OnlySpecialNodesSayNoFilesFound() {
    test::FrameWorld world;
    test::ScriptedBoxes boxes;
    CMainFrame* frame = world.Open(32839);
    auto volume = std::make_shared<CVolume>(CVolume::kImageFile);
    volume->SetDeviceNodeId(world.computer->NewObjectId());
    volume->Store().RegisterObject(volume->DeviceNode());
    FoundObject lost;
    lost.id = kIdLostFiles;
    lost.parentId = volume->DeviceNodeId();
    lost.flags = OBJ_FOLDER | OBJ_NAMED | OBJ_DELETED;
    lost.SetName(u"Lost files");
    volume->Store().RegisterObject(lost);
    world.computer->SetAnalysedVolume(volume);
    CFindInFound* find = frame->ExploreView()->FindInFound();
    find->SearchBar()->findChild<QLineEdit*>()->setText(QStringLiteral(""));
    QTest::mouseClick(find->SearchBar()->SearchButton(), Qt::LeftButton);
    QTRY_VERIFY(find->SaidNothingFound());
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown[0].text, QStringLiteral("No files found"));
    QCOMPARE(boxes.shown[0].caption, QStringLiteral("Search"));
    QCOMPARE(boxes.shown[0].buttons, Buttons::Ok);
    QCOMPARE(find->Results()->model()->rowCount(), 0);
    QVERIFY(find->SearchBar()->SearchButton()->isEnabled());
    world.computer->SetAnalysedVolume(nullptr);
  }

  void EndToEndOverTheFat16Fixture() {
    test::FrameWorld world;
    test::ScriptedBoxes boxes;
    CMainFrame* frame = world.Open(32841);
    frame->resize(1280, 900);
    world.Idle();
    const std::shared_ptr<CVolume> volume = test::AnalyseImage(world, frame, "fat16.img");
    QVERIFY(volume);
    CVolumeExploreView* explorer = frame->ExploreView();
    CFindInFound* find = explorer->FindInFound();

    // Search for deleted "*.pdf".
    QVERIFY(test::ClickToolButton(frame, mainframe::ID_VIEW_SEARCH) ||
            test::ClickMenuItem(frame, mainframe::ID_VIEW_SEARCH));
    QCOMPARE(explorer->CurrentView(), int(CVolumeExploreView::VIEW_FIND));
    auto* mask = controls::FindControlAs<QLineEdit>(find->SearchBar(), CSearchBarView::kIdMask);
    QVERIFY(mask);
    mask->setText(QStringLiteral("*.pdf"));
    QTest::mouseClick(find->SearchBar()->SearchButton(), Qt::LeftButton);
    QTRY_VERIFY(!find->IsRunning() && find->SearchBar()->SearchButton()->isEnabled());
    explorer->OnFrameTimer(250);  // the main frame's timer pushes the count
    CFilesListView* results = find->Results();
    QTRY_COMPARE(results->model()->rowCount(), 1);
    QCOMPARE(results->model()->index(0, 0).data().toString(), QStringLiteral("Old invoice.pdf"));
    QCOMPARE(results->model()->index(0, 4).data().toString(), QStringLiteral("Documents/"));
    QVERIFY(!find->SaidNothingFound());
    QVERIFY(boxes.shown.isEmpty());
    find->Host()->verticalScrollBar()->setValue(0);  // the form from its top
    QVERIFY(!test::SaveScreenshot(frame, QStringLiteral("mainframe"), QStringLiteral("search_results")).isEmpty());

    // Enter on the result shows it in its folder: the list, its row selected.
    results->setFocus();
    results->SelectRow(0);
    QTest::keyClick(results, Qt::Key_Return);
    QTRY_COMPARE(explorer->CurrentView(), int(CVolumeExploreView::VIEW_LIST_2));
    CFilesListView* list = explorer->List();
    explorer->OnFrameTimer(250);
    const int row = RowNamed(list, QStringLiteral("Old invoice.pdf"));
    QVERIFY(row >= 0);
    QTRY_COMPARE(list->FirstSelectedHandle(), list->Model()->HandleAt(row));
    QCOMPARE(explorer->Tree()->currentIndex().data().toString(), QStringLiteral("Documents"));

    // Selecting it in the list fills the data viewer; its hex view shows the file's
    // first bytes as the image holds them (185 is its first cluster).
    list->SelectRow(-1);
    list->SelectRow(row);
    CHexViewer_Pane* viewer = frame->DataViewerPane();
    QTRY_COMPARE(viewer->Handle(), list->Model()->HandleAt(row));
    QTRY_COMPARE(viewer->InfoView()->Field(CDataInfo_View::kIdStatus)->text(), QStringLiteral("Deleted"));
    QCOMPARE(viewer->InfoView()->Field(CDataInfo_View::kIdSize)->text(), QStringLiteral("2622"));
    QCOMPARE(viewer->InfoView()->Field(CDataInfo_View::kIdSizeOnDisk)->text(), QStringLiteral("3072"));
    CHexEditorCtrl2* hex = viewer->HexView();
    QTRY_VERIFY(hex->Model().Size() == 2622 && hex->Model().IsAvailable(0));
    const std::vector<std::uint8_t> image = test::ReadWholeFile(test::FixtureImage("fat16.img"));
    const std::size_t first = 98 * 512 + (185 - 2) * 1024;
    for (std::uint64_t i = 0; i < 256; ++i) QCOMPARE(hex->Model().ByteAt(i), image[first + i]);
    QTRY_COMPARE(viewer->RunList()->model()->rowCount(), 1);
    QVERIFY(!test::SaveScreenshot(frame, QStringLiteral("mainframe"), QStringLiteral("data_viewer_in_frame")).isEmpty());

    // The log box of the main window, open.
    CLogView* log = frame->LogWindow();
    log->ApplyPending();
    log->showPopup();
    QWidget* popup = log->view()->window();
    QTRY_VERIFY(popup->isVisible());
    // The window with the open list drawn over it, just above the box, as a
    // screen larger than the offscreen one (800 x 600) would place it.
    QPixmap shot = frame->grab();
    {
      const QPixmap list = popup->grab();
      const QPoint box = log->mapTo(frame, QPoint(0, 0));
      QPainter painter(&shot);
      painter.drawPixmap(box.x(), box.y() - list.height(), list);
    }
    QDir dir(QStringLiteral(VANDREL_SCREENSHOT_DIR));
    QVERIFY(dir.mkpath(QStringLiteral("mainframe")));
    QVERIFY(shot.save(dir.filePath(QStringLiteral("mainframe/log_box_open.png"))));
    log->hidePopup();

    // A new analysis ends a search first and empties its results.
    QVERIFY(test::ClickMenuItem(frame, mainframe::ID_VIEW_SEARCH));
    mask->setText(QStringLiteral("*"));
    QTest::mouseClick(find->SearchBar()->SearchButton(), Qt::LeftButton);
    explorer->SelectDeviceNode(volume->DeviceNodeId());
    explorer->OnCommand(mainframe::ID_START_ANALYSIS);
    QVERIFY(!find->IsRunning());
    QCOMPARE(results->model()->rowCount(), 0);
    QVERIFY(test::WaitUntil([&] { return !GetScanProgress().IsRunning() && !volume->HasAnalysisThread(); }, 120000));
    CVolume::JoinAnalysisThreads();
  }
};
VANDREL_QT_TEST(FindInFoundTest);

#include "FindInFoundTest.moc"
