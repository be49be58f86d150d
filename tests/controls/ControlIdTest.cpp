// Control and command ids, and the dialog-unit conversion every form uses.
#include <QAction>
#include <QFont>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "support/QtTestRegistry.h"

class ControlIdTest : public QObject {
  Q_OBJECT
 private slots:
  void FindsControlsAndCommandsByTheirIds() {
    QWidget root;
    auto* layout = new QVBoxLayout(&root);
    auto* inner = new QWidget(&root);
    layout->addWidget(inner);
    auto* button = new QPushButton(QStringLiteral("OK"), inner);
    controls::SetControlId(button, 1);
    auto* label = new QLabel(&root);
    controls::SetControlId(label, 1092);
    QCOMPARE(controls::FindControl(&root, 1), button);
    QCOMPARE(controls::FindControlAs<QLabel>(&root, 1092), label);
    QCOMPARE(controls::FindControlAs<QLabel>(&root, 1), nullptr);
    QCOMPARE(controls::FindControl(&root, 77), nullptr);
    QCOMPARE(controls::ControlId(inner), -1);

    auto* menu = new QMenu(&root);
    QAction* open = menu->addAction(QStringLiteral("Open"));
    controls::SetCommandId(open, 32783);
    QCOMPARE(controls::FindCommand(&root, 32783), open);
    QCOMPARE(controls::CommandId(open), 32783);
    QCOMPARE(controls::FindCommand(&root, 1), nullptr);
  }

  void DialogUnitsScaleByTheFontsBaseUnits_data() {
    QTest::addColumn<int>("baseWidth");
    QTest::addColumn<int>("baseHeight");
    QTest::addColumn<QRect>("dlu");
    QTest::addColumn<QRect>("pixels");
    QTest::newRow("zero") << 6 << 13 << QRect(0, 0, 0, 0) << QRect(0, 0, 0, 0);
    QTest::newRow("typical") << 6 << 13 << QRect(7, 7, 50, 14) << QRect(11, 11, 75, 23);
    QTest::newRow("odd widths round") << 7 << 15 << QRect(1, 1, 1, 1) << QRect(2, 2, 2, 2);
  }
  void DialogUnitsScaleByTheFontsBaseUnits() {
    QFETCH(int, baseWidth);
    QFETCH(int, baseHeight);
    QFETCH(QRect, dlu);
    QFETCH(QRect, pixels);
    const controls::DialogBaseUnits units{baseWidth, baseHeight};
    QCOMPARE(controls::DluRectToPixels(units, dlu.x(), dlu.y(), dlu.width(), dlu.height()), pixels);
  }

  void BaseUnitsOfARealFontArePositive() {
    const controls::DialogBaseUnits units = controls::BaseUnitsOf(QFont());
    QVERIFY(units.width > 0);
    QVERIFY(units.height > units.width);
  }
};
VANDREL_QT_TEST(ControlIdTest);

#include "ControlIdTest.moc"
