#include "dialogs/SignatureDataViewCtrl.h"

#include <QSplitter>
#include <QVBoxLayout>

#include "controls/HexEditorCtrl.h"
#include "controls/PaneContainerEx.h"
#include "search/FileType.h"

CSignatureDataViewCtrl::CSignatureDataViewCtrl(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  splitter_ = new QSplitter(Qt::Horizontal, this);
  splitter_->setChildrenCollapsible(false);
  layout->addWidget(splitter_);

  auto makePane = [this](const QString& title, CHexEditorCtrl*& editor) {
    auto* pane = new controls::CPaneContainerEx(splitter_, controls::kPaneNoCloseButton);
    pane->SetTitle(title);
    editor = new CHexEditorCtrl(pane);
    editor->SetSubstituteChar(u' ');
    pane->SetClient(editor);
    splitter_->addWidget(pane);
    return pane;
  };
  dataPane_ = makePane(QStringLiteral("Signature Data"), data_);
  maskPane_ = makePane(QStringLiteral("Signature Mask"), mask_);
  splitter_->setStretchFactor(0, 1);
  splitter_->setStretchFactor(1, 1);
}

CSignatureDataViewCtrl::~CSignatureDataViewCtrl() { Clear(); }

CSignatureDataViewCtrl* CSignatureDataViewCtrl::CreateOver(QWidget* host) {
  auto* view = new CSignatureDataViewCtrl(host);
  auto* layout = host->layout() ? host->layout() : new QVBoxLayout(host);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view);
  return view;
}

void CSignatureDataViewCtrl::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!splitOnce_) {
    // Split in the middle once the view has its width.
    splitOnce_ = true;
    const int half = splitter_->width() / 2;
    splitter_->setSizes({half, splitter_->width() - half});
  }
}

int CSignatureDataViewCtrl::ShowPattern(FileType& type, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= type.GetSignatureCount()) return 0;
  Signature& signature = type.GetSignature(static_cast<std::size_t>(index));
  if (signature.PatternCount() == 0) return 0;
  SignaturePattern& pattern = signature.MutablePattern(0);
  platform::MutableBytes values = pattern.MutableValues();
  platform::MutableBytes mask = pattern.MutableMask();
  data_->SetData(values.data(), values.size());
  mask_->SetData(mask.data(), mask.size());
  return 1;
}

void CSignatureDataViewCtrl::Clear() {
  if (data_) data_->SetData(nullptr, 0);
  if (mask_) mask_->SetData(nullptr, 0);
}
