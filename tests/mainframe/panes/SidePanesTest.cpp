// The side panes and the start and trash views: the legend's page, the log box's
// order and bursts, the My Computer page and its links, the trash over a folder of
// its own, and the data viewer (its form, its run list and its hex view) over the
// FAT16 fixture and over a 4 GiB object.
#include <QAbstractItemView>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QTest>
#include <QTextBrowser>
#include <QTreeWidget>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "app/Formatting.h"
#include "app/PostedEvent.h"
#include "app/QtText.h"
#include "controls/ControlId.h"
#include "controls/HexEditorCtrl2.h"
#include "engine/fs/fat/FileSystemFatTestSupport.h"
#include "engine/records/Messages.h"
#include "engine/records/ProgramLog.h"
#include "mainframe/explorer/MyComputerView.h"
#include "mainframe/explorer/RecycleBinView.h"
#include "mainframe/panes/DataInfoView.h"
#include "mainframe/panes/DataRunsModel.h"
#include "mainframe/panes/DataSectorsListView.h"
#include "mainframe/panes/HexViewerPane.h"
#include "mainframe/panes/LegendPane.h"
#include "mainframe/panes/LegendView.h"
#include "mainframe/panes/LogLinesModel.h"
#include "mainframe/panes/LogView.h"
#include "mainframe/panes/ObjectDataPages.h"
#include "mainframe/panes/ObjectDataReader.h"
#include "platform/Text.h"
#include "support/Fixtures.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "support/TempDir.h"
#include "tests/app/AppTestSupport.h"

namespace {

const QString kMedia = QStringLiteral(VANDREL_SOURCE_DIR "/media");

void PostLogLine(QObject* to, const QString& line) {
  PostedMessage m;
  m.message = WM_LOG_LINE;
  m.text = app::ToU16(line);
  QCoreApplication::postEvent(to, new CPostedEvent(std::move(m)));
}

void WriteFile(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

class SidePanesTest : public QObject {
  Q_OBJECT

 private slots:
  // ---- Legend ---------------------------------------------------------------------

  void LegendShowsItsPageWithTheViewsImages() {
    CLegend_Pane pane(nullptr, kMedia);
    pane.resize(900, 220);
    QCOMPARE(pane.Title(), QStringLiteral("Legend"));
    QCOMPARE(pane.ExtendedStyle(), controls::kPaneVertical);
    CLegendView* view = pane.View();
    QCOMPARE(controls::ControlId(view), 1133);
    QVERIFY(view->PageFound());
    QVERIFY(view->PageAddress().endsWith(QStringLiteral("/media/legend.html")));
    QVERIFY(view->toPlainText().contains(QStringLiteral("A deleted file")));
    // Each picture of the page is the views' image of that number.
    for (int image = 0; image < 14; ++image) {
      const QVariant pixmap = view->loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("icon:%1").arg(image)));
      QVERIFY2(!pixmap.value<QPixmap>().isNull(), qPrintable(QString::number(image)));
    }
    QVERIFY(view->loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("icon:14"))).isNull());
    QVERIFY(!test::SaveScreenshot(&pane, QStringLiteral("mainframe"), QStringLiteral("legend_pane")).isEmpty());
    // A right click opens no menu and changes nothing.
    const QString before = view->toPlainText();
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(20, 20), view->viewport()->mapToGlobal(QPoint(20, 20)));
    QApplication::sendEvent(view->viewport(), &menu);
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, QPoint(20, 20));
    QVERIFY(QApplication::activePopupWidget() == nullptr);
    QCOMPARE(view->toPlainText(), before);
    QCOMPARE(view->contextMenuPolicy(), Qt::NoContextMenu);
  }

  void LegendWithoutItsPageSaysSo() {
    test::TempDir empty;
    CLegend_Pane pane(nullptr, QString::fromStdString(empty.path()));
    QVERIFY(!pane.View()->PageFound());
    QVERIFY(pane.View()->toPlainText().contains(QStringLiteral("not found")));
  }

  // ---- Log box --------------------------------------------------------------------

  void LogBoxShowsTheNewestLineOnTop() {
    CLogView log;
    for (const char* line : {"first", "second", "third"}) PostLogLine(&log, QString::fromLatin1(line));
    QCOMPARE(log.count(), 0);  // taken in at the next turn
    QTRY_COMPARE(log.count(), 3);
    QCOMPARE(log.itemText(0), QStringLiteral("third"));
    QCOMPARE(log.itemText(1), QStringLiteral("second"));
    QCOMPARE(log.itemText(2), QStringLiteral("first"));
    QCOMPARE(log.currentIndex(), 0);
    QCOMPARE(log.currentText(), QStringLiteral("third"));
    PostLogLine(&log, QStringLiteral("fourth"));
    QTRY_COMPARE(log.count(), 4);
    QCOMPARE(log.currentText(), QStringLiteral("fourth"));
  }

  void LogBoxTakesABurstInOneStepAndKeepsTheNewest() {
    CLogView log;
    QSignalSpy inserted(log.model(), &QAbstractItemModel::rowsInserted);
    constexpr int kLines = 25000;
    for (int i = 0; i < kLines; ++i) PostLogLine(&log, QStringLiteral("line %1").arg(i));
    QTRY_COMPARE(log.count(), CLogView::kMaxLines);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(log.itemText(0), QStringLiteral("line %1").arg(kLines - 1));
    QCOMPARE(log.itemText(CLogView::kMaxLines - 1), QStringLiteral("line %1").arg(kLines - CLogView::kMaxLines));
    QCOMPARE(log.currentIndex(), 0);
    // The next line pushes the oldest out.
    PostLogLine(&log, QStringLiteral("newest"));
    QTRY_COMPARE(log.itemText(0), QStringLiteral("newest"));
    QCOMPARE(log.count(), CLogView::kMaxLines);
    QCOMPARE(log.itemText(CLogView::kMaxLines - 1), QStringLiteral("line %1").arg(kLines - CLogView::kMaxLines + 1));
  }

  // ---- My Computer ------------------------------------------------------------------

  void MyComputerShowsTheStartPageAndFollowsItsLinks() {
    CMyComputerView view(nullptr, kMedia);
    view.resize(700, 520);
    QCOMPARE(controls::ControlId(view.Browser()), 1131);
    QVERIFY(view.LastAddress().endsWith(QStringLiteral("/media/index.html")));
    QVERIFY(view.Browser()->toPlainText().contains(QStringLiteral("Recover files in five steps")));
    QVERIFY(!test::SaveScreenshot(&view, QStringLiteral("mainframe"), QStringLiteral("my_computer")).isEmpty());
    QList<QUrl> opened;
    view.SetExternalOpener([&](const QUrl& u) { opened.append(u); });
    // A page of the media folder opens in place and becomes the last address.
    view.OnLinkClicked(QUrl(QStringLiteral("legend.html")));
    QVERIFY(view.LastAddress().endsWith(QStringLiteral("/media/legend.html")));
    QVERIFY(view.Browser()->toPlainText().contains(QStringLiteral("What the pictures")));
    // Web and mail links go to the desktop; the page stays.
    view.OnLinkClicked(QUrl(QStringLiteral("https://www.quenmar.example/products/vandrelpro/")));
    view.OnLinkClicked(QUrl(QStringLiteral("mailto:support@quenmar.example")));
    QCOMPARE(opened.size(), 2);
    QCOMPARE(opened[1].scheme(), QStringLiteral("mailto"));
    QVERIFY(view.LastAddress().endsWith(QStringLiteral("/media/legend.html")));
    // A file outside the media folder is not followed.
    view.OnLinkClicked(QUrl::fromLocalFile(QStringLiteral("/etc/hostname")));
    QVERIFY(view.LastAddress().endsWith(QStringLiteral("/media/legend.html")));
    QCOMPARE(opened.size(), 2);
  }

  void MyComputerWithoutItsPage() {
    test::TempDir empty;
    CMyComputerView view(nullptr, QString::fromStdString(empty.path()));
    QVERIFY(view.LastAddress().isEmpty());
    QVERIFY(view.Browser()->toPlainText().contains(QStringLiteral("not found")));
  }

  // ---- Trash ------------------------------------------------------------------------

  void TrashListsItsItems() {
    test::TempDir dir;
    const std::string trash = dir / "Trash";
    MakeTrash(dir, trash);
    CRecycleBinView view(nullptr, QString::fromStdString(trash));
    view.resize(520, 200);
    QCOMPARE(view.windowTitle(), QStringLiteral("Trash"));
    QTreeWidget* list = view.List();
    QCOMPARE(controls::ControlId(list), 1132);
    QCOMPARE(list->columnCount(), 4);
    const QStringList headers{QStringLiteral("Name"), QStringLiteral("Original Location"),
                              QStringLiteral("Date Deleted"), QStringLiteral("Size")};
    for (int c = 0; c < 4; ++c) {
      QCOMPARE(list->headerItem()->text(c), headers[c]);
      QCOMPARE(list->columnWidth(c), 100);
    }
    QCOMPARE(list->topLevelItemCount(), 2);
    QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("holiday photo.jpg"));
    QCOMPARE(list->topLevelItem(0)->text(1), QString::fromStdString(dir / "Pictures"));
    QCOMPARE(list->topLevelItem(0)->text(3), QStringLiteral("5"));
    QVERIFY(!list->topLevelItem(0)->text(2).isEmpty());
    QVERIFY(!list->topLevelItem(0)->icon(0).isNull());
    QCOMPARE(list->topLevelItem(1)->text(0), QStringLiteral("notes.txt"));
    QVERIFY(!test::SaveScreenshot(&view, QStringLiteral("mainframe"), QStringLiteral("trash_view")).isEmpty());
    // A right click beside the rows opens nothing; on a row, Restore and Delete.
    QVERIFY(view.MakeContextMenu(QPoint(5, list->viewport()->height() - 3)) == nullptr);
    QMenu* menu = view.MakeContextMenu(list->visualItemRect(list->topLevelItem(1)).center());
    QVERIFY(menu);
    QCOMPARE(menu->actions().size(), 2);
    QCOMPARE(menu->actions()[0]->text(), QStringLiteral("Restore"));
    QCOMPARE(menu->actions()[1]->text(), QStringLiteral("Delete"));
    delete menu;
  }

  void TrashRestoreNeverReplaces() {
    test::TempDir dir;
    const std::string trash = dir / "Trash";
    MakeTrash(dir, trash);
    // Something else is at the photo's old place now.
    WriteFile(dir / "Pictures/holiday photo.jpg", "newer");
    test::ScriptedBoxes boxes;
    CRecycleBinView view(nullptr, QString::fromStdString(trash));
    QVERIFY(!view.RunCommand(CRecycleBinView::kCommandRestore, 0));
    QCOMPARE(boxes.shown.size(), 1);
    QVERIFY(boxes.shown[0].text.contains(QStringLiteral("Nothing was replaced")));
    QCOMPARE(ReadText(dir / "Pictures/holiday photo.jpg"), std::string("newer"));
    QCOMPARE(ReadText(trash + "/files/holiday photo.jpg"), std::string("photo"));
    QVERIFY(std::filesystem::exists(trash + "/info/holiday photo.jpg.trashinfo"));
    QCOMPARE(view.List()->topLevelItemCount(), 2);
    // The other one goes back, into its folder made anew.
    QVERIFY(view.RunCommand(CRecycleBinView::kCommandRestore, 1));
    QCOMPARE(ReadText(dir / "Documents/old/notes.txt"), std::string("some notes"));
    QVERIFY(!std::filesystem::exists(trash + "/files/notes.txt"));
    QVERIFY(!std::filesystem::exists(trash + "/info/notes.txt.trashinfo"));
    QCOMPARE(view.List()->topLevelItemCount(), 1);
  }

  void TrashDeleteAsksFirst() {
    test::TempDir dir;
    const std::string trash = dir / "Trash";
    MakeTrash(dir, trash);
    test::ScriptedBoxes boxes;
    CRecycleBinView view(nullptr, QString::fromStdString(trash));
    boxes.Queue(Answer::No);
    QVERIFY(!view.RunCommand(CRecycleBinView::kCommandDelete, 0));
    QVERIFY(std::filesystem::exists(trash + "/files/holiday photo.jpg"));
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown[0].buttons, Buttons::YesNo);
    boxes.Queue(Answer::Yes);
    QVERIFY(view.RunCommand(CRecycleBinView::kCommandDelete, 0));
    QVERIFY(!std::filesystem::exists(trash + "/files/holiday photo.jpg"));
    QVERIFY(!std::filesystem::exists(trash + "/info/holiday photo.jpg.trashinfo"));
    QCOMPARE(view.List()->topLevelItemCount(), 1);
    QCOMPARE(view.List()->topLevelItem(0)->text(0), QStringLiteral("notes.txt"));
  }

  void TrashInfoParsing_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("date");
    QTest::newRow("plain") << QByteArray("[Trash Info]\nPath=/home/u/a%20b.txt\nDeletionDate=2024-02-03T04:05:06\n")
                           << true << "/home/u/a b.txt" << "2024-02-03T04:05:06";
    QTest::newRow("relative path") << QByteArray("[Trash Info]\nPath=docs/x\n") << true << "/top/docs/x" << "";
    QTest::newRow("no group") << QByteArray("Path=/a\n") << false << "" << "";
    QTest::newRow("other group") << QByteArray("[Other]\nPath=/a\n[Trash Info]\nDeletionDate=2024-01-01T00:00:00\n")
                                 << false << "" << "2024-01-01T00:00:00";
    QTest::newRow("first path counts") << QByteArray("[Trash Info]\nPath=/a\nPath=/b\n") << true << "/a" << "";
    QTest::newRow("UTF-8 escaped") << QByteArray("[Trash Info]\nPath=/h/%C3%BCber.txt\n") << true
                                   << QString::fromUtf8("/h/über.txt") << "";
  }
  void TrashInfoParsing() {
    QFETCH(QByteArray, text);
    QFETCH(bool, ok);
    QFETCH(QString, path);
    QFETCH(QString, date);
    QString original;
    QDateTime deleted;
    QCOMPARE(CTrashFolder::ParseInfo(text, QStringLiteral("/top"), original, deleted), ok);
    if (ok) QCOMPARE(original, path);
    QCOMPARE(deleted.isValid() ? deleted.toString(Qt::ISODate) : QString(), date);
  }

  // ---- Data viewer: the form ----------------------------------------------------------

  void DataFormTexts_data() {
    QTest::addColumn<int>("flags");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("cluster");
    QTest::addColumn<int>("image");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("sizeText");
    QTest::addColumn<QString>("onDisk");
    QTest::addColumn<QString>("offset");
    QTest::newRow("live file, 1000 on 4096") << int(OBJ_NAMED) << 1000LL << 4096LL << 0 << "Live" << "1000" << "4096" << "8192";
    QTest::newRow("live file, 8192 on 4096") << int(OBJ_NAMED) << 8192LL << 4096LL << 0 << "Live" << "8192" << "8192" << "8192";
    QTest::newRow("deleted file") << int(OBJ_NAMED | OBJ_DELETED) << 4097LL << 4096LL << 1 << "Deleted" << "4097" << "8192" << "8192";
    QTest::newRow("no cluster size") << int(OBJ_NAMED) << 1000LL << 0LL << 0 << "Live" << "1000" << "1000" << "8192";
    QTest::newRow("unknown size") << int(OBJ_DELETED | OBJ_RAW) << -1LL << 4096LL << 1 << "Deleted" << "unknown" << "unknown" << "8192";
    QTest::newRow("folder") << int(OBJ_NAMED | OBJ_FOLDER) << 0LL << 4096LL << 2 << "Live" << "0" << "0" << "0";
    QTest::newRow("deleted folder") << int(OBJ_NAMED | OBJ_FOLDER | OBJ_DELETED) << 0LL << 512LL << 6 << "Deleted" << "0" << "0" << "0";
  }
  void DataFormTexts() {
    QFETCH(int, flags);
    QFETCH(qint64, size);
    QFETCH(qint64, cluster);
    QFETCH(int, image);
    QFETCH(QString, status);
    QFETCH(QString, sizeText);
    QFETCH(QString, onDisk);
    QFETCH(QString, offset);
    FoundObject r;
    r.flags = std::uint16_t(flags);
    r.SetName(u"a.bin");
    r.id = 7;
    r.parentId = 3;
    r.offset = 8192;
    r.size = size;
    const auto t = CDataInfo_View::MakeTexts(r, cluster, QStringLiteral("type"), QStringLiteral("dir/"));
    QCOMPARE(t.image, image);
    QCOMPARE(t.status, status);
    QCOMPARE(t.size, sizeText);
    QCOMPARE(t.sizeOnDisk, onDisk);
    QCOMPARE(t.offset, offset);
    QCOMPARE(t.id, QStringLiteral("7"));
    QCOMPARE(t.parentId, QStringLiteral("3"));
    QCOMPARE(t.location, QStringLiteral("dir/"));
  }

  void DataFormTimesEachUnderItsLabel() {
    FoundObject r;
    r.flags = OBJ_NAMED;
    r.SetName(u"a.txt");
    r.created = platform::FileTimeFromUnix(1500000000);
    r.modified = platform::FileTimeFromUnix(1600000000);
    r.accessed = 0;
    const auto t = CDataInfo_View::MakeTexts(r, 512, {}, {});
    QCOMPARE(t.created, FormatFileTime(r.created));
    QCOMPARE(t.modified, FormatFileTime(r.modified));
    QCOMPARE(t.accessed, QStringLiteral("unknown"));
    QVERIFY(t.created != t.modified);
    r.created = 0;
    QCOMPARE(CDataInfo_View::MakeTexts(r, 512, {}, {}).created, QStringLiteral("unknown"));
  }

  // ---- Data viewer over the FAT16 fixture ----------------------------------------------

  void DataViewerShowsAFileOfTheFixture() {
    FatWorld world;
    const std::int64_t handle = world.HandleOf("frag/", u"Fragmented file.bin");
    QVERIFY(handle >= 0);
    CHexViewer_Pane pane;
    pane.resize(1280, 260);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    // The first layout: w / 4 and w - w / 2.
    const int w = pane.Layout().client.width();
    QCOMPARE(pane.OuterSplitter()->sizes().first(), w / 4);
    QCOMPARE(pane.InnerSplitter()->sizes().first(), w - w / 2);
    QCOMPARE(pane.Title(), QStringLiteral("Data viewer"));
    QCOMPARE(pane.InfoPane()->ExtendedStyle(), 0x7u);
    QCOMPARE(pane.HexPane()->ExtendedStyle(), 0x7u);
    QCOMPARE(pane.RunListPane()->ExtendedStyle(), 0x6u);
    QCOMPARE(pane.RunListPane()->Title(), QStringLiteral("Data run list"));

    pane.SetObject(world.volume, handle);
    CDataRunsModel* runs = pane.RunList()->Runs();
    QTRY_COMPARE(runs->rowCount(), 2);
    QCOMPARE(runs->data(runs->index(0, CDataRunsModel::kColumnLength)).toString(), QStringLiteral("3 072"));
    QCOMPARE(runs->data(runs->index(1, CDataRunsModel::kColumnLength)).toString(), QStringLiteral("5 220"));
    QCOMPARE(runs->data(runs->index(0, CDataRunsModel::kColumnOffset)).toString(),
             CDataRunsModel::Number(98 * 512 + 191 * 1024));
    // The form.
    CDataInfo_View* info = pane.InfoView();
    QTRY_COMPARE(info->Field(CDataInfo_View::kIdSize)->text(), QStringLiteral("8292"));
    QCOMPARE(info->Field(CDataInfo_View::kIdSizeOnDisk)->text(), QStringLiteral("9216"));
    QCOMPARE(info->Field(CDataInfo_View::kIdStatus)->text(), QStringLiteral("Live"));
    QCOMPARE(info->Field(CDataInfo_View::kIdLocation)->text(), QStringLiteral("frag/"));
    QCOMPARE(controls::FindControlAs<QLabel>(info, CDataInfo_View::kIdName)->text(), QStringLiteral("Fragmented file.bin"));
    // The hex view shows the file's first bytes as the image holds them.
    CHexEditorCtrl2* hex = pane.HexView();
    QCOMPARE(hex->Model().Size(), std::uint64_t(8292));
    QVERIFY(hex->IsReadOnly());
    QTRY_VERIFY(hex->Model().IsAvailable(0));
    const std::vector<std::uint8_t> image = test::ReadWholeFile(test::FixtureImage("fat16.img"));
    const std::size_t first = 98 * 512 + 191 * 1024;
    for (std::uint64_t i = 0; i < 64; ++i) QCOMPARE(hex->Model().ByteAt(i), image[first + i]);
    // Past the first run the bytes come from the second.
    QVERIFY(hex->SetSelection(8000, 8000));
    QTRY_VERIFY(hex->Model().IsAvailable(8000));
    QCOMPARE(hex->Model().ByteAt(3072), image[98 * 512 + 198 * 1024]);
    QCOMPARE(hex->Model().ByteAt(8000), image[98 * 512 + 198 * 1024 + (8000 - 3072)]);
    hex->SetSelection(0, 0);
    QVERIFY(!test::SaveScreenshot(&pane, QStringLiteral("mainframe"), QStringLiteral("data_viewer")).isEmpty());

    // A folder: the form says so, no data and no runs.
    const std::int64_t folder = world.HandleOf("", u"Documents");
    pane.SetObject(world.volume, folder);
    QTRY_COMPARE(info->Field(CDataInfo_View::kIdType)->text(), QStringLiteral("Folder"));
    QCOMPARE(info->Field(CDataInfo_View::kIdOffset)->text(), QStringLiteral("0"));
    QCOMPARE(hex->Model().Size(), std::uint64_t(0));
    // The deleted invoice.
    pane.SetObject(world.volume, world.HandleOf("Documents/", u"Old invoice.pdf"));
    QTRY_COMPARE(info->Field(CDataInfo_View::kIdStatus)->text(), QStringLiteral("Deleted"));
    QTRY_COMPARE(runs->rowCount(), 1);
    QTRY_VERIFY(hex->Model().IsAvailable(0));
    QCOMPARE(hex->Model().ByteAt(0), std::uint8_t('%'));
    QCOMPARE(hex->Model().ByteAt(1), std::uint8_t('P'));
    // A store cleared under the form: the handle no longer resolves; the form empties.
    world.volume->Store().Clear();
    info->Refresh();
    QCOMPARE(info->Field(CDataInfo_View::kIdStatus)->text(), QString());
  }

  void HexViewOfFourGiBReadsOnlyThePagesShown() {
    test::TempDir dir;
    const std::string path = dir / "big.img";
    {
      const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
      QVERIFY(fd >= 0);
      QCOMPARE(::ftruncate(fd, (std::int64_t(4) << 30) + 65536), 0);
      ::pwrite(fd, "HEAD", 4, 4096);
      ::pwrite(fd, "TAIL", 4, (std::int64_t(4) << 30) + 4096 - 16);
      ::close(fd);
    }
    ProgramLog log;
    g_Log = &log;
    auto volume = std::make_shared<CVolume>(CVolume::kImageFile);
    volume->SetDevicePath(platform::Utf8ToUtf16(path));
    volume->SetDeviceNodeId(-31);
    QCOMPARE(volume->QueryInformation(), 1);
    FoundObject big;
    big.flags = OBJ_DELETED | OBJ_RAW | OBJ_NAMED;
    big.SetName(u"big.bin");
    big.offset = 4096;
    big.size = std::int64_t(4) << 30;
    const FoundObject* stored = volume->Store().RegisterObject(big);
    const std::int64_t handle = volume->Store().HandleOf(stored);
    {
      CHexViewer_Pane pane;
      pane.resize(1000, 300);
      pane.show();
      QVERIFY(QTest::qWaitForWindowExposed(&pane));
      pane.SetObject(volume, handle);
      CHexEditorCtrl2* hex = pane.HexView();
      QTRY_COMPARE(hex->Model().Size(), std::uint64_t(4) << 30);
      QTRY_VERIFY(hex->Model().IsAvailable(0));
      QCOMPARE(hex->Model().ByteAt(0), std::uint8_t('H'));
      // To the end: the last page.
      hex->SetSelection((std::uint64_t(4) << 30) - 1, (std::uint64_t(4) << 30) - 1);
      QTRY_VERIFY(hex->Model().IsAvailable((std::uint64_t(4) << 30) - 16));
      QCOMPARE(hex->Model().ByteAt((std::uint64_t(4) << 30) - 16), std::uint8_t('T'));
      QVERIFY2(pane.Reader().PagesRead() <= 4, qPrintable(QString::number(pane.Reader().PagesRead())));
      QVERIFY(pane.Pages().CachedPages() <= 4);
      QCOMPARE(pane.RunList()->Runs()->rowCount(), 1);
    }
    g_Log = nullptr;
  }

 private:
  // A trash with two items: a photo deleted from <dir>/Pictures and a text file
  // from <dir>/Documents/old (a folder that is gone now).
  static void MakeTrash(const test::TempDir& dir, const std::string& trash) {
    WriteFile(trash + "/files/holiday photo.jpg", "photo");
    WriteFile(trash + "/info/holiday photo.jpg.trashinfo",
              "[Trash Info]\nPath=" + dir / "Pictures/holiday%20photo.jpg" + "\nDeletionDate=2024-05-06T07:08:09\n");
    WriteFile(trash + "/files/notes.txt", "some notes");
    WriteFile(trash + "/info/notes.txt.trashinfo",
              "[Trash Info]\nPath=" + dir / "Documents/old/notes.txt" + "\nDeletionDate=2024-05-07T10:00:00\n");
    // An info file without its item is not listed.
    WriteFile(trash + "/info/gone.txt.trashinfo", "[Trash Info]\nPath=/x/gone.txt\n");
    std::filesystem::create_directories(dir / "Pictures");
  }

  // The FAT16 fixture analysed by its parser.
  struct FatWorld {
    FatWorld() {
      log.SetTimeStamps(false);
      g_Log = &log;
      volume = std::make_shared<CVolume>(CVolume::kImageFile);
      volume->SetDevicePath(platform::Utf8ToUtf16(test::FixtureImage("fat16.img")));
      volume->SetDeviceNodeId(-31);
      volume->QueryInformation();
      volume->BootSetup();
      test::RunFatPass(*volume, progress);
    }
    ~FatWorld() {
      volume.reset();
      g_Log = nullptr;
    }
    std::int64_t HandleOf(const std::string& folder, std::u16string_view name) const {
      const auto view = volume->Store().Read();
      for (std::size_t i = 0; i < view.Count(); ++i) {
        const FoundObject* r = view.At(i);
        if (r->Name() != name) continue;
        std::u16string path;
        volume->GetObjectPath(*r, path);
        if (platform::Utf16ToUtf8(path) == folder) return view.HandleAt(i);
      }
      return -1;
    }
    ProgramLog log;
    ScanProgress progress;
    std::shared_ptr<CVolume> volume;
  };
};
VANDREL_QT_TEST(SidePanesTest);

#include "SidePanesTest.moc"
