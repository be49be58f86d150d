#include "dialogs/VolumeInformationDlg_Information.h"

#include <QGridLayout>

#include "controls/DialogUnits.h"
#include "dialogs/FormParts.h"
#include "engine/volume/Volume.h"

using dialogs::AddInfoRow;
using dialogs::SetInfoText;

CVolumeInformationDlg_Information::CVolumeInformationDlg_Information(std::shared_ptr<CVolume> volume,
                                                                     QWidget* parent)
    : CVolumeInformationPage(QStringLiteral("Information"), IDD, std::move(volume), parent) {
  const controls::DialogBaseUnits du = controls::BaseUnitsOf(font());
  QGridLayout* grid = Grid();
  grid->setVerticalSpacing(controls::DluToPixelsY(du, 4));
  grid->setColumnMinimumWidth(0, controls::DluToPixelsX(du, 80));
  AddInfoRow(grid, QStringLiteral("Offset from Pysical:"), IDC_OFFSET, QStringLiteral("0"));
  AddInfoRow(grid, QStringLiteral("Sectors per Cluster:"), IDC_SECTORS_PER_CLUSTER, QStringLiteral("0"));
  AddInfoRow(grid, QStringLiteral("Bytes per Sector:"), IDC_BYTES_PER_SECTOR, QStringLiteral("0"));
  AddInfoRow(grid, QStringLiteral("Bytes per Cluster:"), IDC_BYTES_PER_CLUSTER, QStringLiteral("0"));
  FinishForm();
}

void CVolumeInformationDlg_Information::OnInitDialog() {
  SendPageInitialized();
  if (!volume_) return;
  const VolumeGeometry g = volume_->Geometry();
  SetInfoText(this, IDC_OFFSET, QString::number(g.baseOffset));
  if (g.clusterBytes != 0) SetInfoText(this, IDC_SECTORS_PER_CLUSTER, QString::number(g.clusterBytes >> 9));
  SetInfoText(this, IDC_BYTES_PER_SECTOR, QString::number(g.bytesPerSector));
  SetInfoText(this, IDC_BYTES_PER_CLUSTER, QString::number(g.clusterBytes));
}
