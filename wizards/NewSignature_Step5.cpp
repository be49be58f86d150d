#include "wizards/NewSignature_Step5.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "app/QtText.h"
#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "controls/ResizablePropertySheet.h"
#include "dialogs/FieldExchange.h"
#include "search/FileType.h"
#include "wizards/NewSignature.h"

namespace {
// The texts' capacities, terminator included (the description address is kept in
// the technical text, of which this many units are exchanged).
constexpr int kTitleUnits = static_cast<int>(FileType::kTitleUnits);
constexpr int kDescriptionUnits = static_cast<int>(FileType::kDescriptionUnits);
constexpr int kAddressUnits = 260;
}  // namespace

CNewSignature_Step5::CNewSignature_Step5() : CResizablePropertyPage() {
  SetDialogId(322);
  SetHeaderTitle(QStringLiteral("Provide description"));
  SetHeaderSubTitle(QString());
  setWindowTitle(QStringLiteral("New Signature Wizard"));
  const controls::DialogBaseUnits units = controls::BaseUnitsOf(font());
  title_ = new QLineEdit(this);
  controls::SetControlId(title_, 1123);
  title_->setMaxLength(kTitleUnits - 1);
  category_ = new QLineEdit(this);
  controls::SetControlId(category_, 1038);
  category_->setEnabled(false);  // no action
  description_ = new QPlainTextEdit(this);
  controls::SetControlId(description_, 1139);
  address_ = new QLineEdit(this);
  controls::SetControlId(address_, 1142);
  address_->setMaxLength(kAddressUnits - 1);

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(controls::DluToPixelsX(units, 7), controls::DluToPixelsY(units, 7),
                           controls::DluToPixelsX(units, 7), controls::DluToPixelsY(units, 7));
  grid->setHorizontalSpacing(controls::DluToPixelsX(units, 6));
  int row = 0;
  grid->addWidget(new QLabel(QStringLiteral("Title:"), this), row, 0);
  grid->addWidget(title_, row++, 1);
  grid->addWidget(new QLabel(QStringLiteral("Category:"), this), row, 0);
  grid->addWidget(category_, row++, 1);
  grid->addWidget(new QLabel(QStringLiteral("Short description:"), this), row, 0, Qt::AlignTop);
  grid->addWidget(description_, row++, 1);
  grid->addWidget(new QLabel(QStringLiteral("Desctiption url:"), this), row, 0);
  grid->addWidget(address_, row++, 1);
  grid->setRowStretch(2, 1);
  grid->setColumnStretch(1, 1);
  resize(controls::DluToPixels(units, 353, 183));
}

CNewSignature_Step5::~CNewSignature_Step5() = default;

void CNewSignature_Step5::LoadFields() {
  if (!g_NewSignature) return;
  title_->setText(app::ToQString(g_NewSignature->Title()));
  description_->setPlainText(app::ToQString(g_NewSignature->Description()));
  address_->setText(app::ToQString(g_NewSignature->TechnicalText()).left(kAddressUnits - 1));
}

void CNewSignature_Step5::OnInitDialog() { LoadFields(); }

bool CNewSignature_Step5::OnSetActive() {
  SetWizardButtons(controls::PSWIZB_BACK | controls::PSWIZB_NEXT);
  return true;
}

int CNewSignature_Step5::OnWizardNext() {
  if (!g_NewSignature) return controls::kWizardGoOn;
  const QString title = title_->text();
  const QString description = description_->toPlainText();
  const QString address = address_->text();
  if (title.size() > kTitleUnits - 1) {
    dialogs::RefuseTooLong(title_, kTitleUnits - 1);
    return controls::kWizardStay;
  }
  if (description.size() > kDescriptionUnits - 1) {
    dialogs::RefuseTooLong(description_, kDescriptionUnits - 1);
    return controls::kWizardStay;
  }
  g_NewSignature->SetTitle(app::ToU16(title));
  g_NewSignature->SetDescription(app::ToU16(description));
  g_NewSignature->SetTechnicalText(app::ToU16(address));
  g_NewSignature->wizardFlag = 1;
  return controls::kWizardGoOn;
}
