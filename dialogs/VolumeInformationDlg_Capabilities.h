#pragma once
// The "Capabilities" page of the volume information (form 361): one "Yes" or "No"
// per file-system capability of the volume (VolumeInfo::fileSystemFlags).
//
// Owned by its sheet; GUI thread only.

#include <cstdint>
#include <span>

#include "dialogs/VolumeInformationPage.h"

class CVolumeInformationDlg_Capabilities : public CVolumeInformationPage {
  Q_OBJECT

 public:
  enum : int { IDD = 361 };

  struct Row {
    std::uint32_t flag;
    int controlId;
    const char* label;
  };
  // The rows in the order the page shows them.
  static std::span<const Row> Rows();

  explicit CVolumeInformationDlg_Capabilities(std::shared_ptr<CVolume> volume, QWidget* parent = nullptr);

  void OnInitDialog() override;
};
