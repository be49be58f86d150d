// The header line of the hex editor with a header (the data viewer's): each
// unit's number stands over that unit's digits, for 1-, 2- and 4-byte units and at
// two fonts, in the pixels the control paints: the blue ink of every title lies
// over the ink of its unit's last hex digit in the first row.
#include <QFontDatabase>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include "HexTestSupport.h"
#include "controls/HexEditorCtrl2.h"
#include "support/QtTestRegistry.h"

namespace {

// The leftmost and rightmost columns in [x0, x1) x [y0, y1) with ink: darker than
// mid grey with `anyDark`, else the header's blue; -1, -1 when none.
std::pair<int, int> InkColumns(const QImage& image, int x0, int x1, int y0, int y1, bool anyDark) {
  int left = -1, right = -1;
  for (int x = std::max(0, x0); x < std::min(image.width(), x1); ++x) {
    for (int y = std::max(0, y0); y < std::min(image.height(), y1); ++y) {
      const QRgb p = image.pixel(x, y);
      const bool ink = anyDark ? qGray(p) < 128 : (qBlue(p) > 150 && qRed(p) < 100 && qGreen(p) < 100);
      if (!ink) continue;
      if (left < 0) left = x;
      right = x;
      break;
    }
  }
  return {left, right};
}

}  // namespace

class HexHeaderTest : public QObject {
  Q_OBJECT

 private slots:
  void TitlesStandOverTheirUnits_data() {
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("pointSize");
    for (int unit : {1, 2, 4})
      for (int points : {9, 15}) QTest::newRow(qPrintable(QStringLiteral("unit %1, %2 pt").arg(unit).arg(points))) << unit << points;
  }
  void TitlesStandOverTheirUnits() {
    QFETCH(int, unit);
    QFETCH(int, pointSize);
    QTemporaryDir dir;
    // Every byte 0x88: each hex digit is an '8', whose ink fills its cell's middle.
    const QString path = test::WriteBytes(dir, QStringLiteral("eights.bin"), test::Bytes(64, 0x88));
    CHexEditorCtrl2 editor;
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(pointSize);
    editor.setFont(font);
    editor.resize(1400, 300);
    QVERIFY(editor.OpenFile(path));
    editor.SetUnitSize(unit);
    const QImage image = editor.viewport()->grab().toImage();
    const CHexEditorModel& model = editor.Model();
    const HexLayout layout = model.Layout();
    const int w = model.CharWidth();
    const int h = model.LineHeight();
    const int top = model.GetTopMargin();
    const std::vector<HexTitle> titles = model.HeaderTitles(layout);
    QCOMPARE(int(titles.size()), 16 / unit);
    for (std::size_t i = 0; i < titles.size(); ++i) {
      const int j = int(i) * unit;
      // The unit's last digit in the first row, and the title's ink above it.
      const int digitX = model.UnitX(layout, j) + (2 * unit - 1) * w;
      const auto digit = InkColumns(image, digitX, digitX + w, top, top + h, true);
      const auto title = InkColumns(image, titles[i].x - w, titles[i].x + 2 * w, 0, top - 3, false);
      QVERIFY2(digit.first >= 0 && title.first >= 0, qPrintable(QStringLiteral("byte %1").arg(j)));
      const double digitMiddle = (digit.first + digit.second) / 2.0;
      const double titleMiddle = (title.first + title.second) / 2.0;
      QVERIFY2(std::abs(digitMiddle - titleMiddle) <= w / 2.0,
               qPrintable(QStringLiteral("byte %1: title at %2, digit at %3 (char width %4)")
                              .arg(j).arg(titleMiddle).arg(digitMiddle).arg(w)));
      // Nothing of it on the gap before the unit (the separator blank).
      QVERIFY(title.first > model.UnitX(layout, j) - w);
    }
  }
};

VANDREL_QT_TEST(HexHeaderTest);
#include "HexHeaderTest.moc"
