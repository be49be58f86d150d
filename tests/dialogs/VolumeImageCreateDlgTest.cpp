// The drive image dialog: the proposed names, the bar, time and speed (with a
// clock of the test's own), and the writer's road over volumes in memory and the
// fixture images: a finished image is opened, a cancelled or refused one is not,
// an early failure still reaches the dialog, a writer that can't start says so.
//
// The thread suite drives the dialog without showing it (Qt paints shown windows
// with a worker pool of its own, which the thread checker can't see into); the
// other suite runs it modally as the program does, with its buttons, and takes
// its pictures.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <filesystem>

#include "app/QtText.h"
#include "controls/ControlId.h"
#include "dialogs/FormParts.h"
#include "dialogs/VolumeImage_CreateDlg.h"
#include "dialogs/VolumeInformationDlg.h"
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
bool ReadsOk(QDialog* d) { return CloseButton(d)->text() == QStringLiteral("OK"); }

// The volume the running and cancel cases copy: three chunks, the second read
// hanging for up to 3 s.
std::shared_ptr<CVolume> SlowSource(std::shared_ptr<MemoryBlockDevice>& device) {
  device = std::make_shared<MemoryBlockDevice>(Pattern(3 * ImageJob::kChunkSectors));
  device->InjectFault(ImageJob::kChunkSectors + 100, MemoryBlockDevice::Fault::Hang);
  device->SetHangTime(std::chrono::milliseconds(3000));  // long enough to look, short enough to wait for
  return test::MemoryImage(device);
}

// Waits until the first chunk is written and the timer has shown it.
void WaitForTheFirstChunk(Dlg* d) {
  ImageJob& job = d->Job();
  QVERIFY(QTest::qWaitFor([&] { return job.currentSector.load() >= ImageJob::kChunkSectors; }, 20000));
  QTest::qWait(3 * Dlg::kTimerPeriodMs);
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

  void AVolumeOfFewerThan100SectorsIsCopiedWhole() {
    auto source = test::MemoryImage(std::make_shared<MemoryBlockDevice>(Pattern(60)));
    test::TempDir dir;
    const QString target = QString::fromStdString(dir / "small.dsk");
    Picker picker(target);
    Dlg dialog;
    QCOMPARE(dialog.StartCreate(source), 1);
    QVERIFY(QTest::qWaitFor([&] { return dialog.Finished() == 1; }, 20000));
    QCOMPARE(Bar(&dialog), 100);
    QVERIFY(ReadsOk(&dialog));
    QCOMPARE(dialog.ImagePath(), target);
    QCOMPARE(test::ReadWholeFile(target.toStdString()), Pattern(60));
  }

  void CancelReturnsAtOnceAndTheDialogClosesWhenTheWriterEnds() {
    std::shared_ptr<MemoryBlockDevice> device;
    auto source = SlowSource(device);
    device->SetHangTime(std::chrono::milliseconds(-1));  // the second read hangs until released
    source->SetReadWaitPerSector(std::chrono::milliseconds(15000));  // and would wait 30 s
    test::TempDir dir;
    const QString target = QString::fromStdString(dir / "partial.dsk");
    Picker picker(target);
    Dlg dialog;
    QSignalSpy finished(&dialog, &QDialog::finished);
    QCOMPARE(dialog.StartCreate(source), 1);
    WaitForTheFirstChunk(&dialog);
    QCOMPARE(Bar(&dialog), 33);
    QCOMPARE(CloseButton(&dialog)->text(), QStringLiteral("Cancel"));
    dialog.reject();
    // Cancel returned while the drive still holds the read: nothing waited for it on
    // this thread; the dialog waits for the writer's end, with Cancel disabled.
    QCOMPARE(device->HangsCompleted(), std::uint64_t(0));
    QCOMPARE(finished.count(), 0);
    QVERIFY(!CloseButton(&dialog)->isEnabled());
    // The writer gives up its read at once and ends; its end closes the dialog.
    QVERIFY(finished.wait(20000) || finished.count() == 1);
    QCOMPARE(dialog.Job().running.load(), 0);
    QCOMPARE(device->HangsCompleted(), std::uint64_t(0));  // the drive never answered
    QCOMPARE(dialog.Finished(), 0);
    device->ReleaseHangs();
    // The first chunk stays on disk; the read that was cut short is not written.
    QCOMPARE(std::filesystem::file_size(target.toStdString()), std::uintmax_t(ImageJob::kChunkSectors * 512));
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
    Dlg dialog;
    QCOMPARE(dialog.StartCreate(source), 1);
    QVERIFY(QTest::qWaitFor([&] { return !boxes.shown.isEmpty(); }, 20000));
    QCoreApplication::processEvents();
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown[0].text, QStringLiteral("Error"));
    QCOMPARE(boxes.shown[0].caption, QString());
    QCOMPARE(dialog.Finished(), 0);
    QCOMPARE(dialog.Job().running.load(), 0);
    QCOMPARE(Sha256Of(test::ReadWholeFile(path)), before);
  }

  void AnEarlyFailureReachesTheDialog() {
    // The image can't be created at all: the writer fails before the dialog's
    // event loop runs, and its messages wait for the dialog.
    auto source = test::MemoryImage(std::make_shared<MemoryBlockDevice>(Pattern(64)));
    test::TempDir dir;
    Picker picker(QString::fromStdString(dir / "no such folder/x.dsk"));
    test::ScriptedBoxes boxes;
    Dlg dialog;
    QCOMPARE(dialog.StartCreate(source), 1);
    dialog.Job().Join();
    QVERIFY(boxes.shown.isEmpty());
    QCoreApplication::processEvents();
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
    std::shared_ptr<MemoryBlockDevice> device;
    auto source = SlowSource(device);
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

class VolumeImageCreateDlgTest : public QObject {
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
    QTest::newRow("one of one") << qint64(1) << qint64(1) << 100;
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

  void TheFat16ImageIsCopiedOpenedAndShown() {
    // The FAT16 fixture opened as an image, copied through the modal dialog (OK at
    // its end), and the copy opened.
    const std::string fixture = test::FixtureImage("fat16.img");
    auto source = world_->computer->OpenImageFile(platform::Utf8ToUtf16(fixture));
    QVERIFY(source);
    test::TempDir dir;
    const QString target = QString::fromStdString(dir / "copy.dsk");
    Picker picker(target);
    bool sawOk = false;
    test::OnNextModal([&](QDialog* d) {
      QVERIFY(QTest::qWaitFor([d] { return ReadsOk(d); }, 30000));
      QCOMPARE(Bar(d), 100);
      sawOk = true;
      QTest::mouseClick(CloseButton(d), Qt::LeftButton);
    });
    const QString made = Dlg::Run(source, nullptr);
    QVERIFY(sawOk);
    QCOMPARE(picker.proposed, QStringLiteral("Image from drive fat16 (VANDREL16).dsk"));
    QCOMPARE(made, target);
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

  void CancelledOrRefusedImagesAreNotOpened() {
    std::shared_ptr<MemoryBlockDevice> device;
    auto source = SlowSource(device);
    test::TempDir dir;
    Picker picker(QString::fromStdString(dir / "partial.dsk"));
    test::OnNextModal([&](QDialog* d) {
      WaitForTheFirstChunk(static_cast<Dlg*>(d));
      QTest::mouseClick(CloseButton(d), Qt::LeftButton);  // Cancel
    });
    QVERIFY(Dlg::Run(source, nullptr).isEmpty());
    // A failure: the message, then the dialog closes by itself.
    Picker refused(QString::fromStdString(dir / "no such folder/x.dsk"));
    test::ScriptedBoxes boxes;
    QVERIFY(Dlg::Run(source, nullptr).isEmpty());
    QCOMPARE(boxes.shown.size(), 1);
  }

  void Screenshots() {
    std::shared_ptr<MemoryBlockDevice> device;
    auto source = SlowSource(device);
    test::TempDir dir;
    Picker picker(QString::fromStdString(dir / "Image from drive 1 (PHOTOS).dsk"));
    QString running;
    QString finished;
    test::OnNextModal([&](QDialog* d) {
      WaitForTheFirstChunk(static_cast<Dlg*>(d));
      running = test::SaveScreenshot(d, QStringLiteral("dialogs"), QStringLiteral("image_running"));
      device->ReleaseHangs();
      QVERIFY(QTest::qWaitFor([d] { return ReadsOk(d); }, 30000));
      finished = test::SaveScreenshot(d, QStringLiteral("dialogs"), QStringLiteral("image_finished"));
      QTest::mouseClick(CloseButton(d), Qt::LeftButton);
    });
    QVERIFY(!Dlg::Run(source, nullptr).isEmpty());
    QVERIFY(!running.isEmpty());
    QVERIFY(!finished.isEmpty());
  }

 private:
  std::unique_ptr<test::DialogWorld> world_;
};
VANDREL_QT_TEST(VolumeImageCreateDlgTest);

#include "VolumeImageCreateDlgTest.moc"
