#include "wizards/SignatureCreateWizard.h"

#include <QKeySequence>
#include <QShortcut>

#include "controls/Bitmaps.h"
#include "dialogs/SignatureDataViewCtrl.h"
#include "search/FileType.h"
#include "wizards/NewSignature.h"
#include "wizards/NewSignature_Step1.h"
#include "wizards/NewSignature_Step2.h"
#include "wizards/NewSignature_Step3.h"
#include "wizards/NewSignature_Step4.h"
#include "wizards/NewSignature_Step5.h"
#include "wizards/NewSignature_Step_Finish.h"
#include "wizards/SignatureSample.h"

CSignatureCreateWizard::CSignatureCreateWizard(const QString& title, int startPage, QWidget* parent)
    : CResizablePropertySheet(title, startPage, parent, false, true),
      step1_(new CNewSignature_Step1),
      step2_(new CNewSignature_Step2),
      step3_(new CNewSignature_Step3),
      step4_(new CNewSignature_Step4),
      step5_(new CNewSignature_Step5),
      finish_(new CNewSignature_Step_Finish) {
  SetWizard97Mode(controls::kBitmapSignatureWizardHeader);
  AddPage(step1_);
  AddPage(step2_);
  AddPage(step3_);
  AddPage(step4_);
  AddPage(step5_);
  AddPage(finish_);
  newSignature_ = std::make_unique<FileType>();
  g_NewSignature = newSignature_.get();
  ResetSignatureBuffer();
  g_SignatureSamples.clear();
  g_UnreadableSamples.clear();
  // F1, as the first page's hint says, is the Help button.
  auto* help = new QShortcut(QKeySequence::HelpContents, this);
  connect(help, &QShortcut::activated, this, [this] {
    if (controls::CResizablePropertyPage* page = ActivePage()) page->OnHelp();
  });
}

CSignatureCreateWizard::~CSignatureCreateWizard() {
  // The fragment view shows the type's own bytes: it lets go before the type does.
  step3_->DataView()->Clear();
  if (newSignature_ && g_NewSignature == newSignature_.get()) g_NewSignature = nullptr;
  newSignature_.reset();
}

std::unique_ptr<FileType> CSignatureCreateWizard::TakeNewSignature() { return std::move(newSignature_); }
