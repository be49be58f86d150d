// The main window's commands for volumes that open the volume dialogs: the
// virtual drive dialog (32784, which no menu offers) for the selected drive, and
// over the real engine "Create Drive Image..." (32782), "Properties" (32872) and
// "Information..." (32797) on the FAT16 fixture and the image made of it, and the
// warning before "Try To Open..." (32809).
#include <QCheckBox>
#include <QLabel>
#include <QMap>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <fstream>

#include "app/Formatting.h"
#include "app/QtText.h"
#include "controls/ControlId.h"
#include "dialogs/DialogsRegistration.h"
#include "dialogs/DlgTryOpen.h"
#include "dialogs/FileInformationViewDlg.h"
#include "dialogs/FormParts.h"
#include "dialogs/VolumeImage_CreateDlg.h"
#include "dialogs/VolumeInformationDlg.h"
#include "dialogs/VolumeInformationDlg_General.h"
#include "dialogs/VolumeVirtualDlg.h"
#include "engine/records/AppSettings.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/Volume.h"
#include "mainframe/explorer/FilesListModel.h"
#include "mainframe/explorer/FilesListView.h"
#include "mainframe/explorer/FilesTreeModel.h"
#include "mainframe/explorer/FilesTreeView.h"
#include "mainframe/explorer/VolumeInfoView.h"
#include "mainframe/frame/VolumeExploreView.h"
#include "platform/ByteOrder.h"
#include "platform/Text.h"
#include "search/RecoveryJobs.h"
#include "support/Fixtures.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "support/Sha256.h"
#include "tests/dialogs/DialogsTestSupport.h"
#include "tests/mainframe/frame/FrameTestSupport.h"

namespace {

std::string Sha256Of(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), {});
  return test::Sha256(data.data(), data.size());
}

}  // namespace

class VolumeCommandsTest : public QObject {
  Q_OBJECT

 private slots:
  void CreateDriveImagePropertiesAndInformation() {
    test::FrameWorld world;
    CMainFrame* frame = world.Open(CApp::MODE_MAIN_LEGEND);
    QVERIFY(frame);
    frame->resize(1000, 700);
    world.Idle();
    CVolumeExploreView* explorer = frame->ExploreView();
    const std::string fixture = test::FixtureImage("fat16.img");
    auto source = world.computer->OpenImageFile(platform::Utf8ToUtf16(fixture));
    QVERIFY(source);
    explorer->RefreshTree();
    explorer->SelectDeviceNode(source->DeviceNodeId());
    // The image's node shows the volume information view.
    QCOMPARE(explorer->CurrentView(), int(CVolumeExploreView::VIEW_VOLUME_INFO_2));
    const auto rows = explorer->VolumeInfoView()->ShownRows();
    QVERIFY(std::find(rows.begin(), rows.end(), CVolumeInfoView::Row(QStringLiteral(" File System"),
                                                                     QStringLiteral("FAT16"))) != rows.end());
    QVERIFY(!test::SaveScreenshot(frame, QStringLiteral("mainframe"), QStringLiteral("explorer_volume_info_image"))
                 .isEmpty());

    // "Create Drive Image...": the copy is made, opened, listed and selected.
    test::TempDir dir;
    const QString target = QString::fromStdString(dir / "copy.dsk");
    CVolumeImage_CreateDlg::SetSavePathPicker([&](QWidget*, const QString&) { return target; });
    test::OnNextModal([](QDialog* d) {
      auto* button = controls::FindControlAs<QPushButton>(d, CVolumeImage_CreateDlg::IDC_CLOSE);
      QVERIFY(QTest::qWaitFor([&] { return button->text() == QStringLiteral("OK"); }, 30000));
      QTest::mouseClick(button, Qt::LeftButton);
    });
    frame->OnCommand(32782);
    CVolumeImage_CreateDlg::SetSavePathPicker(nullptr);
    QCOMPARE(Sha256Of(target.toStdString()), test::FixtureManifest("fat16")["image"]["sha256"].get<std::string>());
    std::shared_ptr<CVolume> image;
    for (const auto& v : world.computer->Volumes().Volumes())
      if (v->GetPath() == app::ToU16(target)) image = v;
    QVERIFY(image);
    QCOMPARE(explorer->LastSelectedNode(), image->DeviceNodeId());
    QVERIFY(explorer->Tree()->Model()->IndexOfNode(image->DeviceNodeId()).isValid());

    // "Properties" of the new image: three pages, FAT16, its label and serial.
    std::uint8_t boot[512];
    QCOMPARE(image->ReadSectors(boot, 0, 1), std::int64_t(512));
    const QString serial = QString::number(platform::LeView(boot, 512).U32(39), 16).toUpper();
    int pages = 0;
    QString fileSystem, label, shownSerial;
    test::OnNextModal([&](QDialog* d) {
      auto* sheet = qobject_cast<CVolumeInformationDlg*>(d);
      QVERIFY(sheet);
      pages = sheet->PageCount();
      using G = CVolumeInformationDlg_General;
      fileSystem = dialogs::InfoText(sheet->GeneralPage(), G::IDC_FILE_SYSTEM);
      label = dialogs::InfoText(sheet->GeneralPage(), G::IDC_LABEL).trimmed();
      shownSerial = dialogs::InfoText(sheet->GeneralPage(), G::IDC_SERIAL);
      sheet->reject();
    });
    frame->OnCommand(32872);
    QCOMPARE(pages, 3);
    QCOMPARE(fileSystem, QStringLiteral("FAT16"));
    QCOMPARE(label, QStringLiteral("VANDREL16"));
    QCOMPARE(shownSerial, serial);

    // The image analysed; "Information..." on its deleted file.
    frame->OnCommand(32774);
    QVERIFY(test::WaitUntil([&] { return !image->HasAnalysisThread() && !GetScanProgress().IsRunning(); }, 60000));
    CVolume::JoinAnalysisThreads();
    QCoreApplication::processEvents();
    explorer->FlushFoundObjects();
    std::int64_t handle = -1;
    {
      const FoundObjectStore::ReadView view = image->Store().Read();
      for (std::size_t i = 0; i < view.Count(); ++i)
        if (view.At(i)->Name() == u"deleted file.txt") handle = view.HandleAt(i);
    }
    QVERIFY(handle >= 0);
    // Its row in the root folder's list picked: the list is what Information acts on.
    {
      std::int64_t root = -1;
      {
        const FoundObjectStore::ReadView view = image->Store().Read();
        root = view.HandleOf(view.FindFolderById(view.RootFolderId()));
      }
      explorer->SelectObject(root);
      explorer->List()->SelectRow(explorer->List()->Model()->RowOf(handle));
      explorer->OnViewFocused(explorer->List());
    }
    nlohmann::json expected;
    const nlohmann::json manifest = test::FixtureManifest("fat16");
    for (const auto& o : manifest["objects"])
      if (o["path"] == "/deleted file.txt") expected = o;
    const auto time = [](const nlohmann::json& seconds) {
      return FormatFileTime(platform::FileTimeFromUnix(seconds.get<std::int64_t>()));
    };
    QMap<int, QString> shown;
    test::OnNextModal([&](QDialog* d) {
      QVERIFY(qobject_cast<CFileInformationViewDlg*>(d));
      QCoreApplication::processEvents();
      using F = CFileInformationViewDlg;
      for (int id : {F::IDC_NAME, F::IDC_SIZE, F::IDC_CREATED, F::IDC_MODIFIED, F::IDC_ACCESSED, F::IDC_STATUS})
        shown[id] = dialogs::InfoText(d, id);
      d->accept();
    });
    frame->OnCommand(32797);
    using F = CFileInformationViewDlg;
    QCOMPARE(shown[F::IDC_NAME], QStringLiteral("deleted file.txt"));
    QCOMPARE(shown[F::IDC_STATUS], QStringLiteral("Deleted"));
    QCOMPARE(shown[F::IDC_SIZE], QString::number(expected["size"].get<int>()));
    QCOMPARE(shown[F::IDC_CREATED], time(expected["created_utc"]));
    QCOMPARE(shown[F::IDC_MODIFIED], time(expected["modified_utc"]));
    QCOMPARE(shown[F::IDC_ACCESSED], time(expected["accessed_utc"]));

    // "Try To Open..." on the file: the warning first; Cancel with "Don't show this
    // warning again." checked opens nothing and stores the check; then the copy
    // goes straight on.
    RegisterDialogs(*world.app);
    QStringList opened;
    world.app->Callbacks().SetOpenHandler([&](const QUrl& url) {
      opened << url.toString();
      return true;
    });
    Settings().SetNoTryOpenWarning(0);
    std::int64_t rootHandle = -1;
    {
      const FoundObjectStore::ReadView view = image->Store().Read();
      rootHandle = view.HandleOf(view.FindFolderById(view.RootFolderId()));
    }
    explorer->SelectObject(rootHandle);
    CFilesListModel& list = *explorer->List()->Model();
    int row = -1;
    for (int r = 0; r < list.rowCount(); ++r)
      if (list.index(r, 0).data().toString() == QStringLiteral("deleted file.txt")) row = r;
    QVERIFY(row >= 0);
    explorer->List()->SelectRow(row);
    explorer->OnViewFocused(explorer->List());
    bool warned = false;
    test::OnNextModal([&](QDialog* d) {
      warned = qobject_cast<CDlgTryOpen*>(d) != nullptr;
      auto* box = controls::FindControlAs<QCheckBox>(d, CDlgTryOpen::IDC_DONT_SHOW);
      QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
      QTest::mouseClick(controls::FindControlAs<QPushButton>(d, 2), Qt::LeftButton);
    });
    frame->OnCommand(32809);
    QVERIFY(warned);
    TryOpenJob().Join();
    QCOMPARE(TryOpenJob().SuccessCount(), 0);
    QCOMPARE(Settings().NoTryOpenWarning(), 1);
    frame->OnCommand(32809);
    QVERIFY(!QApplication::activeModalWidget());
    TryOpenJob().Join();
    QVERIFY(QTest::qWaitFor([&] { return !opened.isEmpty(); }, 20000));
    QCOMPARE(TryOpenJob().SuccessCount(), 1);
    QCOMPARE(opened.size(), 1);
    test::ScriptedBoxes cleanupBoxes(Answer::Yes);
    TryOpenJob().DeleteTemporaryFiles();
    QVERIFY(TryOpenJob().TemporaryFiles().empty());
  }

  void NoDialogsWithoutTheirSelection() {
    test::FrameWorld world;
    CMainFrame* frame = world.Open(CApp::MODE_MAIN_LEGEND);
    QVERIFY(frame);
    // No device node and no object selected: nothing opens.
    for (int id : {32782, 32872, 32797}) {
      frame->OnCommand(id);
      QVERIFY(!QApplication::activeModalWidget());
    }
  }

  void VirtualDriveForTheSelectedDrive() {
    test::FrameWorld world;
    CMainFrame* frame = world.Open(CApp::MODE_MAIN_LEGEND);
    QVERIFY(frame);
    auto drive = std::make_shared<CVolume>(CVolume::kPhysicalDrive);
    drive->UpdateInfo([](VolumeInfo& i) { i.totalBytes = 500107862016; });
    world.computer->SetSelectedVolume(drive);
    QString scale;
    bool shown = false;
    test::OnNextModal([&](QDialog* d) {
      shown = qobject_cast<CVolumeVirtualDlg*>(d) != nullptr;
      scale = controls::FindControlAs<QLabel>(d, CVolumeVirtualDlg::IDC_DRIVE_SIZE)->text();
      QTest::mouseClick(controls::FindControlAs<QPushButton>(d, 2), Qt::LeftButton);
    });
    frame->OnCommand(32784);
    QVERIFY(shown);
    QCOMPARE(scale, QStringLiteral("500.1 GB"));
  }

  void NothingWithoutADrive() {
    test::FrameWorld world;
    CMainFrame* frame = world.Open(CApp::MODE_MAIN_LEGEND);
    QVERIFY(frame);
    world.computer->SetSelectedVolume(world.computer->MyComputer());
    frame->OnCommand(32784);
    QVERIFY(!QApplication::activeModalWidget());
    world.computer->SetSelectedVolume(nullptr);
    frame->OnCommand(32784);
    QVERIFY(!QApplication::activeModalWidget());
  }
};
VANDREL_QT_TEST(VolumeCommandsTest);

#include "VolumeCommandsTest.moc"
