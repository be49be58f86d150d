#pragma once
// New Signature Wizard, last page "Good luck!" (form 315): what becomes of the new
// type. Finish, in this order: add it to the file-type database and save the
// database ("Add to signatures list"), save it as a .filesig file ("Save to
// file"), send it to the maker's signature service as a "mailto:" link (the send
// box), then the wizard ends.
//
// A type the database would refuse keeps the wizard open, with the reason, so that
// the user can go back and mend it. A failed database save or file write is
// reported and the other actions go on; a type too large for a mail link is
// reported and not sent.
//
// Owned by the wizard; GUI thread only.

#include "controls/ResizablePropertyPage.h"

class QCheckBox;

class CNewSignature_Step_Finish : public controls::CResizablePropertyPage {
  Q_OBJECT

 public:
  CNewSignature_Step_Finish();
  ~CNewSignature_Step_Finish() override;

  void OnInitDialog() override;
  bool OnSetActive() override;
  bool OnWizardFinish() override;

  bool SaveToFile() const { return saveToFile_; }
  bool Send() const { return send_; }
  bool AddToList() const { return addToList_; }

 private:
  // Each false when the wizard should stay open.
  bool AddToDatabase();
  void SaveSignatureFile();
  void SendSignature();

  QCheckBox* saveToFileBox_;
  QCheckBox* sendBox_;
  QCheckBox* addToListBox_;
  bool saveToFile_ = true;
  bool send_ = false;
  bool addToList_ = true;
  bool added_ = false;
};
