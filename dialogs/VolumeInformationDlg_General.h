#pragma once
// The "General" page of the volume information (form 360): the volume's icon and
// name, file system, state, label, OEM name, serial number, total and free space.
// A serial whose low part is 0 and sizes of 1024 bytes or less keep the form's own
// text.
//
// Owned by its sheet; GUI thread only.

#include "dialogs/VolumeInformationPage.h"

class CVolumeInformationDlg_General : public CVolumeInformationPage {
  Q_OBJECT

 public:
  enum : int {
    IDD = 360,
    IDC_ICON = 1241,
    IDC_NAME = 1249,
    IDC_FILE_SYSTEM = 1250,
    IDC_STATUS = 1197,
    IDC_LABEL = 1251,
    IDC_OEM_ID = 1252,
    IDC_SERIAL = 1253,
    IDC_TOTAL_SPACE = 1254,
    IDC_FREE_SPACE = 1255,
  };
  // The icon the page shows, at 48x48.
  static constexpr int kVolumeIconId = 352;

  explicit CVolumeInformationDlg_General(std::shared_ptr<CVolume> volume, QWidget* parent = nullptr);

  void OnInitDialog() override;
};
