#pragma once
// CSignatureCreateWizard: the New Signature Wizard, the top window of
// user-interface mode 100 ("/cs" on the command line). A modeless wizard sheet
// with a header (bitmap 317) over six pages: the sample files, their analysis, the
// fragments of the signature, the type's details, its description, and what to do
// with it. Finish, Cancel and the close box end the sheet; the application object
// ends the program with it (sheetClosed).
//
// The wizard makes the new type (g_NewSignature) and owns it until Finish hands it
// to the file-type database; a wizard that ends without that frees it. It sets
// SignatureBuffer to its starting state and empties the sample list.
//
// GUI thread only.

#include <memory>

#include "controls/ResizablePropertySheet.h"

class CNewSignature_Step1;
class CNewSignature_Step2;
class CNewSignature_Step3;
class CNewSignature_Step4;
class CNewSignature_Step5;
class CNewSignature_Step_Finish;
class FileType;

class CSignatureCreateWizard : public controls::CResizablePropertySheet {
  Q_OBJECT

 public:
  explicit CSignatureCreateWizard(const QString& title = QStringLiteral("New Signature Wizard"), int startPage = 0,
                                  QWidget* parent = nullptr);
  ~CSignatureCreateWizard() override;

  CNewSignature_Step1* Step1() const { return step1_; }
  CNewSignature_Step2* Step2() const { return step2_; }
  CNewSignature_Step3* Step3() const { return step3_; }
  CNewSignature_Step4* Step4() const { return step4_; }
  CNewSignature_Step5* Step5() const { return step5_; }
  CNewSignature_Step_Finish* StepFinish() const { return finish_; }

  // The new type, for the database to take (null once taken); g_NewSignature keeps
  // pointing at it.
  std::unique_ptr<FileType> TakeNewSignature();

 private:
  CNewSignature_Step1* step1_;
  CNewSignature_Step2* step2_;
  CNewSignature_Step3* step3_;
  CNewSignature_Step4* step4_;
  CNewSignature_Step5* step5_;
  CNewSignature_Step_Finish* finish_;
  std::unique_ptr<FileType> newSignature_;
};
