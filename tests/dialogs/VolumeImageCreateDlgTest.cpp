// The drive image dialog: the proposed names, the bar, time and speed (with a
// clock of the test's own), and the whole road with the real writer over volumes
// in memory and the fixture images: a finished image is opened, a cancelled or
// refused one is not, an early failure still reaches the dialog, a writer that
// can't start says so.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <filesystem>

#include "app/QtText.h"
#include "controls/ControlId.h"
#include "controls/Label.h"
#include "dialogs/VolumeImage_CreateDlg.h"
#include "dialogs/VolumeInformationDlg.h"
#include "dialogs/FormParts.h"
#include "dialogs/VolumeInformationDlg_General.h"
#include "platform/ByteOrder.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "support/Sha256.h"
#include "tests/dialogs/VolumeDialogsTestSupport.h"

namespace {

using Dlg = CVolumeImage_CreateDlg;

std::string Sha256Of(const std::vector<std::uint8_t>& bytes) {
  test::Sha256Hasher h;
  h.Update(bytes.data(), bytes.size());
  return h.Hex();
}

std::vector<std::uint8_t> Pattern(std::size_t sectors) {
  std::vector<std::uint8_t> data(sectors * 512);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = std::uint8_t(i * 7 + i / 512 * 13 + 1);
  return data;
}

// The save dialog answered with `path` (empty: cancelled); remembers the name it
// proposed.
struct Picker {
  explicit Picker(QString path) : path_(std::move(path)) {
    Dlg::SetSavePathPicker([this](QWidget*, const QString& name) {
      proposed = name;
      ++asked;
      return path_;
    });
  }
  ~Picker() { Dlg::SetSavePathPicker(nullptr); }
  QString proposed;
  int asked = 0;

 private:
  QString path_;
};

QPushButton* CloseButton(QDialog* d) { return controls::FindControlAs<QPushButton>(d, Dlg::IDC_CLOSE); }
int Bar(QDialog* d) { return controls::FindControlAs<QProgressBar>(d, Dlg::IDC_PROGRESS)->value(); }

// Presses the dialog's button once it reads "OK" (the writer's end).
void PressOkAtTheEnd(QString* shot = nullptr) {
  test::OnNextModal([shot](QDialog* d) {
    QVERIFY(QTest::qWaitFor([d] { return CloseButton(d)->text() == QStringLiteral("OK"); }, 30000));
    QCOMPARE(Bar(d), 100);
    if (shot) *shot = test::SaveScreenshot(d, QStringLiteral("dialogs"), QStringLiteral("image_finished"));
    QTest::mouseClick(CloseButton(d), Qt::LeftButton);
  });
}

}  // namespace

class VolumeImageCreateDlgThreads : public QObject {
  Q_OBJECT

 private slots:
  void init() { world_ = std::make_unique<test::DialogWorld>(); }
  void cleanup() {
    world_.reset();
    Dlg::SetSavePathPicker(nullptr);
  }

  void DefaultNames_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("name");
    QTest::newRow("drive with label") << int(CVolume::kPhysicalDrive) << "/dev/sdb" << 3 << "DATA"
                                      << "Image from drive 3 (DATA).dsk";
    QTest::newRow("drive without label") << int(CVolume::kPhysicalDrive) << "/dev/sdb" << 3 << ""
                                         << "Image from drive 3.dsk";
    QTest::newRow("logical drive, label padded") << int(CVolume::kLogicalDrive) << "/dev/sdb1" << -1 << "PHOTOS     "
                                                 << "Image from drive sdb1 (PHOTOS).dsk";
    QTest::newRow("logical drive, blank label") << int(CVolume::kLogicalDrive) << "/dev/mmcblk0p1" << -1 << "   "
                                                << "Image from drive mmcblk0p1.dsk";
    QTest::newRow("image file") << int(CVolume::kImageFile) << "/home/me/card.img" << -1 << "VANDREL16"
                                << "Image from drive card (VANDREL16).dsk";
  }
  void DefaultNames() {
    QFETCH(int, kind);
    QFETCH(QString, path);
    QFETCH(int, number);
    QFETCH(QString, label);
    QFETCH(QString, name);
    CVolume v(kind);
    v.SetDevicePath(app::ToU16(path));
    v.UpdateInfo([&](VolumeInfo& i) {
      if (number >= 0) i.letter = static_cast<char16_t>(u'0' + number);
      i.label = app::ToU16(label);
    });
    QCOMPARE(Dlg::DefaultImageName(v), name);
  }

  void Percentages_data() {
    QTest::addColumn<qint64>("current");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<int>("percent");
    QTest::newRow("a quarter") << qint64(1000) << qint64(4000) << 25;
    QTest::newRow("nothing yet") << qint64(0) << qint64(4000) << 0;
    QTest::newRow("under 100 sectors") << qint64(30) << qint64(60) << 50;
    QTest::newRow("one of 7") << qint64(1) << qint64(7) << 14;
    QTest::newRow("all of 7") << qint64(7) << qint64(7) << 100;
    QTest::newRow("past the end") << qint64(5000) << qint64(4000) << 100;
    QTest::newRow("no total") << qint64(10) << qint64(0) << 0;
    QTest::newRow("huge") << qint64(1) << qint64(1) << 100;
    QTest::newRow("8 EB") << qint64(INT64_MAX / 2) << qint64(INT64_MAX) << 49;
  }
  void Percentages() {
    QFETCH(qint64, current);
    QFETCH(qint64, total);
    QFETCH(int, percent);
    QCOMPARE(Dlg::Percent(current, total), percent);
  }

  void TimesAndSpeeds() {
    constexpr std::int64_t s = platform::kFileTimePerSecond;
    QCOMPARE(Dlg::ElapsedText(0), QStringLiteral("00:00:00"));
    QCOMPARE(Dlg::ElapsedText(10 * s), QStringLiteral("00:00:10"));
    QCOMPARE(Dlg::ElapsedText(3661 * s + s / 2), QStringLiteral("01:01:01"));
    QCOMPARE(Dlg::ElapsedText(25 * 3600 * s), QStringLiteral("25:00:00"));  // hours go on past a day
    QCOMPARE(Dlg::SpeedText(20000, 10 * s), QStringLiteral("1 000 KB\\s"));
    QCOMPARE(Dlg::SpeedText(2048, s), QStringLiteral("1 024 KB\\s"));
    QVERIFY(Dlg::SpeedText(0, 10 * s).isNull());
    QVERIFY(Dlg::SpeedText(100, 0).isNull());
  }

  void TheTimerShowsTheJobsCounters() {
    Dlg dialog;
    platform::FileTime now = 10 * platform::kFileTimePerSecond;  // 10 s after the start (0)
    dialog.SetClock([&now] { return now; });
    ImageJob& job = dialog.Job();
    job.running.store(1);  // as while a writer runs (none does here)
    job.totalSectors.store(80000);
    job.currentSector.store(20000);
    dialog.ShowProgress();
    QCOMPARE(Bar(&dialog), 25);
    QCOMPARE(controls::FindControlAs<QLabel>(&dialog, Dlg::IDC_TIME)->text(), QStringLiteral("00:00:10"));
    QCOMPARE(controls::FindControlAs<QLabel>(&dialog, Dlg::IDC_SPEED)->text(), QStringLiteral("1 000 KB\\s"));
    job.currentSector.store(1000);
    job.totalSectors.store(4000);
    dialog.ShowProgress();
    QCOMPARE(Bar(&dialog), 25);
    job.running.store(0);  // the writer ended: the bar drops until its end arrives
    dialog.ShowProgress();
    QCOMPARE(Bar(&dialog), 0);
  }

  void AFinishedImageIsOpenedAndMatchesItsSource() {
    // The FAT16 fixture opened as an image, copied, and the copy opened.
    const std::string fixture = test::FixtureImage("fat16.img");
    auto source = world_->computer->OpenImageFile(platform::Utf8ToUtf16(fixture));
    QVERIFY(source);
    test::TempDir dir;
    const QString target = QString::fromStdString(dir / "copy.dsk");
    Picker picker(target);
    QString shot;
    PressOkAtTheEnd(&shot);
    const QString made = Dlg::Run(source, nullptr);
    QCOMPARE(picker.proposed, QStringLiteral("Image from drive fat16 (VANDREL16).dsk"));
    QCOMPARE(made, target);
    QVERIFY(!shot.isEmpty());
    const auto copy = test::ReadWholeFile(target.toStdString());
    QCOMPARE(Sha256Of(copy), test::FixtureManifest("fat16")["image"]["sha256"].get<std::string>());

    auto image = world_->computer->OpenImageFile(app::ToU16(made));
    QVERIFY(image);
    CVolumeInformationDlg sheet;
    sheet.SetVolume(image);
    QCOMPARE(sheet.PageCount(), 3);
    sheet.show();
    const auto text = [&](int id) { return dialogs::InfoText(sheet.GeneralPage(), id); };
    QCOMPARE(text(CVolumeInformationDlg_General::IDC_FILE_SYSTEM), QStringLiteral("FAT16"));
    QCOMPARE(text(CVolumeInformationDlg_General::IDC_LABEL).trimmed(), QStringLiteral("VANDREL16"));
    const std::uint32_t serial = platform::LeView(copy.data(), 512).U32(39);
    QCOMPARE(text(CVolumeInformationDlg_General::IDC_SERIAL), QString::number(serial, 16).toUpper());
  }

  void AVolumeOfFewerThan100Sectors() {
    auto device = std::make_shared<MemoryBlockDevice>(Pattern(60));
    auto source = test::MemoryImage(device);
    test::TempDir dir;
    Picker picker(QString::fromStdString(dir / "small.dsk"));
    PressOkAtTheEnd();
    const QString made = Dlg::Run(source, nullptr);
    QVERIFY(!made.isEmpty());
    QCOMPARE(test::ReadWholeFile(made.toStdString()), Pattern(60));
  }

  void CancelJoinsTheWriterAndOpensNothing() {
    auto device = std::make_shared<MemoryBlockDevice>(Pattern(3 * ImageJob::kChunkSectors));
    device->InjectFault(ImageJob::kChunkSectors + 100, MemoryBlockDevice::Fault::Hang);
    device->SetHangTime(std::chrono::milliseconds(3000));  // long enough to look, short enough to wait for
    auto source = test::MemoryImage(device);
    test::TempDir dir;
    const QString target = QString::fromStdString(dir / "partial.dsk");
    Picker picker(target);
    ImageJob* job = nullptr;
    QString shot;
    test::OnNextModal([&](QDialog* d) {
      job = &static_cast<Dlg*>(d)->Job();
      // The first chunk is written; the second read hangs.
      QVERIFY(QTest::qWaitFor([&] { return job->currentSector.load() >= ImageJob::kChunkSectors; }, 20000));
      QTest::qWait(3 * Dlg::kTimerPeriodMs);
      QCOMPARE(Bar(d), 33);
      QCOMPARE(CloseButton(d)->text(), QStringLiteral("Cancel"));
      shot = test::SaveScreenshot(d, QStringLiteral("dialogs"), QStringLiteral("image_running"));
      QTest::mouseClick(CloseButton(d), Qt::LeftButton);
      QCOMPARE(job->running.load(), 0);  // joined before the dialog closed
    });
    const QString made = Dlg::Run(source, nullptr);
    QVERIFY(job);
    QVERIFY(made.isEmpty());
    QVERIFY(!shot.isEmpty());
    // The first chunk stays on disk; the read that was cut short is not written.
    QCOMPARE(std::filesystem::file_size(target.toStdString()), std::uintmax_t(ImageJob::kChunkSectors * 512));
    QCOMPARE(world_->computer->Volumes().GetCount(), 0);  // nothing was opened
  }

  void TheSourceImageItselfIsRefused() {
    test::TempDir dir;
    const std::string path = dir / "card.img";
    std::filesystem::copy_file(test::FixtureImage("fat12.img"), path);
    const std::string before = Sha256Of(test::ReadWholeFile(path));
    auto source = world_->computer->OpenImageFile(platform::Utf8ToUtf16(path));
    QVERIFY(source);
    Picker picker(QString::fromStdString(path));
    test::ScriptedBoxes boxes;
    const QString made = Dlg::Run(source, nullptr);
    QVERIFY(made.isEmpty());
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown[0].text, QStringLiteral("Error"));
    QCOMPARE(boxes.shown[0].caption, QString());
    QCOMPARE(Sha256Of(test::ReadWholeFile(path)), before);
    QCOMPARE(world_->computer->Volumes().GetCount(), 1);  // only the source
  }

  void AnEarlyFailureReachesTheDialog() {
    // The image can't be created at all: the writer fails before the dialog runs.
    auto source = test::MemoryImage(std::make_shared<MemoryBlockDevice>(Pattern(64)));
    test::TempDir dir;
    Picker picker(QString::fromStdString(dir / "no such folder/x.dsk"));
    test::ScriptedBoxes boxes;
    Dlg dialog;
    QCOMPARE(dialog.StartCreate(source), 1);
    dialog.Job().Join();  // the writer has failed and posted before the dialog runs
    QCOMPARE(dialog.exec(), 0);
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown[0].text, QStringLiteral("Error"));
    QCOMPARE(dialog.Finished(), 0);
  }

  void ASaveDialogCancelledStartsNothing() {
    auto source = test::MemoryImage(std::make_shared<MemoryBlockDevice>(Pattern(64)));
    Picker picker{QString()};
    Dlg dialog;
    QCOMPARE(dialog.StartCreate(source), 0);
    QCOMPARE(picker.asked, 1);
    QCOMPARE(dialog.Job().running.load(), 0);
    QVERIFY(!dialog.isVisible());
  }

  void AWriterThatCannotStartSaysSo() {
    auto device = std::make_shared<MemoryBlockDevice>(Pattern(2 * ImageJob::kChunkSectors));
    device->InjectFault(10, MemoryBlockDevice::Fault::Hang);
    device->SetHangTime(std::chrono::milliseconds(2000));
    auto source = test::MemoryImage(device);
    test::TempDir dir;
    Picker picker(QString::fromStdString(dir / "twice.dsk"));
    test::ScriptedBoxes boxes;
    Dlg dialog;
    QCOMPARE(dialog.StartCreate(source), 1);
    // A second start while the writer runs is refused, with a word.
    QCOMPARE(dialog.StartCreate(source), 0);
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown[0].text, QStringLiteral("The drive image could not be started."));
    QCOMPARE(picker.asked, 1);
    device->ReleaseHangs();
  }

 private:
  std::unique_ptr<test::DialogWorld> world_;
};
VANDREL_QT_TEST(VolumeImageCreateDlgThreads);

#include "VolumeImageCreateDlgTest.moc"
