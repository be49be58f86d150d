#include "dialogs/VolumeImage_CreateDlg.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimerEvent>
#include <QVBoxLayout>

#include "app/App.h"
#include "app/Formatting.h"
#include "app/MessageBox.h"
#include "app/PostedEvent.h"
#include "app/QtText.h"
#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "controls/Label.h"
#include "dialogs/FormParts.h"
#include "engine/records/Messages.h"
#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"
#include "platform/Text.h"

namespace {

CVolumeImage_CreateDlg::SavePathPicker& Picker() {
  static CVolumeImage_CreateDlg::SavePathPicker picker;
  return picker;
}

QString AskForImagePath(QWidget* owner, const QString& defaultName) {
  QFileDialog dialog(owner);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(QStringLiteral("dsk"));
  // The descriptions are shown as they are; the patterns in brackets select.
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  dialog.setNameFilters({QStringLiteral("Drive Image Files ( *.dsk )  (*.dsk)"),
                         QStringLiteral("All Files ( *.* )  (*)")});
  dialog.selectFile(defaultName);
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles().value(0);
}

}  // namespace

void CVolumeImage_CreateDlg::SetSavePathPicker(SavePathPicker picker) { Picker() = std::move(picker); }

CVolumeImage_CreateDlg::CVolumeImage_CreateDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Creating Drive Image"));
  controls::SetControlId(this, IDD);
  const controls::DialogBaseUnits du = controls::BaseUnitsOf(font());

  path_ = new controls::CLabel(QStringLiteral("unknown_file.dsk"), this);
  controls::SetControlId(path_, IDC_IMAGE_PATH);
  time_ = new QLabel(QStringLiteral("--.--.--"), this);
  controls::SetControlId(time_, IDC_TIME);
  speed_ = new QLabel(QStringLiteral("0 KB\\s"), this);
  controls::SetControlId(speed_, IDC_SPEED);
  bar_ = new QProgressBar(this);
  controls::SetControlId(bar_, IDC_PROGRESS);
  bar_->setRange(0, 100);
  bar_->setValue(0);
  bar_->setTextVisible(false);

  // A long path wraps (after its slashes) onto a second line.
  path_->setMinimumHeight(2 * QFontMetrics(path_->font()).lineSpacing() + 2);
  auto* grid = new QGridLayout();
  grid->setHorizontalSpacing(controls::DluToPixelsX(du, 6));
  grid->addWidget(new QLabel(QStringLiteral("Image file name:"), this), 0, 0, Qt::AlignTop);
  grid->addWidget(path_, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Time:"), this), 1, 0);
  grid->addWidget(time_, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("Transfer speed:"), this), 2, 0);
  grid->addWidget(speed_, 2, 1);
  grid->setColumnStretch(1, 1);

  close_ = new QPushButton(QStringLiteral("Cancel"), this);
  controls::SetControlId(close_, IDC_CLOSE);
  close_->setDefault(true);
  auto* help = dialogs::MakeHelpButton(this, IDC_HELP_BUTTON);
  connect(close_, &QPushButton::clicked, this, &CVolumeImage_CreateDlg::reject);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(close_);
  buttons->addWidget(help);

  QVBoxLayout* layout = dialogs::MakeFormLayout(this);
  layout->addLayout(grid);
  layout->addSpacing(controls::DluToPixelsY(du, 4));
  layout->addWidget(bar_);
  layout->addSpacing(controls::DluToPixelsY(du, 4));
  layout->addLayout(buttons);
  setMinimumWidth(controls::DluToPixelsX(du, 260));

  clock_ = [] { return platform::FileTimeNow(); };
}

CVolumeImage_CreateDlg::~CVolumeImage_CreateDlg() {
  timer_.stop();
  job_.Cancel();
  Unregister();
}

QString CVolumeImage_CreateDlg::ImagePath() const { return app::ToQString(job_.imagePath); }

void CVolumeImage_CreateDlg::SetClock(Clock clock) {
  clock_ = clock ? std::move(clock) : Clock([] { return platform::FileTimeNow(); });
}

QString CVolumeImage_CreateDlg::DefaultImageName(const CVolume& volume) {
  const VolumeInfo info = volume.Info();
  QString drive;
  if (volume.GetKind() == CVolume::kPhysicalDrive && info.letter >= u'0')
    drive = QString::number(int(info.letter) - int(u'0'));
  else
    drive = QFileInfo(app::ToQString(volume.GetPath())).completeBaseName();
  const QString label = app::ToQString(platform::TrimBlanks(info.label));
  const QString name = label.isEmpty() ? QStringLiteral("Image from drive %1").arg(drive)
                                       : QStringLiteral("Image from drive %1 (%2)").arg(drive, label);
  return name + QStringLiteral(".dsk");
}

int CVolumeImage_CreateDlg::Percent(std::int64_t currentSector, std::int64_t totalSectors) {
  if (currentSector <= 0 || totalSectors <= 0) return 0;
  const auto percent = static_cast<__int128>(currentSector) * 100 / totalSectors;
  return static_cast<int>(std::min<__int128>(percent, 100));
}

QString CVolumeImage_CreateDlg::ElapsedText(std::int64_t elapsed) {
  const std::int64_t seconds = std::max<std::int64_t>(elapsed, 0) / platform::kFileTimePerSecond;
  return QStringLiteral("%1:%2:%3")
      .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
      .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
      .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString CVolumeImage_CreateDlg::SpeedText(std::int64_t currentSector, std::int64_t elapsed) {
  if (currentSector <= 0 || elapsed <= 0) return {};
  // 512 bytes a sector, 1024 a KB, 10,000,000 units a second.
  const auto speed = static_cast<unsigned __int128>(currentSector) * 5000000u / static_cast<std::uint64_t>(elapsed);
  QString digits = QString::number(static_cast<qulonglong>(std::min<unsigned __int128>(speed, UINT64_MAX)));
  GroupThousands(digits);
  return digits + QStringLiteral(" KB\\s");
}

int CVolumeImage_CreateDlg::StartCreate(std::shared_ptr<CVolume> volume) {
  if (!volume) return 0;
  QWidget* owner = QApplication::activeWindow();
  const auto cannotStart = [owner] {
    app::ShowMessageBox(owner, QStringLiteral("The drive image could not be started."), QString(), Buttons::Ok,
                        MessageIcon::Error);
    return 0;
  };
  // The job's fields belong to its writer while it runs.
  if (job_.running.load() != 0) return cannotStart();
  const QString defaultName = DefaultImageName(*volume);
  const QString path = Picker() ? Picker()(owner, defaultName) : AskForImagePath(owner, defaultName);
  if (path.isEmpty()) return 0;

  job_.imagePath = app::ToU16(path);
  job_.source = std::move(volume);
  path_->SetText(path);
  path_->SetFontBold(true);
  // The dialog receives the writer's messages from its very first one on.
  if (g_App && receiverKey_ == 0) {
    receiverKey_ = g_App->Notifier().NewReceiverKey();
    g_App->Notifier().RegisterReceiver(receiverKey_, this);
  }
  job_.notifyTarget = receiverKey_;
  finished_ = 0;
  startTime_ = clock_();
  const bool started = g_Computer ? g_Computer->StartCreateImage(job_) : job_.Start();
  if (!started) {
    Unregister();
    return cannotStart();
  }
  timer_.start(kTimerPeriodMs, this);
  return 1;
}

QString CVolumeImage_CreateDlg::Run(std::shared_ptr<CVolume> volume, QWidget* owner) {
  CVolumeImage_CreateDlg dialog(owner ? owner : QApplication::activeWindow());
  if (!dialog.StartCreate(std::move(volume))) return {};
  dialog.exec();
  return dialog.Finished() ? dialog.ImagePath() : QString();
}

void CVolumeImage_CreateDlg::ShowProgress() {
  if (finished_) return;
  if (job_.running.load() == 0) {
    bar_->setValue(0);
    return;
  }
  const std::int64_t total = job_.totalSectors.load();
  const std::int64_t current = job_.currentSector.load();
  if (total != 0 && current != 0) bar_->setValue(Percent(current, total));
  const std::int64_t elapsed = clock_() - startTime_;
  time_->setText(ElapsedText(elapsed));
  const QString speed = SpeedText(current, elapsed);
  if (!speed.isNull()) speed_->setText(speed);
}

bool CVolumeImage_CreateDlg::event(QEvent* event) {
  if (const PostedMessage* m = CPostedEvent::Of(event)) {
    switch (m->message) {
      case WM_IMAGE_DONE:
        OnImageDone(m->wParam);
        return true;
      case WM_IMAGE_ERROR:
        OnImageError(m->lParam);
        return true;
      case WM_IMAGE_PROGRESS:
        return true;  // the timer shows the progress
      default:
        break;
    }
  }
  return QDialog::event(event);
}

void CVolumeImage_CreateDlg::timerEvent(QTimerEvent* event) {
  if (event->timerId() == timer_.timerId()) {
    ShowProgress();
    return;
  }
  QDialog::timerEvent(event);
}

void CVolumeImage_CreateDlg::OnImageDone(std::int64_t status) {
  if (closing_) {
    // Cancelled or failed: the writer has ended now, and the dialog closes.
    if (stopping_) FinishClose();
    return;
  }
  if (status != 0) {
    // A failure was reported already (WM_IMAGE_ERROR), or the writer was stopped
    // (the destination question answered No): nothing to open.
    StopAndClose();
    return;
  }
  job_.Join();  // the writer has posted its last message: it is ending
  // The time and speed of the whole copy (a small image ends before the timer's
  // first look).
  const std::int64_t elapsed = clock_() - startTime_;
  time_->setText(ElapsedText(elapsed));
  const QString speed = SpeedText(job_.currentSector.load(), elapsed);
  if (!speed.isNull()) speed_->setText(speed);
  finished_ = 1;
  bar_->setValue(100);
  close_->setText(QStringLiteral("OK"));
}

void CVolumeImage_CreateDlg::OnImageError(std::int64_t /*error*/) {
  if (closing_) return;
  closing_ = true;  // a later WM_IMAGE_DONE finds the dialog closing
  app::ShowMessageBox(this, QStringLiteral("Error"), QString(), Buttons::Ok, MessageIcon::None);
  StopAndClose();
}

void CVolumeImage_CreateDlg::accept() { StopAndClose(); }

void CVolumeImage_CreateDlg::reject() { StopAndClose(); }

void CVolumeImage_CreateDlg::StopAndClose() {
  closing_ = true;
  if (job_.running.load() != 0) {
    // The writer is told to stop and the dialog waits for its end without blocking:
    // a read on a failing drive gives up at once, but the thread may need a moment.
    // Its WM_IMAGE_DONE closes the dialog.
    job_.running.store(0);
    stopping_ = true;
    close_->setEnabled(false);
    return;
  }
  FinishClose();
}

void CVolumeImage_CreateDlg::FinishClose() {
  stopping_ = false;
  timer_.stop();
  job_.Join();  // ended (or never started): the join is immediate
  Unregister();
  done(0);
}

void CVolumeImage_CreateDlg::Unregister() {
  if (receiverKey_ != 0 && g_App) g_App->Notifier().UnregisterReceiver(receiverKey_);
  receiverKey_ = 0;
}
