#include "mainframe/explorer/VolumeInfoView.h"

#include <QHeaderView>

#include "app/App.h"
#include "app/QtText.h"
#include "dialogs/VolumeTexts.h"
#include "engine/volume/Volume.h"

namespace {

enum : std::uint32_t {
  IDS_BYTES_TOTAL = 370,
  IDS_STATE = 374,
  IDS_SERIAL = 375,
  IDS_UNKNOWN = 57116,
};

// The drive geometry's media types 1 to 25.
const char* const kMediaTypes[] = {
    "5.25\" floppy, with 1.2MB and 512 bytes/sector",
    "3.5\" floppy, with 1.44MB and 512 bytes/sector",
    "3.5\" floppy, with 2.88MB and 512 bytes/sector",
    "3.5\" floppy, with 20.8MB and 512 bytes/sector",
    "3.5\" floppy, with 720KB and 512 bytes/sector",
    "5.25\" floppy, with 360KB and 512 bytes/sector",
    "5.25\" floppy, with 320KB and 512 bytes/sector",
    "5.25\" floppy, with 320KB and 1024 bytes/sector",
    "5.25\" floppy, with 180KB and 512 bytes/sector",
    "5.25\" floppy, with 160KB and 512 bytes/sector",
    "Removable media other than floppy",
    "Fixed hard disk",
    "3.5\" floppy, with 120MB and 512 bytes/sector",
    "3.5\" floppy, with 640MB and 512 bytes/sector",
    "5.25\" floppy, with 640KB and 512 bytes/sector",
    "5.25\" floppy, with 720KB and 512 bytes/sector",
    "3.5\" floppy, with 1.2MB and 512 bytes/sector",
    "3.5\" floppy, with 1.23MB and 1024 bytes/sector",
    "5.25\" floppy, with 1.23KB and 1024 bytes/sector",
    "3.5\" floppy, with 128MB and 512 bytes/sector",
    "3.5\" floppy, with 230MB and 512 bytes/sector",
    "8\" floppy, with 256KB and 128 bytes/sector",
    "3.5\" floppy, with 200MB and 512 bytes/sector (HiFD)",
    "3.5\" floppy, with 240MB and 512 bytes/sector (HiFD)",
    "3.5\" floppy, with 32MB and 512 bytes/sector",
};

QString DriveTypeText(std::int32_t driveType) {
  switch (driveType) {
    case 2:
      return QStringLiteral("Removable");
    case 3:
      return QStringLiteral("Fixed");
    case 5:
      return QStringLiteral("CD\\DVD");
    case 7:
      return QStringLiteral("OS File");
    case 8:
      return QStringLiteral("Volume Image");
    case 16:
      return QStringLiteral("Found");
    default:
      return LangString(IDS_UNKNOWN);
  }
}

QString CategoryText(std::int32_t kind) {
  switch (kind) {
    case CVolume::kPhysicalDrive:
      return QStringLiteral("Physical");
    case CVolume::kLogicalDrive:
      return QStringLiteral("Logical");
    case CVolume::kPartition:
      return QStringLiteral("Virtual");
    case 7:
      return QStringLiteral("OS File");
    case CVolume::kImageFile:
      return QStringLiteral("Volume Image");
    case CVolume::kFoundPartition:
      return QStringLiteral("Found");
    default:
      return {};
  }
}

}  // namespace

CVolumeInfoView::CVolumeInfoView(QWidget* parent) : QTreeWidget(parent) {
  setObjectName(QStringLiteral("VolumeInfoView"));
  setColumnCount(2);
  setHeaderLabels({QStringLiteral(" Name "), QStringLiteral(" Value ")});
  setColumnWidth(0, kNameWidth);
  setColumnWidth(1, kValueWidth);
  header()->setStretchLastSection(false);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setAllColumnsShowFocus(true);
  setFrameShape(QFrame::StyledPanel);
  setFrameShadow(QFrame::Sunken);
  hide();
}

QString CVolumeInfoView::MediaTypeText(int mediaType) {
  if (mediaType < 1 || mediaType > static_cast<int>(std::size(kMediaTypes))) return {};
  return QString::fromUtf8(kMediaTypes[mediaType - 1]);
}

std::vector<CVolumeInfoView::Row> CVolumeInfoView::Rows(const CVolume& volume) {
  const VolumeInfo info = volume.Info();
  const VolumeGeometry& g = info.geometry;
  const std::int32_t kind = volume.GetKind();
  std::vector<Row> rows;
  const auto add = [&rows](const QString& label, const QString& value = QString()) { rows.emplace_back(label, value); };

  add(QStringLiteral(" "));
  add(QStringLiteral(" Type"), DriveTypeText(info.driveType));
  add(QStringLiteral(" Category"), CategoryText(kind));
  add(QStringLiteral(" "));
  add(QStringLiteral(" System Path"), app::ToQString(volume.GetPath()));
  if (info.totalBytes > 0) add(LangString(IDS_BYTES_TOTAL), dialogs::SizeWithBytes(info.totalBytes));

  // The rows of a file system: a found partition's labels have no leading blank.
  const auto fileSystemRows = [&](const QString& blank) {
    add(blank + QStringLiteral("Label"), app::ToQString(info.label));
    add(blank + QStringLiteral("File System"), app::ToQString(volume.GetFileSystemName()));
    add(QString());
    add(blank + QStringLiteral("Cluster size"), QString::number(std::int64_t(g.sectorsPerCluster) * g.bytesPerSector));
    add(blank + QStringLiteral("Total Clusters"), QString::number(g.totalClusters));
    add(blank + QStringLiteral("Total Sectors"), QString::number(g.totalSectors));
  };
  switch (kind) {
    case CVolume::kPhysicalDrive: {
      add(QStringLiteral(" Device Number"), info.letter >= u'0' ? QString::number(int(info.letter) - int(u'0')) : QString());
      add(QStringLiteral(" Media Type"), MediaTypeText(MediaTypeOf(info.device.removable)));
      if (info.device.cylinders != 0) {
        add(QStringLiteral(" "));
        add(QStringLiteral(" Drive Geometry:"));
        add(QStringLiteral(" Cylinders"), QString::number(info.device.cylinders));
        add(QStringLiteral(" Tracks Per Cylinder"), QString::number(info.device.heads));
        add(QStringLiteral(" Sectors Per Track"), QString::number(info.device.sectorsPerTrack));
        add(QStringLiteral(" Bytes Per Sector"), QString::number(g.bytesPerSector));
      }
      break;
    }
    case CVolume::kLogicalDrive:
      add(QStringLiteral(" Drive Letter"), app::ToQString(info.rootPath));
      fileSystemRows(QStringLiteral(" "));
      break;
    case CVolume::kImageFile:
      fileSystemRows(QStringLiteral(" "));
      break;
    case CVolume::kFoundPartition:
      fileSystemRows(QString());
      // A partition of a GUID partition table: its type GUID and its name.
      if (!info.partitionTypeGuid.empty()) {
        add(QStringLiteral("Partition Type"), app::ToQString(info.partitionTypeGuid));
        add(QStringLiteral("Partition Name"), app::ToQString(info.partitionName));
      }
      break;
    default:
      break;
  }

  if (g.serialLow != 0) add(LangString(IDS_SERIAL), dialogs::SerialText(g.serialHigh, g.serialLow));
  add(QString());
  add(LangString(IDS_STATE), dialogs::VolumeStateText(volume.GetState()));
  return rows;
}

void CVolumeInfoView::ShowVolumeInfo(const std::shared_ptr<CVolume>& volume) {
  if (!volume) return;
  clear();
  QList<QTreeWidgetItem*> items;
  // The names line up: each shown after one blank, whatever blanks its text
  // brings.
  for (const Row& row : Rows(*volume)) {
    const QString name = row.first.trimmed();
    items.append(new QTreeWidgetItem(QStringList{name.isEmpty() ? QString() : QLatin1Char(' ') + name, row.second}));
  }
  addTopLevelItems(items);
  // A value wider than its column (a partition's type GUID) widens it, never cut short.
  if (const int needed = sizeHintForColumn(1); needed > columnWidth(1)) setColumnWidth(1, needed);
  setCurrentIndex(QModelIndex());  // no row stands out
}

std::vector<CVolumeInfoView::Row> CVolumeInfoView::ShownRows() const {
  std::vector<Row> rows;
  for (int i = 0; i < topLevelItemCount(); ++i) rows.emplace_back(topLevelItem(i)->text(0), topLevelItem(i)->text(1));
  return rows;
}
