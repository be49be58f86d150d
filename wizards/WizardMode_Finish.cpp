#include "wizards/WizardMode_Finish.h"

#include <QGridLayout>
#include <QPushButton>
#include <QLabel>
#include <QVBoxLayout>

#include "app/App.h"
#include "controls/ControlId.h"
#include "controls/Label.h"
#include "controls/ResizablePropertySheet.h"
#include "engine/volume/Volume.h"
#include "mainframe/frame/CommandTable.h"
#include "wizards/WizardMode_Main.h"
#include "wizards/WizardMode_Step1.h"

CWizardMode_Finish::CWizardMode_Finish()
    : CWizardModePage(IDD, 152, QStringLiteral("Wizard.Finish")),
      foundLabel_(new controls::CLabel(QStringLiteral("0"), this)),
      recoveredLabel_(new controls::CLabel(QStringLiteral("0"), this)) {
  controls::SetControlId(foundLabel_, IDC_FOUND);
  controls::SetControlId(recoveredLabel_, IDC_RECOVERED);
  for (controls::CLabel* label : {foundLabel_, recoveredLabel_}) label->SetFontBold(true);
  QVBoxLayout* layout = Layout();
  auto* counts = new QGridLayout;
  counts->setHorizontalSpacing(DluX(6));
  counts->addWidget(AddText(QStringLiteral("Files found:")), 0, 0);
  counts->addWidget(foundLabel_, 0, 1);
  counts->addWidget(AddText(QStringLiteral("Files Recovered:")), 1, 0);
  counts->addWidget(recoveredLabel_, 1, 1);
  counts->setColumnStretch(1, 1);
  layout->addLayout(counts);
  layout->addSpacing(DluY(8));

  // Each action: its text, then its button at the right.
  auto action = [&](int textId, const QString& text, int buttonId, const QString& caption, auto&& onClick) {
    auto* row = new QHBoxLayout;
    row->addWidget(AddText(text, textId), 1);
    auto* button = new QPushButton(caption, this);
    controls::SetControlId(button, buttonId);
    button->setAutoDefault(false);
    button->setMinimumWidth(DluX(90));
    connect(button, &QPushButton::clicked, this, onClick);
    row->addWidget(button, 0, Qt::AlignVCenter);
    layout->addLayout(row);
    layout->addSpacing(DluY(6));
  };
  action(1193, QStringLiteral("Open the file manager to see the recovered files."), IDC_EXPLORE,
         QStringLiteral("Explore Recovered Files"), [this] { OnExplore(); });
  action(1194, QStringLiteral("If you have not found the file you were looking for, try searching another drive."),
         IDC_ANOTHER_DRIVE, QStringLiteral("Process Another Drive"), [this] { OnAnotherDrive(); });
  action(1195,
         QStringLiteral("We put great effort in our work and we would really like to know you impressions and advice. "
                        "Please feel free to leave your comment!"),
         IDC_FEEDBACK, QStringLiteral("Send your feedback to us!"), [this] { OnFeedback(); });
  layout->addStretch(1);
}

CWizardMode_Finish::~CWizardMode_Finish() = default;

void CWizardMode_Finish::UpdateCounts() {
  std::shared_ptr<CVolume> volume = CWizardMode_Main::CurrentVolume();
  found_ = volume ? int(volume->FileSystemPassCounters().files.load() + volume->SectorPassCounters().files.load()) : 0;
  recovered_ = Main() ? Main()->RecoveredCount() : 0;
  foundLabel_->SetText(QString::number(found_));
  recoveredLabel_->SetText(QString::number(recovered_));
}

bool CWizardMode_Finish::OnPageSetActive() {
  UpdateCounts();
  SetWizardButtons(controls::PSWIZB_BACK | controls::PSWIZB_FINISH);
  return true;
}

bool CWizardMode_Finish::OnWizardFinish() { return Main() ? Main()->AskToEnd() : true; }

void CWizardMode_Finish::OnExplore() {
  if (Main()) Main()->ExploreRecoveredFiles();
}

void CWizardMode_Finish::OnAnotherDrive() {
  if (CWizardMode_Main* main = Main()) main->SetActivePage(main->Step1());
}

void CWizardMode_Finish::OnFeedback() {
  if (g_App) g_App->OnHelpCommand(mainframe::ID_TESTIMONIALS);
}
