// The search bar form driven through its controls: the defaults, the size modes
// forcing and disabling "Ignore folders", the date pickers only for "Specify
// dates", and what "Search" and "Cancel" post.
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/PostedEvent.h"
#include "controls/ControlId.h"
#include "engine/records/Messages.h"
#include "mainframe/find/SearchBarView.h"
#include "support/QtTestRegistry.h"

namespace {

// Counts the posted messages it receives.
class Receiver : public QObject {
 public:
  std::vector<std::uint32_t> got;

 protected:
  bool event(QEvent* e) override {
    if (const PostedMessage* m = CPostedEvent::Of(e)) {
      got.push_back(m->message);
      return true;
    }
    return QObject::event(e);
  }
};

template <typename T>
T* Control(CSearchBarView& bar, int id) {
  T* c = controls::FindControlAs<T>(&bar, id);
  if (!c) qFatal("no control %d", id);
  return c;
}

// A click on a radio button's indicator (its centre may lie beyond its text).
void ClickRadio(QRadioButton* radio) { QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2)); }

}  // namespace

class SearchBarTest : public QObject {
  Q_OBJECT

 private slots:
  void Defaults() {
    CSearchBarView bar;
    QCOMPARE(Control<QLineEdit>(bar, 1062)->text(), QString());
    QVERIFY(Control<QRadioButton>(bar, 1084)->isChecked());
    QVERIFY(Control<QRadioButton>(bar, 1077)->isChecked());
    QCOMPARE(Control<QComboBox>(bar, 1045)->currentText(), QStringLiteral(" ="));
    QCOMPARE(Control<QComboBox>(bar, 1045)->count(), 3);
    QCOMPARE(Control<QComboBox>(bar, 1089)->currentText(), QStringLiteral(" KB "));
    QCOMPARE(Control<QComboBox>(bar, 1089)->count(), 4);
    QCOMPARE(Control<QLineEdit>(bar, 1070)->text(), QStringLiteral("0"));
    QVERIFY(Control<QCheckBox>(bar, 1090)->isChecked());
    QVERIFY(Control<QCheckBox>(bar, 1091)->isChecked());
    QVERIFY(Control<QCheckBox>(bar, 1091)->isEnabled());
    QVERIFY(!Control<QComboBox>(bar, 1045)->isEnabled());
    QVERIFY(!Control<QDateEdit>(bar, 1066)->isEnabled());
    QCOMPARE(Control<QPushButton>(bar, 1)->text(), QStringLiteral("Search"));
    QCOMPARE(Control<QPushButton>(bar, 2)->text(), QStringLiteral("Cancel"));
  }

  void UpdateControls_data() {
    QTest::addColumn<int>("sizeMode");
    QTest::addColumn<bool>("sizeControls");
    QTest::addColumn<bool>("ignoreEnabled");
    QTest::newRow("don't remember") << 0 << false << true;
    QTest::newRow("small") << 1 << false << false;
    QTest::newRow("medium") << 2 << false << false;
    QTest::newRow("large") << 3 << false << false;
    QTest::newRow("specify") << 4 << true << false;
  }
  void UpdateControls() {
    QFETCH(int, sizeMode);
    QFETCH(bool, sizeControls);
    QFETCH(bool, ignoreEnabled);
    CSearchBarView bar;
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    auto* ignore = Control<QCheckBox>(bar, 1091);
    QTest::mouseClick(ignore, Qt::LeftButton, {}, QPoint(6, ignore->height() / 2));
    QVERIFY(!ignore->isChecked());
    QCOMPARE(bar.Criteria().ignoreFolders, 0);
    ClickRadio(Control<QRadioButton>(bar, 1077 + sizeMode));
    QCOMPARE(bar.Criteria().sizeMode, sizeMode);
    QCOMPARE(ignore->isEnabled(), ignoreEnabled);
    QCOMPARE(ignore->isChecked(), sizeMode != 0);
    QCOMPARE(bar.Criteria().ignoreFolders, sizeMode != 0 ? 1 : 0);
    for (int id : {1045, 1089}) QCOMPARE(Control<QComboBox>(bar, id)->isEnabled(), sizeControls);
    QCOMPARE(Control<QLineEdit>(bar, 1070)->isEnabled(), sizeControls);
    // Back to "Don't remember": the box may be changed again and stays checked.
    ClickRadio(Control<QRadioButton>(bar, 1077));
    QVERIFY(ignore->isEnabled());
  }

  void PickersOnlyForSpecifiedDates() {
    CSearchBarView bar;
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    for (int mode = 0; mode < 5; ++mode) {
      ClickRadio(Control<QRadioButton>(bar, 1084 + mode));
      QCOMPARE(bar.Criteria().dateMode, mode);
      QCOMPARE(Control<QDateEdit>(bar, 1066)->isEnabled(), mode == 4);
      QCOMPARE(Control<QDateEdit>(bar, 1067)->isEnabled(), mode == 4);
    }
  }

  void SearchAndCancelPost() {
    CSearchBarView bar;
    Receiver top, owner;
    bar.SetTopWindow(&top);
    bar.SetOwner(&owner);
    const platform::FileTime now = 133000000000000000LL;
    bar.SetClock([now] { return now; });
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    ClickRadio(Control<QRadioButton>(bar, 1085));  // past week
    ClickRadio(Control<QRadioButton>(bar, 1081));  // specify size
    Control<QLineEdit>(bar, 1070)->setText(QStringLiteral("3"));
    Control<QComboBox>(bar, 1089)->setCurrentIndex(3);  // GB
    QTest::mouseClick(Control<QPushButton>(bar, 1), Qt::LeftButton);
    QTRY_COMPARE(top.got.size(), std::size_t(1));
    QCOMPARE(top.got[0], std::uint32_t(WM_FIND_START));
    const FindCriteria& c = bar.Criteria();
    QCOMPARE(c.nameMask, std::u16string(u"*"));  // an empty mask searches with "*"
    QCOMPARE(c.sizeValue, std::int64_t(3221225472LL));
    QCOMPARE(c.dateTo, now);
    QCOMPARE(c.dateFrom, now - 7 * 86400LL * platform::kFileTimePerSecond);
    QTest::mouseClick(Control<QPushButton>(bar, 2), Qt::LeftButton);
    QTRY_COMPARE(owner.got.size(), std::size_t(1));
    QCOMPARE(owner.got[0], std::uint32_t(WM_FIND_STOP));
    // While a search runs "Search" is off.
    bar.SetSearchEnabled(false);
    QVERIFY(!Control<QPushButton>(bar, 1)->isEnabled());
  }
};
VANDREL_QT_TEST(SearchBarTest);

#include "SearchBarTest.moc"
