// The arrows beside a numeric edit: steps inside the range, stops at its ends, the
// keys in the edit, and typed text left alone.
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include "controls/UpDownCtrl.h"
#include "support/QtTestRegistry.h"

class CUpDownCtrlTest : public QObject {
  Q_OBJECT

 private slots:
  void stepsAndStopsAtTheEnds_data() {
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("steps");
    QTest::addColumn<QString>("expected");
    QTest::newRow("up inside") << 0 << 100 << "10" << 3 << "13";
    QTest::newRow("up stops at high") << 0 << 100 << "99" << 5 << "100";
    QTest::newRow("down stops at low") << 0 << 100 << "1" << -5 << "0";
    QTest::newRow("log size up to 102400") << 1 << 102400 << "102399" << 3 << "102400";
    QTest::newRow("log size down to 1") << 1 << 102400 << "2" << -3 << "1";
    QTest::newRow("typed above the range comes back in") << 0 << 100 << "5000000" << -1 << "100";
    QTest::newRow("not a number: up from low") << 0 << 60000 << "abc" << 1 << "0";
    QTest::newRow("not a number: down from high") << 0 << 60000 << "" << -1 << "60000";
    QTest::newRow("reversed range") << 100 << 0 << "50" << 1 << "49";
  }
  void stepsAndStopsAtTheEnds() {
    QFETCH(int, low);
    QFETCH(int, high);
    QFETCH(QString, start);
    QFETCH(int, steps);
    QFETCH(QString, expected);
    QWidget host;
    auto* edit = new QLineEdit(&host);
    controls::CUpDownCtrl updown(&host);
    updown.SetBuddy(edit);
    updown.SetRange32(low, high);
    edit->setText(start);
    QToolButton* button = steps > 0 ? updown.UpButton() : updown.DownButton();
    for (int i = 0; i < std::abs(steps); ++i) button->click();
    QCOMPARE(edit->text(), expected);
  }

  void keysInTheEditStepAndTypingIsLeftAlone() {
    QWidget host;
    auto* edit = new QLineEdit(&host);
    controls::CUpDownCtrl updown(&host);
    updown.SetBuddy(edit);
    updown.SetRange32(0, 100);
    edit->setText(QStringLiteral("7"));
    QTest::keyClick(edit, Qt::Key_Up);
    QCOMPARE(edit->text(), QStringLiteral("8"));
    QTest::keyClick(edit, Qt::Key_Down);
    QTest::keyClick(edit, Qt::Key_Down);
    QCOMPARE(edit->text(), QStringLiteral("6"));
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("-5"));
    QCOMPARE(edit->text(), QStringLiteral("-5"));  // checked by whoever reads it
    // A disabled buddy disables the arrows.
    edit->setEnabled(false);
    QVERIFY(!updown.isEnabled());
    edit->setEnabled(true);
    QVERIFY(updown.isEnabled());
  }
};

VANDREL_QT_TEST(CUpDownCtrlTest);
#include "UpDownCtrlTest.moc"
