// The New Signature Wizard end to end, as a user meets it: "VandrelPro /cs"
// offscreen, two sample files of a made-up format (a common 16-byte header,
// different bodies) picked on the first page, every page by clicks, Finish adding
// the type and saving it as a .filesig file and sending it by mail. The registry
// holds the type, the file is its blob, the mail body decodes to the blob, and a
// sector pass over an image finds a third file of the format with the new type.
// Then "/addsig" of the file on a fresh configuration adds it (the built-in types
// are still made) and a second "/addsig" updates it.
//
// Screenshots of all six pages go to <build>/screenshots/wizards/.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>
#include <QUrlQuery>

#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "search/FileType.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "tests/wizards/WizardTestSupport.h"
#include "wizards/NewSignature.h"
#include "wizards/NewSignature_Step1.h"
#include "wizards/NewSignature_Step2.h"
#include "wizards/NewSignature_Step3.h"

namespace {

constexpr std::int64_t kPlantedOffset = 16 * 512;

// An image of 64 sectors: noise and zeros, and a third file of the format at
// sector 16.
std::vector<std::uint8_t> ImageWithThirdFile() {
  std::vector<std::uint8_t> image(64 * 512, 0);
  std::uint32_t x = 777;
  for (std::size_t i = 0; i < 8 * 512; ++i) {
    x = x * 1103515245u + 12345u;
    image[i] = std::uint8_t(x >> 16);
  }
  const std::vector<std::uint8_t> third = test::FormatFile(3, 2000);
  std::copy(third.begin(), third.end(), image.begin() + kPlantedOffset);
  return image;
}

}  // namespace

class SignatureWizardEndToEndTest : public QObject {
  Q_OBJECT

 private slots:
  void FromSamplesToASectorPassAndAnImport() {
    test::TempDir files("vandrel-e2e-");
    const QString folder = QString::fromStdString(files.path());
    test::WriteFile(files / "first.vdt", test::FormatFile(1));
    test::WriteFile(files / "second.vdt", test::FormatFile(2));
    const QString title = QStringLiteral("Vandrel test format");
    const std::string sigPath = files / "Vandrel test format.filesig";
    std::vector<std::uint8_t> blob;

    {
      test::WizardWorld w;
      QVERIFY(w.Start(u"/cs"));
      QCOMPARE(g_App->TopWindow(), w.wizard.data());
      QCOMPARE(w.wizard->ActiveIndex(), 0);

      // Page 1: the two samples through the open dialog.
      bool answered = false;
      test::AnswerFileDialog(folder, QStringLiteral("\"first.vdt\" \"second.vdt\""), nullptr, &answered);
      QVERIFY(w.Click(1135));
      QVERIFY(answered);
      QCOMPARE(w.wizard->Step1()->List()->count(), 2);
      QVERIFY(w.NextEnabled());
      QVERIFY(!test::SaveScreenshot(w.wizard, "wizards", "signature_1_files").isEmpty());
      QVERIFY(w.ClickNext());

      // Page 2: the analysis runs by itself once the page is shown.
      QCOMPARE(w.wizard->ActiveIndex(), 1);
      QVERIFY(QTest::qWaitFor([&] { return w.NextEnabled(); }, 5000));
      QVERIFY(w.wizard->Step2()->Log()->toPlainText().endsWith(QStringLiteral("End Analyse 2 files.")));
      for (std::size_t k = 0; k < 16; ++k) QCOMPARE(int(SignatureBufferMask()[k]), 0xFF);
      QVERIFY(!test::SaveScreenshot(w.wizard, "wizards", "signature_2_analysis").isEmpty());
      QVERIFY(w.ClickNext());

      // Page 3: the header's 16 bytes are the signature; a second fragment shown,
      // then removed again.
      QCOMPARE(w.wizard->ActiveIndex(), 2);
      QVERIFY(w.Type(1239, QStringLiteral("16")));
      QVERIFY(w.Click(1030));
      QCOMPARE(g_NewSignature->GetSignatureCount(), std::size_t(2));
      QVERIFY(w.Type(1239, QStringLiteral("4")));
      QVERIFY(w.Click(1245));  // back to the analysed fragment, one of two
      QCOMPARE(w.wizard->Step3()->Index(), 0);
      QVERIFY(!test::SaveScreenshot(w.wizard, "wizards", "signature_3_fragments").isEmpty());
      QVERIFY(w.Click(1244));
      QVERIFY(w.Click(1136));
      QCOMPARE(g_NewSignature->GetSignatureCount(), std::size_t(1));
      QCOMPARE(w.wizard->Step3()->CountEdit()->text(), QStringLiteral("16"));
      QVERIFY(w.ClickNext());

      // Page 4: the defaults, with the group chosen.
      QCOMPARE(w.wizard->ActiveIndex(), 3);
      QCOMPARE(qobject_cast<QLineEdit*>(w.PageControl(1150))->text(), QStringLiteral("VDT"));
      QCOMPARE(qobject_cast<QLineEdit*>(w.PageControl(1118))->text(), QStringLiteral("1000"));
      auto* groups = qobject_cast<QComboBox*>(w.PageControl(1045));
      groups->setCurrentIndex(groups->findText(QStringLiteral("Archives")));
      QVERIFY(w.Type(1141, QStringLiteral("vdtfile")));
      QVERIFY(!test::SaveScreenshot(w.wizard, "wizards", "signature_4_information").isEmpty());
      QVERIFY(w.ClickNext());

      // Page 5: the description.
      QCOMPARE(w.wizard->ActiveIndex(), 4);
      QVERIFY(w.Type(1123, title));
      auto* description = qobject_cast<QPlainTextEdit*>(w.PageControl(1139));
      description->setFocus();
      QTest::keyClicks(description, QStringLiteral("Files of the made-up test format."));
      QVERIFY(w.Type(1142, QStringLiteral("https://www.quenmar.example/formats/vdt")));
      QVERIFY(!test::SaveScreenshot(w.wizard, "wizards", "signature_5_description").isEmpty());
      QVERIFY(w.ClickNext());

      // Finish: add, save and send.
      QCOMPARE(w.wizard->ActiveIndex(), 5);
      QVERIFY(qobject_cast<QCheckBox*>(w.PageControl(1112))->isChecked());
      QVERIFY(qobject_cast<QCheckBox*>(w.PageControl(1156))->isChecked());
      QVERIFY(!qobject_cast<QCheckBox*>(w.PageControl(1113))->isChecked());
      QVERIFY(w.ClickCheckBox(1113));
      QVERIFY(qobject_cast<QCheckBox*>(w.PageControl(1113))->isChecked());
      QVERIFY(!test::SaveScreenshot(w.wizard, "wizards", "signature_6_finish").isEmpty());
      QString shownName;
      answered = false;
      test::AnswerFileDialog(folder, title, &shownName, &answered);
      QVERIFY(w.Click(test::kFinishId, false));
      QVERIFY(answered);
      QCOMPARE(shownName, title);
      QVERIFY(w.boxes.shown.isEmpty());
      QVERIFY(g_App->IsQuitting());
      QVERIFY(!w.wizard->isVisible());

      // The database holds the type, the registry its blob, the file the same blob.
      const FileType* type = g_FileTypes->FindById(1000);
      QVERIFY(type);
      QCOMPARE(type, g_NewSignature);
      QVERIFY(type->Title() == u"Vandrel test format");
      QVERIFY(type->Description() == u"Files of the made-up test format.");
      QVERIFY(type->TechnicalText() == u"https://www.quenmar.example/formats/vdt");
      QVERIFY(type->Extensions() == u"VDT");
      QVERIFY(type->NamePrefix() == u"vdtfile");
      QCOMPARE(type->categoryId(), int(CATEGORY_ARCHIVES));
      QCOMPARE(type->GetSignatureCount(), std::size_t(1));
      QCOMPARE(type->GetSignature(0).GetPattern(0).length(), 32);
      blob = type->Serialize();
      QCOMPARE(test::ReadFile(sigPath), blob);
      platform::RegistryStore stored(w.config.RegistryFile());
      std::vector<std::uint8_t> value;
      QCOMPARE(stored.QueryBinary(std::u16string(kProgramKey) + u"\\File Types", type->RegistryValueName(), value),
               platform::RegStatus::Ok);
      QCOMPARE(value, blob);

      // The mail link's body is the blob.
      QCOMPARE(w.opened.size(), std::size_t(1));
      const QUrl mail = w.opened[0];
      QCOMPARE(mail.scheme(), QStringLiteral("mailto"));
      QByteArray body = QUrlQuery(mail).queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded).toLatin1();
      body.replace("\r\n", "");
      QCOMPARE(QByteArray::fromBase64(body), QByteArray(reinterpret_cast<const char*>(blob.data()), blob.size()));

      // A sector pass over an image finds the third file of the format.
      const std::string imagePath = files / "disk.img";
      test::WriteFile(imagePath, ImageWithThirdFile());
      g_App->Settings().SetSignaturePass(1);
      auto image = w.startup->Computer()->OpenImageFile(platform::Utf8ToUtf16(imagePath));
      QVERIFY(image);
      QCOMPARE(w.startup->Computer()->StartAnalysis(image), 1);
      QTRY_VERIFY_WITH_TIMEOUT(!image->HasAnalysisThread(), 60000);
      CVolume::JoinAnalysisThreads();
      const FoundObject* found = image->Store().FindByOffset(kPlantedOffset);
      QVERIFY(found);
      QVERIFY(found->flags.Any(OBJ_CARVED));
      QCOMPARE(int(found->typeId), 1000);
      // The samples' own noise sectors hold no such file.
      int hits = 0;
      for (std::int64_t at = 0; at < 64 * 512; at += 512) {
        const FoundObject* r = image->Store().FindByOffset(at);
        hits += r && r->typeId == 1000;
      }
      QCOMPARE(hits, 1);
    }

    // "/addsig" on a fresh configuration: added, with the built-in types made.
    {
      test::WizardWorld w;
      w.startup->Main(JoinArguments({QStringLiteral("/addsig"), QString::fromStdString(sigPath)}));
      QCOMPARE(QString::fromLatin1(w.startup->LastPath()), QStringLiteral("addsig"));
      QCOMPARE(g_App->TopWindow(), nullptr);
      QCOMPARE(w.boxes.shown.size(), 1);
      QCOMPARE(w.boxes.shown[0].text,
               QStringLiteral("Signature file '%1' added!").arg(QString::fromStdString(sigPath)));
      QCOMPARE(w.boxes.shown[0].caption, QStringLiteral("ok"));

      // The next start reads the 104 built-in types and the new one.
      {
        CStartup::Seams seams;
        seams.isUserAdmin = [] { return true; };
        seams.runEventLoop = false;
        seams.programDir = QString::fromStdString(w.programDir.path());
        auto next = std::make_unique<CStartup>(seams);
        w.startup.swap(next);
        next.reset();
      }
      w.startup->BuildProgramObjects();
      QVERIFY(g_FileTypes->LoadFileTypes());
      QCOMPARE(g_FileTypes->TypeCount(), std::size_t(105));
      int builtin = 0;
      for (const FileType* t : g_FileTypes->Types()) builtin += t->typeId() < 1000;
      QCOMPARE(builtin, 104);
      const FileType* imported = g_FileTypes->FindById(1000);
      QVERIFY(imported);
      QCOMPARE(imported->Serialize(), blob);

      // A second "/addsig" updates it.
      {
        CStartup::Seams seams;
        seams.isUserAdmin = [] { return true; };
        seams.runEventLoop = false;
        seams.programDir = QString::fromStdString(w.programDir.path());
        auto next = std::make_unique<CStartup>(seams);
        w.startup.swap(next);
        next.reset();
      }
      w.startup->Main(JoinArguments({QStringLiteral("/addsig"), QString::fromStdString(sigPath)}));
      QCOMPARE(w.boxes.shown.size(), 2);
      QCOMPARE(w.boxes.shown[1].text,
               QStringLiteral("Signature file '%1' updated!").arg(QString::fromStdString(sigPath)));
      QCOMPARE(g_FileTypes->TypeCount(), std::size_t(105));
    }
  }
};

VANDREL_QT_TEST(SignatureWizardEndToEndTest);
#include "SignatureWizardEndToEndTest.moc"
