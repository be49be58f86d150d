#pragma once
// New Signature Wizard, page 3 "Edit detected matches" (form 320): the new type's
// fragments (its signatures, one masked pattern each) shown one at a time as data
// and mask bytes (CSignatureDataViewCtrl, edited in place), with "<" and ">" to
// move, "+" to add a fragment at the end (and show it) and "-" to remove the one
// shown (the first can't be removed).
//
// The first fragment is made from SignatureBuffer when the page is first shown. A
// fragment is compared over a byte count, 1 to 512, kept as the pattern's length
// 2 x count; the page proposes the count up to the last mask byte that is not zero,
// and Next and the moves refuse a count outside 1..512. "Check by bits" and
// "Precent:" are bound to nothing: fragments stay masked-byte patterns.
//
// Owned by the wizard; GUI thread only.

#include "controls/ResizablePropertyPage.h"

class CSignatureDataViewCtrl;
class FileType;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CNewSignature_Step3 : public controls::CResizablePropertyPage {
  Q_OBJECT

 public:
  static constexpr int kMaxCompareBytes = 512;

  CNewSignature_Step3();
  ~CNewSignature_Step3() override;

  void OnInitDialog() override;
  bool OnSetActive() override;
  int OnWizardNext() override;

  // The buttons' actions; false when nothing moved (refused, or no fragment there).
  bool OnPrevious();
  bool OnNext();
  bool OnAdd();
  bool OnRemove();
  // Takes the count into the fragment shown; false (with the refusal shown) when it
  // is not in 1..512.
  bool StoreFragment();

  int Index() const { return index_; }
  CSignatureDataViewCtrl* DataView() const { return view_; }
  QLineEdit* CountEdit() const { return count_; }

 private:
  int Count() const;
  // Shows fragment `index_` and loads its count and the index.
  void ShowCurrent();
  // The fragment's pattern as a byte count (its length / 2).
  int StoredCount(int index) const;
  // Adds a fragment over `buffer` (512 data bytes, 512 mask bytes) with the
  // proposed count.
  void AddFragment(const std::uint8_t* buffer);

  int index_ = 0;
  int byBits_ = 0;  // no control sets it
  CSignatureDataViewCtrl* view_;
  QLineEdit* count_;
  QLabel* indexLabel_;
  QCheckBox* byBitsBox_;
  QLineEdit* percent_;
};
