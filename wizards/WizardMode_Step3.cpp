#include "wizards/WizardMode_Step3.h"

#include <QButtonGroup>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "controls/ControlId.h"
#include "engine/records/AppSettings.h"

CWizardMode_Step3::CWizardMode_Step3()
    : CWizardModePage(IDD, 146, QStringLiteral("Wizard.Step3")),
      entire_(new QRadioButton(QStringLiteral("Scan entire drive"), this)),
      free_(new QRadioButton(QStringLiteral("Scan free drive space only"), this)) {
  controls::SetControlId(entire_, IDC_ENTIRE_DRIVE);
  controls::SetControlId(free_, IDC_FREE_SPACE);
  auto* group = new QButtonGroup(this);
  group->addButton(entire_, 0);
  group->addButton(free_, 1);
  QVBoxLayout* layout = Layout();
  layout->addWidget(AddText(QStringLiteral("Select what program should do:")));
  layout->addSpacing(DluY(4));
  auto indented = [this](QLabel* text) {
    text->setContentsMargins(DluX(12), 0, 0, DluY(6));
    return text;
  };
  layout->addWidget(free_);
  layout->addWidget(indented(AddText(QStringLiteral("The program will look for deleted files in the free drive space "
                                                    "only. Only the free clusters will be checked, therefore it is "
                                                    "relatively fast."),
                                     1214)));
  layout->addWidget(entire_);
  layout->addWidget(indented(AddText(QStringLiteral("Files that may be invisible to the file system will be included "
                                                    "in the search. Every cluster on the drive will be checked, "
                                                    "therefore the scan will be slower."),
                                     1215)));
  layout->addStretch(1);
  layout->addWidget(AddText(QStringLiteral("Click Next to continue..."), IDC_HINT));
}

CWizardMode_Step3::~CWizardMode_Step3() = default;

void CWizardMode_Step3::InitPage() {
  (Settings().SkipAllocatedClusters() == 0 ? entire_ : free_)->setChecked(true);
}

int CWizardMode_Step3::OnWizardNext() {
  Settings().SetSkipAllocatedClusters(free_->isChecked() ? 1 : 0);
  return controls::kWizardGoOn;
}
