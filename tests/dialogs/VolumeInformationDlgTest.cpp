// The volume information sheet: its pages by file-system type, the values of each
// page over the fixture images and over volumes built in memory, and screenshots.
#include <QLabel>
#include <QTest>

#include "controls/ControlId.h"
#include "dialogs/FormParts.h"
#include "dialogs/VolumeInformationDlg.h"
#include "dialogs/VolumeInformationDlg_Capabilities.h"
#include "dialogs/VolumeInformationDlg_General.h"
#include "dialogs/VolumeInformationDlg_Information.h"
#include "platform/ByteOrder.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "tests/dialogs/VolumeDialogsTestSupport.h"

namespace {

using General = CVolumeInformationDlg_General;
using Information = CVolumeInformationDlg_Information;

QString Text(controls::CResizablePropertyPage* page, int id) { return dialogs::InfoText(page, id); }

// The sheet shown, with every page made current once (pages fill themselves when
// first shown).
void ShowAllPages(CVolumeInformationDlg& sheet) {
  sheet.show();
  for (int i = sheet.PageCount() - 1; i >= 0; --i) sheet.SetActivePage(i);
  QCoreApplication::processEvents();
}

// Every capability row of the page: whether it reads "Yes".
QMap<std::uint32_t, bool> Capabilities(CVolumeInformationDlg_Capabilities* page) {
  QMap<std::uint32_t, bool> out;
  for (const auto& row : CVolumeInformationDlg_Capabilities::Rows()) {
    const QString text = dialogs::InfoText(page, row.controlId);
    out[row.flag] = text == QStringLiteral("Yes");
    if (text != QStringLiteral("Yes") && text != QStringLiteral("No")) out[row.flag] = false;
  }
  return out;
}

std::shared_ptr<CVolume> OpenFixture(test::DialogWorld& world, const std::string& name) {
  return world.computer->OpenImageFile(platform::Utf8ToUtf16(test::FixtureImage(name)));
}

}  // namespace

class VolumeInformationDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { world_ = std::make_unique<test::DialogWorld>(); }
  void cleanup() { world_.reset(); }

  void PagesByTypeCode_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("pages");
    const QStringList two{QStringLiteral("General"), QStringLiteral("Information")};
    const QStringList three = two + QStringList{QStringLiteral("Capabilities")};
    QTest::newRow("unknown") << 0 << two;
    QTest::newRow("FAT12") << 1 << three;
    QTest::newRow("FAT16 LBA") << 14 << three;
    QTest::newRow("FAT32") << 11 << three;
    QTest::newRow("NTFS") << 7 << three;
  }
  void PagesByTypeCode() {
    QFETCH(int, code);
    QFETCH(QStringList, pages);
    auto volume = test::MemoryImage(std::make_shared<MemoryBlockDevice>(std::vector<std::uint8_t>(64 * 512)));
    volume->SetFileSystemTypeCode(code);
    CVolumeInformationDlg sheet;
    sheet.SetVolume(volume);
    QStringList titles;
    for (int i = 0; i < sheet.PageCount(); ++i) titles << sheet.Page(i)->Title();
    QCOMPARE(titles, pages);
    QCOMPARE(sheet.CapabilitiesPage() != nullptr, pages.size() == 3);
    QCOMPARE(sheet.windowTitle(), QStringLiteral("Volume Information"));
    ShowAllPages(sheet);
    QVERIFY(!controls::FindControl(&sheet, 0x3021)->isVisible());  // no Apply
    QVERIFY(controls::FindControl(&sheet, 9)->isVisible());        // Help
  }

  void CapabilitiesByFileSystem_data() {
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QList<uint>>("yes");
    const QList<uint> ntfs{0x40000, 0x10000, 0x80, 0x40, 0x10, 0x1, 0x2, 0x20, 0x20000, 0x8, 0x4};
    QTest::newRow("FAT16") << QStringLiteral("fat16.img") << false << QList<uint>{0x2, 0x4};
    QTest::newRow("FAT32") << QStringLiteral("fat32.img") << false << QList<uint>{0x2, 0x4};
    QTest::newRow("NTFS") << QStringLiteral("ntfs.img") << false << ntfs;
    QTest::newRow("FAT16 mounted read-only") << QStringLiteral("fat16.img") << true << QList<uint>{0x2, 0x4, 0x80000};
  }
  void CapabilitiesByFileSystem() {
    QFETCH(QString, fixture);
    QFETCH(bool, readOnly);
    QFETCH(QList<uint>, yes);
    auto volume = OpenFixture(*world_, fixture.toStdString());
    QVERIFY(volume);
    if (readOnly) volume->UpdateInfo([](VolumeInfo& i) { i.fileSystemFlags |= CVolume::kFsReadOnlyVolume; });
    CVolumeInformationDlg sheet;
    sheet.SetVolume(volume);
    QVERIFY(sheet.CapabilitiesPage());
    ShowAllPages(sheet);
    const auto shown = Capabilities(sheet.CapabilitiesPage());
    QCOMPARE(shown.size(), 13);
    for (auto it = shown.cbegin(); it != shown.cend(); ++it)
      QVERIFY2(it.value() == yes.contains(it.key()), qPrintable(QString::number(it.key(), 16)));
  }

  void GeneralAndInformationOfTheFat16Image() {
    auto volume = OpenFixture(*world_, "fat16.img");
    QVERIFY(volume);
    const auto boot = test::ReadWholeFile(test::FixtureImage("fat16.img"));
    const std::uint32_t serial = platform::LeView(boot.data(), 512).U32(39);
    QVERIFY(serial != 0);
    CVolumeInformationDlg sheet;
    sheet.SetVolume(volume);
    ShowAllPages(sheet);
    auto* general = sheet.GeneralPage();
    QCOMPARE(Text(general, General::IDC_NAME), QStringLiteral("fat16.img"));
    QCOMPARE(Text(general, General::IDC_FILE_SYSTEM), QStringLiteral("FAT16"));
    QCOMPARE(Text(general, General::IDC_STATUS), QStringLiteral("Ready"));
    QCOMPARE(Text(general, General::IDC_LABEL).trimmed(), QStringLiteral("VANDREL16"));
    QCOMPARE(Text(general, General::IDC_OEM_ID), QStringLiteral("mkfs.fat"));
    QCOMPARE(Text(general, General::IDC_SERIAL), QString::number(serial, 16).toUpper());
    QCOMPARE(Text(general, General::IDC_TOTAL_SPACE), QStringLiteral("8 MB (8 388 608 bytes)"));
    QCOMPARE(Text(general, General::IDC_FREE_SPACE), QStringLiteral("0"));  // an image has no free space
    QVERIFY(!controls::FindControlAs<QLabel>(general, General::IDC_ICON)->pixmap().isNull());
    auto* info = sheet.InformationPage();
    QCOMPARE(Text(info, Information::IDC_OFFSET), QStringLiteral("0"));
    QCOMPARE(Text(info, Information::IDC_SECTORS_PER_CLUSTER), QStringLiteral("2"));
    QCOMPARE(Text(info, Information::IDC_BYTES_PER_SECTOR), QStringLiteral("512"));
    QCOMPARE(Text(info, Information::IDC_BYTES_PER_CLUSTER), QStringLiteral("1024"));
  }

  void FormTextsStayWhereThereIsNothingToShow() {
    auto volume = test::MemoryImage(std::make_shared<MemoryBlockDevice>(std::vector<std::uint8_t>(1024)));
    volume->UpdateInfo([](VolumeInfo& i) {
      i.geometry.serialHigh = 0x1234;  // the low part decides: none shown
      i.geometry.serialLow = 0;
      i.geometry.clusterBytes = 0;
      i.geometry.baseOffset = 32256;
      i.freeBytes = 4096;
    });
    volume->SetState(CVolume::kQuerying);
    CVolumeInformationDlg sheet;
    sheet.SetVolume(volume);
    ShowAllPages(sheet);
    auto* general = sheet.GeneralPage();
    QCOMPARE(Text(general, General::IDC_SERIAL), QString());
    QCOMPARE(Text(general, General::IDC_TOTAL_SPACE), QStringLiteral("0"));  // 1024 bytes
    QCOMPARE(Text(general, General::IDC_FREE_SPACE), QStringLiteral("4 KB (4 096 bytes)"));
    QCOMPARE(Text(general, General::IDC_STATUS), QStringLiteral("Information request"));
    QCOMPARE(Text(general, General::IDC_FILE_SYSTEM), QStringLiteral("Unknown"));
    auto* info = sheet.InformationPage();
    QCOMPARE(Text(info, Information::IDC_OFFSET), QStringLiteral("32256"));
    QCOMPARE(Text(info, Information::IDC_SECTORS_PER_CLUSTER), QStringLiteral("0"));
    QCOMPARE(Text(info, Information::IDC_BYTES_PER_CLUSTER), QStringLiteral("0"));
  }

  void Screenshots() {
    auto volume = OpenFixture(*world_, "ntfs.img");
    QVERIFY(volume);
    volume->UpdateInfo([](VolumeInfo& i) { i.freeBytes = 11 * 1024 * 1024; });
    CVolumeInformationDlg sheet;
    sheet.SetVolume(volume);
    ShowAllPages(sheet);
    const char* names[] = {"volume_information_general", "volume_information_information",
                           "volume_information_capabilities"};
    for (int i = 0; i < sheet.PageCount(); ++i) {
      sheet.SetActivePage(i);
      QVERIFY(!test::SaveScreenshot(&sheet, QStringLiteral("dialogs"), QString::fromLatin1(names[i])).isEmpty());
    }
  }

 private:
  std::unique_ptr<test::DialogWorld> world_;
};
VANDREL_QT_TEST(VolumeInformationDlgTest);

#include "VolumeInformationDlgTest.moc"
