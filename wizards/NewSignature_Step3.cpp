#include "wizards/NewSignature_Step3.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <array>

#include "app/MessageBox.h"
#include "app/QtText.h"
#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "controls/ResizablePropertySheet.h"
#include "dialogs/FieldExchange.h"
#include "dialogs/SignatureDataViewCtrl.h"
#include "search/FileType.h"
#include "wizards/NewSignature.h"

CNewSignature_Step3::CNewSignature_Step3() : CResizablePropertyPage() {
  SetDialogId(320);
  SetHeaderTitle(QStringLiteral("Edit detected matches"));
  SetHeaderSubTitle(QString());
  setWindowTitle(QStringLiteral("New Signature Wizard"));
  const controls::DialogBaseUnits units = controls::BaseUnitsOf(font());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(controls::DluToPixelsX(units, 7), controls::DluToPixelsY(units, 7),
                             controls::DluToPixelsX(units, 7), controls::DluToPixelsY(units, 7));
  view_ = new CSignatureDataViewCtrl(this);
  controls::SetControlId(view_, 1159);
  layout->addWidget(view_, 1);

  auto digits = [this](int id) {
    auto* edit = new QLineEdit(this);
    controls::SetControlId(edit, id);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0")) * 8);
    return edit;
  };
  auto button = [this](int id, const QString& text) {
    auto* b = new QPushButton(text, this);
    controls::SetControlId(b, id);
    b->setMaximumWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("M")) * 3);
    return b;
  };
  count_ = digits(1239);
  percent_ = digits(1242);
  percent_->setEnabled(false);  // bound to nothing
  byBitsBox_ = new QCheckBox(QStringLiteral("Check by bits"), this);
  controls::SetControlId(byBitsBox_, 1112);
  byBitsBox_->setEnabled(false);  // bound to nothing
  QPushButton* previous = button(1245, QStringLiteral("<"));
  QPushButton* next = button(1244, QStringLiteral(">"));
  QPushButton* add = button(1030, QStringLiteral("+"));
  QPushButton* remove = button(1136, QStringLiteral("-"));
  indexLabel_ = new QLabel(QStringLiteral("00"), this);
  controls::SetControlId(indexLabel_, 1246);
  indexLabel_->setAlignment(Qt::AlignCenter);
  indexLabel_->setMinimumWidth(indexLabel_->fontMetrics().horizontalAdvance(QStringLiteral("0000")));

  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(QStringLiteral("Compare byte count from begin:"), this));
  row->addWidget(count_);
  row->addSpacing(controls::DluToPixelsX(units, 7));
  row->addWidget(byBitsBox_);
  row->addSpacing(controls::DluToPixelsX(units, 7));
  row->addWidget(new QLabel(QStringLiteral("Precent:"), this));
  row->addWidget(percent_);
  row->addStretch(1);
  row->addWidget(previous);
  row->addWidget(indexLabel_);
  row->addWidget(next);
  row->addSpacing(controls::DluToPixelsX(units, 7));
  row->addWidget(add);
  row->addWidget(remove);
  layout->addLayout(row);
  auto* text = new QLabel(
      QStringLiteral("The program has analyzed the files you submitted and has found some coinciding bits shown "
                     "above. These represent this file type's signature. Please edit as necessary, which normally "
                     "involves manually removing any false positives."),
      this);
  controls::SetControlId(text, 1164);
  text->setWordWrap(true);
  layout->addWidget(text);
  resize(controls::DluToPixels(units, 514, 166));

  connect(previous, &QPushButton::clicked, this, [this] { OnPrevious(); });
  connect(next, &QPushButton::clicked, this, [this] { OnNext(); });
  connect(add, &QPushButton::clicked, this, [this] { OnAdd(); });
  connect(remove, &QPushButton::clicked, this, [this] { OnRemove(); });
}

CNewSignature_Step3::~CNewSignature_Step3() { view_->Clear(); }

int CNewSignature_Step3::Count() const {
  return g_NewSignature ? static_cast<int>(g_NewSignature->GetSignatureCount()) : 0;
}

int CNewSignature_Step3::StoredCount(int index) const {
  if (index < 0 || index >= Count()) return 0;
  const Signature& s = g_NewSignature->GetSignature(static_cast<std::size_t>(index));
  return s.PatternCount() ? s.GetPattern(0).length() / 2 : 0;
}

void CNewSignature_Step3::AddFragment(const std::uint8_t* buffer) {
  Signature& added = g_NewSignature->AddBytesSignature(
      PATTERN_MASKED, platform::Bytes(buffer, kSignatureBufferSize), 0, 0, 0);
  const int proposed =
      ProposedCompareCount(std::span<const std::uint8_t>(buffer + kSampleHeaderSize, kSampleHeaderSize));
  added.MutablePattern(0).SetLength(static_cast<std::uint16_t>(2 * proposed));
}

void CNewSignature_Step3::OnInitDialog() {
  index_ = 0;
  byBits_ = 0;
  if (!g_NewSignature) return;
  g_NewSignature->SetHeaderI32(kCoincidenceOffset, 0);
  AddFragment(SignatureBuffer.data());
  ShowCurrent();
}

void CNewSignature_Step3::ShowCurrent() {
  if (!g_NewSignature || !view_->ShowPattern(*g_NewSignature, index_)) view_->Clear();
  count_->setText(QString::number(StoredCount(index_)));
  indexLabel_->setText(QStringLiteral("%1").arg(index_, 2, 10, QLatin1Char('0')));
}

bool CNewSignature_Step3::OnSetActive() {
  SetWizardButtons(controls::PSWIZB_NEXT);
  return true;
}

bool CNewSignature_Step3::StoreFragment() {
  if (index_ < 0 || index_ >= Count()) return true;
  std::int32_t count = 0;
  if (dialogs::ExchangeInt(count_, 1, kMaxCompareBytes, count) != 0) return false;
  SignaturePattern& pattern = g_NewSignature->GetSignature(static_cast<std::size_t>(index_)).MutablePattern(0);
  pattern.SetLength(static_cast<std::uint16_t>(2 * count));
  pattern.SetKind(byBits_ ? PATTERN_MASKED_ALT : PATTERN_MASKED);
  return true;
}

bool CNewSignature_Step3::OnPrevious() {
  if (index_ <= 0 || !StoreFragment()) return false;
  --index_;
  ShowCurrent();
  return true;
}

bool CNewSignature_Step3::OnNext() {
  if (index_ + 1 >= Count() || !StoreFragment()) return false;
  ++index_;
  ShowCurrent();
  return true;
}

bool CNewSignature_Step3::OnAdd() {
  if (!g_NewSignature || !StoreFragment()) return false;
  std::array<std::uint8_t, kSignatureBufferSize> buffer{};
  std::fill(buffer.begin() + kSampleHeaderSize, buffer.end(), std::uint8_t(0xFF));
  AddFragment(buffer.data());
  index_ = Count() - 1;
  ShowCurrent();
  return true;
}

bool CNewSignature_Step3::OnRemove() {
  if (index_ <= 0 || index_ >= Count()) return false;
  const int removed = index_;
  --index_;
  ShowCurrent();  // the views leave the fragment before it goes
  g_NewSignature->RemoveSignature(static_cast<std::size_t>(removed));
  return true;
}

int CNewSignature_Step3::OnWizardNext() {
  if (!StoreFragment()) return controls::kWizardStay;
  // Every fragment must compare something that tells this kind of file apart: the
  // first that does not is shown, and says why.
  for (int i = 0; i < Count(); ++i) {
    const SignaturePattern& pattern = g_NewSignature->GetSignature(static_cast<std::size_t>(i)).GetPattern(0);
    const platform::Bytes body = pattern.Body();
    const std::size_t half = body.size() / 2;
    const std::u16string why = FragmentRefusal(body.first(half), pattern.Mask(), pattern.length() / 2);
    if (why.empty()) continue;
    index_ = i;
    ShowCurrent();
    app::ShowMessageBox(window(), QStringLiteral("Fragment %1: ").arg(i, 2, 10, QLatin1Char('0')) + app::ToQString(why),
                        window()->windowTitle(), Buttons::Ok, MessageIcon::Warning);
    return controls::kWizardStay;
  }
  return controls::kWizardGoOn;
}
