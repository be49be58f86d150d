#include "wizards/NewSignature_Step_Finish.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFile>
#include <QUrl>
#include <QVBoxLayout>

#include "app/App.h"
#include "app/MessageBox.h"
#include "app/QtText.h"
#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "controls/FileDialogEx.h"
#include "controls/ResizablePropertySheet.h"
#include "search/FileType.h"
#include "search/FileTypeDatabase.h"
#include "wizards/NewSignature.h"
#include "wizards/SignatureCreateWizard.h"
#include "wizards/SignatureMail.h"

CNewSignature_Step_Finish::CNewSignature_Step_Finish() : CResizablePropertyPage() {
  SetDialogId(315);
  SetHeaderTitle(QStringLiteral("Good luck!"));
  SetHeaderSubTitle(QString());
  setWindowTitle(QStringLiteral("New Signature Wizard"));
  const controls::DialogBaseUnits units = controls::BaseUnitsOf(font());
  auto box = [this](int id, const QString& text) {
    auto* b = new QCheckBox(text, this);
    controls::SetControlId(b, id);
    return b;
  };
  addToListBox_ = box(1112, QStringLiteral("Add to signatures list"));
  saveToFileBox_ = box(1156, QStringLiteral("Save to file"));
  sendBox_ = box(1113, QStringLiteral("Send to the signature service"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(controls::DluToPixelsX(units, 14), controls::DluToPixelsY(units, 14),
                             controls::DluToPixelsX(units, 14), controls::DluToPixelsY(units, 7));
  layout->setSpacing(controls::DluToPixelsY(units, 6));
  layout->addWidget(addToListBox_);
  layout->addWidget(saveToFileBox_);
  layout->addWidget(sendBox_);
  layout->addStretch(1);
  resize(controls::DluToPixels(units, 275, 177));
}

CNewSignature_Step_Finish::~CNewSignature_Step_Finish() = default;

void CNewSignature_Step_Finish::OnInitDialog() {
  saveToFile_ = true;
  send_ = false;
  addToList_ = true;
  saveToFileBox_->setChecked(saveToFile_);
  sendBox_->setChecked(send_);
  addToListBox_->setChecked(addToList_);
}

bool CNewSignature_Step_Finish::OnSetActive() {
  SetWizardButtons(controls::PSWIZB_BACK | controls::PSWIZB_FINISH);
  return true;
}

bool CNewSignature_Step_Finish::AddToDatabase() {
  if (added_ || !g_FileTypes || !g_NewSignature) return true;
  std::u16string why;
  const QString idRefusal = TypeIdRefusal(g_FileTypes, g_NewSignature->typeId());
  if (!idRefusal.isEmpty()) why = app::ToU16(idRefusal);
  else g_FileTypes->CheckType(*g_NewSignature, false, &why);
  if (!why.empty()) {
    app::ShowMessageBox(window(),
                        QStringLiteral("The new file type can't be added to the signatures list: %1.")
                            .arg(app::ToQString(why)),
                        window()->windowTitle(), Buttons::Ok, MessageIcon::Warning);
    return false;
  }
  auto* wizard = qobject_cast<CSignatureCreateWizard*>(Sheet());
  std::unique_ptr<FileType> type = wizard ? wizard->TakeNewSignature() : nullptr;
  if (!type) return true;
  g_FileTypes->AppendFileType(std::move(type));
  added_ = true;
  if (!g_FileTypes->SaveFileTypes()) {
    app::ShowMessageBox(window(),
                        QStringLiteral("The new file type is in the signatures list, but the list could not be "
                                       "saved: it will be gone when the program ends."),
                        window()->windowTitle(), Buttons::Ok, MessageIcon::Warning);
  }
  return true;
}

void CNewSignature_Step_Finish::SaveSignatureFile() {
  if (!g_NewSignature) return;
  const QString title = app::ToQString(g_NewSignature->Title());
  CFileDialogEx dialog(false, QStringLiteral("filesig"), title,
                       CFileDialogEx::OFN_HIDEREADONLY | CFileDialogEx::OFN_OVERWRITEPROMPT);
  if (!title.isEmpty()) dialog.selectFile(title);
  if (dialog.DoModal(window()) != CFileDialogEx::IDOK || dialog.GetPaths().isEmpty()) return;
  const std::string path = QFile::encodeName(dialog.GetPaths().front()).toStdString();
  if (!g_NewSignature->SaveToFile(path))
    app::ShowMessageBox(window(), QStringLiteral("Error write a file!"), QString(), Buttons::Ok, MessageIcon::None);
}

void CNewSignature_Step_Finish::SendSignature() {
  if (!g_NewSignature) return;
  const std::vector<std::uint8_t> blob = g_NewSignature->Serialize();
  const QByteArray link = BuildSignatureMailto(blob);
  if (static_cast<std::size_t>(link.size()) > kMaxMailtoLength) {
    app::ShowMessageBox(window(),
                        QStringLiteral("The signature is too large to send by e-mail (%1 characters; a mail link "
                                       "holds at most %2). Save it to a file and send the file instead.")
                            .arg(link.size())
                            .arg(kMaxMailtoLength),
                        window()->windowTitle(), Buttons::Ok, MessageIcon::Warning);
    return;
  }
  const QUrl url = QUrl::fromEncoded(link, QUrl::StrictMode);
  const bool opened = g_App ? g_App->Callbacks().OpenUrl(url) : QDesktopServices::openUrl(url);
  if (!opened)
    app::ShowMessageBox(window(), QStringLiteral("No e-mail program could be started to send the signature."),
                        window()->windowTitle(), Buttons::Ok, MessageIcon::Warning);
}

bool CNewSignature_Step_Finish::OnWizardFinish() {
  saveToFile_ = saveToFileBox_->isChecked();
  send_ = sendBox_->isChecked();
  addToList_ = addToListBox_->isChecked();
  if (addToList_ && !AddToDatabase()) return false;
  if (saveToFile_) SaveSignatureFile();
  if (send_) SendSignature();
  return true;
}
