#pragma once
// The "Information" page of the volume information (form 362): where the volume
// starts on its device and its sector and cluster sizes. Without a cluster size
// the sectors per cluster keep the form's own text.
//
// Owned by its sheet; GUI thread only.

#include "dialogs/VolumeInformationPage.h"

class CVolumeInformationDlg_Information : public CVolumeInformationPage {
  Q_OBJECT

 public:
  enum : int {
    IDD = 362,
    IDC_OFFSET = 1229,
    IDC_SECTORS_PER_CLUSTER = 1255,
    IDC_BYTES_PER_SECTOR = 1256,
    IDC_BYTES_PER_CLUSTER = 1257,
  };

  explicit CVolumeInformationDlg_Information(std::shared_ptr<CVolume> volume, QWidget* parent = nullptr);

  void OnInitDialog() override;
};
