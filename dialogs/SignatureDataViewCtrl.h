#pragma once
// CSignatureDataViewCtrl: one signature pattern shown as two hex editors side by
// side, split in the middle: the pane "Signature Data" shows the pattern's value
// bytes and "Signature Mask" its mask bytes (the two halves of a masked pattern's
// data, 512 bytes each as the New Signature Wizard and the file-format properties
// make them). Both panes have no close button; both editors draw non-printable
// bytes as a blank.
//
// The editors show the pattern's own memory: typing in them edits the pattern in
// place. The caller keeps the type (and so the pattern) alive and unchanged in size
// while it is shown, and calls Clear() before it goes.
//
// Use (a wizard or property page):
//   auto* view = new CSignatureDataViewCtrl(page);   // or CreateOver(placeholder)
//   controls::SetControlId(view, 1159);
//   layout->addWidget(view);
//   if (!view->ShowPattern(type, index)) ...;          // 1 shown, 0 no such signature
//   ...
//   view->Clear();                                     // before the type is edited
//                                                      // elsewhere or destroyed
// `type` may be a type outside the database (the wizard's new type, or a page's
// working copy); a type of the database is edited only under its edit lock.
//
// Owner: the parent widget. GUI thread only.

#include <QWidget>

class CHexEditorCtrl;
class FileType;
class QSplitter;

namespace controls {
class CPaneContainerEx;
}

class CSignatureDataViewCtrl : public QWidget {
  Q_OBJECT

 public:
  explicit CSignatureDataViewCtrl(QWidget* parent = nullptr);
  ~CSignatureDataViewCtrl() override;

  // Makes the view a child of `host` that fills it (the host keeps its place in
  // its page's layout).
  static CSignatureDataViewCtrl* CreateOver(QWidget* host);

  // Shows the first pattern of signature `index` of `type`: 1 when the type has
  // that signature and it has a pattern, else 0 and nothing changes.
  int ShowPattern(FileType& type, int index);
  // Shows nothing.
  void Clear();

  CHexEditorCtrl* DataEditor() const { return data_; }
  CHexEditorCtrl* MaskEditor() const { return mask_; }
  controls::CPaneContainerEx* DataPane() const { return dataPane_; }
  controls::CPaneContainerEx* MaskPane() const { return maskPane_; }
  QSplitter* Splitter() const { return splitter_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QSplitter* splitter_ = nullptr;
  controls::CPaneContainerEx* dataPane_ = nullptr;
  controls::CPaneContainerEx* maskPane_ = nullptr;
  CHexEditorCtrl* data_ = nullptr;
  CHexEditorCtrl* mask_ = nullptr;
  bool splitOnce_ = false;
};
