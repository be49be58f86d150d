#include "dialogs/FiltersView_General.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/App.h"
#include "app/QtText.h"
#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "controls/ResizablePropertySheet.h"
#include "engine/store/FileFilter.h"
#include "engine/volume/LocalComputer.h"

namespace {
constexpr int kMaskUnits = 256;  // with the terminator
}

CFiltersView_General::CFiltersView_General(FileFilter* filter)
    : CResizablePropertyPage(QStringLiteral("General")), filter_(filter) {
  SetDialogId(298);
  const controls::DialogBaseUnits units = controls::BaseUnitsOf(font());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(controls::DluToPixelsX(units, 7), controls::DluToPixelsY(units, 7),
                             controls::DluToPixelsX(units, 7), controls::DluToPixelsY(units, 7));
  layout->setSpacing(controls::DluToPixelsY(units, 4));

  useMask_ = new QCheckBox(QStringLiteral("Show folders and files filtered by wildcards:"), this);
  controls::SetControlId(useMask_, 1128);
  mask_ = new QLineEdit(this);
  controls::SetControlId(mask_, 1153);
  mask_->setMaxLength(kMaskUnits - 1);
  deletedOnly_ = new QCheckBox(QStringLiteral("Show deleted files only"), this);
  controls::SetControlId(deletedOnly_, 1090);
  useDates_ = new QCheckBox(QStringLiteral("Date:"), this);
  controls::SetControlId(useDates_, 1127);
  auto makePicker = [this](int id) {
    auto* picker = new QDateEdit(this);
    controls::SetControlId(picker, id);
    picker->setCalendarPopup(true);
    picker->setMinimumDate(QDate(1601, 1, 1));
    picker->setMaximumDate(QDate(9999, 12, 31));
    return picker;
  };
  from_ = makePicker(1066);
  to_ = makePicker(1067);

  layout->addWidget(useMask_);
  auto* maskRow = new QHBoxLayout;
  maskRow->addSpacing(20);
  maskRow->addWidget(mask_, 1);
  layout->addLayout(maskRow);
  layout->addWidget(deletedOnly_);
  layout->addWidget(useDates_);
  auto* dates = new QGridLayout;
  dates->setContentsMargins(20, 0, 0, 0);
  dates->addWidget(new QLabel(QStringLiteral("Between:"), this), 0, 0);
  dates->addWidget(from_, 0, 1);
  dates->addWidget(new QLabel(QStringLiteral("and:"), this), 1, 0);
  dates->addWidget(to_, 1, 1);
  dates->setColumnStretch(2, 1);
  layout->addLayout(dates);
  layout->addStretch(1);
  resize(controls::DluToPixels(units, 240, 150));

  for (QCheckBox* box : {useMask_, deletedOnly_, useDates_})
    connect(box, &QCheckBox::clicked, this, &CFiltersView_General::OnButtonClick);
  connect(from_, &QDateEdit::dateChanged, this, [this] { fromTouched_ = true; });
  connect(to_, &QDateEdit::dateChanged, this, [this] { toTouched_ = true; });
}

QDate CFiltersView_General::PickerDate(platform::FileTime stored) {
  const QDateTime utc = app::FileTimeToDateTime(stored);
  if (stored < 0 || !utc.isValid()) return QDate::currentDate();
  return utc.toLocalTime().date();
}

platform::FileTime CFiltersView_General::StartOfLocalDay(const QDate& date) {
  return app::DateTimeToFileTime(date.startOfDay(Qt::LocalTime));
}

platform::FileTime CFiltersView_General::EndOfLocalDay(const QDate& date) {
  return app::DateTimeToFileTime(date.addDays(1).startOfDay(Qt::LocalTime)) - 1;
}

void CFiltersView_General::OnInitDialog() {
  SendPageInitialized();
  if (!filter_ && g_Computer) filter_ = &g_Computer->Filter();
  if (!filter_) return;
  from_->setDate(PickerDate(filter_->DateFrom()));
  to_->setDate(PickerDate(filter_->DateTo()));
  fromTouched_ = toTouched_ = false;
  useMask_->setChecked(filter_->UseMask() == 1);
  mask_->setText(app::ToQString(filter_->Mask()));
  deletedOnly_->setChecked(filter_->DeletedOnly() == 1);
  useDates_->setChecked(filter_->UseDates() == 1);
  UpdateEnabling();
}

void CFiltersView_General::UpdateEnabling() {
  if (!filter_) return;
  from_->setEnabled(filter_->UseDates() == 1);
  to_->setEnabled(filter_->UseDates() == 1);
  mask_->setEnabled(filter_->UseMask() == 1);
}

void CFiltersView_General::SaveControls() {
  filter_->SetUseMask(useMask_->isChecked() ? 1 : 0);
  filter_->SetMask(app::ToU16(mask_->text()));
  filter_->SetDeletedOnly(deletedOnly_->isChecked() ? 1 : 0);
  filter_->SetUseDates(useDates_->isChecked() ? 1 : 0);
}

void CFiltersView_General::OnButtonClick() {
  if (!filter_) return;
  SaveControls();
  UpdateEnabling();
}

int CFiltersView_General::OnApply() {
  if (!filter_) return controls::kApplyAccepted;
  SaveControls();
  if (fromTouched_) filter_->SetDateFrom(StartOfLocalDay(from_->date()));
  if (toTouched_) filter_->SetDateTo(EndOfLocalDay(to_->date()));
  fromTouched_ = toTouched_ = false;
  return controls::kApplyAccepted;
}
