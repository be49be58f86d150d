#include "dialogs/RecoveryProgressDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

#include "app/App.h"
#include "app/MessageBox.h"
#include "app/QtText.h"
#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "engine/records/AppSettings.h"
#include "engine/records/ProgramLog.h"
#include "engine/volume/Volume.h"
#include "platform/Text.h"
#include "search/Recovery.h"

CRecoveryProgressDlg::CRecoveryProgressDlg(CRecovery& job, QWidget* parent) : QDialog(parent), job_(job) {
  setWindowTitle(QStringLiteral("Recovering files..."));
  controls::SetControlId(this, IDD);
  const controls::DialogBaseUnits du = controls::BaseUnitsOf(font());

  done_ = new QLabel(QStringLiteral("0 of 0"), this);
  controls::SetControlId(done_, IDC_OBJECTS_DONE);
  totalBar_ = new QProgressBar(this);
  controls::SetControlId(totalBar_, IDC_TOTAL_BAR);
  current_ = new QLabel(this);
  controls::SetControlId(current_, IDC_CURRENT_OBJECT);
  // Names come from the disk: shown as they are, never as rich text.
  current_->setTextFormat(Qt::PlainText);
  current_->setMinimumWidth(controls::DluToPixelsX(du, 200));
  fileBar_ = new QProgressBar(this);
  controls::SetControlId(fileBar_, IDC_FILE_BAR);
  for (QProgressBar* bar : {totalBar_, fileBar_}) bar->setTextVisible(false);

  abort_ = new QPushButton(QStringLiteral("Abort"), this);
  controls::SetControlId(abort_, 2);
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  controls::SetControlId(ok_, 1);
  ok_->hide();
  goTo_ = new QPushButton(QStringLiteral("Go to Recovered..."), this);
  controls::SetControlId(goTo_, IDC_GO_TO_RECOVERED);
  goTo_->hide();
  connect(abort_, &QPushButton::clicked, this, &CRecoveryProgressDlg::reject);
  connect(ok_, &QPushButton::clicked, this, [this] { StopAndClose(1); });
  connect(goTo_, &QPushButton::clicked, this, &CRecoveryProgressDlg::OnGoToRecovered);

  auto* grid = new QGridLayout();
  grid->addWidget(new QLabel(QStringLiteral("Total progress:"), this), 0, 0);
  grid->addWidget(done_, 0, 1, Qt::AlignRight);
  grid->addWidget(totalBar_, 1, 0, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Current file:"), this), 2, 0);
  grid->addWidget(current_, 3, 0, 1, 2);
  grid->addWidget(fileBar_, 4, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  grid->setRowMinimumHeight(2, controls::DluToPixelsY(du, 14));
  grid->setAlignment(grid->itemAtPosition(2, 0)->widget(), Qt::AlignBottom | Qt::AlignLeft);

  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(goTo_);
  buttons->addWidget(ok_);
  buttons->addWidget(abort_);

  auto* top = new QVBoxLayout(this);
  const int mx = controls::DluToPixelsX(du, 7), my = controls::DluToPixelsY(du, 7);
  top->setContentsMargins(mx, my, mx, my);
  top->addLayout(grid);
  top->addSpacing(controls::DluToPixelsY(du, 4));
  top->addLayout(buttons);
  setMinimumWidth(controls::DluToPixelsX(du, 250));

  // The files of the selection, counted once: the selection stays as it is while
  // the job runs.
  filesBefore_.reserve(job_.Selection().size() + 1);
  filesBefore_.push_back(0);
  for (const FoundObject* object : job_.Selection()) {
    const bool file = object && !object->IsFolder() && !object->IsDevice();
    filesBefore_.push_back(std::min(filesBefore_.back() + (file ? 1 : 0), INT_MAX - 1));
  }
  const int count = FilesBefore(INT_MAX);
  // A range of 0..0 would make the bar a busy indicator: an empty job gets 0..1.
  totalBar_->setRange(0, std::max(count, 1));
  totalBar_->setValue(0);
  fileBar_->setRange(0, 100);
  fileBar_->setValue(0);
  timer_.setInterval(kTimerPeriodMs);
  connect(&timer_, &QTimer::timeout, this, &CRecoveryProgressDlg::UpdateProgress);
  timer_.start();
}

void CRecoveryProgressDlg::UpdateProgress() {
  if (ended_) return;
  const int count = static_cast<int>(std::min<std::size_t>(job_.Count(), INT_MAX));
  const int index = job_.CurrentIndex();
  try {
    done_->setText(QStringLiteral("%1 of %2").arg(FilesBefore(index)).arg(FilesBefore(INT_MAX)));
    totalBar_->setValue(FilesBefore(index));
  } catch (...) {
    Log().Error(u"RecoveryDlg::UpdateProgress exept1");
  }
  try {
    if (index >= 0 && index < count) {
      // The record through its store: the job may be settling its size just now.
      FoundObject* object = job_.Selection()[static_cast<std::size_t>(index)];
      const std::shared_ptr<CVolume> volume = job_.SourceVolume();
      if (object && volume) {
        // Its name and size under one look at the store (the job may be settling
        // the size just now; a clear frees the names).
        std::u16string name;
        std::int64_t size = 0;
        {
          const FoundObjectStore::ReadView view = volume->Store().Read();
          const FoundObject snapshot = *object;
          name.assign(snapshot.Name());
          size = snapshot.size;
        }
        current_->setText(app::ToQString(platform::Format(u"%s [size: %I64d]", name, size)));
      }
      fileBar_->setValue(std::clamp(job_.CurrentPercent(), 0, 100));
    } else if (index >= count) {
      current_->clear();
      fileBar_->setValue(100);
    }
  } catch (...) {
    Log().Error(u"RecoveryDlg::UpdateProgress exept2");
  }
  if (!job_.IsThreadAlive()) {
    timer_.stop();
    OnJobFinished();
  }
}

int CRecoveryProgressDlg::FilesBefore(int index) const {
  if (index < 0 || filesBefore_.empty()) return 0;
  return filesBefore_[std::min<std::size_t>(std::size_t(index), filesBefore_.size() - 1)];
}

void CRecoveryProgressDlg::OnAbort() {
  if (Settings().ConfirmRecoveryAbort()) {
    const Answer answer =
        app::ShowMessageBox(this, LangString(217), LangString(157), Buttons::YesNo, MessageIcon::Question);
    if (answer != Answer::Yes) return;
  }
  StopAndClose(2);
}

void CRecoveryProgressDlg::reject() {
  // Once the job has ended there is nothing to abort: Escape and the close box
  // act as OK.
  if (ended_)
    StopAndClose(1);
  else
    OnAbort();
}

void CRecoveryProgressDlg::StopAndClose(int code) {
  job_.StopRecovery();
  timer_.stop();
  done(code);
}

void CRecoveryProgressDlg::OnJobFinished() {
  job_.StopRecovery();
  ended_ = true;
  if (closeWhenDone_ == 1) {
    StopAndClose(0);
    return;
  }
  abort_->hide();
  ok_->show();
  goTo_->show();
  ok_->setDefault(true);
  ok_->setFocus();
  fileBar_->setValue(100);
  totalBar_->setValue(totalBar_->maximum());
}

void CRecoveryProgressDlg::OnGoToRecovered() {
  // The folder the job wrote into: the user may have chosen another one at the
  // destination warning.
  std::u16string folder = job_.Destination();
  if (folder.empty()) folder = Settings().DestinationFolder();
  if (g_App) g_App->Callbacks().OpenUrl(QUrl::fromLocalFile(app::ToQString(folder)));
  StopAndClose(0);
}
