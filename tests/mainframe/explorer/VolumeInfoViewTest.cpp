// The volume information view: its rows by kind of volume (physical drives with
// and without a geometry, a logical drive, an image, a found partition), the
// spacers and blanks of the labels, and a picture of an image's view.
#include <QHeaderView>
#include <QTest>

#include <algorithm>

#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"
#include "mainframe/explorer/VolumeInfoView.h"
#include "platform/ByteOrder.h"
#include "platform/Text.h"
#include "support/Fixtures.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"

namespace {

using Rows = std::vector<CVolumeInfoView::Row>;

Rows Expect(std::initializer_list<std::pair<const char*, const char*>> rows) {
  Rows out;
  for (const auto& [label, value] : rows) out.emplace_back(QString::fromUtf8(label), QString::fromUtf8(value));
  return out;
}

QString Show(const Rows& rows) {
  QString text;
  for (const auto& [l, v] : rows) text += QStringLiteral("[%1|%2] ").arg(l, v);
  return text;
}

std::shared_ptr<CVolume> Drive(bool withGeometry, bool removable) {
  auto v = std::make_shared<CVolume>(CVolume::kPhysicalDrive);
  v->SetDevicePath(u"/dev/sdc");
  v->UpdateInfo([&](VolumeInfo& i) {
    i.letter = u'2';
    i.driveType = 3;
    i.totalBytes = 500107862016;
    i.device.removable = removable;
    if (withGeometry) {
      i.device.hasGeometry = true;
      i.device.cylinders = 60801;
      i.device.heads = 255;
      i.device.sectorsPerTrack = 63;
    }
  });
  v->SetState(CVolume::kReady);
  return v;
}

}  // namespace

class VolumeInfoViewTest : public QObject {
  Q_OBJECT

 private slots:
  void RowsByKind_data() {
    QTest::addColumn<std::shared_ptr<CVolume>>("volume");
    QTest::addColumn<Rows>("rows");

    QTest::newRow("physical drive with geometry")
        << Drive(true, false)
        << Expect({{" ", ""}, {" Type", "Fixed"}, {" Category", "Physical"}, {" ", ""},
                   {" System Path", "/dev/sdc"}, {"Total Space", "465 GB (500 107 862 016 bytes)"},
                   {" Device Number", "2"}, {" Media Type", "Fixed hard disk"}, {" ", ""}, {" Drive Geometry:", ""},
                   {" Cylinders", "60801"}, {" Tracks Per Cylinder", "255"}, {" Sectors Per Track", "63"},
                   {" Bytes Per Sector", "512"}, {"", ""}, {"State", "Ready"}});
    QTest::newRow("removable drive without geometry")
        << Drive(false, true)
        << Expect({{" ", ""}, {" Type", "Fixed"}, {" Category", "Physical"}, {" ", ""},
                   {" System Path", "/dev/sdc"}, {"Total Space", "465 GB (500 107 862 016 bytes)"},
                   {" Device Number", "2"}, {" Media Type", "Removable media other than floppy"}, {"", ""},
                   {"State", "Ready"}});

    auto logical = std::make_shared<CVolume>(CVolume::kLogicalDrive);
    logical->SetDevicePath(u"/dev/sdb1");
    logical->SetFileSystemTypeCode(11);
    logical->FileSystem()->GetTypeName();
    logical->UpdateInfo([](VolumeInfo& i) {
      i.rootPath = u"/media/usb";
      i.label = u"PHOTOS";
      i.driveType = 2;
      i.totalBytes = 1073741824;
      i.geometry.sectorsPerCluster = 8;
      i.geometry.bytesPerSector = 512;
      i.geometry.totalSectors = 2097152;
      i.geometry.totalClusters = 262144;
      i.geometry.serialLow = 0x1234ABCD;
    });
    logical->SetState(CVolume::kAnalysing);
    QTest::newRow("logical drive")
        << logical
        << Expect({{" ", ""}, {" Type", "Removable"}, {" Category", "Logical"}, {" ", ""},
                   {" System Path", "/dev/sdb1"}, {"Total Space", "1024 MB (1 073 741 824 bytes)"},
                   {" Drive Letter", "/media/usb"}, {" Label", "PHOTOS"}, {" File System", "FAT32"}, {"", ""},
                   {" Cluster size", "4096"}, {" Total Clusters", "262144"}, {" Total Sectors", "2097152"},
                   {"Serial Number", "1234ABCD"}, {"", ""}, {"State", "Analyzing"}});

    auto found = std::make_shared<CVolume>(CVolume::kFoundPartition);
    found->SetDevicePath(u"/dev/sdd");
    found->SetFileSystemTypeCode(7);
    found->FileSystem()->GetTypeName();
    found->UpdateInfo([](VolumeInfo& i) {
      i.driveType = 3;
      i.geometry.serialHigh = 0x1234;  // the low part is 0: no serial row
      i.geometry.sectorsPerCluster = 8;
    });
    found->SetState(CVolume::kQuerying);
    QTest::newRow("found partition, no size")
        << found
        << Expect({{" ", ""}, {" Type", "Fixed"}, {" Category", "Found"}, {" ", ""}, {" System Path", "/dev/sdd"},
                   {"Label", ""}, {"File System", "NTFS"}, {"", ""}, {"Cluster size", "4096"},
                   {"Total Clusters", "0"}, {"Total Sectors", "0"}, {"", ""}, {"State", "Information request"}});

    auto gpt = std::make_shared<CVolume>(CVolume::kFoundPartition);
    gpt->SetDevicePath(u"/dev/sdf");
    gpt->UpdateInfo([](VolumeInfo& i) {
      i.driveType = 3;
      i.partitionTypeGuid = u"EBD0A0A2-B9E5-4433-87C0-68B6B72699C7";
      i.partitionName = u"Photos";
    });
    gpt->SetState(CVolume::kReady);
    QTest::newRow("partition of a GUID partition table")
        << gpt
        << Expect({{" ", ""}, {" Type", "Fixed"}, {" Category", "Found"}, {" ", ""}, {" System Path", "/dev/sdf"},
                   {"Label", ""}, {"File System", "Unknown"}, {"", ""}, {"Cluster size", "512"},
                   {"Total Clusters", "0"}, {"Total Sectors", "0"},
                   {"Partition Type", "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7"}, {"Partition Name", "Photos"},
                   {"", ""}, {"State", "Ready"}});

    auto partition = std::make_shared<CVolume>(CVolume::kPartition);
    partition->SetDevicePath(u"/dev/sde");
    QTest::newRow("partition")
        << partition
        << Expect({{" ", ""}, {" Type", "unknown"}, {" Category", "Virtual"}, {" ", ""}, {" System Path", "/dev/sde"},
                   {"", ""}, {"State", "Not Ready"}});
  }
  void RowsByKind() {
    QFETCH(std::shared_ptr<CVolume>, volume);
    QFETCH(Rows, rows);
    const Rows got = CVolumeInfoView::Rows(*volume);
    QVERIFY2(got == rows, qPrintable(Show(got)));
  }

  void AnImageShownInTheView() {
    const std::string path = test::FixtureImage("fat16.img");
    auto image = std::make_shared<CVolume>(CVolume::kImageFile);
    image->SetDevicePath(platform::Utf8ToUtf16(path));
    QCOMPARE(image->QueryInformation(), 1);
    QCOMPARE(image->BootSetup(), 1);
    std::uint8_t boot[512];
    QCOMPARE(image->ReadSectors(boot, 0, 1), std::int64_t(512));
    const QString serial = QString::number(platform::LeView(boot, 512).U32(39), 16).toUpper();

    CVolumeInfoView view;
    QVERIFY(view.isHidden());  // made hidden
    QCOMPARE(view.headerItem()->text(0), QStringLiteral(" Name "));
    QCOMPARE(view.headerItem()->text(1), QStringLiteral(" Value "));
    QCOMPARE(view.columnWidth(0), 150);
    QCOMPARE(view.columnWidth(1), 250);
    view.ShowVolumeInfo(image);
    // The names line up: one blank before each, whatever blanks its text has.
    const Rows expected = Expect({{"", ""},
                                  {" Type", "OS File"},
                                  {" Category", "Volume Image"},
                                  {"", ""},
                                  {" System Path", path.c_str()},
                                  {" Total Space", "8 MB (8 388 608 bytes)"},
                                  {" Label", "VANDREL16  "},
                                  {" File System", "FAT16"},
                                  {"", ""},
                                  {" Cluster size", "1024"},
                                  {" Total Clusters", "8192"},
                                  {" Total Sectors", "16384"},
                                  {" Serial Number", qPrintable(serial)},
                                  {"", ""},
                                  {" State", "Ready"}});
    QVERIFY2(view.ShownRows() == expected, qPrintable(Show(view.ShownRows())));
    // A null volume changes nothing; another volume replaces every row.
    view.ShowVolumeInfo(nullptr);
    QCOMPARE(view.topLevelItemCount(), int(expected.size()));
    view.resize(420, 340);
    QVERIFY(!test::SaveScreenshot(&view, QStringLiteral("mainframe"), QStringLiteral("volume_info_view_image")).isEmpty());
    view.ShowVolumeInfo(Drive(false, false));
    QCOMPARE(view.topLevelItemCount(), 10);
  }

  void APartitionOfTheGptDiskShownInTheView() {
    // gpt.img as the computer object opens it: its partitions from the GUID table.
    CLocalComputer computer;
    auto disk = computer.OpenImageFile(platform::Utf8ToUtf16(test::FixtureImage("gpt.img")));
    QVERIFY(disk != nullptr);
    const auto children = disk->Children();
    QCOMPARE(int(children.size()), 2);
    std::shared_ptr<CVolume> ntfs = children[0]->Geometry().baseOffset > children[1]->Geometry().baseOffset
                                        ? children[0]
                                        : children[1];
    CVolumeInfoView view;
    view.ShowVolumeInfo(ntfs);
    // Shown, each name stands after one blank.
    const Rows rows = view.ShownRows();
    QVERIFY(std::find(rows.begin(), rows.end(),
                      CVolumeInfoView::Row(QStringLiteral(" Partition Type"), QStringLiteral("EBD0A0A2-B9E5-4433-87C0-68B6B72699C7"))) !=
            rows.end());
    QVERIFY(std::find(rows.begin(), rows.end(), CVolumeInfoView::Row(QStringLiteral(" Partition Name"), QStringLiteral("GPT NTFS"))) !=
            rows.end());
    QVERIFY(std::find(rows.begin(), rows.end(), CVolumeInfoView::Row(QStringLiteral(" File System"), QStringLiteral("NTFS"))) !=
            rows.end());
    view.resize(480, 380);  // the type GUID needs the width of a pane beside the tree
    QVERIFY(!test::SaveScreenshot(&view, QStringLiteral("mainframe"), QStringLiteral("volume_info_view_gpt")).isEmpty());
  }

  void MediaTypes() {
    QCOMPARE(CVolumeInfoView::MediaTypeText(1), QStringLiteral("5.25\" floppy, with 1.2MB and 512 bytes/sector"));
    QCOMPARE(CVolumeInfoView::MediaTypeText(11), QStringLiteral("Removable media other than floppy"));
    QCOMPARE(CVolumeInfoView::MediaTypeText(12), QStringLiteral("Fixed hard disk"));
    QCOMPARE(CVolumeInfoView::MediaTypeText(25), QStringLiteral("3.5\" floppy, with 32MB and 512 bytes/sector"));
    QCOMPARE(CVolumeInfoView::MediaTypeText(0), QString());
    QCOMPARE(CVolumeInfoView::MediaTypeText(26), QString());
    QCOMPARE(CVolumeInfoView::MediaTypeOf(true), 11);
    QCOMPARE(CVolumeInfoView::MediaTypeOf(false), 12);
  }
};
VANDREL_QT_TEST(VolumeInfoViewTest);

#include "VolumeInfoViewTest.moc"
