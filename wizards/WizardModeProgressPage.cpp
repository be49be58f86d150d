#include "wizards/WizardModeProgressPage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/App.h"
#include "app/PostedEvent.h"
#include "app/QtText.h"
#include "controls/ControlId.h"
#include "controls/Label.h"
#include "controls/ResizablePropertySheet.h"
#include "engine/records/AppSettings.h"
#include "engine/records/Messages.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"
#include "wizards/WizardModeLogEdit.h"
#include "wizards/WizardMode_Main.h"

CWizardModeProgressPage::CWizardModeProgressPage(int dialogId, int titleId, const QString& section, int driveLabelId,
                                                 const QString& driveCaption, CAutoPilot::Pass pass)
    : CWizardModePage(dialogId, titleId, section), pass_(pass), driveLabelId_(driveLabelId),
      driveCaption_(driveCaption) {
  timer_.setInterval(kTimerPeriodMs);
  connect(&timer_, &QTimer::timeout, this, [this] { UpdateProgress(); });
}

CWizardModeProgressPage::~CWizardModeProgressPage() = default;

void CWizardModeProgressPage::BuildForm() {
  QVBoxLayout* layout = Layout();
  auto* top = new QGridLayout;
  top->setHorizontalSpacing(DluX(6));
  drive_ = new controls::CLabel(this);
  controls::SetControlId(drive_, driveLabelId_);
  drive_->SetText(QStringLiteral("?:\\"));
  drive_->SetFontBold(true);
  drive_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  top->addWidget(AddText(driveCaption_), 0, 0);
  top->addWidget(drive_, 0, 1);
  bar_ = new QProgressBar(this);
  controls::SetControlId(bar_, IDC_BAR);
  bar_->setRange(0, 99);
  bar_->setValue(0);
  bar_->setTextVisible(false);
  top->addWidget(AddText(QStringLiteral("Total progress:")), 1, 0);
  top->addWidget(bar_, 1, 1);
  top->setColumnStretch(1, 1);
  layout->addLayout(top);

  layout->addWidget(AddText(QStringLiteral("Progress Log:")));
  log_ = new CWizardModeLogEdit(this);
  layout->addWidget(log_, 1);

  counters_ = new QGridLayout;
  counters_->setHorizontalSpacing(DluX(6));
  counters_->setVerticalSpacing(DluY(1));
  layout->addLayout(counters_);
  AddCounter(QStringLiteral("Files found:"), IDC_FILES_FOUND, 0, 0);
  AddCounter(QStringLiteral("Read errors:"), IDC_READ_ERRORS, 1, 0);
  status_ = AddCounter(QStringLiteral("Status:"), IDC_STATUS, 2, 0, QStringLiteral("Idle"));
  for (int c : {1, 3}) counters_->setColumnStretch(c, 1);

  auto* buttons = new QHBoxLayout;
  showNames_ = new QCheckBox(QStringLiteral("Show filenames (this will decrease scanning speed)"), this);
  controls::SetControlId(showNames_, IDC_SHOW_FILENAMES);
  connect(showNames_, &QCheckBox::clicked, this, &CWizardModeProgressPage::OnShowFilenames);
  start_ = new QPushButton(QStringLiteral("Start"), this);
  controls::SetControlId(start_, IDC_START);
  stop_ = new QPushButton(QStringLiteral("Stop"), this);
  controls::SetControlId(stop_, IDC_STOP);
  stop_->setEnabled(false);
  for (QPushButton* b : {start_, stop_}) {
    b->setAutoDefault(false);
    b->setMinimumWidth(DluX(50));
  }
  connect(start_, &QPushButton::clicked, this, &CWizardModeProgressPage::Start);
  connect(stop_, &QPushButton::clicked, this, &CWizardModeProgressPage::Stop);
  buttons->addWidget(showNames_, 1);
  buttons->addWidget(start_);
  buttons->addWidget(stop_);
  layout->addLayout(buttons);
  layout->addWidget(AddText(QStringLiteral("Click Start and wait. Then click Next to preview found files..."), IDC_HINT));
}

QLabel* CWizardModeProgressPage::AddCounter(const QString& caption, int id, int row, int column,
                                            const QString& value) {
  QLabel* label = AddText(value, id);
  label->setWordWrap(false);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  QLabel* text = AddText(caption);
  text->setWordWrap(false);
  counters_->addWidget(text, row, column);
  counters_->addWidget(label, row, column + 1);
  return label;
}

void CWizardModeProgressPage::InitPage() {
  log_->ClearLog();
  showNames_->setChecked(Settings().LogFoundNames() == 1);
  UpdateState();
  ResetProgress();
}

void CWizardModeProgressPage::OnShowFilenames() { Settings().SetLogFoundNames(showNames_->isChecked() ? 1 : 0); }

std::shared_ptr<CVolume> CWizardModeProgressPage::CurrentVolume() const {
  return CWizardMode_Main::CurrentVolume();
}

void CWizardModeProgressPage::SetCounter(int id, std::int64_t value) {
  if (auto* label = controls::FindControlAs<QLabel>(this, id)) label->setText(QString::number(value));
}

bool CWizardModeProgressPage::OnPageSetActive() {
  if (std::shared_ptr<CVolume> volume = CurrentVolume()) drive_->SetText(app::ToQString(volume->GetDisplayName()));
  if (g_App) g_App->SetLogWindow(this);
  if (startPending_) Start();
  UpdateState();
  timer_.start();
  return true;
}

bool CWizardModeProgressPage::OnKillActive() {
  timer_.stop();
  return true;
}

void CWizardModeProgressPage::Start() {
  startPending_ = false;
  UpdateState();
  std::shared_ptr<CVolume> volume = CurrentVolume();
  if (!volume || GetScanProgress().IsRunning()) {
    UpdateState();
    return;
  }
  stoppedByUser_ = false;
  ClearPassEnd();
  startedHere_ = StartPass(*volume);
  UpdateState();
}

void CWizardModeProgressPage::Stop() {
  std::shared_ptr<CVolume> volume = CurrentVolume();
  Log().InfoId(57113);
  if (volume && g_Computer) {
    // The stop may ask first; No leaves the pass running.
    if (g_Computer->FinishAnalysis(volume, false) == 1) stoppedByUser_ = true;
  }
  UpdateState();
}

void CWizardModeProgressPage::UpdateState() {
  UpdateProgress();
  const bool running = GetScanProgress().IsRunning();
  // The count stays in the run state until the next pass begins.
  if (startedHere_) readErrors_ = GetScanProgress().unreadable.load();
  SetCounter(IDC_READ_ERRORS, readErrors_);
  status_->setText(LangString(running ? 161 : 162));
  start_->setEnabled(!running);
  stop_->setEnabled(running);
  if (!running && pass_ == CAutoPilot::Pass::kSectors && !passCompleted_) bar_->setValue(0);
  if (IsActive()) SetWizardButtons(running ? 0 : controls::PSWIZB_BACK | controls::PSWIZB_NEXT);
}

void CWizardModeProgressPage::OnPassDone() {
  if (startedHere_) readErrors_ = GetScanProgress().unreadable.load();
  passCompleted_ = startedHere_ && !stoppedByUser_;
  UpdateState();
  const bool autoPilot = startedHere_ && CAutoPilot::Applies(Settings(), stoppedByUser_);
  startedHere_ = false;
  if (autoPilot && Main()) Main()->AutoRecover(pass_);
}

bool CWizardModeProgressPage::event(QEvent* event) {
  if (const PostedMessage* m = CPostedEvent::Of(event); m && m->message == WM_LOG_LINE) {
    log_->AppendLine(app::ToQString(m->text));
    return true;
  }
  return CWizardModePage::event(event);
}
