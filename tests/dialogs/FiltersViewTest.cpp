// The filters sheet and the file types dialog: the General page's check boxes and
// dates, the File Types page's modes and tree, the file types dialog's OK and
// Cancel, and the filter applied to the fat16 fixture's objects afterwards.
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <set>

#include "app/App.h"
#include "app/AppTestSupport.h"
#include "app/Icons.h"
#include "controls/ControlId.h"
#include "dialogs/FileTypesDlg.h"
#include "dialogs/FiltersView.h"
#include "dialogs/FiltersView_FileTypes.h"
#include "dialogs/FiltersView_General.h"
#include "dialogs/ObjectInformationTreeView.h"
#include "engine/fs/fat/FileSystemFatTestSupport.h"
#include "engine/records/ProgramLog.h"
#include "engine/store/FileFilter.h"
#include "engine/store/FoundObject.h"
#include "platform/FileTime.h"
#include "platform/Text.h"
#include "support/Fixtures.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "DialogsTestSupport.h"

using controls::FindControlAs;

namespace {

struct Sheet {
  FileFilter filter;
  test::TypesFixture types;
  std::unique_ptr<CFiltersView> sheet;
  explicit Sheet(int page = 0, const FileFilter* start = nullptr) {
    if (start) filter = *start;
    sheet = std::make_unique<CFiltersView>(QStringLiteral("Filters"), page, nullptr, &filter, &types.db());
    sheet->show();
  }
  template <typename T>
  T* Control(int page, int id) {
    sheet->SetActivePage(page);
    return FindControlAs<T>(sheet->Page(page), id);
  }
  void Ok() { FindControlAs<QPushButton>(sheet.get(), 1)->click(); }
  void Cancel() { FindControlAs<QPushButton>(sheet.get(), 2)->click(); }
};

platform::FileTime Local(int y, int mo, int d, int h, int mi) {
  return platform::FileTimeFromLocal(platform::DateTime{y, mo, d, h, mi, 0, 0, 0});
}

FoundObject FileCreatedAt(platform::FileTime created) {
  FoundObject o;
  o.id = 5;
  o.created = created;
  return o;
}

}  // namespace

class CFiltersViewTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { app::SetUpIconTheme(); }

  void sheetHasTwoPagesOkCancelHelp() {
    Sheet s;
    QCOMPARE(s.sheet->PageCount(), 2);
    QCOMPARE(s.sheet->Page(0)->Title(), QStringLiteral("General"));
    QCOMPARE(s.sheet->Page(1)->Title(), QStringLiteral("File Types"));
    QVERIFY(controls::FindControl(s.sheet.get(), 0x3021)->isHidden());
    QVERIFY(!controls::FindControl(s.sheet.get(), 9)->isHidden());
  }

  void checkBoxesStoreAtOnceAndEnable() {
    FileFilter start;
    start.SetUseMask(1);
    start.SetMask(u"*.jpg");
    Sheet s(0, &start);
    auto* useMask = s.Control<QCheckBox>(0, 1128);
    auto* mask = s.Control<QLineEdit>(0, 1153);
    auto* useDates = s.Control<QCheckBox>(0, 1127);
    QVERIFY(useMask->isChecked() && mask->isEnabled());
    QCOMPARE(mask->text(), QStringLiteral("*.jpg"));
    QVERIFY(!s.Control<QDateEdit>(0, 1066)->isEnabled());
    mask->setText(QStringLiteral("*.png"));
    useMask->click();
    QVERIFY(!mask->isEnabled());
    QCOMPARE(s.filter.UseMask(), 0);
    QCOMPARE(s.filter.Mask(), u"*.png");  // the click stored the page's fields
    useDates->click();
    QVERIFY(s.Control<QDateEdit>(0, 1066)->isEnabled() && s.Control<QDateEdit>(0, 1067)->isEnabled());
    s.Control<QCheckBox>(0, 1090)->click();
    s.Cancel();
    QCOMPARE(s.filter.UseDates(), 1);  // kept after Cancel
    QCOMPARE(s.filter.DeletedOnly(), 1);
  }

  void datesAreLocalDays() {
    // A stored UTC time shows as its local date (the tests run in CET/CEST).
    const platform::FileTime lateUtc = platform::FileTimeFromUtc(platform::DateTime{2024, 5, 2, 23, 30, 0, 0, 0});
    QCOMPARE(CFiltersView_General::PickerDate(lateUtc), QDate(2024, 5, 3));
    QCOMPARE(CFiltersView_General::PickerDate(-1), QDate::currentDate());
    QCOMPARE(CFiltersView_General::StartOfLocalDay(QDate(2024, 5, 3)), Local(2024, 5, 3, 0, 0));
    QCOMPARE(CFiltersView_General::EndOfLocalDay(QDate(2024, 5, 3)), Local(2024, 5, 4, 0, 0) - 1);

    Sheet s;
    s.Control<QCheckBox>(0, 1127)->click();
    s.Control<QDateEdit>(0, 1066)->setDate(QDate(2024, 5, 3));
    s.Control<QDateEdit>(0, 1067)->setDate(QDate(2024, 5, 3));
    s.Ok();
    QVERIFY(!s.sheet->isVisible());
    QCOMPARE(s.filter.DateFrom(), Local(2024, 5, 3, 0, 0));
    QCOMPARE(s.filter.DateTo(), Local(2024, 5, 4, 0, 0) - 1);
    // A "to" of 3 May covers a file created at 23:30 local time that day.
    QCOMPARE(s.filter.IsHidden(FileCreatedAt(Local(2024, 5, 3, 23, 30))), 0);
    QCOMPARE(s.filter.IsHidden(FileCreatedAt(Local(2024, 5, 3, 0, 10))), 0);
    QCOMPARE(s.filter.IsHidden(FileCreatedAt(Local(2024, 5, 4, 0, 10))), 1);
    QCOMPARE(s.filter.IsHidden(FileCreatedAt(Local(2024, 5, 2, 23, 50))), 1);
  }

  void untouchedPickersKeepTheStoredTimes_data() {
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");
    QTest::newRow("open ends") << qint64(0) << qint64(-1);
    QTest::newRow("a range in the middle of days")
        << qint64(platform::FileTimeFromUtc(platform::DateTime{2020, 1, 2, 13, 14, 0, 0, 0}))
        << qint64(platform::FileTimeFromUtc(platform::DateTime{2021, 7, 8, 9, 10, 0, 0, 0}));
  }
  void untouchedPickersKeepTheStoredTimes() {
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    FileFilter start;
    start.SetUseDates(1);
    start.SetDateFrom(from);
    start.SetDateTo(to);
    Sheet s(0, &start);
    s.Control<QCheckBox>(0, 1090)->click();  // something else changes
    s.Ok();
    QCOMPARE(qint64(s.filter.DateFrom()), from);
    QCOMPARE(qint64(s.filter.DateTo()), to);
    QCOMPARE(s.filter.DeletedOnly(), 1);
  }

  void typeModes_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("checked");  // radio id, 0 none
    QTest::addColumn<bool>("treeEnabled");
    QTest::newRow("all") << 0 << 1122 << false;
    QTest::newRow("known") << 1 << 1085 << false;
    QTest::newRow("custom") << 2 << 1086 << true;
    QTest::newRow("outside 7") << 7 << 0 << true;
    QTest::newRow("outside -1") << -1 << 0 << true;
  }
  void typeModes() {
    QFETCH(int, mode);
    QFETCH(int, checked);
    QFETCH(bool, treeEnabled);
    FileFilter start;
    start.SetTypeMode(mode);
    Sheet s(1, &start);
    for (int id : {1122, 1085, 1086}) QCOMPARE(s.Control<QRadioButton>(1, id)->isChecked(), id == checked);
    QCOMPARE(s.Control<QWidget>(1, 1152)->isEnabled(), treeEnabled);
    s.Ok();
    QCOMPARE(s.filter.GetTypeMode(), mode);
  }

  void radioClickStoresTheModeAtOnce() {
    Sheet s(1);
    s.Control<QRadioButton>(1, 1086)->click();
    QCOMPARE(s.filter.GetTypeMode(), 2);
    QVERIFY(s.Control<QWidget>(1, 1152)->isEnabled());
    s.Control<QRadioButton>(1, 1085)->click();
    QCOMPARE(s.filter.GetTypeMode(), 1);
    QVERIFY(!s.Control<QWidget>(1, 1152)->isEnabled());
    s.Cancel();
    QCOMPARE(s.filter.GetTypeMode(), 1);
  }

  void treeChecksAreStoredOnOkOnly() {
    Sheet s(1);
    auto* tree = s.Control<CObjectInformationTreeView>(1, 1152);
    FileTypeDatabase& db = s.types.db();
    FileType* pdf = db.FindById(47);
    const std::int32_t searchBefore = pdf->searchEnabled();
    QCOMPARE(pdf->showInFilter(), 0);
    tree->SetChecked(tree->ItemOf(pdf), true);
    QCOMPARE(pdf->showInFilter(), 0);
    s.Ok();
    QCOMPARE(pdf->showInFilter(), 1);
    QCOMPARE(pdf->searchEnabled(), searchBefore);
    auto restart = s.types.Reopen();
    QCOMPARE(restart.db->FindById(47)->showInFilter(), 1);
  }

  void fileTypesDialog() {
    test::TypesFixture types;
    FileTypeDatabase& db = types.db();
    std::vector<std::int32_t> before;
    for (FileType* t : db.Types()) before.push_back(t->showInFilter());
    {
      CFileTypesDlg dlg(nullptr, &db);
      dlg.show();
      QApplication::processEvents();
      QCOMPARE(controls::FindControl(&dlg, 1042), static_cast<QWidget*>(dlg.Tree()));
      QVERIFY(dlg.Tree()->topLevelItemCount() > 0);
      dlg.Tree()->CheckAll(true);
      FindControlAs<QPushButton>(&dlg, 2)->click();
      QCOMPARE(dlg.result(), int(QDialog::Rejected));
    }
    std::vector<std::int32_t> after;
    for (FileType* t : db.Types()) after.push_back(t->showInFilter());
    QCOMPARE(after, before);
    {
      CFileTypesDlg dlg(nullptr, &db);
      dlg.show();
      QApplication::processEvents();
      dlg.Tree()->CheckAll(true);
      QVERIFY(!test::SaveScreenshot(&dlg, QStringLiteral("dialogs"), QStringLiteral("file_types_dialog")).isEmpty());
      FindControlAs<QPushButton>(&dlg, 1)->click();
      QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }
    for (FileType* t : db.Types())
      if (t->listed() && db.FindGroup(t->categoryId()) && db.FindGroup(t->categoryId())->listed())
        QCOMPARE(t->showInFilter(), 1);
  }

  // "Show deleted files only" and a mask set on the sheet: the fat16 fixture's
  // objects are hidden and shown as FileFilter::IsHidden says, and the views hear
  // of it when the sheet closes.
  void filterOverTheFat16Fixture() {
    ProgramLog log;
    g_Log = &log;
    const nlohmann::json manifest = test::FixtureManifest("fat16");
    auto volume = std::make_shared<CVolume>(CVolume::kImageFile);
    volume->SetDevicePath(platform::Utf8ToUtf16(test::FixtureImage("fat16.img")));
    volume->SetDeviceNodeId(-31);
    QCOMPARE(volume->QueryInformation(), 1);
    QCOMPARE(volume->BootSetup(), 1);
    ScanProgress progress;
    test::RunFatPass(*volume, progress);

    FileFilter filter;
    test::TypesFixture types;
    QSignalSpy heard(&CFiltersView::Changes(), &CFilterChangeNotifier::filterChanged);
    test::OnNextModal([](QDialog* dialog) {
      auto* sheet = qobject_cast<CFiltersView*>(dialog);
      QVERIFY(sheet);
      FindControlAs<QCheckBox>(sheet->Page(0), 1090)->click();
      FindControlAs<QCheckBox>(sheet->Page(0), 1128)->click();
      FindControlAs<QLineEdit>(sheet->Page(0), 1153)->setText(QStringLiteral("*.txt"));
      FindControlAs<QPushButton>(sheet, 1)->click();
    });
    CFiltersView::Show(nullptr, &filter, &types.db());
    QCOMPARE(heard.count(), 1);
    QCOMPARE(filter.DeletedOnly(), 1);
    QCOMPARE(filter.UseMask(), 1);
    QCOMPARE(filter.Mask(), u"*.txt");

    // Every object of the store against the rule, and the manifest's files by name.
    std::set<std::u16string> shownFiles;
    int hidden = 0, shown = 0;
    const auto view = volume->Store().Read();
    for (std::size_t i = 0; i < view.Count(); ++i) {
      const FoundObject* r = view.At(i);
      const bool deletedOrOnTheWay = r->flags.Any(OBJ_DELETED) || r->flags.Any(OBJ_DELETED_PATH);
      const bool maskOk = r->IsFolder() || !r->flags.Any(OBJ_NAMED) || FileFilter::MatchMask(u"*.txt", r->Name());
      const bool expectHidden = r->id >= 0 && (!deletedOrOnTheWay || !maskOk);
      QCOMPARE(filter.IsHidden(*r) == 1, expectHidden);
      (expectHidden ? hidden : shown) += 1;
      if (!expectHidden && !r->IsFolder() && r->id >= 0) shownFiles.insert(std::u16string(r->Name()));
    }
    QVERIFY(hidden > 0 && shown > 0);
    for (const auto& o : manifest["objects"]) {
      if (o["type"] != "file" || o["first_cluster"].get<std::int64_t>() == 0) continue;
      const std::u16string name = platform::Utf8ToUtf16(test::FatListedName(o));
      const bool expected = o["state"] == "deleted" && FileFilter::MatchMask(u"*.txt", name);
      QCOMPARE(shownFiles.count(name) > 0, expected);
    }
    // Cancel also tells the views.
    test::OnNextModal([](QDialog* dialog) { dialog->reject(); });
    CFiltersView::Show(nullptr, &filter, &types.db());
    QCOMPARE(heard.count(), 2);
    g_Log = nullptr;
  }

  void screenshots() {
    FileFilter start;
    start.SetUseMask(1);
    start.SetMask(u"*.jpg");
    start.SetUseDates(1);
    start.SetDateFrom(platform::FileTimeFromUtc(platform::DateTime{2024, 1, 1, 12, 0, 0, 0, 0}));
    start.SetDateTo(platform::FileTimeFromUtc(platform::DateTime{2024, 5, 3, 12, 0, 0, 0, 0}));
    start.SetTypeMode(2);
    Sheet s(0, &start);
    QVERIFY(!test::SaveScreenshot(s.sheet.get(), QStringLiteral("dialogs"), QStringLiteral("filters_general")).isEmpty());
    s.sheet->SetActivePage(1);
    QVERIFY(
        !test::SaveScreenshot(s.sheet.get(), QStringLiteral("dialogs"), QStringLiteral("filters_file_types")).isEmpty());
  }
};

VANDREL_QT_TEST(CFiltersViewTest);
#include "FiltersViewTest.moc"
