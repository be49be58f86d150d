#include "wizards/NewSignature_Step1.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "app/MessageBox.h"
#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "controls/FileDialogEx.h"
#include "controls/ResizablePropertySheet.h"
#include "wizards/SignatureSample.h"

CNewSignature_Step1::CNewSignature_Step1() : CResizablePropertyPage() {
  SetDialogId(311);
  SetHeaderTitle(QStringLiteral("Add files for analysis"));
  SetHeaderSubTitle(QString());
  setWindowTitle(QStringLiteral("New Signature Wizard"));
  const controls::DialogBaseUnits units = controls::BaseUnitsOf(font());

  list_ = new QListWidget(this);
  controls::SetControlId(list_, 1134);
  list_->setSortingEnabled(true);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  auto button = [this](int id, const QString& text) {
    auto* b = new QPushButton(text, this);
    controls::SetControlId(b, id);
    return b;
  };
  QPushButton* select = button(1135, QStringLiteral("Select files..."));
  QPushButton* remove = button(1136, QStringLiteral("Remove"));
  QPushButton* skip = button(1155, QStringLiteral("Skip"));

  auto* grid = new QGridLayout(this);
  const int margin = controls::DluToPixelsX(units, 7);
  grid->setContentsMargins(margin, controls::DluToPixelsY(units, 7), margin, controls::DluToPixelsY(units, 7));
  grid->setHorizontalSpacing(controls::DluToPixelsX(units, 7));
  grid->addWidget(new QLabel(QStringLiteral("1. The files must be of the same type."), this), 0, 0, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("2. The more files, the better; two is the minimum"), this), 1, 0, 1, 2);
  grid->addWidget(list_, 2, 0, 4, 1);
  grid->addWidget(select, 2, 1);
  grid->addWidget(remove, 3, 1);
  grid->addWidget(skip, 4, 1);
  grid->setRowStretch(5, 1);
  grid->addWidget(new QLabel(QStringLiteral("Hint: Press F1 for more info"), this), 6, 0, 1, 2);
  grid->setColumnStretch(0, 1);
  resize(controls::DluToPixels(units, 288, 194));

  connect(select, &QPushButton::clicked, this, [this] { OnSelectFiles(); });
  connect(remove, &QPushButton::clicked, this, [this] { OnRemove(); });
  connect(skip, &QPushButton::clicked, this, [this] { OnSkip(); });
}

CNewSignature_Step1::~CNewSignature_Step1() = default;

void CNewSignature_Step1::OnInitDialog() { SendPageInitialized(); }

bool CNewSignature_Step1::OnSetActive() {
  UpdateButtons();
  return true;
}

void CNewSignature_Step1::UpdateButtons() { SetWizardButtons(list_->count() >= 2 ? controls::PSWIZB_NEXT : 0); }

QStringList CNewSignature_Step1::Entries() const {
  QStringList out;
  for (int i = 0; i < list_->count(); ++i) out << list_->item(i)->text();
  return out;
}

void CNewSignature_Step1::AddFiles(const QStringList& paths) {
  for (const QString& path : paths) {
    if (path.isEmpty() || !list_->findItems(path, Qt::MatchExactly).isEmpty()) continue;
    list_->addItem(path);
  }
  UpdateButtons();
}

void CNewSignature_Step1::OnSelectFiles() {
  CFileDialogEx dialog(true, QString(), QString(),
                       CFileDialogEx::OFN_HIDEREADONLY | CFileDialogEx::OFN_OVERWRITEPROMPT |
                           CFileDialogEx::OFN_ALLOWMULTISELECT | CFileDialogEx::OFN_FILEMUSTEXIST |
                           CFileDialogEx::OFN_EXPLORER);
  QWidget* owner = QApplication::activeWindow();
  if (dialog.DoModal(owner ? owner : window()) != CFileDialogEx::IDOK) return;
  chosen_ = dialog.GetPaths();
  AddFiles(chosen_);
}

void CNewSignature_Step1::OnRemove() {
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  for (QListWidgetItem* item : selected) delete list_->takeItem(list_->row(item));
  UpdateButtons();
}

void CNewSignature_Step1::OnSkip() {
  if (Sheet()) Sheet()->SetActivePage(2);
}

int CNewSignature_Step1::OnWizardNext() {
  QStringList unreadable;
  std::vector<SignatureSample> samples = CollectSamples(Entries(), &unreadable);
  if (samples.size() < 2) {
    QString text = QStringLiteral("At least two of the files must be readable. These files can't be read:\n");
    for (const QString& path : unreadable) text += QStringLiteral("\n") + path;
    app::ShowMessageBox(window(), text, window()->windowTitle(), Buttons::Ok, MessageIcon::Warning);
    return controls::kWizardStay;
  }
  g_SignatureSamples = std::move(samples);
  g_UnreadableSamples = unreadable;
  return controls::kWizardGoOn;
}
