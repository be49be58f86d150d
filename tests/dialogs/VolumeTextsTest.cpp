// The numbers of the volume and file information as text: size lines, serial
// numbers, states, sizes on disk and times.
#include <QTest>

#include "app/Formatting.h"
#include "dialogs/VolumeTexts.h"
#include "engine/volume/Volume.h"
#include "platform/FileTime.h"
#include "support/QtTestRegistry.h"
#include "tests/dialogs/VolumeDialogsTestSupport.h"

class VolumeTextsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { world_ = std::make_unique<test::DialogWorld>(); }
  void cleanupTestCase() { world_.reset(); }

  void SizeLines_data() {
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("line");  // null: no text, the form's own stays
    QTest::newRow("0") << qint64(0) << QString();
    QTest::newRow("negative") << qint64(-1) << QString();
    QTest::newRow("1024") << qint64(1024) << QString();
    QTest::newRow("1025") << qint64(1025) << QStringLiteral("1 KB (1 025 bytes)");
    QTest::newRow("2^20 exactly") << qint64(1048576) << QStringLiteral("1024 KB (1 048 576 bytes)");
    QTest::newRow("2^20 + 1") << qint64(1048577) << QStringLiteral("1 MB (1 048 577 bytes)");
    QTest::newRow("2^30") << qint64(1073741824) << QStringLiteral("1024 MB (1 073 741 824 bytes)");
    QTest::newRow("2^30 + 1") << qint64(1073741825) << QStringLiteral("1 GB (1 073 741 825 bytes)");
    QTest::newRow("500 GB disk") << qint64(500107862016) << QStringLiteral("465 GB (500 107 862 016 bytes)");
  }
  void SizeLines() {
    QFETCH(qint64, bytes);
    QFETCH(QString, line);
    const QString got = dialogs::VolumeSizeLine(bytes);
    QCOMPARE(got.isNull(), line.isNull());
    QCOMPARE(got, line);
  }

  void TheViewShowsSmallSizesWithoutAUnit() {
    QCOMPARE(dialogs::SizeWithBytes(1024), QStringLiteral(" (1 024 bytes)"));
    QCOMPARE(dialogs::SizeWithBytes(1000204886016), QStringLiteral("931 GB (1 000 204 886 016 bytes)"));
  }

  void Serials_data() {
    QTest::addColumn<uint>("high");
    QTest::addColumn<uint>("low");
    QTest::addColumn<QString>("text");
    QTest::newRow("low 0") << 0u << 0u << QString();
    QTest::newRow("low 0, high set") << 0x1234u << 0u << QString();
    QTest::newRow("low only") << 0u << 0xABCDu << QStringLiteral("ABCD");
    QTest::newRow("both, no padding") << 0x1234u << 0xABCDu << QStringLiteral("1234ABCD");
    QTest::newRow("full") << 0xDEADBEEFu << 0x0000F00Du << QStringLiteral("DEADBEEFF00D");
  }
  void Serials() {
    QFETCH(uint, high);
    QFETCH(uint, low);
    QFETCH(QString, text);
    const QString got = dialogs::SerialText(high, low);
    QCOMPARE(got.isNull(), text.isNull());
    QCOMPARE(got, text);
  }

  void States_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("text");
    QTest::newRow("querying") << int(CVolume::kQuerying) << QStringLiteral("Information request");
    QTest::newRow("not ready") << int(CVolume::kNotReady) << QStringLiteral("Not Ready");
    QTest::newRow("ready") << int(CVolume::kReady) << QStringLiteral("Ready");
    QTest::newRow("analysing") << int(CVolume::kAnalysing) << QStringLiteral("Analyzing");
    QTest::newRow("other") << 7 << QStringLiteral("Not Ready");
  }
  void States() {
    QFETCH(int, state);
    QFETCH(QString, text);
    QCOMPARE(dialogs::VolumeStateText(state), text);
  }

  void SizesOnDisk_data() {
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("cluster");
    QTest::addColumn<QString>("sizeText");
    QTest::addColumn<QString>("onDisk");
    QTest::newRow("5000 on 4096") << qint64(5000) << 4096 << QStringLiteral("5000") << QStringLiteral("8192");
    QTest::newRow("8192 on 4096") << qint64(8192) << 4096 << QStringLiteral("8192") << QStringLiteral("8192");
    QTest::newRow("empty file") << qint64(0) << 4096 << QStringLiteral("0") << QStringLiteral("0");
    QTest::newRow("1 on 512") << qint64(1) << 512 << QStringLiteral("1") << QStringLiteral("512");
    QTest::newRow("no cluster size") << qint64(5000) << 0 << QStringLiteral("5000") << QStringLiteral("5000");
    QTest::newRow("size not known") << qint64(-1) << 4096 << QStringLiteral("unknown") << QStringLiteral("unknown");
    QTest::newRow("near the top") << qint64(INT64_MAX - 10) << 4096 << QString::number(INT64_MAX - 10)
                                  << QString::number(INT64_MAX - 10);
  }
  void SizesOnDisk() {
    QFETCH(qint64, size);
    QFETCH(int, cluster);
    QFETCH(QString, sizeText);
    QFETCH(QString, onDisk);
    QCOMPARE(dialogs::FileSizeText(size), sizeText);
    QCOMPARE(dialogs::FileSizeOnDiskText(size, cluster), onDisk);
  }

  void Times() {
    QCOMPARE(dialogs::FileTimeText(0), QStringLiteral("unknown"));
    const platform::FileTime t = platform::FileTimeFromUnix(1552209300);  // 2019-03-10 09:15 UTC
    QCOMPARE(dialogs::FileTimeText(t), FormatFileTime(t));
    QVERIFY(dialogs::FileTimeText(t).contains(QStringLiteral("10:15")));  // the test's zone is CET
  }

 private:
  std::unique_ptr<test::DialogWorld> world_;
};
VANDREL_QT_TEST(VolumeTextsTest);

#include "VolumeTextsTest.moc"
