#include "dialogs/VolumeInformationDlg_Capabilities.h"

#include <QGridLayout>

#include "app/App.h"
#include "controls/DialogUnits.h"
#include "dialogs/FormParts.h"
#include "engine/volume/Volume.h"

namespace {

constexpr std::uint32_t IDS_YES = 220;

constexpr CVolumeInformationDlg_Capabilities::Row kRows[] = {
    {CVolume::kFsNamedStreams, 1259, "Named streams:"},
    {CVolume::kFsReadOnlyVolume, 1260, "Read only:"},
    {CVolume::kFsObjectIds, 1261, "Object identifiers:"},
    {CVolume::kFsReparsePoints, 1262, "Reparse points:"},
    {CVolume::kFsSparseFiles, 1263, "Sparse files:"},
    {CVolume::kFsFileCompression, 1264, "File-based compression:"},
    {CVolume::kFsCaseSensitiveSearch, 1265, "Case-sensitive file names:"},
    {CVolume::kFsCasePreservedNames, 1266, "Preserves the case of file names:"},
    {CVolume::kFsVolumeQuotas, 1267, "Disk quotas:"},
    {CVolume::kFsEncryption, 1268, "Encrypted file system (EFS):"},
    {CVolume::kFsPersistentAcls, 1269, "Preserves and enforces ACLs:"},
    {CVolume::kFsUnicodeOnDisk, 1270, "Unicode in filenames as they appear on disk:"},
    {CVolume::kFsVolumeIsCompressed, 1271, "Compressed volume:"},
};

}  // namespace

std::span<const CVolumeInformationDlg_Capabilities::Row> CVolumeInformationDlg_Capabilities::Rows() { return kRows; }

CVolumeInformationDlg_Capabilities::CVolumeInformationDlg_Capabilities(std::shared_ptr<CVolume> volume,
                                                                       QWidget* parent)
    : CVolumeInformationPage(QStringLiteral("Capabilities"), IDD, std::move(volume), parent) {
  Grid()->setVerticalSpacing(controls::DluToPixelsY(controls::BaseUnitsOf(font()), 2));
  for (const Row& row : kRows)
    dialogs::AddInfoRow(Grid(), QString::fromLatin1(row.label), row.controlId, QStringLiteral("No"));
  FinishForm();
}

void CVolumeInformationDlg_Capabilities::OnInitDialog() {
  SendPageInitialized();
  if (!volume_) return;
  const std::uint32_t flags = volume_->Info().fileSystemFlags;
  for (const Row& row : kRows)
    if (flags & row.flag) dialogs::SetInfoText(this, row.controlId, LangString(IDS_YES));
}
