// The main window's commands for volumes that open the volume dialogs: the
// virtual drive dialog (32784, which no menu offers) for the selected drive.
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "controls/ControlId.h"
#include "dialogs/VolumeVirtualDlg.h"
#include "engine/Volume.h"
#include "support/QtTestRegistry.h"
#include "tests/dialogs/DialogsTestSupport.h"
#include "tests/mainframe/FrameTestSupport.h"

class VolumeCommandsTest : public QObject {
  Q_OBJECT

 private slots:
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
