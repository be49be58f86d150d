#include "dialogs/FileTypesDlg.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "dialogs/ObjectInformationTreeView.h"

CFileTypesDlg::CFileTypesDlg(QWidget* owner, FileTypeDatabase* database) : QDialog(owner) {
  setWindowTitle(QStringLiteral("File Types"));
  const controls::DialogBaseUnits units = controls::BaseUnitsOf(font());
  auto* layout = new QVBoxLayout(this);
  tree_ = new CObjectInformationTreeView(this);
  tree_->SetDatabase(database);
  controls::SetControlId(tree_, 1042);
  layout->addWidget(tree_, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  controls::SetControlId(buttons->button(QDialogButtonBox::Ok), 1);
  controls::SetControlId(buttons->button(QDialogButtonBox::Cancel), 2);
  connect(buttons, &QDialogButtonBox::accepted, this, &CFileTypesDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CFileTypesDlg::reject);
  layout->addWidget(buttons);
  resize(controls::DluToPixels(units, 220, 250));
}

CFileTypesDlg::~CFileTypesDlg() = default;

void CFileTypesDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (initialised_) return;
  initialised_ = true;
  // Centred over the owner, then the tree and its checks.
  if (QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr)
    move(owner->frameGeometry().center() - QPoint(width() / 2, height() / 2));
  if (tree_->SubclassTree()) tree_->SyncChecks(0);
}

void CFileTypesDlg::accept() {
  tree_->SyncChecks(1);
  QDialog::accept();
}
