#include "dialogs/ProbableFileSizeDlg.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <optional>

#include "app/App.h"
#include "app/Formatting.h"
#include "app/QtText.h"
#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "controls/Label.h"
#include "dialogs/FieldExchange.h"
#include "search/Recovery.h"

namespace {

constexpr std::int64_t kUnitFactors[] = {1, 1024, 1048576, 1073741824};
const char* const kUnitTexts[] = {" B ", " KB", " MB", " GB"};

std::int64_t Value(const Question& q, std::size_t index, std::int64_t fallback = -1) {
  return index < q.values.size() ? q.values[index] : fallback;
}

}  // namespace

QString CProbableFileSizeDlg::KilobytesText(std::int64_t kilobytes) {
  QString digits = QString::number(kilobytes < 0 ? 0 : kilobytes);
  GroupThousands(digits);
  return digits + QLatin1Char(' ') + LangString(175);
}

QString CProbableFileSizeDlg::DistanceText(std::int64_t bytes) { return KilobytesText(bytes < 0 ? 0 : bytes / 1024); }

controls::CLabel* CProbableFileSizeDlg::MakeInfoLabel(int id) {
  auto* label = new controls::CLabel(this);
  controls::SetControlId(label, id);
  label->SetFontBold(true);
  return label;
}

CProbableFileSizeDlg::CProbableFileSizeDlg(const Question& question, QWidget* parent)
    : QDialog(parent), question_(question) {
  setWindowTitle(QStringLiteral("Enter probable file size"));
  controls::SetControlId(this, IDD);
  const controls::DialogBaseUnits du = controls::BaseUnitsOf(font());
  const QString typeName = app::ToQString(question.text);

  // ---- What is known about the file ----
  controls::CLabel* intro = MakeInfoLabel(IDC_INTRO);
  QString introText = QStringLiteral(
      "The file of the '%s' type is found, but its attributes such as name, parent folder, size, security "
      "settings, etc. are lost. We tried to determine its size by its content, but did not succeed. We don't know "
      "the exact size of this particular file.");
  introText.replace(QStringLiteral("%s"), typeName);
  intro->SetText(introText);
  intro->setMinimumHeight(controls::DluToPixelsY(du, 34));
  controls::CLabel* offset = MakeInfoLabel(IDC_OFFSET);
  offset->SetText(QString::number(Value(question, CRecovery::kSizeOffset, 0)));
  controls::CLabel* name = MakeInfoLabel(IDC_NAME);
  name->SetText(app::ToQString(question.detail));
  controls::CLabel* type = MakeInfoLabel(IDC_TYPE);
  type->SetText(typeName);
  controls::CLabel* condition = MakeInfoLabel(IDC_CONDITION);
  condition->SetText(LangString(Value(question, CRecovery::kSizeDeleted, 0) & 1 ? 176 : 177));

  auto* info = new QGroupBox(QStringLiteral("Information about the file found:"), this);
  auto* infoGrid = new QGridLayout(info);
  infoGrid->addWidget(intro, 0, 0, 1, 2);
  const QString captions[] = {QStringLiteral("Offset:"), QStringLiteral("Name:"), QStringLiteral("Type:"),
                              QStringLiteral("Condition:")};
  controls::CLabel* values[] = {offset, name, type, condition};
  for (int i = 0; i < 4; ++i) {
    infoGrid->addWidget(new QLabel(captions[i], info), i + 1, 0);
    infoGrid->addWidget(values[i], i + 1, 1);
  }
  infoGrid->setColumnStretch(1, 1);

  // ---- How the size is chosen ----
  auto* sizeBox = new QGroupBox(QStringLiteral(" File size: "), this);
  auto* sizeGrid = new QGridLayout(sizeBox);
  struct ModeRow {
    int id;
    const char* text;
    int valueId;
    QString value;
  };
  const ModeRow modes[] = {
      {IDC_MODE_DEFAULT, "The default file size for this file type is:", IDC_DEFAULT_SIZE,
       KilobytesText(Value(question, CRecovery::kSizeTypicalKB, 0))},
      {IDC_MODE_NEXT_ANY, "Distance to the next file of any type:", IDC_NEXT_ANY,
       DistanceText(Value(question, CRecovery::kSizeNextAny))},
      {IDC_MODE_NEXT_SAME, "Distance to the next file of the same type:", IDC_NEXT_SAME,
       DistanceText(Value(question, CRecovery::kSizeNextSame))},
  };
  int row = 0;
  for (const ModeRow& m : modes) {
    auto* radio = new QRadioButton(QString::fromLatin1(m.text), sizeBox);
    controls::SetControlId(radio, m.id);
    modeGroup_.addButton(radio, row);
    controls::CLabel* value = MakeInfoLabel(m.valueId);
    value->SetText(m.value);
    sizeGrid->addWidget(radio, row, 0);
    sizeGrid->addWidget(value, row, 1, 1, 2);
    ++row;
  }
  auto* custom = new QRadioButton(QStringLiteral("Custome size:"), sizeBox);
  controls::SetControlId(custom, IDC_MODE_CUSTOM);
  modeGroup_.addButton(custom, row);
  sizeValue_ = new QLineEdit(sizeBox);
  controls::SetControlId(sizeValue_, IDC_SIZE_VALUE);
  sizeValue_->setAlignment(Qt::AlignRight);
  // Digits only, as typed; the unset size's "-1" is shown as it is.
  sizeValue_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,10}")), this));
  sizeValue_->setMaximumWidth(controls::DluToPixelsX(du, 60));
  unit_ = new QComboBox(sizeBox);
  controls::SetControlId(unit_, IDC_UNIT);
  for (const char* u : kUnitTexts) unit_->addItem(QString::fromLatin1(u));
  sizeGrid->addWidget(custom, row, 0);
  sizeGrid->addWidget(sizeValue_, row, 1);
  sizeGrid->addWidget(unit_, row, 2, Qt::AlignLeft);
  sizeGrid->setColumnStretch(2, 1);

  // ---- How far the choice reaches ----
  auto* scopeBox = new QGroupBox(QStringLiteral(" Use the selection above for: "), this);
  auto* scopeRow = new QHBoxLayout(scopeBox);
  const std::pair<int, const char*> scopes[] = {
      {IDC_SCOPE_FILE, "This file only"},
      {IDC_SCOPE_TYPE, "All files of this type"},
      {IDC_SCOPE_ALL, "All files of any type"}};
  int scopeIndex = 0;
  for (const auto& [id, text] : scopes) {
    auto* radio = new QRadioButton(QString::fromLatin1(text), scopeBox);
    controls::SetControlId(radio, id);
    scopeGroup_.addButton(radio, scopeIndex++);
    scopeRow->addWidget(radio);
  }
  scopeRow->addStretch(1);

  // ---- Buttons ----
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  controls::SetControlId(ok, 1);
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  controls::SetControlId(cancel, 2);
  auto* skip = new QPushButton(QStringLiteral("Skip File"), this);
  controls::SetControlId(skip, IDC_SKIP_FILE);
  auto* help = new QPushButton(QStringLiteral("Help"), this);
  controls::SetControlId(help, IDC_HELP_BUTTON);
  for (QPushButton* b : {cancel, skip, help}) b->setAutoDefault(false);
  connect(ok, &QPushButton::clicked, this, &CProbableFileSizeDlg::OnOK);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(skip, &QPushButton::clicked, this, [this] { done(IDC_SKIP_FILE); });
  connect(help, &QPushButton::clicked, this, [] {
    if (g_App) g_App->OnHelpCommand(IDC_HELP_BUTTON);
  });
  connect(&modeGroup_, &QButtonGroup::buttonClicked, this,
          [this](QAbstractButton* b) { EnableCustomSize(controls::ControlId(b)); });
  connect(&scopeGroup_, &QButtonGroup::buttonClicked, this,
          [this](QAbstractButton* b) { EnableCustomSize(controls::ControlId(b)); });

  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addWidget(skip);
  buttons->addWidget(help);

  auto* top = new QVBoxLayout(this);
  top->addWidget(info);
  top->addWidget(sizeBox);
  top->addWidget(scopeBox);
  top->addLayout(buttons);
  setMinimumWidth(controls::DluToPixelsX(du, 300));

  // ---- Initial state ----
  unit_->setCurrentIndex(1);
  customSize_ = 0;
  SetSizeWithUnit(Value(question, CRecovery::kSizeCurrent));
  modeGroup_.button(0)->setChecked(true);
  scopeGroup_.button(0)->setChecked(true);
  EnableCustomSize(IDC_MODE_DEFAULT);

  // A question its asker stops waiting for closes as Cancel.
  if (question_.withdrawn) {
    withdrawnTimer_.setInterval(100);
    connect(&withdrawnTimer_, &QTimer::timeout, this, &CProbableFileSizeDlg::CheckWithdrawn);
    withdrawnTimer_.start();
  }
}

void CProbableFileSizeDlg::SetSizeWithUnit(std::int64_t size) {
  int unit = 0;
  if (size > kUnitFactors[3])
    unit = 3;
  else if (size > kUnitFactors[2])
    unit = 2;
  else if (size > kUnitFactors[1])
    unit = 1;
  unit_->setCurrentIndex(unit);
  const std::int64_t value = unit == 0 ? static_cast<std::int32_t>(static_cast<std::uint32_t>(size & 0xFFFFFFFF))
                                       : size / kUnitFactors[unit];
  sizeValue_->setText(QString::number(value));
}

void CProbableFileSizeDlg::EnableCustomSize(int id) {
  switch (id) {
    case IDC_MODE_DEFAULT:
    case IDC_MODE_NEXT_ANY:
    case IDC_MODE_NEXT_SAME:
      sizeValue_->setEnabled(false);
      unit_->setEnabled(false);
      break;
    case IDC_MODE_CUSTOM:
      sizeValue_->setEnabled(true);
      unit_->setEnabled(true);
      break;
    default:
      break;
  }
}

void CProbableFileSizeDlg::OnOK() {
  const int modeIndex = modeGroup_.checkedId();
  const int scopeIndex = scopeGroup_.checkedId();
  const std::int32_t mode = (modeIndex < 0 ? 0 : modeIndex) + 1;
  std::int64_t custom = 0;
  if (mode == 4) {
    // The size is read only for a custom size; a size below 1 (an empty field,
    // the unset size's -1, 0) or beyond the field is refused.
    const std::optional<std::int32_t> value = dialogs::ReadInt32(sizeValue_);
    const int unit = unit_->currentIndex();
    if (!value || *value < 1 || unit < 0 || unit > 3) {
      QApplication::beep();
      sizeValue_->setFocus();
      sizeValue_->selectAll();
      return;
    }
    custom = std::int64_t(*value) * kUnitFactors[unit];
  }
  sizeMode_ = mode;
  scope_ = scopeIndex < 0 ? 0 : scopeIndex;
  customSize_ = custom;
  withdrawnTimer_.stop();
  done(QDialog::Accepted);
}

void CProbableFileSizeDlg::CheckWithdrawn() {
  if (question_.Withdrawn()) {
    withdrawnTimer_.stop();
    done(QDialog::Rejected);
  }
}

Reply CProbableFileSizeDlg::MakeReply(int result) const {
  Reply reply;
  if (result == QDialog::Accepted) {
    reply.answer = Answer::Ok;
    reply.values = {sizeMode_, scope_, customSize_};
  } else if (result == IDC_SKIP_FILE) {
    reply.answer = Answer::Ignore;
  } else {
    reply.answer = Answer::Cancel;
  }
  return reply;
}

Reply CProbableFileSizeDlg::Ask() { return MakeReply(exec()); }
