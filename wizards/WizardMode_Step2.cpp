#include "wizards/WizardMode_Step2.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/QtText.h"
#include "controls/ControlId.h"
#include "dialogs/SearchFileTypeTreeView.h"
#include "engine/store/FileFilter.h"
#include "engine/volume/LocalComputer.h"

CWizardMode_Step2::CWizardMode_Step2()
    : CWizardModePage(IDD, 145, QStringLiteral("Wizard.Step2")),
      tree_(new CSearchFileTypeTreeView(this)),
      useMask_(new QCheckBox(QStringLiteral("File name (report*.doc;*.txt;*.wri ...):"), this)),
      mask_(new QLineEdit(this)) {
  controls::SetControlId(tree_, IDC_TYPES);
  controls::SetControlId(useMask_, IDC_USE_MASK);
  controls::SetControlId(mask_, IDC_MASK);
  mask_->setMaxLength(int(FileFilter::kMaskUnits) - 1);
  QVBoxLayout* layout = Layout();
  layout->addWidget(AddText(QStringLiteral("File types that should be searched for and recovered:")));
  layout->addWidget(tree_, 1);
  layout->addWidget(
      AddText(QStringLiteral("Additional search for any files by their names (you can also use wildcards):"),
              IDC_MASK_TEXT));
  layout->addWidget(useMask_);
  layout->addWidget(mask_);
  layout->addWidget(AddText(QStringLiteral("Click Next to continue..."), IDC_HINT));
  connect(useMask_, &QCheckBox::clicked, this, &CWizardMode_Step2::OnOptionClicked);
  connect(mask_, &QLineEdit::textEdited, this, &CWizardMode_Step2::OnOptionClicked);
}

CWizardMode_Step2::~CWizardMode_Step2() = default;

void CWizardMode_Step2::InitPage() {
  tree_->SubclassWindow();
  tree_->ExchangeChecks(0);
  if (g_Computer) {
    const FileFilter& filter = g_Computer->Filter();
    useMask_->setChecked(filter.UseMask() == 1);
    mask_->setText(app::ToQString(filter.Mask()));
  }
  mask_->setEnabled(useMask_->isChecked());
}

void CWizardMode_Step2::OnOptionClicked() {
  if (g_Computer) {
    FileFilter& filter = g_Computer->Filter();
    filter.SetUseMask(useMask_->isChecked() ? 1 : 0);
    filter.SetMask(app::ToU16(mask_->text()));
  }
  mask_->setEnabled(useMask_->isChecked());
}

int CWizardMode_Step2::OnWizardNext() {
  OnOptionClicked();
  tree_->ExchangeChecks(1);
  if (g_Computer) g_Computer->Filter().Save();
  return controls::kWizardGoOn;
}
