#include "dialogs/VolumeInformationDlg_General.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/Icons.h"
#include "app/QtText.h"
#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "dialogs/FormParts.h"
#include "dialogs/VolumeTexts.h"
#include "engine/volume/Volume.h"

using dialogs::AddInfoRow;
using dialogs::AddInfoSeparator;
using dialogs::SetInfoText;

CVolumeInformationDlg_General::CVolumeInformationDlg_General(std::shared_ptr<CVolume> volume, QWidget* parent)
    : CVolumeInformationPage(QStringLiteral("General"), IDD, std::move(volume), parent) {
  const controls::DialogBaseUnits du = controls::BaseUnitsOf(font());
  // The picture and the volume's name above the rows.
  auto* icon = new QLabel(this);
  controls::SetControlId(icon, IDC_ICON);
  icon->setFixedSize(48, 48);
  auto* name = new QLabel(this);
  controls::SetControlId(name, IDC_NAME);
  name->setTextFormat(Qt::PlainText);
  name->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* head = new QHBoxLayout();
  head->addWidget(icon);
  head->addSpacing(controls::DluToPixelsX(du, 8));
  head->addWidget(name, 1);
  Layout()->insertLayout(0, head);
  Layout()->insertSpacing(1, controls::DluToPixelsY(du, 4));

  QGridLayout* grid = Grid();
  grid->setColumnMinimumWidth(0, controls::DluToPixelsX(du, 60));
  AddInfoSeparator(grid);
  AddInfoRow(grid, QStringLiteral("FileSystem:"), IDC_FILE_SYSTEM);
  AddInfoRow(grid, QStringLiteral("Status:"), IDC_STATUS);
  AddInfoRow(grid, QStringLiteral("Label:"), IDC_LABEL);
  AddInfoRow(grid, QStringLiteral("OEM ID:"), IDC_OEM_ID);
  AddInfoRow(grid, QStringLiteral("S/N:"), IDC_SERIAL);
  AddInfoSeparator(grid);
  AddInfoRow(grid, QStringLiteral("Total Space:"), IDC_TOTAL_SPACE, QStringLiteral("0"));
  AddInfoRow(grid, QStringLiteral("Free Space:"), IDC_FREE_SPACE, QStringLiteral("0"));
  FinishForm();
}

void CVolumeInformationDlg_General::OnInitDialog() {
  SendPageInitialized();
  if (auto* icon = controls::FindControlAs<QLabel>(this, IDC_ICON))
    icon->setPixmap(app::IconById(kVolumeIconId).pixmap(48, 48));
  if (!volume_) return;
  const VolumeInfo info = volume_->Info();
  SetInfoText(this, IDC_NAME, app::ToQString(volume_->GetDisplayName()));
  SetInfoText(this, IDC_FILE_SYSTEM, app::ToQString(volume_->GetFileSystemName()));
  SetInfoText(this, IDC_STATUS, dialogs::VolumeStateText(volume_->GetState()));
  SetInfoText(this, IDC_LABEL, app::ToQString(info.label));
  SetInfoText(this, IDC_OEM_ID, app::ToQString(info.geometry.oemName));
  SetInfoText(this, IDC_SERIAL, dialogs::SerialText(info.geometry.serialHigh, info.geometry.serialLow));
  SetInfoText(this, IDC_TOTAL_SPACE, dialogs::VolumeSizeLine(info.totalBytes));
  SetInfoText(this, IDC_FREE_SPACE, dialogs::VolumeSizeLine(info.freeBytes));
}
