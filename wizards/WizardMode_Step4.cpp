#include "wizards/WizardMode_Step4.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/QtText.h"
#include "controls/ControlId.h"
#include "dialogs/FolderPicker.h"
#include "dialogs/OnRecoveryDlg.h"
#include "engine/records/AppSettings.h"
#include "engine/volume/LocalComputer.h"

CWizardMode_Step4::CWizardMode_Step4()
    : CWizardModePage(IDD, 147, QStringLiteral("Wizard.Step4")),
      autoRecover_(new QCheckBox(this)),
      destination_(new QLineEdit(this)),
      keepFolders_(new QCheckBox(QStringLiteral("Keep the folder structure"), this)) {
  controls::SetControlId(autoRecover_, IDC_AUTO_RECOVER);
  controls::SetControlId(destination_, IDC_DESTINATION);
  controls::SetControlId(keepFolders_, IDC_KEEP_FOLDERS);
  destination_->setMaxLength(kDestinationUnits - 1);
  QVBoxLayout* layout = Layout();
  QFont bold = font();
  bold.setBold(true);
  QLabel* pilot = AddText(QStringLiteral("Auto pilot:"));
  pilot->setFont(bold);
  layout->addWidget(pilot);
  // The check box's long text wraps beside the box.
  auto* pilotRow = new QHBoxLayout;
  pilotRow->addWidget(autoRecover_, 0, Qt::AlignTop);
  pilotText_ = AddText(QStringLiteral(
      "The program will automatically recover every file it finds to the specified target location. You do not have "
      "to sit in front of the computer and wait while the entire drive is scanned. Use carefully - you must have "
      "enough free space on the target drive!"));
  pilotText_->setBuddy(autoRecover_);
  pilotRow->addWidget(pilotText_, 1);
  layout->addLayout(pilotRow);
  layout->addSpacing(DluY(6));
  QLabel* target = AddText(QStringLiteral("The target folder where the recovered files will be saved:"));
  target->setFont(bold);
  layout->addWidget(target);
  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(destination_, 1);
  auto* browse = new QPushButton(QStringLiteral("Browse..."), this);
  controls::SetControlId(browse, IDC_BROWSE);
  browse->setAutoDefault(false);
  connect(browse, &QPushButton::clicked, this, &CWizardMode_Step4::OnBrowse);
  folderRow->addWidget(browse);
  layout->addLayout(folderRow);
  layout->addWidget(keepFolders_);
  layout->addSpacing(DluY(4));
  QLabel* warning = AddText(QStringLiteral("Never save recovered files to the same logical disk where they are "
                                           "recovered from as this may cause unpredictable results and loss of data!"),
                            IDC_WARNING);
  warning->setStyleSheet(QStringLiteral("color: #b00000;"));
  layout->addWidget(warning);
  layout->addStretch(1);
  layout->addWidget(AddText(QStringLiteral("Click Next to continue..."), IDC_HINT));
  // A click on the text is a click on the box.
  pilotText_->installEventFilter(this);
}

bool CWizardMode_Step4::eventFilter(QObject* watched, QEvent* event) {
  if (watched == pilotText_ && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    autoRecover_->click();
    return true;
  }
  return CWizardModePage::eventFilter(watched, event);
}

CWizardMode_Step4::~CWizardMode_Step4() = default;

void CWizardMode_Step4::InitPage() { LoadFields(); }

void CWizardMode_Step4::LoadFields() {
  const AppSettings& s = Settings();
  autoRecover_->setChecked(s.AutoRecover() == 1);
  keepFolders_->setChecked(s.KeepFolderStructure() == 1);
  destination_->setText(app::ToQString(s.DestinationFolder()));
}

void CWizardMode_Step4::SaveFields() {
  AppSettings& s = Settings();
  s.SetAutoRecover(autoRecover_->isChecked() ? 1 : 0);
  s.SetKeepFolderStructure(keepFolders_->isChecked() ? 1 : 0);
  s.SetDestinationFolder(app::ToU16(destination_->text()));
}

void CWizardMode_Step4::OnBrowse() {
  const QString chosen = CFolderPicker::Pick(QApplication::activeWindow(), QString(), destination_->text());
  if (chosen.isEmpty()) return;
  // What the page shows is stored first, so that reloading keeps the checks.
  SaveFields();
  Settings().SetDestinationFolder(app::ToU16(COnRecoveryDlg::WithTrailingSeparator(chosen)));
  LoadFields();
}

int CWizardMode_Step4::OnWizardNext() {
  SaveFields();
  if (g_Computer && g_Computer->CheckDestinationFolder(nullptr, false) != 1) return controls::kWizardStay;
  return controls::kWizardGoOn;
}
