#include "dialogs/VolumeInformationDlg.h"

#include "dialogs/VolumeInformationDlg_Capabilities.h"
#include "dialogs/VolumeInformationDlg_General.h"
#include "dialogs/VolumeInformationDlg_Information.h"
#include "engine/volume/Volume.h"

CVolumeInformationDlg::CVolumeInformationDlg(const QString& title, int startPage, QWidget* parent)
    : controls::CResizablePropertySheet(title, startPage, parent) {
  SetNoApplyNow();
}

CVolumeInformationDlg::~CVolumeInformationDlg() = default;

void CVolumeInformationDlg::SetVolume(std::shared_ptr<CVolume> volume) {
  if (!volume || volume_) return;
  volume_ = std::move(volume);
  general_ = new CVolumeInformationDlg_General(volume_);
  information_ = new CVolumeInformationDlg_Information(volume_);
  AddPage(general_);
  AddPage(information_);
  if (volume_->FileSystemTypeCode() != 0) {
    capabilities_ = new CVolumeInformationDlg_Capabilities(volume_);
    AddPage(capabilities_);
  }
}

int CVolumeInformationDlg::Show(std::shared_ptr<CVolume> volume, QWidget* owner) {
  if (!volume) return 0;
  CVolumeInformationDlg sheet(QStringLiteral("Volume Information"), 0, owner);
  sheet.SetVolume(std::move(volume));
  return sheet.DoModal();
}
