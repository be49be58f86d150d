#include "mainframe/find/SearchBarView.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/App.h"
#include "app/PostedEvent.h"
#include "app/QtText.h"
#include "controls/ControlId.h"
#include "engine/records/Messages.h"

namespace {

platform::DateTime DayOf(const QDate& date) {
  platform::DateTime d;
  d.year = date.year();
  d.month = date.month();
  d.day = date.day();
  return d;
}

}  // namespace

CSearchBarView::CSearchBarView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("CSearchBarView"));
  clock_ = [] { return platform::FileTimeNow(); };
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->setSpacing(6);

  layout->addWidget(new QLabel(QStringLiteral("All or part of the filename:"), this));
  mask_ = new QLineEdit(this);
  mask_->setMaxLength(int(FindCriteria::kMaxMaskLength));
  controls::SetControlId(mask_, kIdMask);
  layout->addWidget(mask_);
  auto* hint = new QLabel(QStringLiteral("Hint: Use the '*' and '?' wildcards"), this);
  hint->setEnabled(false);
  layout->addWidget(hint);

  // The period.
  auto* dates = new QGroupBox(QStringLiteral("When was it modified?"), this);
  auto* dateLayout = new QVBoxLayout(dates);
  dateModes_ = new QButtonGroup(this);
  const char* dateTexts[] = {"Don't remember", "In the past week", "In the past month", "In the past year",
                             "Specify dates"};
  for (int i = 0; i < 5; ++i) {
    auto* radio = new QRadioButton(QString::fromLatin1(dateTexts[i]), dates);
    controls::SetControlId(radio, kIdDateModeFirst + i);
    dateModes_->addButton(radio, i);
    dateLayout->addWidget(radio);
  }
  auto* pickers = new QGridLayout;
  pickers->setContentsMargins(18, 0, 0, 0);
  dateFrom_ = new QDateEdit(QDate::currentDate(), dates);
  dateTo_ = new QDateEdit(QDate::currentDate(), dates);
  for (QDateEdit* d : {dateFrom_, dateTo_}) d->setCalendarPopup(true);
  controls::SetControlId(dateFrom_, kIdDateFrom);
  controls::SetControlId(dateTo_, kIdDateTo);
  pickers->addWidget(new QLabel(QStringLiteral("from"), dates), 0, 0);
  pickers->addWidget(dateFrom_, 0, 1);
  pickers->addWidget(new QLabel(QStringLiteral("to"), dates), 1, 0);
  pickers->addWidget(dateTo_, 1, 1);
  pickers->setColumnStretch(1, 1);
  dateLayout->addLayout(pickers);
  layout->addWidget(dates);

  // The size.
  auto* sizes = new QGroupBox(QStringLiteral("What size is it?"), this);
  auto* sizeLayout = new QVBoxLayout(sizes);
  sizeModes_ = new QButtonGroup(this);
  const char* sizeTexts[] = {"Don't remember", "Small (less than 100 KB)", "Medium (less than 1 MB)",
                             "Large (greater than 1 MB)", "Specify size (in KB)"};
  for (int i = 0; i < 5; ++i) {
    auto* radio = new QRadioButton(QString::fromLatin1(sizeTexts[i]), sizes);
    controls::SetControlId(radio, kIdSizeModeFirst + i);
    sizeModes_->addButton(radio, i);
    sizeLayout->addWidget(radio);
  }
  auto* sizeRow = new QHBoxLayout;
  sizeRow->setContentsMargins(18, 0, 0, 0);
  compare_ = new QComboBox(sizes);
  controls::SetControlId(compare_, kIdCompare);
  sizeNumber_ = new QLineEdit(sizes);
  sizeNumber_->setValidator(new QIntValidator(0, 2147483647, sizeNumber_));
  sizeNumber_->setMinimumWidth(50);
  controls::SetControlId(sizeNumber_, kIdSizeNumber);
  sizeUnit_ = new QComboBox(sizes);
  controls::SetControlId(sizeUnit_, kIdSizeUnit);
  sizeRow->addWidget(compare_);
  sizeRow->addWidget(sizeNumber_, 1);
  sizeRow->addWidget(sizeUnit_);
  sizeLayout->addLayout(sizeRow);
  layout->addWidget(sizes);

  deletedOnly_ = new QCheckBox(QStringLiteral("Search for deleted files only"), this);
  controls::SetControlId(deletedOnly_, kIdDeletedOnly);
  ignoreFolders_ = new QCheckBox(QStringLiteral("Ignore folders (search for files only)"), this);
  controls::SetControlId(ignoreFolders_, kIdIgnoreFolders);
  layout->addWidget(deletedOnly_);
  layout->addWidget(ignoreFolders_);

  auto* buttons = new QHBoxLayout;
  search_ = new QPushButton(QStringLiteral("Search"), this);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  controls::SetControlId(search_, kIdSearch);
  controls::SetControlId(cancel_, kIdCancel);
  search_->setDefault(true);
  buttons->addStretch(1);
  buttons->addWidget(search_);
  buttons->addWidget(cancel_);
  layout->addLayout(buttons);
  layout->addStretch(1);

  OnInitDialog();

  connect(search_, &QPushButton::clicked, this, &CSearchBarView::OnFind);
  connect(cancel_, &QPushButton::clicked, this, &CSearchBarView::OnStop);
  connect(mask_, &QLineEdit::returnPressed, this, [this] {
    if (search_->isEnabled()) OnFind();
  });
  // Any other button's change (radio buttons, check boxes) and the combo boxes.
  connect(dateModes_, &QButtonGroup::idClicked, this, &CSearchBarView::OnCriteriaChanged);
  connect(sizeModes_, &QButtonGroup::idClicked, this, &CSearchBarView::OnCriteriaChanged);
  for (QCheckBox* box : {deletedOnly_, ignoreFolders_})
    connect(box, &QCheckBox::clicked, this, &CSearchBarView::OnCriteriaChanged);
  for (QComboBox* combo : {compare_, sizeUnit_})
    connect(combo, &QComboBox::activated, this, &CSearchBarView::OnCriteriaChanged);
}

void CSearchBarView::OnInitDialog() {
  compare_->clear();
  compare_->addItems({QStringLiteral(" ="), QStringLiteral(" >"), QStringLiteral(" <")});
  compare_->setCurrentIndex(0);
  sizeUnit_->clear();
  sizeUnit_->addItems({QStringLiteral(" B "), QStringLiteral(" KB "), QStringLiteral(" MB "), QStringLiteral(" GB ")});
  sizeUnit_->setCurrentIndex(FindCriteria::kKB);
  criteria_ = FindCriteria();
  criteria_.nameMask.clear();
  UpdateControls();
  WriteControls();
}

void CSearchBarView::ReadControls() {
  criteria_.nameMask = app::ToU16(mask_->text());
  criteria_.dateMode = std::max(0, dateModes_->checkedId());
  criteria_.sizeMode = std::max(0, sizeModes_->checkedId());
  criteria_.sizeCompare = FindCriteria::CompareOfIndex(compare_->currentIndex());
  criteria_.sizeNumber = sizeNumber_->text().toLongLong();
  criteria_.sizeUnit = std::max(0, sizeUnit_->currentIndex());
  criteria_.deletedOnly = deletedOnly_->isChecked() ? 1 : 0;
  criteria_.ignoreFolders = ignoreFolders_->isChecked() ? 1 : 0;
}

void CSearchBarView::WriteControls() {
  updating_ = true;
  mask_->setText(app::ToQString(criteria_.nameMask));
  if (QAbstractButton* b = dateModes_->button(criteria_.dateMode)) b->setChecked(true);
  if (QAbstractButton* b = sizeModes_->button(criteria_.sizeMode)) b->setChecked(true);
  sizeNumber_->setText(QString::number(criteria_.sizeNumber));
  deletedOnly_->setChecked(criteria_.deletedOnly != 0);
  ignoreFolders_->setChecked(criteria_.ignoreFolders != 0);
  updating_ = false;
}

void CSearchBarView::OnCriteriaChanged() {
  if (updating_) return;
  ReadControls();
  UpdateControls();
}

void CSearchBarView::UpdateControls() {
  criteria_.ApplySizeMode();
  const bool sizeControls = criteria_.SizeControlsEnabled();
  compare_->setEnabled(sizeControls);
  sizeNumber_->setEnabled(sizeControls);
  sizeUnit_->setEnabled(sizeControls);
  if (!criteria_.IgnoreFoldersEnabled()) ignoreFolders_->setChecked(true);
  ignoreFolders_->setEnabled(criteria_.IgnoreFoldersEnabled());
  dateFrom_->setEnabled(criteria_.DatePickersEnabled());
  dateTo_->setEnabled(criteria_.DatePickersEnabled());
}

void CSearchBarView::OnFind() {
  ReadControls();
  criteria_.Prepare(clock_ ? clock_() : platform::FileTimeNow(), DayOf(dateFrom_->date()), DayOf(dateTo_->date()));
  Post(top_ ? top_.data() : (g_App ? static_cast<QObject*>(g_App->TopWindow()) : nullptr), WM_FIND_START);
}

void CSearchBarView::OnStop() { Post(owner_, WM_FIND_STOP); }

void CSearchBarView::SetSearchEnabled(bool enabled) { search_->setEnabled(enabled); }

void CSearchBarView::Post(QObject* to, std::uint32_t message) {
  if (!to) return;
  PostedMessage m;
  m.message = message;
  QCoreApplication::postEvent(to, new CPostedEvent(std::move(m)));
}
