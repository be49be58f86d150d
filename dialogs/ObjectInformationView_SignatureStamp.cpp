#include "dialogs/ObjectInformationView_SignatureStamp.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <optional>
#include <vector>

#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "controls/HexEditorCtrl.h"
#include "dialogs/FieldExchange.h"
#include "dialogs/SignatureDataViewCtrl.h"
#include "search/FileTypeDatabase.h"

namespace {

// The data of a new masked pattern: 512 value bytes of 0, 512 mask bytes of 0xFF.
std::vector<std::uint8_t> NewPatternBuffer() {
  std::vector<std::uint8_t> buffer(1024, 0);
  std::fill(buffer.begin() + 512, buffer.end(), 0xFF);
  return buffer;
}

bool IsMaskedKind(std::int32_t kind) { return kind == PATTERN_MASKED || kind == PATTERN_MASKED_ALT; }

}  // namespace

CObjectInformationView_SignatureStamp::CObjectInformationView_SignatureStamp(FileType* type,
                                                                             FileTypeDatabase* database)
    : CResizablePropertyPage(QStringLiteral("Signature")), type_(type), database_(database) {
  SetDialogId(320);
  const controls::DialogBaseUnits units = controls::BaseUnitsOf(font());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(controls::DluToPixelsX(units, 7), controls::DluToPixelsY(units, 7),
                             controls::DluToPixelsX(units, 7), controls::DluToPixelsY(units, 7));
  view_ = new CSignatureDataViewCtrl(this);
  controls::SetControlId(view_, 1159);
  layout->addWidget(view_, 1);

  auto* row = new QHBoxLayout;
  auto* countLabel = new QLabel(QStringLiteral("Compare byte count from begin:"), this);
  controls::SetControlId(countLabel, 1240);
  count_ = new QLineEdit(this);
  controls::SetControlId(count_, 1239);
  count_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), count_));
  count_->setMaximumWidth(count_->fontMetrics().horizontalAdvance(QStringLiteral("0")) * 8);
  auto button = [this](int id, const QString& text) {
    auto* b = new QPushButton(text, this);
    controls::SetControlId(b, id);
    b->setMaximumWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("M")) * 3);
    return b;
  };
  previous_ = button(1245, QStringLiteral("<"));
  indexLabel_ = new QLabel(QStringLiteral("00"), this);
  controls::SetControlId(indexLabel_, 1246);
  indexLabel_->setAlignment(Qt::AlignCenter);
  indexLabel_->setMinimumWidth(indexLabel_->fontMetrics().horizontalAdvance(QStringLiteral("0000")));
  next_ = button(1244, QStringLiteral(">"));
  add_ = button(1030, QStringLiteral("+"));
  remove_ = button(1136, QStringLiteral("-"));
  row->addWidget(countLabel);
  row->addWidget(count_);
  row->addStretch(1);
  row->addWidget(previous_);
  row->addWidget(indexLabel_);
  row->addWidget(next_);
  row->addSpacing(12);
  row->addWidget(add_);
  row->addWidget(remove_);
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

  connect(previous_, &QPushButton::clicked, this, [this] { OnPrevious(); });
  connect(next_, &QPushButton::clicked, this, [this] { OnNext(); });
  connect(add_, &QPushButton::clicked, this, [this] { OnAdd(); });
  connect(remove_, &QPushButton::clicked, this, [this] { OnRemove(); });
}

CObjectInformationView_SignatureStamp::~CObjectInformationView_SignatureStamp() {
  // The views point into the copy, which goes before the page's children do.
  view_->Clear();
}

FileTypeDatabase* CObjectInformationView_SignatureStamp::Database() const {
  return database_ ? database_ : g_FileTypes;
}

int CObjectInformationView_SignatureStamp::Count() const {
  return copy_ ? static_cast<int>(copy_->GetSignatureCount()) : 0;
}

bool CObjectInformationView_SignatureStamp::CurrentIsMasked() const {
  if (index_ < 0 || index_ >= Count()) return false;
  const Signature& s = copy_->GetSignature(static_cast<std::size_t>(index_));
  return s.PatternCount() > 0 && IsMaskedKind(s.GetPattern(0).kind());
}

int CObjectInformationView_SignatureStamp::MaxCount() const {
  if (!CurrentIsMasked()) return 0;
  const SignaturePattern& p = copy_->GetSignature(static_cast<std::size_t>(index_)).GetPattern(0);
  const int values = static_cast<int>((p.size() - SignaturePattern::kHeaderSize) / 2);
  return std::min(values, kMaxCompareBytes);
}

void CObjectInformationView_SignatureStamp::OnInitDialog() {
  SendPageInitialized();
  {
    // The working copy: the type's blob read back into a type of the page's own.
    std::optional<FileTypeDatabase::EditLock> lock;
    if (FileTypeDatabase* db = Database()) lock.emplace(db->LockForEdit());
    copy_ = FileType::FromBlob(type_->Serialize());
  }
  committed_ = Count();
  index_ = 0;
  byBits_ = 0;
  Show();
  int count = 0;
  if (CurrentIsMasked()) count = copy_->GetSignature(0).GetPattern(0).length() / 2;
  LoadControls(count);
}

void CObjectInformationView_SignatureStamp::Show() {
  if (!copy_ || !view_->ShowPattern(*copy_, index_)) view_->Clear();
  const bool editable = CurrentIsMasked();
  view_->DataEditor()->SetReadOnly(!editable);
  view_->MaskEditor()->SetReadOnly(!editable);
}

void CObjectInformationView_SignatureStamp::LoadControls(int count) {
  const bool any = Count() > 0;
  indexLabel_->setText(QStringLiteral("%1").arg(any ? index_ : 0, 2, 10, QLatin1Char('0')));
  if (!any) {
    count_->clear();
  } else if (CurrentIsMasked()) {
    count_->setText(QString::number(count));
  } else {
    // Another kind of pattern: its data length, not edited here.
    count_->setText(QString::number(copy_->GetSignature(static_cast<std::size_t>(index_)).PatternCount()
                                        ? copy_->GetSignature(static_cast<std::size_t>(index_)).GetPattern(0).length()
                                        : 0));
  }
  count_->setReadOnly(!CurrentIsMasked());
  count_->setEnabled(any);
  previous_->setEnabled(any);
  next_->setEnabled(any);
  remove_->setEnabled(any);
  add_->setEnabled(copy_ != nullptr);
}

bool CObjectInformationView_SignatureStamp::Store(int index) {
  if (!copy_ || index < 0 || index >= Count()) return true;
  Signature& signature = copy_->GetSignature(static_cast<std::size_t>(index));
  if (signature.PatternCount() > 0 && IsMaskedKind(signature.GetPattern(0).kind())) {
    const int max = MaxCount();
    std::int32_t count = 0;
    if (dialogs::ExchangeInt(count_, 1, max, count) != 0) return false;
    SignaturePattern& pattern = signature.MutablePattern(0);
    pattern.SetLength(static_cast<std::uint16_t>(2 * count));
    pattern.SetKind(byBits_ ? PATTERN_MASKED_ALT : PATTERN_MASKED);
  }
  WriteBack(index);
  return true;
}

void CObjectInformationView_SignatureStamp::WriteBack(int index) {
  std::optional<FileTypeDatabase::EditLock> lock;
  if (FileTypeDatabase* db = Database()) lock.emplace(db->LockForEdit());
  const Signature& stored = copy_->GetSignature(static_cast<std::size_t>(index));
  if (index < committed_) {
    type_->GetSignature(static_cast<std::size_t>(index)) = stored;
  } else if (index == committed_) {
    type_->AppendSignature(std::make_unique<Signature>(stored));
    ++committed_;
  }
}

bool CObjectInformationView_SignatureStamp::OnPrevious() {
  if (Count() == 0) return false;
  if (index_ > 0) {
    if (!Store(index_)) return false;
    --index_;
    Show();
  }
  LoadControls(CurrentIsMasked() ? copy_->GetSignature(std::size_t(index_)).GetPattern(0).length() / 2 : 0);
  return true;
}

bool CObjectInformationView_SignatureStamp::OnNext() {
  if (Count() == 0) return false;
  if (index_ + 1 < Count()) {
    if (!Store(index_)) return false;
    ++index_;
    Show();
  }
  LoadControls(CurrentIsMasked() ? copy_->GetSignature(std::size_t(index_)).GetPattern(0).length() / 2 : 0);
  return true;
}

bool CObjectInformationView_SignatureStamp::OnAdd() {
  if (!copy_) return false;
  if (Count() > 0 && !Store(index_)) return false;
  // The new signature stays in the copy until it is stored with a count.
  Signature& added = copy_->AddBytesSignature(PATTERN_MASKED, NewPatternBuffer(), 0, 0, 0);
  added.MutablePattern(0).SetLength(0);
  index_ = Count() - 1;
  Show();
  LoadControls(0);
  return true;
}

bool CObjectInformationView_SignatureStamp::OnRemove() {
  if (Count() == 0 || index_ == 0) {
    if (Count() > 0) LoadControls(CurrentIsMasked() ? copy_->GetSignature(0).GetPattern(0).length() / 2 : 0);
    return false;
  }
  const int removed = index_;
  --index_;
  Show();  // the views leave the signature before it goes
  copy_->RemoveSignature(static_cast<std::size_t>(removed));
  if (removed < committed_) {
    std::optional<FileTypeDatabase::EditLock> lock;
    if (FileTypeDatabase* db = Database()) lock.emplace(db->LockForEdit());
    type_->RemoveSignature(static_cast<std::size_t>(removed));
    --committed_;
  }
  LoadControls(CurrentIsMasked() ? copy_->GetSignature(std::size_t(index_)).GetPattern(0).length() / 2 : 0);
  return true;
}

int CObjectInformationView_SignatureStamp::OnApply() {
  if (Count() > 0 && !Store(index_)) return controls::kApplyRefused;
  return controls::kApplyAccepted;
}
