// The range control: its setup, drags to the ends and across each other, the
// scale of 3 pixels a percent, and presses that start nothing.
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include "controls/ControlId.h"
#include "controls/RangeCtrl.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"

namespace {

constexpr int kHeight = 22;
constexpr int kMiddle = kHeight / 2;

// Presses the thumb at its middle, moves by each step in turn, releases.
void Drag(CRangeCtrl& range, bool startThumb, const QList<int>& steps) {
  const QRect thumb = startThumb ? range.StartThumbRect() : range.EndThumbRect();
  QPoint pos(thumb.center().x(), kMiddle);
  QTest::mousePress(&range, Qt::LeftButton, Qt::NoModifier, pos);
  for (int step : steps) {
    pos.rx() += step;
    QTest::mouseMove(&range, pos);
  }
  QTest::mouseRelease(&range, Qt::LeftButton, Qt::NoModifier, pos);
}

struct Range {
  Range() {
    control.resize(CRangeCtrl::kWidth, kHeight);
    control.show();
  }
  CRangeCtrl control;
  QSignalSpy spy{&control, &CRangeCtrl::rangeChanged};
  // The last range reported, after the queued reports have arrived.
  QPair<int, int> Last() {
    QCoreApplication::processEvents();
    if (spy.isEmpty()) return {-1, -1};
    const QList<QVariant> args = spy.last();
    return {args.at(0).toInt(), args.at(1).toInt()};
  }
};

}  // namespace

class RangeCtrlTest : public QObject {
  Q_OBJECT
 private slots:
  void SetupIsTheWholeRangeAndReportsNothing() {
    Range range;
    QCOMPARE(range.control.width(), 328);
    QCOMPARE(range.control.GetStart(), 0);
    QCOMPARE(range.control.GetEnd(), 100);
    QCOMPARE(range.control.StartThumbRect(), QRect(0, 0, 14, kHeight));
    QCOMPARE(range.control.EndThumbRect(), QRect(314, 0, 14, kHeight));
    QCOMPARE(range.control.BandRect(), QRect(14, 7, 300, kHeight - 14));
    QCOMPARE(range.control.TrackRect(), QRect(0, 6, 328, kHeight - 12));
    QCoreApplication::processEvents();
    QCOMPARE(range.spy.count(), 0);
  }

  void DragsReachBothEnds_data() {
    QTest::addColumn<bool>("startThumb");
    QTest::addColumn<QList<int>>("steps");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::newRow("start thumb in, then far out") << true << QList<int>{60, -1000} << 0 << 100;
    QTest::newRow("start thumb in, then just past") << true << QList<int>{31, -32} << 0 << 100;
    QTest::newRow("end thumb in, then far out") << false << QList<int>{-60, 1000} << 0 << 100;
    QTest::newRow("end thumb in, then just past") << false << QList<int>{-31, 32} << 0 << 100;
    QTest::newRow("start thumb 20 %") << true << QList<int>{30, 30} << 20 << 100;
    QTest::newRow("end thumb 80 %") << false << QList<int>{-25, -35} << 0 << 80;
    // 3 pixels are 1 percent; a part of 3 pixels counts nothing.
    QTest::newRow("3 px") << true << QList<int>{3} << 1 << 100;
    QTest::newRow("5 px") << true << QList<int>{5} << 1 << 100;
    QTest::newRow("-3 px") << false << QList<int>{-3} << 0 << 99;
    QTest::newRow("out and back") << true << QList<int>{-40, 40, 9} << 3 << 100;
  }
  void DragsReachBothEnds() {
    QFETCH(bool, startThumb);
    QFETCH(QList<int>, steps);
    QFETCH(int, start);
    QFETCH(int, end);
    Range range;
    Drag(range.control, startThumb, steps);
    QCOMPARE(range.control.GetStart(), start);
    QCOMPARE(range.control.GetEnd(), end);
    QCOMPARE(range.Last(), qMakePair(start, end));
    QCOMPARE(range.spy.count(), steps.size());
  }

  void ThumbsNeverCross() {
    Range range;
    Drag(range.control, true, {200, 400});
    QCOMPARE(range.control.StartThumbRect().right() + 1, range.control.EndThumbRect().left());
    QCOMPARE(range.control.BandRect().width(), 0);
    QCOMPARE(range.control.GetStart(), 100);
    QCOMPARE(range.control.GetEnd(), 100);
    // The end thumb can't pass the start thumb either.
    Drag(range.control, false, {-50});
    QCOMPARE(range.control.GetEnd(), 100);
    QCOMPARE(range.control.BandRect().width(), 0);
    Drag(range.control, true, {-150});
    QCOMPARE(range.control.GetStart(), 50);
    Drag(range.control, false, {-1000});
    QCOMPARE(range.control.GetEnd(), 50);
    QCOMPARE(range.Last(), qMakePair(50, 50));
  }

  void EveryMoveWhileHeldReports() {
    Range range;
    const QPoint pos(7, kMiddle);
    QTest::mousePress(&range.control, Qt::LeftButton, Qt::NoModifier, pos);
    QTest::mouseMove(&range.control, pos);
    QTest::mouseMove(&range.control, pos);
    QTest::mouseRelease(&range.control, Qt::LeftButton, Qt::NoModifier, pos);
    QTest::mouseMove(&range.control, pos + QPoint(30, 0));
    QCOMPARE(range.Last(), qMakePair(0, 100));
    QCOMPARE(range.spy.count(), 2);
  }

  void PressOutsideTheThumbsStartsNothing_data() {
    QTest::addColumn<QPoint>("press");
    QTest::newRow("on the band") << QPoint(150, kMiddle);
    QTest::newRow("on the start thumb's edge") << QPoint(0, kMiddle);
    QTest::newRow("on the end thumb's edge") << QPoint(314, kMiddle);
    QTest::newRow("on the thumb's top edge") << QPoint(7, 0);
  }
  void PressOutsideTheThumbsStartsNothing() {
    QFETCH(QPoint, press);
    Range range;
    QTest::mousePress(&range.control, Qt::LeftButton, Qt::NoModifier, press);
    QTest::mouseMove(&range.control, press + QPoint(40, 0));
    QTest::mouseMove(&range.control, press + QPoint(-40, 0));
    QTest::mouseRelease(&range.control, Qt::LeftButton, Qt::NoModifier, press);
    QCoreApplication::processEvents();
    QCOMPARE(range.spy.count(), 0);
    QCOMPARE(range.control.GetStart(), 0);
    QCOMPARE(range.control.GetEnd(), 100);
  }

  void TakesThePlaceOfAStandIn() {
    QWidget form;
    auto* layout = new QVBoxLayout(&form);
    auto* standIn = new QLabel(QStringLiteral("range"), &form);
    standIn->setFixedHeight(24);
    controls::SetControlId(standIn, 1207);
    layout->addWidget(standIn);
    auto* range = new CRangeCtrl;
    QVERIFY(range->SubclassWindow(standIn));
    QCOMPARE(range->parentWidget(), &form);
    QCOMPARE(controls::FindControl(&form, 1207), range);
    QCOMPARE(layout->indexOf(standIn), -1);
    QVERIFY(layout->indexOf(range) >= 0);
    QVERIFY(standIn->isHidden());
    QCOMPARE(range->width(), 328);
    QVERIFY(!range->SubclassWindow(nullptr));
  }

  void Screenshot() {
    QWidget form;
    form.resize(CRangeCtrl::kWidth + 20, kHeight + 20);
    auto* range = new CRangeCtrl(&form);
    range->setGeometry(10, 10, CRangeCtrl::kWidth, kHeight);
    form.show();
    Drag(*range, true, {60});
    Drag(*range, false, {-60});
    QCOMPARE(range->GetStart(), 20);
    QCOMPARE(range->GetEnd(), 80);
    QVERIFY(!test::SaveScreenshot(&form, QStringLiteral("controls"), QStringLiteral("range-20-80")).isEmpty());
  }
};
VANDREL_QT_TEST(RangeCtrlTest);

#include "RangeCtrlTest.moc"
