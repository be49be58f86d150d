#include "dialogs/VolumeVirtualDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "app/App.h"
#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "controls/RangeCtrl.h"
#include "dialogs/FormParts.h"
#include "engine/volume/Volume.h"

namespace {

QComboBox* MakeUnitCombo(QWidget* parent, int id) {
  auto* combo = new QComboBox(parent);
  controls::SetControlId(combo, id);
  combo->addItems({QStringLiteral("Gb"), QStringLiteral("Mb"), QStringLiteral("Kb")});
  combo->setCurrentIndex(0);
  return combo;
}

QLineEdit* MakeNumberEdit(QWidget* parent, int id) {
  auto* edit = new QLineEdit(parent);
  controls::SetControlId(edit, id);
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
  return edit;
}

}  // namespace

CVolumeVirtualDlg::CVolumeVirtualDlg(std::shared_ptr<CVolume> volume, QWidget* parent)
    : QDialog(parent), volume_(std::move(volume)) {
  setWindowTitle(QStringLiteral("Create Virtual Drive"));
  controls::SetControlId(this, IDD);
  const controls::DialogBaseUnits du = controls::BaseUnitsOf(font());

  startEdit_ = MakeNumberEdit(this, IDC_START);
  startUnit_ = MakeUnitCombo(this, IDC_START_UNIT);
  sizeEdit_ = MakeNumberEdit(this, IDC_SIZE);
  sizeUnit_ = MakeUnitCombo(this, IDC_SIZE_UNIT);
  auto* fields = new QHBoxLayout();
  fields->addWidget(new QLabel(QStringLiteral("Start from:"), this));
  fields->addWidget(startEdit_, 1);
  fields->addWidget(startUnit_);
  fields->addSpacing(controls::DluToPixelsX(du, 10));
  fields->addWidget(new QLabel(QStringLiteral("Size:"), this));
  fields->addWidget(sizeEdit_, 1);
  fields->addWidget(sizeUnit_);

  // The range control takes the place of its stand-in static, with the labels of
  // its two ends above it and the scale below.
  auto* standIn = new QLabel(this);
  controls::SetControlId(standIn, IDC_RANGE);
  standIn->setFixedSize(CRangeCtrl::kWidth, controls::DluToPixelsY(du, 14));
  leftLabel_ = new QLabel(this);
  leftLabel_->setObjectName(QStringLiteral("RangeStartLabel"));
  rightLabel_ = new QLabel(this);
  rightLabel_->setObjectName(QStringLiteral("RangeEndLabel"));
  auto* scaleStart = new QLabel(QStringLiteral("0 GB"), this);
  auto* scaleEnd = new QLabel(QStringLiteral("0 GB"), this);
  controls::SetControlId(scaleEnd, IDC_DRIVE_SIZE);
  auto* scale = new QGridLayout();
  scale->setHorizontalSpacing(0);
  scale->addWidget(leftLabel_, 0, 0, Qt::AlignLeft);
  scale->addWidget(rightLabel_, 0, 1, Qt::AlignRight);
  scale->addWidget(standIn, 1, 0, 1, 2);
  scale->addWidget(scaleStart, 2, 0, Qt::AlignLeft);
  scale->addWidget(scaleEnd, 2, 1, Qt::AlignRight);
  auto* scaleRow = new QHBoxLayout();
  scaleRow->addStretch(1);
  scaleRow->addLayout(scale);
  scaleRow->addStretch(1);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  controls::SetControlId(ok, 1);
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  controls::SetControlId(cancel, 2);
  QPushButton* help = dialogs::MakeHelpButton(this, IDC_HELP_BUTTON);
  connect(ok, &QPushButton::clicked, this, &CVolumeVirtualDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &CVolumeVirtualDlg::reject);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addWidget(help);

  QVBoxLayout* layout = dialogs::MakeFormLayout(this);
  layout->addLayout(fields);
  layout->addSpacing(controls::DluToPixelsY(du, 6));
  layout->addLayout(scaleRow);
  layout->addSpacing(controls::DluToPixelsY(du, 6));
  layout->addLayout(buttons);

  // The range control takes the stand-in's place in the layout.
  range_ = new CRangeCtrl(this);
  range_->SubclassWindow(standIn);
  range_->setFixedWidth(CRangeCtrl::kWidth);
  connect(range_, &CRangeCtrl::rangeChanged, this, &CVolumeVirtualDlg::OnRangeChanged);

  // The scale: the drive's size in GB with one decimal.
  units_ = volume_ ? ScaleUnits(volume_->Info().totalBytes) : 0;
  busy_ = true;
  leftLabel_->setText(QStringLiteral("0.0"));
  rightLabel_->setText(ScaleText(units_));
  scaleEnd->setText(ScaleText(units_) + QStringLiteral(" GB"));
  busy_ = false;
}

CVolumeVirtualDlg::~CVolumeVirtualDlg() = default;

std::int64_t CVolumeVirtualDlg::ScaleUnits(std::int64_t totalBytes) {
  return std::max<std::int64_t>(totalBytes, 0) / 1000 / 1000 / 100;
}

QString CVolumeVirtualDlg::ScaleText(std::int64_t units) {
  return QStringLiteral("%1.%2").arg(units / 10).arg(units % 10);
}

QString CVolumeVirtualDlg::LeftLabel() const { return leftLabel_->text(); }

QString CVolumeVirtualDlg::RightLabel() const { return rightLabel_->text(); }

void CVolumeVirtualDlg::OnRangeChanged(int startPercent, int endPercent) {
  if (busy_) return;
  busy_ = true;
  const std::int64_t e = units_ / 100;
  leftLabel_->setText(QString::number(startPercent * e));
  rightLabel_->setText(QString::number((endPercent - startPercent) * e));
  busy_ = false;
}

void CVolumeVirtualDlg::accept() {}

void CVolumeVirtualDlg::reject() { done(2); }
