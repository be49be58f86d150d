// The virtual drive dialog: the scale by the drive's size, the range labels as
// the thumbs move, OK that does nothing, Cancel that ends with 2, and a screenshot.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "controls/ControlId.h"
#include "controls/RangeCtrl.h"
#include "dialogs/VolumeVirtualDlg.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "tests/dialogs/VolumeDialogsTestSupport.h"

namespace {

using Dlg = CVolumeVirtualDlg;

std::shared_ptr<CVolume> DriveOf(std::int64_t bytes) {
  auto volume = std::make_shared<CVolume>(CVolume::kPhysicalDrive);
  volume->UpdateInfo([&](VolumeInfo& i) { i.totalBytes = bytes; });
  return volume;
}

QString Text(const QWidget* root, int id) { return controls::FindControlAs<QLabel>(root, id)->text(); }

}  // namespace

class VolumeVirtualDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { world_ = std::make_unique<test::DialogWorld>(); }
  void cleanup() { world_.reset(); }

  void Scale_data() {
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<qint64>("units");
    QTest::addColumn<QString>("right");
    QTest::newRow("500 GB disk") << qint64(500107862016) << qint64(5001) << QStringLiteral("500.1");
    QTest::newRow("8 MB image") << qint64(8388608) << qint64(0) << QStringLiteral("0.0");
    QTest::newRow("exactly 1 GB") << qint64(1000000000) << qint64(10) << QStringLiteral("1.0");
    QTest::newRow("2 TB") << qint64(2000398934016) << qint64(20003) << QStringLiteral("2000.3");
  }
  void Scale() {
    QFETCH(qint64, bytes);
    QFETCH(qint64, units);
    QFETCH(QString, right);
    QCOMPARE(Dlg::ScaleUnits(bytes), units);
    Dlg dialog(DriveOf(bytes));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Create Virtual Drive"));
    QCOMPARE(dialog.LeftLabel(), QStringLiteral("0.0"));
    QCOMPARE(dialog.RightLabel(), right);
    QCOMPARE(Text(&dialog, Dlg::IDC_DRIVE_SIZE), right + QStringLiteral(" GB"));
  }

  void TheFormAsItOpens() {
    Dlg dialog(DriveOf(500107862016));
    for (int id : {Dlg::IDC_START_UNIT, Dlg::IDC_SIZE_UNIT}) {
      auto* combo = controls::FindControlAs<QComboBox>(&dialog, id);
      QCOMPARE(combo->count(), 3);
      QCOMPARE(combo->itemText(0), QStringLiteral("Gb"));
      QCOMPARE(combo->itemText(1), QStringLiteral("Mb"));
      QCOMPARE(combo->itemText(2), QStringLiteral("Kb"));
      QCOMPARE(combo->currentIndex(), 0);
    }
    for (int id : {Dlg::IDC_START, Dlg::IDC_SIZE}) {
      auto* edit = controls::FindControlAs<QLineEdit>(&dialog, id);
      QCOMPARE(edit->text(), QString());
      dialog.show();
      QTest::keyClicks(edit, QStringLiteral("12ab3"));
      QCOMPARE(edit->text(), QStringLiteral("123"));  // digits only
    }
    QCOMPARE(controls::ControlId(dialog.Range()), int(Dlg::IDC_RANGE));
  }

  void TheRangeLabelsFollowTheThumbs() {
    Dlg dialog(DriveOf(500107862016));  // e = 5001 / 100 = 50
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.OnRangeChanged(10, 60);
    QCOMPARE(dialog.LeftLabel(), QStringLiteral("500"));
    QCOMPARE(dialog.RightLabel(), QStringLiteral("2500"));
    // Dragging the end thumb 30 pixels (10 percent) to the left.
    CRangeCtrl* range = dialog.Range();
    const QPoint from = range->EndThumbRect().center();
    QTest::mousePress(range, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(range, from - QPoint(30, 0));
    QTest::mouseRelease(range, Qt::LeftButton, Qt::NoModifier, from - QPoint(30, 0));
    QCoreApplication::processEvents();
    QCOMPARE(range->GetEnd(), 90);
    QCOMPARE(dialog.LeftLabel(), QStringLiteral("0"));
    QCOMPARE(dialog.RightLabel(), QStringLiteral("4500"));
    QVERIFY(!test::SaveScreenshot(&dialog, QStringLiteral("dialogs"), QStringLiteral("virtual_drive")).isEmpty());
  }

  void OkStaysOpenAndCancelEndsWith2() {
    Dlg dialog(DriveOf(500107862016));
    test::OnNextModal([](QDialog* d) {
      QTest::mouseClick(controls::FindControlAs<QPushButton>(d, 1), Qt::LeftButton);
      QCoreApplication::processEvents();
      QVERIFY(d->isVisible());
      QTest::mouseClick(controls::FindControlAs<QPushButton>(d, 2), Qt::LeftButton);
    });
    QCOMPARE(dialog.exec(), 2);
  }

 private:
  std::unique_ptr<test::DialogWorld> world_;
};
VANDREL_QT_TEST(VolumeVirtualDlgTest);

#include "VolumeVirtualDlgTest.moc"
