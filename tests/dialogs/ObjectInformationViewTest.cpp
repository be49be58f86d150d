// The "File Format Properties" sheet: its tabs for built-in and user types, the
// Technical page's locks and refusals, the Signature page's moves, "+" and "-",
// the compared length as a byte count, opening from the trees, edits seen whole
// from other threads, and screenshots of the three pages.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>

#include <atomic>
#include <cstring>
#include <thread>

#include "app/AppTestSupport.h"
#include "app/Icons.h"
#include "controls/ControlId.h"
#include "controls/HexEditorCtrl.h"
#include "controls/PaneContainerEx.h"
#include "dialogs/ObjectInformationTreeView.h"
#include "dialogs/ObjectInformationView.h"
#include "dialogs/ObjectInformationView_Decription.h"
#include "dialogs/ObjectInformationView_SignatureStamp.h"
#include "dialogs/ObjectInformationView_TechDecription.h"
#include "dialogs/SearchFileTypeTreeView.h"
#include "dialogs/SignatureDataViewCtrl.h"
#include "search/SignatureIndex.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "DialogsTestSupport.h"

using controls::FindControlAs;

namespace {

// A masked signature as the New Signature Wizard makes it: `head` as the first
// value bytes, every mask byte 0xFF, comparing `count` bytes.
std::unique_ptr<Signature> MaskedSignature(const std::string& head, int count) {
  std::vector<std::uint8_t> buffer(1024, 0);
  std::memcpy(buffer.data(), head.data(), head.size());
  std::fill(buffer.begin() + 512, buffer.end(), 0xFF);
  auto s = std::make_unique<Signature>();
  s->AddPattern(PATTERN_MASKED, buffer, 0);
  s->MutablePattern(0).SetLength(static_cast<std::uint16_t>(2 * count));
  return s;
}

FileType* AddUserType(FileTypeDatabase& db, std::int32_t id, std::u16string_view title, std::u16string_view ext,
                      const std::vector<int>& counts, std::int32_t category = CATEGORY_DOCUMENTS) {
  auto t = std::make_unique<FileType>();
  t->Init(category, id, title, u"A user format", u"user", ext);
  for (std::size_t i = 0; i < counts.size(); ++i)
    t->AppendSignature(MaskedSignature("SIG" + std::to_string(i) + "-HEADER-BYTES", counts[i]));
  return db.AppendFileType(std::move(t));
}

std::vector<std::uint16_t> Lengths(const FileType& t) {
  std::vector<std::uint16_t> out;
  for (std::size_t i = 0; i < t.GetSignatureCount(); ++i) out.push_back(t.GetSignature(i).GetPattern(0).length());
  return out;
}

struct Props {
  std::unique_ptr<CObjectInformationView> sheet;
  explicit Props(FileType* record, FileTypeDatabase& db) {
    sheet = std::make_unique<CObjectInformationView>();
    sheet->SetObject(record, &db);
    sheet->show();
  }
  template <typename T>
  T* Control(int page, int id) {
    sheet->SetActivePage(page);
    return FindControlAs<T>(sheet->Page(page), id);
  }
  CObjectInformationView_SignatureStamp* Signature() {
    sheet->SetActivePage(2);
    return sheet->SignaturePage();
  }
  QLineEdit* Count() { return Control<QLineEdit>(2, 1239); }
  QString IndexText() { return Control<QLabel>(2, 1246)->text(); }
  void Click(int id) { Control<QPushButton>(2, id)->click(); }
  void Ok() { FindControlAs<QPushButton>(sheet.get(), 1)->click(); }
};

}  // namespace

class CObjectInformationViewTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { app::SetUpIconTheme(); }

  void builtInTypeShowsTwoTabsWithTheIdDisabled() {
    test::TypesFixture fx;
    FileType* pdf = fx.db().FindById(47);
    Props p(pdf, fx.db());
    QCOMPARE(p.sheet->windowTitle(), QStringLiteral("File Format Properties"));
    QCOMPARE(p.sheet->PageCount(), 2);
    QCOMPARE(p.sheet->Page(0)->Title(), QStringLiteral("Description"));
    QCOMPARE(p.sheet->Page(1)->Title(), QStringLiteral("Technical Info"));
    QVERIFY(controls::FindControl(p.sheet.get(), 0x3021)->isHidden());
    QVERIFY(controls::FindControl(p.sheet.get(), 9)->isHidden());
    QCOMPARE(p.Control<QLineEdit>(0, 1123)->text(), QString::fromStdU16String(pdf->Title()));
    auto* id = p.Control<QLineEdit>(1, 1118);
    QCOMPARE(id->text(), QStringLiteral("47"));
    QVERIFY(!id->isEnabled());
    QVERIFY(id->isReadOnly());
    // A user type: three tabs, the id shown enabled but read-only.
    FileType* mine = AddUserType(fx.db(), 1000, u"Mine", u"MIN", {8});
    Props q(mine, fx.db());
    QCOMPARE(q.sheet->PageCount(), 3);
    QCOMPARE(q.sheet->Page(2)->Title(), QStringLiteral("Signature"));
    QVERIFY(q.Control<QLineEdit>(1, 1118)->isEnabled());
    QVERIFY(q.Control<QLineEdit>(1, 1118)->isReadOnly());
  }

  void technicalApplyKeepsTheGroupAndMarksTheType() {
    test::TypesFixture fx;
    FileType* pdf = fx.db().FindById(47);
    Props p(pdf, fx.db());
    auto* combo = p.Control<QComboBox>(1, 1045);
    QVERIFY(combo->isEnabled());
    QCOMPARE(combo->currentText(), QStringLiteral("Documents"));
    // Groups in the database's order.
    const std::vector<FileTypeGroup*> groups = fx.db().Groups();
    QCOMPARE(combo->count(), int(groups.size()));
    for (int i = 0; i < combo->count(); ++i) QCOMPARE(combo->itemText(i), QString::fromStdU16String(groups[i]->Title()));
    p.Control<QLineEdit>(1, 1141)->setText(QStringLiteral("acrobat"));
    p.Control<QLineEdit>(1, 1150)->setText(QStringLiteral("PDF;FDF"));
    p.Ok();
    QVERIFY(!p.sheet->isVisible());
    QCOMPARE(pdf->categoryId(), CATEGORY_DOCUMENTS);
    QCOMPARE(pdf->wizardFlag, 1);
    QCOMPARE(pdf->NamePrefix(), u"acrobat");
    QCOMPARE(fx.db().FindByExtension(u"fdf"), pdf);  // the extension map follows
  }

  void numbersThatAreNotNumbersAreRefused() {
    test::TypesFixture fx;
    test::ScriptedBoxes boxes;
    FileType* pdf = fx.db().FindById(47);
    const std::int32_t size = pdf->typicalSizeKB();
    Props p(pdf, fx.db());
    auto* sizeEdit = p.Control<QLineEdit>(1, 1151);
    sizeEdit->setText(QString());
    p.Control<QLineEdit>(1, 1141)->setText(QStringLiteral("changed"));
    p.sheet->SetActivePage(0);
    p.Ok();
    QApplication::processEvents();
    QVERIFY(p.sheet->isVisible());
    QCOMPARE(p.sheet->ActiveIndex(), 1);
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown[0].text, QStringLiteral("Please enter an integer."));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(sizeEdit));
    QCOMPARE(pdf->typicalSizeKB(), size);
    QCOMPARE(pdf->NamePrefix(), u"adobe");  // nothing applied
    QCOMPARE(pdf->wizardFlag, 0);
  }

  void groupCategoryIsLocked() {
    test::TypesFixture fx;
    FileTypeGroup* images = const_cast<FileTypeGroup*>(fx.db().FindGroup(CATEGORY_IMAGES));
    Props p(images, fx.db());
    QCOMPARE(p.sheet->PageCount(), 2);
    auto* combo = p.Control<QComboBox>(1, 1045);
    QVERIFY(!combo->isEnabled());
    QCOMPARE(combo->currentText(), QStringLiteral("Images"));
    combo->setCurrentIndex(0);  // even if it were changed
    p.Ok();
    QCOMPARE(images->categoryId(), CATEGORY_IMAGES);
    QCOMPARE(images->typeId(), 0);
    // Its types still have their group after a restart.
    fx.db().SaveFileTypes();
    auto restart = fx.Reopen();
    QCOMPARE(restart.db->FindById(83)->categoryId(), CATEGORY_IMAGES);
    QVERIFY(restart.db->FindGroup(CATEGORY_IMAGES));
  }

  void aRenameToAnotherTypesNameIsRefused_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("control");
    QTest::addColumn<QString>("text");
    QTest::newRow("title") << 0 << 1123 << "alpha";
    QTest::newRow("extensions") << 1 << 1150 << "aaa;bbb";
  }
  void aRenameToAnotherTypesNameIsRefused() {
    QFETCH(int, page);
    QFETCH(int, control);
    QFETCH(QString, text);
    test::TypesFixture fx;
    test::ScriptedBoxes boxes;
    AddUserType(fx.db(), 1000, u"Alpha", u"AAA", {4});
    FileType* beta = AddUserType(fx.db(), 1000, u"Beta", u"BBB", {4});
    // Beta would be saved as "-144.1000.alpha.aaa" ~ Alpha's "-144.1000.Alpha.AAA".
    {
      auto edit = fx.db().LockForEdit();
      if (page == 0) beta->SetExtensions(u"AAA");
      if (page == 1) beta->SetTitle(u"Alpha");
    }
    const std::u16string nameBefore = beta->RegistryValueName();
    Props p(beta, fx.db());
    auto* edit = p.Control<QLineEdit>(page, control);
    edit->setText(text);
    p.Ok();
    QApplication::processEvents();
    QVERIFY(p.sheet->isVisible());
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown[0].text,
             QStringLiteral("The file type \"Alpha\" is already stored under the same name. Change the title, the "
                            "extensions or the group."));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(edit));
    QCOMPARE(beta->RegistryValueName(), nameBefore);
    // Another name goes through, and both types are there after a restart.
    edit->setText(page == 0 ? QStringLiteral("Gamma") : QStringLiteral("CCC"));
    p.Ok();
    QVERIFY(!p.sheet->isVisible());
    QVERIFY(fx.db().SaveFileTypes());
    auto restart = fx.Reopen();
    int users = 0;
    for (FileType* t : restart.db->Types()) users += t->typeId() == 1000;
    QCOMPARE(users, 2);
  }

  void userTypeWithoutSignatures() {
    test::TypesFixture fx;
    test::ScriptedBoxes boxes;
    FileType* empty = AddUserType(fx.db(), 1001, u"Empty", u"EMP", {});
    Props p(empty, fx.db());
    CObjectInformationView_SignatureStamp* page = p.Signature();
    QCOMPARE(page->DataView()->DataEditor()->Model().Size(), std::uint64_t(0));
    for (int id : {1245, 1244, 1136, 1239}) QVERIFY(!p.Control<QWidget>(2, id)->isEnabled());
    QVERIFY(p.Control<QPushButton>(2, 1030)->isEnabled());
    QCOMPARE(p.Count()->text(), QString());
    // "+": a new signature to fill in; OK with no count is refused.
    p.Click(1030);
    QCOMPARE(page->Index(), 0);
    QCOMPARE(p.Count()->text(), QStringLiteral("0"));
    QCOMPARE(page->DataView()->MaskEditor()->Model().Size(), std::uint64_t(512));
    QCOMPARE(empty->GetSignatureCount(), std::size_t(0));
    p.Ok();
    QApplication::processEvents();
    QVERIFY(p.sheet->isVisible());
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown[0].text, QStringLiteral("Please enter an integer between 1 and 512."));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(p.Count()));
    p.Count()->setText(QStringLiteral("4"));
    p.Ok();
    QVERIFY(!p.sheet->isVisible());
    QCOMPARE(Lengths(*empty), std::vector<std::uint16_t>{8});
  }

  void plusFromTheFirstOfThree() {
    test::TypesFixture fx;
    FileType* t = AddUserType(fx.db(), 1002, u"Three", u"THR", {8, 10, 12});
    Props p(t, fx.db());
    CObjectInformationView_SignatureStamp* page = p.Signature();
    QCOMPARE(p.IndexText(), QStringLiteral("00"));
    QCOMPARE(p.Count()->text(), QStringLiteral("8"));
    p.Count()->setText(QStringLiteral("20"));
    p.Click(1030);
    QCOMPARE(page->Index(), 3);
    QCOMPARE(p.IndexText(), QStringLiteral("03"));
    QCOMPARE(p.Count()->text(), QStringLiteral("0"));
    // The first keeps what was typed for it; the new one is not stored yet.
    QCOMPARE(Lengths(*t), (std::vector<std::uint16_t>{40, 20, 24}));
    // The new signature shows the new pattern: values 0, mask 0xFF.
    const CHexEditorCtrl* mask = page->DataView()->MaskEditor();
    QCOMPARE(mask->Model().Size(), std::uint64_t(512));
    QCOMPARE(page->WorkingCopy()->GetSignature(3).GetPattern(0).Mask()[0], std::uint8_t(0xFF));
    // ">" at the last one changes nothing; "<" with a count 0 is refused.
    test::ScriptedBoxes boxes;
    p.Click(1244);
    QCOMPARE(page->Index(), 3);
    p.Click(1245);
    QCOMPARE(page->Index(), 3);
    QCOMPARE(boxes.shown.size(), 1);
    p.Count()->setText(QStringLiteral("2"));
    p.Click(1245);
    QCOMPARE(page->Index(), 2);
    QCOMPARE(p.Count()->text(), QStringLiteral("12"));
    QCOMPARE(Lengths(*t), (std::vector<std::uint16_t>{40, 20, 24, 4}));
    p.Ok();
    QCOMPARE(Lengths(*t), (std::vector<std::uint16_t>{40, 20, 24, 4}));
    QCOMPARE(t->HeaderI32(FileType::kSignatureCountOffset), 4);
  }

  void minusOnTheFirstAndOnTheSecond() {
    test::TypesFixture fx;
    FileType* t = AddUserType(fx.db(), 1003, u"Three", u"THR", {8, 10, 12});
    Props p(t, fx.db());
    CObjectInformationView_SignatureStamp* page = p.Signature();
    p.Click(1136);  // the first can't be removed
    QCOMPARE(page->Index(), 0);
    QCOMPARE(t->GetSignatureCount(), std::size_t(3));
    p.Click(1244);
    QCOMPARE(page->Index(), 1);
    QCOMPARE(p.Count()->text(), QStringLiteral("10"));
    p.Click(1136);
    QCOMPARE(page->Index(), 0);
    QCOMPARE(p.IndexText(), QStringLiteral("00"));
    QCOMPARE(p.Count()->text(), QStringLiteral("8"));
    QCOMPARE(Lengths(*t), (std::vector<std::uint16_t>{16, 24}));
    // The views show the first signature's bytes.
    const auto values = page->WorkingCopy()->GetSignature(0).GetPattern(0).Data();
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(values.data()), 4), QByteArray("SIG0"));
    p.Ok();
    QCOMPARE(Lengths(*t), (std::vector<std::uint16_t>{16, 24}));
  }

  void comparedLengthIsAByteCount() {
    test::TypesFixture fx;
    FileType* t = AddUserType(fx.db(), 1004, u"Counted", u"CNT", {1});
    Props p(t, fx.db());
    p.Signature();
    QCOMPARE(p.Count()->text(), QStringLiteral("1"));
    p.Count()->setText(QStringLiteral("16"));
    p.Ok();
    QVERIFY(!p.sheet->isVisible());
    QCOMPARE(Lengths(*t), std::vector<std::uint16_t>{32});
    QCOMPARE(t->GetSignature(0).GetPattern(0).kind(), std::int32_t(PATTERN_MASKED));
    // The type matches on exactly those 16 bytes.
    std::vector<std::uint8_t> unit(512, 0xEE);
    const std::string head = "SIG0-HEADER-BYTES";
    std::memcpy(unit.data(), head.data(), 16);
    QVERIFY(t->Match(unit));
    unit[15] ^= 1;
    QVERIFY(!t->Match(unit));
    unit[15] ^= 1;
    unit[16] ^= 1;
    QVERIFY(t->Match(unit));
    QVERIFY(!t->Match(std::vector<std::uint8_t>(512, 0)));
    // A count past the value bytes is refused.
    test::ScriptedBoxes boxes;
    Props q(t, fx.db());
    q.Signature();
    QCOMPARE(q.Count()->text(), QStringLiteral("16"));
    q.Count()->setText(QStringLiteral("513"));
    q.Ok();
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(Lengths(*t), std::vector<std::uint16_t>{32});
  }

  void hexEditsReachTheTypeOnOk() {
    test::TypesFixture fx;
    FileType* t = AddUserType(fx.db(), 1005, u"Edited", u"EDT", {4});
    Props p(t, fx.db());
    CObjectInformationView_SignatureStamp* page = p.Signature();
    CHexEditorCtrl* values = page->DataView()->DataEditor();
    QCOMPARE(page->DataView()->DataPane()->Title(), QStringLiteral("Signature Data"));
    QCOMPARE(page->DataView()->MaskPane()->Title(), QStringLiteral("Signature Mask"));
    QVERIFY(!page->DataView()->DataPane()->CloseButton());
    values->setFocus();
    values->SetSelection(0, 0);
    QTest::keyClicks(values, QStringLiteral("58"));  // 'X' over the first byte
    QCOMPARE(t->GetSignature(0).GetPattern(0).Data()[0], std::uint8_t('S'));  // not yet
    p.Ok();
    QCOMPARE(t->GetSignature(0).GetPattern(0).Data()[0], std::uint8_t('X'));
  }

  void propertiesFromTheTrees_data() {
    QTest::addColumn<bool>("search");
    QTest::newRow("search tree") << true;
    QTest::newRow("filter tree") << false;
  }
  void propertiesFromTheTrees() {
    QFETCH(bool, search);
    test::TypesFixture fx;
    std::unique_ptr<CFileTypeTreeView> tree;
    if (search)
      tree = std::make_unique<CSearchFileTypeTreeView>();
    else
      tree = std::make_unique<CObjectInformationTreeView>();
    tree->SetDatabase(&fx.db());
    tree->Fill();
    tree->LoadChecks();
    tree->resize(400, 500);
    tree->show();
    QVERIFY(QTest::qWaitForWindowExposed(tree.get()));
    FileType* pdf = fx.db().FindById(47);
    QTreeWidgetItem* item = tree->ItemOf(pdf);
    tree->scrollToItem(item);
    QApplication::processEvents();
    QString shownTitle;
    test::OnNextModal([&](QDialog* dialog) {
      auto* sheet = qobject_cast<CObjectInformationView*>(dialog);
      QVERIFY(sheet);
      auto* title = FindControlAs<QLineEdit>(sheet->Page(0), 1123);
      shownTitle = FindControlAs<QPlainTextEdit>(sheet->Page(0), 1139)->toPlainText();
      QVERIFY(title->text().isEmpty());  // built-in types have no title
      title->setText(QStringLiteral("Acrobat"));
      FindControlAs<QPushButton>(sheet, 1)->click();
    });
    const QRect rect = tree->visualItemRect(item);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, QPoint(rect.right() - 10, rect.center().y()));
    QCOMPARE(shownTitle, QString::fromStdU16String(u"Portable Document Format (Adobe Acrobat)"));
    QCOMPARE(pdf->Title(), u"Acrobat");
    QCOMPARE(item->text(0), QStringLiteral("Acrobat"));
    // Properties with nothing selected does nothing.
    tree->clearSelection();
    tree->setCurrentItem(nullptr);
    QVERIFY(!tree->ShowProperties());
  }

  void screenshots() {
    test::TypesFixture fx;
    FileType* t = AddUserType(fx.db(), 1000, u"Camera RAW sample", u"CRW;RAW", {16, 8});
    {
      auto edit = fx.db().LockForEdit();
      t->SetDescription(u"Raw pictures from the camera, as the New Signature Wizard found them in three samples.");
      t->SetTechnicalText(u"https://example.invalid/formats/crw");
      t->SetNamePrefix(u"raw");
    }
    Props p(t, fx.db());
    p.sheet->resize(p.sheet->width(), p.sheet->height());
    const char* names[] = {"format_description", "format_technical_info", "format_signature"};
    for (int page = 0; page < 3; ++page) {
      p.sheet->SetActivePage(page);
      QVERIFY(!test::SaveScreenshot(p.sheet.get(), QStringLiteral("dialogs"), QString::fromLatin1(names[page])).isEmpty());
    }
  }
};

// Pages applied on the user-interface thread while other threads look the type up
// and copy the searched types, as a signature pass does.
class CObjectInformationViewThreads : public QObject {
  Q_OBJECT

 private slots:
  void lookupsSeeTheTypeBeforeOrAfterAnEdit() {
    test::TypesFixture fx;
    FileTypeDatabase& db = fx.db();
    FileType* t = AddUserType(db, 1000, u"Shared", u"S0", {2, 2});
    {
      auto edit = db.LockForEdit();
      t->SetNamePrefix(u"p0");
    }
    const std::uint32_t key = t->key();
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0}, seen{0};
    std::thread facts([&] {
      while (!stop.load()) {
        FileTypeFacts f;
        if (!db.FindByKey(key, f)) ++wrong;
        // Prefix "p<n>" and extension "S<n>" change together on one page.
        else if (f.namePrefix.substr(1) != f.extension.substr(1)) ++wrong;
        ++seen;
      }
    });
    std::thread pass([&] {
      while (!stop.load()) {
        SignatureIndex index(db);
        for (std::size_t i = 0; i < index.size(); ++i) {
          if (index[i].typeKey != key) continue;
          // Two signatures, each a whole masked pattern with a count that was set.
          const auto& sigs = index[i].signatures;
          if (sigs.size() != 2) ++wrong;
          for (const Signature& s : sigs) {
            const SignaturePattern& pattern = s.GetPattern(0);
            if (pattern.size() != 32 + 1024 || pattern.length() < 4 || pattern.length() % 2 != 0) ++wrong;
          }
        }
        ++seen;
      }
    });
    // The pages are driven unshown, as the sheet drives them on OK (Qt's painting
    // threads are beyond the thread checker).
    for (int round = 1; round <= 12; ++round) {
      CObjectInformationView_TechDecription technical(t, &db);
      CObjectInformationView_SignatureStamp signature(t, &db);
      technical.OnInitDialog();
      signature.OnInitDialog();
      FindControlAs<QLineEdit>(&technical, 1141)->setText(QStringLiteral("p%1").arg(round));
      FindControlAs<QLineEdit>(&technical, 1150)->setText(QStringLiteral("S%1").arg(round));
      QCOMPARE(technical.OnApply(), int(controls::kApplyAccepted));
      // Both signatures get the same count: the first on ">", the second on OK.
      auto* count = FindControlAs<QLineEdit>(&signature, 1239);
      count->setText(QString::number(round + 1));
      QVERIFY(signature.OnNext());
      count->setText(QString::number(round + 1));
      QCOMPARE(signature.OnApply(), int(controls::kApplyAccepted));
    }
    while (seen.load() < 4) QThread::msleep(1);
    stop = true;
    facts.join();
    pass.join();
    QCOMPARE(wrong.load(), 0);
    QCOMPARE(Lengths(*t), (std::vector<std::uint16_t>{26, 26}));
  }
};

VANDREL_QT_TEST(CObjectInformationViewTest);
VANDREL_QT_TEST(CObjectInformationViewThreads);
#include "ObjectInformationViewTest.moc"
