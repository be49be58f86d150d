// The image numbers of the tree and the list: by a record's flags and place, and
// a device node's by its volume's kind and drive type.
#include <QTest>

#include "engine/store/FoundObject.h"
#include "engine/volume/Volume.h"
#include "mainframe/icons/FoundObjectIcons.h"
#include "mainframe/icons/FoundObjectImages.h"
#include "support/QtTestRegistry.h"

class FoundObjectImagesTest : public QObject {
  Q_OBJECT

 private slots:
  void RecordImages_data() {
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("parent");
    QTest::addColumn<int>("tree");
    QTest::addColumn<int>("treeExpanded");
    QTest::addColumn<int>("list");
    constexpr int F = OBJ_FOLDER, D = OBJ_DELETED, P = OBJ_DELETED_PATH, C = OBJ_CARVED;
    QTest::newRow("live file") << 0 << 9 << 5 << 0 << 0 << 0;
    QTest::newRow("deleted file") << D << 9 << 5 << 1 << 1 << 1;
    QTest::newRow("carved live file") << C << 9 << 5 << 10 << 10 << 10;
    QTest::newRow("carved deleted file") << (C | D) << 9 << 5 << 11 << 11 << 11;
    QTest::newRow("folder") << F << 9 << 5 << 2 << 3 << 2;
    QTest::newRow("root folder") << (F | D) << 2 << 5 << 3 << 3 << 3;
    QTest::newRow("on a deleted path") << (F | P) << 9 << 5 << 4 << 5 << 4;
    QTest::newRow("deleted folder") << (F | D | P) << 9 << 5 << 6 << 7 << 6;
    QTest::newRow("type folder under Lost files") << (F | P) << -20 << -19 << 6 << 6 << 6;
    QTest::newRow("lost folder") << (F | D | P) << 77 << -18 << 8 << 9 << 8;
    QTest::newRow("Lost folders root") << (F | P) << -18 << -31 << 8 << 9 << 8;
    QTest::newRow("Lost files root is deleted") << (F | D | P) << -19 << -31 << 6 << 7 << 6;
  }
  void RecordImages() {
    QFETCH(int, flags);
    QFETCH(int, id);
    QFETCH(int, parent);
    QFETCH(int, tree);
    QFETCH(int, treeExpanded);
    QFETCH(int, list);
    FoundObject r;
    r.flags = std::uint16_t(flags);
    r.id = id;
    r.parentId = parent;
    QCOMPARE(CFoundObjectImages::TreeImage(r, 2, false), tree);
    QCOMPARE(CFoundObjectImages::TreeImage(r, 2, true), treeExpanded);
    QCOMPARE(CFoundObjectImages::ListImage(r, 2), list);
  }

  void DeviceImages_data() {
    QTest::addColumn<int>("nodeId");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("driveType");
    QTest::addColumn<bool>("carved");
    QTest::addColumn<int>("image");
    QTest::newRow("My Computer") << -12 << 0 << 0 << false << 12;
    QTest::newRow("Recycle Bin") << -17 << 0 << 0 << false << 13;
    QTest::newRow("physical drive") << -31 << 1 << 3 << false << 14;
    QTest::newRow("logical drive") << -32 << 2 << 3 << false << 15;
    QTest::newRow("logical drive found again") << -32 << 2 << 3 << true << 20;
    QTest::newRow("partition") << -33 << 4 << 3 << false << 16;
    QTest::newRow("image file") << -34 << 8 << 7 << false << 17;
    QTest::newRow("found partition") << -37 << 16 << 3 << false << 18;
    QTest::newRow("removable") << -38 << 1 << 2 << false << 19;
    QTest::newRow("remote") << -39 << 2 << 4 << false << 15;
    QTest::newRow("CD-ROM") << -40 << 1 << 5 << false << 15;
    QTest::newRow("RAM disk") << -41 << 8 << 6 << false << 15;
    QTest::newRow("unknown kind") << -42 << 0 << 3 << false << 15;
  }
  void DeviceImages() {
    QFETCH(int, nodeId);
    QFETCH(int, kind);
    QFETCH(int, driveType);
    QFETCH(bool, carved);
    QFETCH(int, image);
    QCOMPARE(CFoundObjectImages::DeviceImage(nodeId, kind, driveType, carved), image);
  }

  void EveryImageHasAnIcon() {
    for (int image = 0; image < CFoundObjectImages::kImageCount; ++image) {
      QVERIFY2(CFoundObjectImages::IconId(image) > 0, qPrintable(QString::number(image)));
      QVERIFY2(!CFoundObjectIcons::Icon(image).isNull(), qPrintable(QString::number(image)));
    }
    QCOMPARE(CFoundObjectImages::IconId(21), 0);
    QCOMPARE(CFoundObjectImages::StateIconId(1), 209);
    QCOMPARE(CFoundObjectImages::StateIconId(2), 210);
    QCOMPARE(CFoundObjectImages::StateIconId(3), 210);
    QCOMPARE(CFoundObjectImages::StateIconId(0), 0);
  }
};

VANDREL_QT_TEST(FoundObjectImagesTest);
#include "FoundObjectImagesTest.moc"
