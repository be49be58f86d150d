// The probable file size dialog (106): what it shows from the size question, the
// unit chosen for a size, the results of OK, Skip File and Cancel, which controls
// the size radios enable, a refused custom size, a withdrawn question, and its
// look for a carved object.
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include "controls/Label.h"
#include "dialogs/ProbableFileSizeDlg.h"
#include "search/Recovery.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "tests/dialogs/RecoveryWorld.h"

namespace {

Question CarvedJpegQuestion(std::int64_t size = -1) {
  Question q;
  q.kind = QuestionKind::ProbableFileSize;
  q.text = u"JPEG Image";
  q.detail = u"jpg_53248.jpg";
  q.caption = u"Enter probable file size";
  // offset, size, deleted, typical KB, distance to the next, to the next JPEG, type id
  q.values = {53248, size, 1, 1024, 23552, 23552 + 9216 + 1048576 * 3, 83};
  return q;
}

QString LabelText(QWidget* dialog, int id) {
  auto* label = controls::FindControlAs<controls::CLabel>(dialog, id);
  return label ? label->Text() : QStringLiteral("<none>");
}

}  // namespace

class ProbableFileSizeDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void ShowsWhatTheQuestionSays() {
    test::RecoveryWorld world;
    CProbableFileSizeDlg dialog(CarvedJpegQuestion(), &world.top);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Enter probable file size"));
    QVERIFY(LabelText(&dialog, 1228).startsWith(QStringLiteral("The file of the 'JPEG Image' type is found, but")));
    QCOMPARE(LabelText(&dialog, 1229), QStringLiteral("53248"));
    QCOMPARE(LabelText(&dialog, 1230), QStringLiteral("jpg_53248.jpg"));
    QCOMPARE(LabelText(&dialog, 1231), QStringLiteral("JPEG Image"));
    QCOMPARE(LabelText(&dialog, 1232), QStringLiteral("Deleted"));
    QCOMPARE(LabelText(&dialog, 1237), QStringLiteral("1 024 KBytes"));
    QCOMPARE(LabelText(&dialog, 1235), QStringLiteral("23 KBytes"));
    QCOMPARE(LabelText(&dialog, 1236), QStringLiteral("3 104 KBytes"));
    auto* unit = controls::FindControlAs<QComboBox>(&dialog, CProbableFileSizeDlg::IDC_UNIT);
    QCOMPARE(unit->count(), 4);
    QCOMPARE(unit->itemText(0), QStringLiteral(" B "));
    QCOMPARE(unit->itemText(1), QStringLiteral(" KB"));
    QCOMPARE(unit->itemText(2), QStringLiteral(" MB"));
    QCOMPARE(unit->itemText(3), QStringLiteral(" GB"));
    QVERIFY(controls::FindControlAs<QRadioButton>(&dialog, 1087)->isChecked());
    QVERIFY(controls::FindControlAs<QRadioButton>(&dialog, 1122)->isChecked());
    QCOMPARE(controls::FindControlAs<QRadioButton>(&dialog, 1124)->text(), QStringLiteral("Custome size:"));

    // A live object without a type, nothing after it.
    Question bare;
    bare.values = {4096, 700, 0, 0, -1, -1, 0};
    CProbableFileSizeDlg other(bare, &world.top);
    QCOMPARE(LabelText(&other, 1232), QStringLiteral("Live"));
    QCOMPARE(LabelText(&other, 1237), QStringLiteral("0 KBytes"));
    QCOMPARE(LabelText(&other, 1235), QStringLiteral("0 KBytes"));
    QCOMPARE(LabelText(&other, 1236), QStringLiteral("0 KBytes"));
  }

  void SetSizeWithUnit_data() {
    QTest::addColumn<qlonglong>("size");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("unit");
    QTest::newRow("unset") << qlonglong(-1) << "-1" << " B ";
    QTest::newRow("1,024") << qlonglong(1024) << "1024" << " B ";
    QTest::newRow("1,536") << qlonglong(1536) << "1" << " KB";
    QTest::newRow("2^20") << qlonglong(1048576) << "1024" << " KB";
    QTest::newRow("2^20 + 1") << qlonglong(1048577) << "1" << " MB";
    QTest::newRow("2^30") << qlonglong(1073741824) << "1024" << " MB";
    QTest::newRow("5 GB") << qlonglong(5368709120) << "5" << " GB";
  }
  void SetSizeWithUnit() {
    QFETCH(qlonglong, size);
    QFETCH(QString, value);
    QFETCH(QString, unit);
    test::RecoveryWorld world;
    // The object's own size is shown at opening.
    CProbableFileSizeDlg dialog(CarvedJpegQuestion(size), &world.top);
    QCOMPARE(controls::FindControlAs<QLineEdit>(&dialog, CProbableFileSizeDlg::IDC_SIZE_VALUE)->text(), value);
    QCOMPARE(controls::FindControlAs<QComboBox>(&dialog, CProbableFileSizeDlg::IDC_UNIT)->currentText(), unit);
  }

  void Results_data() {
    QTest::addColumn<int>("radio");
    QTest::addColumn<int>("scopeRadio");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("unitSteps");  // Down presses from " KB"
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("scope");
    QTest::addColumn<qlonglong>("custom");
    QTest::newRow("3 GB") << 1124 << 1122 << "3" << 2 << 1 << 1 << 4 << 0 << qlonglong(3221225472);
    QTest::newRow("5 MB, all of this type") << 1124 << 1085 << "5" << 1 << 1 << 1 << 4 << 1 << qlonglong(5242880);
    QTest::newRow("8 KB") << 1124 << 1122 << "8" << 0 << 1 << 1 << 4 << 0 << qlonglong(8192);
    QTest::newRow("default size") << 1087 << 1122 << "" << 0 << 1 << 1 << 1 << 0 << qlonglong(0);
    QTest::newRow("next of any type, all") << 1088 << 1086 << "" << 0 << 1 << 1 << 2 << 2 << qlonglong(0);
    QTest::newRow("next of the same type") << 1123 << 1085 << "" << 0 << 1 << 1 << 3 << 1 << qlonglong(0);
    QTest::newRow("skip file") << 1124 << 1122 << "9" << 0 << 5 << 5 << 1 << 0 << qlonglong(0);
    QTest::newRow("cancel") << 1088 << 1086 << "" << 0 << 2 << 0 << 1 << 0 << qlonglong(0);
  }
  void Results() {
    QFETCH(int, radio);
    QFETCH(int, scopeRadio);
    QFETCH(QString, typed);
    QFETCH(int, unitSteps);
    QFETCH(int, button);
    QFETCH(int, result);
    QFETCH(int, mode);
    QFETCH(int, scope);
    QFETCH(qlonglong, custom);
    test::RecoveryWorld world;
    CProbableFileSizeDlg dialog(CarvedJpegQuestion(), &world.top);
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.show();
    test::ClickControl(&dialog, radio);
    test::ClickControl(&dialog, scopeRadio);
    auto* edit = controls::FindControlAs<QLineEdit>(&dialog, CProbableFileSizeDlg::IDC_SIZE_VALUE);
    if (!typed.isEmpty()) {
      QVERIFY(edit->isEnabled());
      edit->setFocus();
      edit->selectAll();
      QTest::keyClicks(edit, typed);
      auto* unit = controls::FindControlAs<QComboBox>(&dialog, CProbableFileSizeDlg::IDC_UNIT);
      unit->setFocus();
      unit->setCurrentIndex(1);
      for (int i = 0; i < unitSteps; ++i) QTest::keyClick(unit, Qt::Key_Down);
    }
    test::ClickControl(&dialog, button);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), result);
    const Reply reply = dialog.MakeReply(result);
    if (result == 1) {
      QCOMPARE(dialog.SizeMode(), mode);
      QCOMPARE(dialog.Scope(), scope);
      QCOMPARE(dialog.CustomSize(), custom);
      QCOMPARE(reply.answer, Answer::Ok);
      QCOMPARE(reply.values, (std::vector<std::int64_t>{mode, scope, custom}));
    } else {
      QCOMPARE(reply.answer, result == 5 ? Answer::Ignore : Answer::Cancel);
    }
  }

  void ACustomSizeBelowOneIsRefused_data() {
    QTest::addColumn<QString>("typed");
    QTest::newRow("zero") << "0";
    QTest::newRow("empty") << "";
    QTest::newRow("the unset size as loaded") << "-1";
  }
  void ACustomSizeBelowOneIsRefused() {
    QFETCH(QString, typed);
    test::RecoveryWorld world;
    CProbableFileSizeDlg dialog(CarvedJpegQuestion(), &world.top);
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    test::ClickControl(&dialog, CProbableFileSizeDlg::IDC_MODE_CUSTOM);
    auto* edit = controls::FindControlAs<QLineEdit>(&dialog, CProbableFileSizeDlg::IDC_SIZE_VALUE);
    if (typed != QStringLiteral("-1")) {
      edit->setFocus();
      edit->selectAll();
      QTest::keyClick(edit, Qt::Key_Delete);
      QTest::keyClicks(edit, typed);
    }
    QCOMPARE(edit->text(), typed);
    test::ClickControl(&dialog, 1);
    QCOMPARE(finished.count(), 0);
    QVERIFY(dialog.isVisible());
    QTRY_VERIFY(edit->hasFocus());
    // A good size then goes through.
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("12"));
    test::ClickControl(&dialog, 1);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(dialog.CustomSize(), qlonglong(12));  // in " B ", the unit the unset size loaded with
  }

  void TheSizeRadiosEnableTheSizeAndUnit() {
    test::RecoveryWorld world;
    CProbableFileSizeDlg dialog(CarvedJpegQuestion(), &world.top);
    dialog.show();
    auto* edit = controls::FindControl(&dialog, CProbableFileSizeDlg::IDC_SIZE_VALUE);
    auto* unit = controls::FindControl(&dialog, CProbableFileSizeDlg::IDC_UNIT);
    QVERIFY(!edit->isEnabled() && !unit->isEnabled());
    const struct {
      int radio;
      bool enabled;
    } steps[] = {{1124, true}, {1087, false}, {1124, true}, {1088, false}, {1124, true}, {1123, false},
                 {1124, true}, {1085, true},  {1086, true}, {1087, false}, {1122, false}};
    for (const auto& step : steps) {
      test::ClickControl(&dialog, step.radio);
      QVERIFY2(edit->isEnabled() == step.enabled && unit->isEnabled() == step.enabled,
               qPrintable(QString::number(step.radio)));
    }
  }

  void AWithdrawnQuestionClosesAsCancel() {
    test::RecoveryWorld world;
    Question q = CarvedJpegQuestion();
    q.withdrawn = std::make_shared<std::atomic<bool>>(false);
    CProbableFileSizeDlg dialog(q, &world.top);
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.show();
    QTest::qWait(150);
    QCOMPARE(finished.count(), 0);
    q.withdrawn->store(true);
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(dialog.MakeReply(finished.at(0).at(0).toInt()).answer, Answer::Cancel);
  }
};
VANDREL_QT_TEST(ProbableFileSizeDlgTest);

#include "ProbableFileSizeDlgTest.moc"
