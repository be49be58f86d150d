#pragma once
// CVolumeInformationDlg: the modal property sheet "Volume Information" for one
// volume (the explorer view's "Properties", command 32872): the pages "General"
// (form 360), "Information" (362) and, for a volume whose file-system type is
// known, "Capabilities" (361). No Apply button; Help reaches the program's help.
// The pages show what the volume knows when each is first shown and change
// nothing.
//
// The sheet holds the volume (shared) while it is open. GUI thread only.

#include <memory>

#include "controls/ResizablePropertySheet.h"

class CVolume;
class CVolumeInformationDlg_General;
class CVolumeInformationDlg_Information;
class CVolumeInformationDlg_Capabilities;

class CVolumeInformationDlg : public controls::CResizablePropertySheet {
  Q_OBJECT

 public:
  explicit CVolumeInformationDlg(const QString& title = QStringLiteral("Volume Information"), int startPage = 0,
                                 QWidget* parent = nullptr);
  ~CVolumeInformationDlg() override;

  // Keeps the volume and adds the pages: "General" and "Information", and
  // "Capabilities" when the volume's parser has a type code other than 0. Once;
  // a null volume adds nothing.
  void SetVolume(std::shared_ptr<CVolume> volume);
  const std::shared_ptr<CVolume>& Volume() const { return volume_; }

  // Makes the sheet for `volume` and runs it modally over `owner`.
  static int Show(std::shared_ptr<CVolume> volume, QWidget* owner);

  CVolumeInformationDlg_General* GeneralPage() const { return general_; }
  CVolumeInformationDlg_Information* InformationPage() const { return information_; }
  // Null when the sheet has no "Capabilities" page.
  CVolumeInformationDlg_Capabilities* CapabilitiesPage() const { return capabilities_; }

 private:
  std::shared_ptr<CVolume> volume_;
  CVolumeInformationDlg_General* general_ = nullptr;
  CVolumeInformationDlg_Information* information_ = nullptr;
  CVolumeInformationDlg_Capabilities* capabilities_ = nullptr;
};
