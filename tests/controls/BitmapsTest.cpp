// The program's own bitmaps are found by id and load at their size.
#include <QLabel>
#include <QTest>

#include "controls/Bitmaps.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"

class BitmapsTest : public QObject {
  Q_OBJECT
 private slots:
  void WizardHeadersLoad_data() {
    QTest::addColumn<int>("id");
    QTest::newRow("new signature wizard") << 317;
    QTest::newRow("wizard mode") << 325;
  }
  void WizardHeadersLoad() {
    QFETCH(int, id);
    const QPixmap pixmap = controls::Bitmap(id);
    QVERIFY(!pixmap.isNull());
    QCOMPARE(pixmap.size(), QSize(49, 49));
    // Drawn, not empty: the centre is not transparent.
    QVERIFY(qAlpha(pixmap.toImage().pixel(24, 40)) > 0 || qAlpha(pixmap.toImage().pixel(20, 20)) > 0);

    QLabel label;
    label.setPixmap(pixmap.scaled(196, 196));
    label.setStyleSheet(QStringLiteral("background: white"));
    QVERIFY(!test::SaveScreenshot(&label, QStringLiteral("controls"), QStringLiteral("bitmap_%1").arg(id)).isEmpty());
  }

  void UnknownIdGivesANullPixmap() {
    QVERIFY(controls::Bitmap(0).isNull());
    QVERIFY(controls::Bitmap(-1).isNull());
    QVERIFY(controls::Bitmap(99999).isNull());
  }
};
VANDREL_QT_TEST(BitmapsTest);

#include "BitmapsTest.moc"
