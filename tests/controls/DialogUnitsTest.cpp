// Fixed pixel sizes given for the 8-point dialog font (base units 6 x 13) scaled
// to the font in use: the same units give them unchanged, larger ones more, each
// rounded to the nearest pixel; a font that measures nothing leaves them as given.
#include <QTest>

#include "controls/DialogUnits.h"
#include "support/QtTestRegistry.h"

class DialogUnitsTest : public QObject {
  Q_OBJECT

 private slots:
  void PixelsScaleWithTheFont_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("px");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::newRow("the 8-point font") << 6 << 13 << 145 << 145 << 145;
    QTest::newRow("Debian's default") << 7 << 15 << 145 << 169 << 167;
    QTest::newRow("a half pixel rounds up") << 9 << 26 << 145 << 218 << 290;
    QTest::newRow("a smaller font") << 5 << 11 << 120 << 100 << 102;
    QTest::newRow("nothing measured") << 0 << 0 << 120 << 120 << 120;
  }
  void PixelsScaleWithTheFont() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, px);
    QFETCH(int, x);
    QFETCH(int, y);
    const controls::DialogBaseUnits units{width, height};
    QCOMPARE(controls::ScaledPixelsX(units, px), x);
    QCOMPARE(controls::ScaledPixelsY(units, px), y);
  }

  // The font's own measure: what the helper gives is what its units give.
  void AFontIsMeasuredOnTheSpot() {
    QFont font;
    font.setPointSize(14);
    const controls::DialogBaseUnits units = controls::BaseUnitsOf(font);
    QCOMPARE(controls::ScaledPixelsX(font, 145), controls::ScaledPixelsX(units, 145));
    QVERIFY(controls::ScaledPixelsX(font, 145) > 145);
  }
};

VANDREL_QT_TEST(DialogUnitsTest);
#include "DialogUnitsTest.moc"
