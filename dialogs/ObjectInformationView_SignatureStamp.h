#pragma once
// File-format page "Signature" (form 320), shown for user types (ids of 1000 or
// more): the type's signatures one at a time, the first pattern of each as its
// value and mask bytes (CSignatureDataViewCtrl), with "<" and ">" to move, "+" to
// add a signature and "-" to remove the one shown (the first can't be removed).
//
// The compared length is edited as a byte count, 1 to 512 (the pattern's value
// bytes): the masked test compares length / 2 bytes, so the count is stored as
// length 2 x count and shown as length / 2. A count that is not in the range
// refuses the move or the apply, with the focus on it.
//
// The page edits a working copy of the type's signatures (the hex views edit it in
// place) and writes it back into the type, under the database's edit lock, at each
// point it stores: before a move, at "+", at "-" and on OK. A signature added with
// "+" reaches the type once it has been stored with a count. A type without
// signatures shows nothing and offers only "+". Only masked patterns get a length
// and kind; another kind of first pattern is shown read-only and kept as it is.
//
// GUI thread only.

#include <memory>

#include "controls/ResizablePropertyPage.h"

class CSignatureDataViewCtrl;
class FileType;
class FileTypeDatabase;
class QLabel;
class QLineEdit;
class QPushButton;

class CObjectInformationView_SignatureStamp : public controls::CResizablePropertyPage {
  Q_OBJECT

 public:
  static constexpr int kMaxCompareBytes = 512;

  CObjectInformationView_SignatureStamp(FileType* type, FileTypeDatabase* database);
  ~CObjectInformationView_SignatureStamp() override;

  void OnInitDialog() override;
  int OnApply() override;

  // The buttons' actions; each false when it refused (nothing moved).
  bool OnPrevious();
  bool OnNext();
  bool OnAdd();
  bool OnRemove();

  int Index() const { return index_; }
  CSignatureDataViewCtrl* DataView() const { return view_; }
  // The working copy (its signatures as the page shows them).
  const FileType* WorkingCopy() const { return copy_.get(); }

 private:
  FileTypeDatabase* Database() const;
  int Count() const;
  bool CurrentIsMasked() const;
  // The largest count the current pattern's value bytes allow.
  int MaxCount() const;
  // Takes the count into signature `index` of the copy and writes it back; false
  // (with the refusal shown) when the count is not in its range.
  bool Store(int index);
  void WriteBack(int index);
  void Show();
  // Loads the count and the index; enables the controls.
  void LoadControls(int count);

  FileType* type_;
  FileTypeDatabase* database_;
  std::unique_ptr<FileType> copy_;
  int committed_ = 0;  // the copy's first signatures that the type holds too
  int index_ = 0;
  int byBits_ = 0;  // no control sets it: signatures are stored as masked bytes
  CSignatureDataViewCtrl* view_;
  QLineEdit* count_;
  QLabel* indexLabel_;
  QPushButton* previous_;
  QPushButton* next_;
  QPushButton* add_;
  QPushButton* remove_;
};
