// The file information dialog: pictures by flags, type texts, each field over
// records built in memory (times by their own labels, sizes on disk, folders,
// unknown sizes), an object of a volume other than the current one, a cleared
// store, the deleted file of the FAT16 fixture after a real analysis, and a
// screenshot.
#include <QLabel>
#include <QTest>

#include "app/Formatting.h"
#include "controls/ControlId.h"
#include "dialogs/FileInformationViewDlg.h"
#include "dialogs/FormParts.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "tests/dialogs/VolumeDialogsTestSupport.h"

namespace {

using Dlg = CFileInformationViewDlg;

constexpr platform::FileTime kCreated = 132000000000000000;   // 2019-04-14 ...
constexpr platform::FileTime kModified = 132100000000000000;  // later
constexpr platform::FileTime kAccessed = 132200000000000000;  // later still

FoundObject Record(std::int32_t id, std::int32_t parent, std::u16string_view name, std::uint16_t flags,
                   std::int64_t offset = 0, std::int64_t size = 0) {
  FoundObject o;
  o.id = id;
  o.parentId = parent;
  o.flags = static_cast<std::uint16_t>(flags | OBJ_NAMED);
  o.SetName(name);
  o.offset = offset;
  o.size = size;
  return o;
}

// A memory image with 4096-byte clusters and a folder "Photos" (id 5) at its root.
std::shared_ptr<CVolume> VolumeWithFolder(std::int32_t clusterBytes = 4096) {
  auto volume = test::MemoryImage(std::make_shared<MemoryBlockDevice>(std::vector<std::uint8_t>(64 * 512)));
  volume->UpdateInfo([&](VolumeInfo& i) { i.geometry.clusterBytes = clusterBytes; });
  volume->Store().SetRootFolderId(2);
  volume->OnObjectFound(Record(2, -31, u".", OBJ_FOLDER));
  volume->OnObjectFound(Record(5, 2, u"Photos", OBJ_FOLDER));
  return volume;
}

// The dialog over a record, with its view refreshed as when it opens.
struct Shown {
  Shown(std::shared_ptr<CVolume> volume, const FoundObject* object) : dialog(std::move(volume), object) {
    QCoreApplication::processEvents();  // WM_REFRESH_VIEW
  }
  QString operator[](int id) const { return dialogs::InfoText(&dialog, id); }
  Dlg dialog;
};

}  // namespace

class FileInformationViewDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { world_ = std::make_unique<test::DialogWorld>(); }
  void cleanup() { world_.reset(); }

  void ImagesByFlags_data() {
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("image");
    QTest::addColumn<int>("icon");
    QTest::newRow("file") << 0 << 0 << 201;
    QTest::newRow("deleted file") << int(OBJ_DELETED) << 1 << 202;
    QTest::newRow("folder") << int(OBJ_FOLDER) << 2 << 204;
    QTest::newRow("deleted folder") << int(OBJ_FOLDER | OBJ_DELETED) << 6 << 206;
    QTest::newRow("carved file") << int(OBJ_CARVED) << 0 << 201;
  }
  void ImagesByFlags() {
    QFETCH(int, flags);
    QFETCH(int, image);
    QFETCH(int, icon);
    QCOMPARE(Dlg::ImageOf(static_cast<std::uint16_t>(flags)), image);
    QCOMPARE(Dlg::kImageIcons[image], icon);
  }

  void TypeTexts_data() {
    QTest::addColumn<bool>("folder");
    QTest::addColumn<QString>("description");  // null: no file type
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("folder") << true << QStringLiteral("ignored") << QStringLiteral("x.jpg") << QStringLiteral("Folder");
    QTest::newRow("typed") << false << QStringLiteral("JPEG picture") << QStringLiteral("x.bin")
                           << QStringLiteral("JPEG picture");
    QTest::newRow("by name") << false << QString() << QStringLiteral("holiday.png") << QStringLiteral("PNG image");
    QTest::newRow("unknown extension") << false << QString() << QStringLiteral("data.qqzzy") << QString();
    QTest::newRow("no name") << false << QString() << QString() << QString();
  }
  void TypeTexts() {
    QFETCH(bool, folder);
    QFETCH(QString, description);
    QFETCH(QString, name);
    QFETCH(QString, text);
    QCOMPARE(Dlg::TypeText(folder, description.isNull() ? nullptr : &description, name), text);
  }

  void FieldsOfAFile() {
    auto volume = VolumeWithFolder();
    FoundObject file = Record(40, 5, u"notes.qqzzy", OBJ_DELETED, 81920, 5000);
    file.created = kCreated;
    file.modified = kModified;
    file.accessed = kAccessed;
    const FoundObject* record = volume->OnObjectFound(file);
    QVERIFY(record);
    Shown s(volume, record);
    QCOMPARE(s.dialog.windowTitle(), QStringLiteral("File Information"));
    QCOMPARE(s.dialog.ShownImage(), 1);
    QCOMPARE(s[Dlg::IDC_NAME], QStringLiteral("notes.qqzzy"));
    QCOMPARE(s[Dlg::IDC_STATUS], QStringLiteral("Deleted"));
    QCOMPARE(s[Dlg::IDC_ID], QStringLiteral("40"));
    QCOMPARE(s[Dlg::IDC_PARENT_ID], QStringLiteral("5"));
    QCOMPARE(s[Dlg::IDC_LOCATION], QStringLiteral("Photos/"));
    QCOMPARE(s[Dlg::IDC_OFFSET], QStringLiteral("81920"));
    QCOMPARE(s[Dlg::IDC_SIZE], QStringLiteral("5000"));
    QCOMPARE(s[Dlg::IDC_SIZE_ON_DISK], QStringLiteral("8192"));
    QCOMPARE(s[Dlg::IDC_TYPE], QString());
    QCOMPARE(s[Dlg::IDC_SIGNATURE], QStringLiteral("unknown"));  // no file type
    // Each time under its own label.
    QCOMPARE(s[Dlg::IDC_CREATED], FormatFileTime(kCreated));
    QCOMPARE(s[Dlg::IDC_MODIFIED], FormatFileTime(kModified));
    QCOMPARE(s[Dlg::IDC_ACCESSED], FormatFileTime(kAccessed));
    QVERIFY(!controls::FindControlAs<QLabel>(&s.dialog, Dlg::IDC_ICON)->pixmap().isNull());
  }

  void SizesOnDisk_data() {
    QTest::addColumn<int>("cluster");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("sizeText");
    QTest::addColumn<QString>("onDisk");
    QTest::newRow("whole clusters") << 4096 << qint64(8192) << QStringLiteral("8192") << QStringLiteral("8192");
    QTest::newRow("rounded up") << 4096 << qint64(5000) << QStringLiteral("5000") << QStringLiteral("8192");
    QTest::newRow("no cluster size") << 0 << qint64(5000) << QStringLiteral("5000") << QStringLiteral("5000");
    QTest::newRow("size not known") << 4096 << qint64(-1) << QStringLiteral("unknown") << QStringLiteral("unknown");
  }
  void SizesOnDisk() {
    QFETCH(int, cluster);
    QFETCH(qint64, size);
    QFETCH(QString, sizeText);
    QFETCH(QString, onDisk);
    auto volume = VolumeWithFolder(cluster);
    const FoundObject* record = volume->OnObjectFound(Record(41, 5, u"a.bin", 0, 4096, size));
    Shown s(volume, record);
    QCOMPARE(s[Dlg::IDC_SIZE], sizeText);
    QCOMPARE(s[Dlg::IDC_SIZE_ON_DISK], onDisk);
  }

  void AFolderWithoutTimes() {
    auto volume = VolumeWithFolder();
    const FoundObject* record = volume->OnObjectFound(Record(42, 5, u"Old", OBJ_FOLDER | OBJ_DELETED, 12345, 777));
    Shown s(volume, record);
    QCOMPARE(s.dialog.ShownImage(), 6);
    QCOMPARE(s[Dlg::IDC_TYPE], QStringLiteral("Folder"));
    QCOMPARE(s[Dlg::IDC_STATUS], QStringLiteral("Deleted"));
    for (int id : {Dlg::IDC_OFFSET, Dlg::IDC_SIZE, Dlg::IDC_SIZE_ON_DISK}) QCOMPARE(s[id], QStringLiteral("0"));
    for (int id : {Dlg::IDC_CREATED, Dlg::IDC_MODIFIED, Dlg::IDC_ACCESSED}) QCOMPARE(s[id], QStringLiteral("unknown"));
  }

  void TheObjectIsShownWithItsOwnVolume() {
    // The current volume is another one (as for a find result or a found partition).
    auto current = VolumeWithFolder();
    current->OnObjectFound(Record(7, 2, u"Elsewhere", OBJ_FOLDER));
    world_->computer->SetAnalysedVolume(current);
    world_->computer->SetSelectedVolume(current);
    auto own = VolumeWithFolder(512);
    const FoundObject* record = own->OnObjectFound(Record(43, 5, u"x.jpg", 0, 0, 1000));
    Shown s(own, record);
    QCOMPARE(s[Dlg::IDC_LOCATION], QStringLiteral("Photos/"));
    QCOMPARE(s[Dlg::IDC_SIZE_ON_DISK], QStringLiteral("1024"));  // its own volume's 512-byte clusters
    // A ".jpg" name has the JPEG type of the database.
    QVERIFY(s[Dlg::IDC_SIGNATURE] != QStringLiteral("unknown"));
    QVERIFY(!s[Dlg::IDC_TYPE].isEmpty());
  }

  void AClearedStoreShowsNothing() {
    auto volume = VolumeWithFolder();
    const FoundObject* record = volume->OnObjectFound(Record(44, 5, u"gone.txt", 0, 0, 10));
    Dlg dialog(volume, record);
    volume->Store().Clear();
    QCoreApplication::processEvents();
    QCOMPARE(dialog.ShownImage(), -1);
    QCOMPARE(dialogs::InfoText(&dialog, Dlg::IDC_NAME), QString());
    QCOMPARE(dialogs::InfoText(&dialog, Dlg::IDC_SIGNATURE), QStringLiteral("unknown"));
  }

  void TheDeletedFileOfTheFat16Fixture() {
    auto volume = world_->computer->OpenImageFile(platform::Utf8ToUtf16(test::FixtureImage("fat16.img")));
    QVERIFY(volume);
    QVERIFY(world_->Analyse(volume));
    const nlohmann::json manifest = test::FixtureManifest("fat16");
    nlohmann::json expected;
    for (const auto& o : manifest["objects"])
      if (o["path"] == "/deleted file.txt") expected = o;
    QVERIFY(!expected.is_null());
    const FoundObject* record = nullptr;
    {
      auto view = volume->Store().Read();
      for (std::size_t i = 0; i < view.Count(); ++i)
        if (view.At(i)->Name() == u"deleted file.txt") record = view.At(i);
    }
    QVERIFY(record);
    Shown s(volume, record);
    const auto time = [](const nlohmann::json& seconds) {
      return FormatFileTime(platform::FileTimeFromUnix(seconds.get<std::int64_t>()));
    };
    QCOMPARE(s[Dlg::IDC_STATUS], QStringLiteral("Deleted"));
    QCOMPARE(s[Dlg::IDC_SIZE], QString::number(expected["size"].get<int>()));
    QCOMPARE(s[Dlg::IDC_SIZE_ON_DISK], QStringLiteral("3072"));  // 2500 bytes on 1024-byte clusters
    QCOMPARE(s[Dlg::IDC_ID], QString::number(expected["first_cluster"].get<int>()));
    QCOMPARE(s[Dlg::IDC_CREATED], time(expected["created_utc"]));
    QCOMPARE(s[Dlg::IDC_MODIFIED], time(expected["modified_utc"]));
    QCOMPARE(s[Dlg::IDC_ACCESSED], time(expected["accessed_utc"]));
    QVERIFY(s[Dlg::IDC_MODIFIED] != s[Dlg::IDC_ACCESSED]);
    QCOMPARE(s[Dlg::IDC_LOCATION], QString());  // at the root
    QVERIFY(!s[Dlg::IDC_TYPE].isEmpty());
    QVERIFY(!test::SaveScreenshot(&s.dialog, QStringLiteral("dialogs"), QStringLiteral("file_information")).isEmpty());
  }

 private:
  std::unique_ptr<test::DialogWorld> world_;
};
VANDREL_QT_TEST(FileInformationViewDlgTest);

#include "FileInformationViewDlgTest.moc"
