// The New Signature Wizard's pages driven by clicks, in the program as "/cs" starts
// it: the file list and its buttons, samples that can't be read, the fragment
// editor's moves and refusals, the id rules, and what Finish does when something
// fails. The whole road through the real engine is in the end-to-end test.
#include <QCheckBox>
#include <QComboBox>
#include <QProgressBar>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>

#include <filesystem>

#include "dialogs/SignatureDataViewCtrl.h"
#include "search/FileType.h"
#include "support/QtTestRegistry.h"
#include "tests/wizards/WizardTestSupport.h"
#include "wizards/NewSignature.h"
#include "wizards/NewSignature_Step1.h"
#include "wizards/NewSignature_Step2.h"
#include "wizards/NewSignature_Step3.h"
#include "controls/HexEditorCtrl.h"
#include "dialogs/SignatureDataViewCtrl.h"

namespace {

// Sample files in a folder of their own.
struct Samples {
  test::TempDir dir{"vandrel-samples-"};
  QString folder() const { return QString::fromStdString(dir.path()); }
  QString Write(const std::string& name, std::uint32_t seed, std::size_t size = 2000) {
    test::WriteFile(dir / name, test::FormatFile(seed, size));
    return QString::fromStdString(dir / name);
  }
};

// Picks files on page 1 through its open dialog.
bool PickFiles(test::WizardWorld& w, const QString& folder, const QStringList& names) {
  QStringList quoted;
  for (const QString& n : names) quoted << QStringLiteral("\"%1\"").arg(n);
  bool answered = false;
  test::AnswerFileDialog(folder, quoted.join(QLatin1Char(' ')), nullptr, &answered);
  if (!w.Click(1135)) return false;
  return answered;
}

QStringList ListEntries(test::WizardWorld& w) { return w.wizard->Step1()->Entries(); }

// From page 1 to page 3 by "Skip".
bool SkipToFragments(test::WizardWorld& w) {
  if (!w.Click(1155)) return false;
  return w.wizard->ActiveIndex() == 2;
}

// Types bytes (hex digits) at the start of the current fragment's data, as a
// person does in its "Signature Data" editor.
bool TypeFragmentData(test::WizardWorld& w, const QString& hex) {
  CHexEditorCtrl* editor = w.wizard->Step3()->DataView()->DataEditor();
  if (!editor) return false;
  editor->setFocus();
  QTest::keyClick(editor, Qt::Key_Home, Qt::ControlModifier);
  QTest::keyClicks(editor, hex);
  return true;
}

// "Skip", then the first fragment given a first byte: a fragment of zeros alone
// is refused on Next.
bool SkipToUsableFragment(test::WizardWorld& w) { return SkipToFragments(w) && TypeFragmentData(w, QStringLiteral("56")); }

int FragmentCount() { return g_NewSignature ? int(g_NewSignature->GetSignatureCount()) : 0; }
int FragmentBytes(int i) { return g_NewSignature->GetSignature(std::size_t(i)).GetPattern(0).length() / 2; }

}  // namespace

class SignatureCreateWizardTest : public QObject {
  Q_OBJECT

 private slots:
  void TheWizardIsModeOnehundredsTopWindow() {
    test::WizardWorld w;
    QVERIFY(w.Start());
    QCOMPARE(QString::fromLatin1(w.startup->LastPath()), QStringLiteral("run"));
    QCOMPARE(w.wizard->PageCount(), 6);
    const QStringList titles{"Add files for analysis",       "Scanning for matching fragments",
                             "Edit detected matches",        "Enter additional information",
                             "Provide description",          "Good luck!"};
    const int ids[] = {311, 312, 320, 321, 322, 315};
    for (int i = 0; i < 6; ++i) {
      QCOMPARE(w.wizard->Page(i)->HeaderTitle(), titles[i]);
      QVERIFY(w.wizard->Page(i)->HeaderSubTitle().isEmpty());
      QCOMPARE(w.wizard->Page(i)->DialogId(), ids[i]);
    }
    QVERIFY(w.wizard->IsWizard97());
    QCOMPARE(w.wizard->HeaderBitmapId(), 317);
    QCOMPARE(w.wizard->ActiveIndex(), 0);
    QVERIFY(g_NewSignature);
    QCOMPARE(int(SignatureBuffer[0]), 0x00);
    QCOMPARE(int(SignatureBuffer[511]), 0x00);
    QCOMPARE(int(SignatureBuffer[512]), 0xFF);
    QCOMPARE(int(SignatureBuffer[1023]), 0xFF);
  }

  void OneEntryKeepsNextOffTwoEnableIt() {
    test::WizardWorld w;
    QVERIFY(w.Start());
    Samples s;
    const QString a = s.Write("a.vdt", 1), b = s.Write("b.vdt", 2);
    QVERIFY(!w.NextEnabled());
    QVERIFY(PickFiles(w, s.folder(), {"a.vdt"}));
    QCOMPARE(ListEntries(w), QStringList{a});
    QVERIFY(!w.NextEnabled());
    QVERIFY(PickFiles(w, s.folder(), {"b.vdt", "a.vdt"}));
    QCOMPARE(ListEntries(w), (QStringList{a, b}));  // sorted, a listed file once
    QCOMPARE(w.wizard->Step1()->ChosenPaths().size(), 2);
    QVERIFY(w.NextEnabled());
    // "Remove" takes the selected entries out.
    w.wizard->Step1()->List()->item(0)->setSelected(true);
    QVERIFY(w.Click(1136));
    QCOMPARE(ListEntries(w), QStringList{b});
    QVERIFY(!w.NextEnabled());
  }

  void AnUnreadableSampleIsLeftOutAndLogged() {
    test::WizardWorld w;
    QVERIFY(w.Start());
    Samples s;
    const QString a = s.Write("a.vdt", 1), b = s.Write("b.vdt", 2);
    QVERIFY(PickFiles(w, s.folder(), {"a.vdt", "b.vdt"}));
    std::filesystem::remove(b.toStdString());
    // One readable file left: the page says so and stays.
    QVERIFY(w.ClickNext());
    QCOMPARE(w.wizard->ActiveIndex(), 0);
    QCOMPARE(w.boxes.shown.size(), 1);
    QVERIFY(w.boxes.shown[0].text.contains(b));
    // A third file: two samples, the unreadable one logged.
    const QString c = s.Write("c.vdt", 3, 100);
    QVERIFY(PickFiles(w, s.folder(), {"c.vdt"}));
    QVERIFY(w.ClickNext());
    QCOMPARE(w.wizard->ActiveIndex(), 1);
    QVERIFY(QTest::qWaitFor([&] { return w.wizard->Step2()->Analysed(); }, 5000));
    QCOMPARE(g_SignatureSamples.size(), std::size_t(2));
    const QString log = w.wizard->Step2()->Log()->toPlainText();
    QCOMPARE(log, QStringLiteral("Begin Analyse 2 files.\nLeft out, can't be read: %1\nAnalyse: %2\nAnalyse: %3\n"
                                 "End Analyse 2 files.")
                      .arg(b, a, c));
    QVERIFY(w.NextEnabled());
    // The short sample clears the mask past its 100 bytes.
    QCOMPARE(int(SignatureBufferMask()[15]), 0xFF);
    QCOMPARE(int(SignatureBufferMask()[100]), 0x00);
    QCOMPARE(int(SignatureBufferMask()[511]), 0x00);
    QCOMPARE(w.wizard->Step2()->Bar()->value(), w.wizard->Step2()->Bar()->maximum());
    QCOMPARE(w.wizard->Step2()->Bar()->maximum(), 3);
  }

  void SkipShowsTheUntouchedBuffer() {
    test::WizardWorld w;
    QVERIFY(w.Start());
    QVERIFY(SkipToFragments(w));
    QCOMPARE(FragmentCount(), 1);
    const SignaturePattern& p = g_NewSignature->GetSignature(0).GetPattern(0);
    QCOMPARE(p.kind(), int(PATTERN_MASKED));
    QCOMPARE(p.offset(), 0);
    QCOMPARE(p.size(), std::size_t(32 + 1024));
    QCOMPARE(int(p.Data()[0]), 0);
    QCOMPARE(int(p.Mask()[0]), 0xFF);
    // The count proposed: up to the last mask byte that is not zero.
    QCOMPARE(w.wizard->Step3()->CountEdit()->text(), QStringLiteral("512"));
    QCOMPARE(g_NewSignature->HeaderI32(kCoincidenceOffset), 0);
    QVERIFY(w.NextEnabled());
    QVERIFY(!w.Button(test::kBackId)->isEnabled());
  }

  void FragmentMovesAndRefusals() {
    test::WizardWorld w;
    QVERIFY(w.Start());
    QVERIFY(SkipToFragments(w));
    CNewSignature_Step3* page = w.wizard->Step3();
    auto* indexLabel = qobject_cast<QLabel*>(w.PageControl(1246));
    QVERIFY(indexLabel);
    // "<" and "-" do nothing on the first fragment.
    QVERIFY(w.Click(1245));
    QVERIFY(w.Click(1136));
    QCOMPARE(page->Index(), 0);
    QCOMPARE(FragmentCount(), 1);
    // Three fragments of 10, 20 and 30 bytes.
    QVERIFY(w.Type(1239, QStringLiteral("10")));
    QVERIFY(w.Click(1030));
    QVERIFY(w.Type(1239, QStringLiteral("20")));
    QVERIFY(w.Click(1030));
    QVERIFY(w.Type(1239, QStringLiteral("30")));
    QCOMPARE(page->Index(), 2);
    QCOMPARE(indexLabel->text(), QStringLiteral("02"));
    // ">" does nothing on the last.
    QVERIFY(w.Click(1244));
    QCOMPARE(page->Index(), 2);
    QCOMPARE(page->CountEdit()->text(), QStringLiteral("30"));
    // "+" from a middle fragment shows the new last one and changes no other.
    QVERIFY(w.Click(1245));
    QCOMPARE(page->Index(), 1);
    QCOMPARE(FragmentBytes(2), 30);  // stored by the move
    QCOMPARE(page->CountEdit()->text(), QStringLiteral("20"));
    QVERIFY(w.Click(1030));
    QCOMPARE(FragmentCount(), 4);
    QCOMPARE(page->Index(), 3);
    QCOMPARE(indexLabel->text(), QStringLiteral("03"));
    QCOMPARE(FragmentBytes(0), 10);
    QCOMPARE(FragmentBytes(1), 20);
    QCOMPARE(FragmentBytes(2), 30);
    QCOMPARE(page->CountEdit()->text(), QStringLiteral("512"));
    // The view shows no fragment past the last.
    QCOMPARE(page->DataView()->ShowPattern(*g_NewSignature, FragmentCount()), 0);
    QCOMPARE(page->DataView()->ShowPattern(*g_NewSignature, 3), 1);
    // A count outside 1..512 refuses the move.
    for (const QString& bad : {QStringLiteral("0"), QStringLiteral("513"), QString()}) {
      const int boxes = w.boxes.shown.size();
      QVERIFY(w.Type(1239, bad));
      QVERIFY(w.Click(1245));
      QCOMPARE(page->Index(), 3);
      QCOMPARE(w.boxes.shown.size(), boxes + 1);
      w.ClickNext();
      QCOMPARE(w.wizard->ActiveIndex(), 2);
    }
    QVERIFY(w.Type(1239, QStringLiteral("4")));
    // "-" on the second of four: the first is shown, the rest close up.
    QVERIFY(w.Click(1245));
    QVERIFY(w.Click(1245));
    QCOMPARE(page->Index(), 1);
    QVERIFY(w.Click(1136));
    QCOMPARE(page->Index(), 0);
    QCOMPARE(FragmentCount(), 3);
    QCOMPARE(FragmentBytes(1), 30);
    QCOMPARE(FragmentBytes(2), 4);
    QCOMPARE(page->CountEdit()->text(), QStringLiteral("10"));
    // The kind stays masked bytes: "Check by bits" is bound to nothing.
    QVERIFY(!qobject_cast<QCheckBox*>(w.PageControl(1112))->isEnabled());
    for (int i = 0; i < FragmentCount(); ++i)
      QCOMPARE(g_NewSignature->GetSignature(std::size_t(i)).GetPattern(0).kind(), int(PATTERN_MASKED));
  }

  // Two samples that agree on their first 8 bytes only: 8 is proposed. An
  // unedited "+" fragment (zeros under a full mask) is refused on Next, shown, and
  // said why; given a byte it passes.
  void TheProposalIsTheAgreeingStartAndAZeroFragmentIsRefused() {
    test::WizardWorld w;
    QVERIFY(w.Start());
    Samples s;
    std::vector<std::uint8_t> a(600, 0x11), b(600, 0x22);
    for (std::size_t k = 0; k < 8; ++k) a[k] = b[k] = std::uint8_t(0xA0 + k);
    test::WriteFile(s.dir / "a.vdt", a);
    test::WriteFile(s.dir / "b.vdt", b);
    QVERIFY(PickFiles(w, s.folder(), {"a.vdt", "b.vdt"}));
    QVERIFY(w.ClickNext());
    QVERIFY(QTest::qWaitFor([&] { return w.wizard->Step2()->Analysed(); }, 5000));
    QVERIFY(w.ClickNext());
    QCOMPARE(w.wizard->ActiveIndex(), 2);
    CNewSignature_Step3* page = w.wizard->Step3();
    QCOMPARE(page->CountEdit()->text(), QStringLiteral("8"));
    QVERIFY(w.Click(1030));
    QCOMPARE(page->Index(), 1);
    QCOMPARE(page->CountEdit()->text(), QStringLiteral("512"));
    QVERIFY(w.Click(1245));  // back to the first
    const int boxes = w.boxes.shown.size();
    w.ClickNext();
    QCOMPARE(w.wizard->ActiveIndex(), 2);
    QCOMPARE(w.boxes.shown.size(), boxes + 1);
    QVERIFY2(w.boxes.shown.back().text.startsWith(QStringLiteral("Fragment 01: ")), qPrintable(w.boxes.shown.back().text));
    QVERIFY(w.boxes.shown.back().text.contains(QStringLiteral("every empty sector")));
    QCOMPARE(page->Index(), 1);  // the refused fragment is shown
    QVERIFY(TypeFragmentData(w, QStringLiteral("56")));
    QVERIFY(w.ClickNext());
    QCOMPARE(w.wizard->ActiveIndex(), 3);
    QCOMPARE(FragmentBytes(0), 8);
    QCOMPARE(int(g_NewSignature->GetSignature(1).GetPattern(0).Data()[0]), 0x56);
  }

  void TheIdMustBeFreeAndInRange() {
    test::WizardWorld w;
    QVERIFY(w.Start());
    g_FileTypes->AddFileType(CATEGORY_DOCUMENTS, 1000, 1024, u"Taken", u"", u"", u"taken", u"TKN");
    QVERIFY(SkipToUsableFragment(w));
    QVERIFY(w.ClickNext());
    QCOMPARE(w.wizard->ActiveIndex(), 3);
    auto* id = qobject_cast<QLineEdit*>(w.PageControl(1118));
    QCOMPARE(id->text(), QStringLiteral("1001"));
    QCOMPARE(qobject_cast<QLineEdit*>(w.PageControl(1150))->text(), QStringLiteral("new"));
    QCOMPARE(qobject_cast<QLineEdit*>(w.PageControl(1141))->text(), QStringLiteral("newprefix"));
    QCOMPARE(qobject_cast<QLineEdit*>(w.PageControl(1151))->text(), QStringLiteral("1024"));
    QCOMPARE(qobject_cast<QLineEdit*>(w.PageControl(316))->text(), QStringLiteral("50"));
    QCOMPARE(qobject_cast<QComboBox*>(w.PageControl(1045))->currentText(), QStringLiteral("Documents"));
    struct Case {
      const char* id;
      const char* coincidence;
      bool refused;
    } cases[] = {{"999", "0", true}, {"1000", "0", true}, {"32768", "0", true}, {"", "0", true},
                 {"1002", "101", true}, {"1002", "100", false}};
    for (const Case& c : cases) {
      const int boxes = w.boxes.shown.size();
      QVERIFY(w.Type(1118, QString::fromLatin1(c.id)));
      QVERIFY(w.Type(1163, QString::fromLatin1(c.coincidence)));
      QVERIFY(w.ClickNext());
      QCOMPARE(w.wizard->ActiveIndex(), c.refused ? 3 : 4);
      QCOMPARE(w.boxes.shown.size(), boxes + (c.refused ? 1 : 0));
    }
    QCOMPARE(g_NewSignature->typeId(), 1002);
    QCOMPARE(g_NewSignature->HeaderI32(kCoincidenceOffset), 100);
    QCOMPARE(g_NewSignature->categoryId(), int(CATEGORY_DOCUMENTS));
  }

  void ATypeTheDatabaseWouldRefuseKeepsTheWizardOpen() {
    test::WizardWorld w;
    QVERIFY(w.Start());
    QVERIFY(SkipToUsableFragment(w));
    QVERIFY(w.Type(1239, QStringLiteral("8")));
    QVERIFY(w.ClickNext());
    QVERIFY(w.ClickNext());  // id 1000
    QVERIFY(w.Type(1123, QStringLiteral("Late clash")));
    QVERIFY(w.ClickNext());
    QCOMPARE(w.wizard->ActiveIndex(), 5);
    // Meanwhile another type took the id.
    g_FileTypes->AddFileType(CATEGORY_DOCUMENTS, 1000, 1024, u"Early bird", u"", u"", u"bird", u"BRD");
    QVERIFY(w.ClickCheckBox(1156));
    QVERIFY(w.Click(test::kFinishId, false));
    QVERIFY(w.wizard->isVisible());
    QVERIFY(!g_App->IsQuitting());
    QCOMPARE(w.boxes.shown.size(), 1);
    QVERIFY(w.boxes.shown[0].text.contains(QStringLiteral("Early bird")));
    // Back to the id, mended, and Finish adds it.
    QVERIFY(w.Click(test::kBackId, false));
    QVERIFY(w.Click(test::kBackId, false));
    QVERIFY(w.Type(1118, QStringLiteral("1001")));
    QVERIFY(w.ClickNext());
    QVERIFY(w.ClickNext());
    QVERIFY(w.Click(test::kFinishId, false));
    QVERIFY(g_App->IsQuitting());
    const FileType* added = g_FileTypes->FindById(1001);
    QVERIFY(added);
    QCOMPARE(added, g_NewSignature);
    QVERIFY(added->Title() == u"Late clash");
  }

  void AFailedFileWriteIsReportedAndTheRestGoesOn() {
    test::WizardWorld w;
    QVERIFY(w.Start());
    QVERIFY(SkipToUsableFragment(w));
    QVERIFY(w.Type(1239, QStringLiteral("8")));
    QVERIFY(w.ClickNext());
    QVERIFY(w.ClickNext());
    QVERIFY(w.ClickNext());
    QVERIFY(w.ClickCheckBox(1113));
    // /proc takes no new files.
    test::AnswerFileDialog(QStringLiteral("/proc"), QStringLiteral("vandrel-test"));
    QVERIFY(w.Click(test::kFinishId, false));
    QCOMPARE(w.boxes.shown.size(), 1);
    QCOMPARE(w.boxes.shown[0].text, QStringLiteral("Error write a file!"));
    QCOMPARE(w.boxes.shown[0].caption, QString());
    QCOMPARE(w.opened.size(), std::size_t(1));
    QVERIFY(g_FileTypes->FindById(1000));
    QVERIFY(g_App->IsQuitting());
  }

  void TwentyFragmentsAreTooLargeToSend() {
    test::WizardWorld w;
    QVERIFY(w.Start());
    QVERIFY(SkipToUsableFragment(w));
    QVERIFY(w.Type(1239, QStringLiteral("8")));
    for (int i = 1; i < 20; ++i) {
      QVERIFY(w.Click(1030));
      QVERIFY(TypeFragmentData(w, QStringLiteral("56")));
    }
    QCOMPARE(FragmentCount(), 20);
    QVERIFY(w.ClickNext());
    QVERIFY(w.ClickNext());
    QVERIFY(w.ClickNext());
    QVERIFY(w.ClickCheckBox(1113));
    QVERIFY(w.ClickCheckBox(1156));
    QVERIFY(w.ClickCheckBox(1112));
    QVERIFY(w.Click(test::kFinishId, false));
    QCOMPARE(w.boxes.shown.size(), 1);
    QVERIFY(w.boxes.shown[0].text.contains(QStringLiteral("too large to send")));
    QVERIFY(w.opened.empty());
    QVERIFY(g_App->IsQuitting());  // Finish goes on to the end
    QVERIFY(!g_FileTypes->FindById(1000));
  }

  void FOneIsTheHelpButton() {
    test::WizardWorld w;
    QVERIFY(w.Start());
    QList<QPair<int, QWidget*>> calls;
    controls::CResizablePropertySheet::SetHelpHandler(
        [&](int command, QWidget* window) { calls.append({command, window}); });
    w.wizard->activateWindow();
    QTest::keyClick(w.wizard, Qt::Key_F1);
    QVERIFY(w.Click(9, false));
    controls::CResizablePropertySheet::SetHelpHandler(nullptr);
    QCOMPARE(calls.size(), 2);
    for (const auto& c : calls) {
      QCOMPARE(c.first, 0);
      QCOMPARE(c.second, static_cast<QWidget*>(w.wizard->Step1()));
    }
  }

  void CancelAndTheCloseBoxEndTheProgram_data() {
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("Cancel") << false;
    QTest::newRow("close box") << true;
  }
  void CancelAndTheCloseBoxEndTheProgram() {
    QFETCH(bool, closeBox);
    test::WizardWorld w;
    QVERIFY(w.Start());
    QVERIFY(!g_App->IsQuitting());
    if (closeBox) w.wizard->close();
    else QVERIFY(w.Click(test::kCancelId, false));
    QVERIFY(g_App->IsQuitting());
    QVERIFY(!w.wizard->isVisible());
    QCOMPARE(g_FileTypes->FindById(1000), nullptr);
  }
};

VANDREL_QT_TEST(SignatureCreateWizardTest);
#include "SignatureCreateWizardTest.moc"
