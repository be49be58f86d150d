// "Load Drive Image...": the open dialog over a folder of image files and others
// shows the usual image names under "Drive Image Files", hides the rest until
// "All Files" is chosen, keeps the filter's label as the program words it, and
// takes a typed path to a symbolic link to an image file (opened as an image) or to
// a block device.
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSortFilterProxyModel>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/QtText.h"
#include "engine/volume/Volume.h"
#include "mainframe/frame/CommandTable.h"
#include "mainframe/frame/VolumeExploreView.h"
#include "support/Fixtures.h"
#include "support/QtTestRegistry.h"
#include "tests/mainframe/frame/FrameTestSupport.h"

namespace {

// The names the dialog's file list shows in its current folder.
QStringList ShownNames(QFileDialog* dialog) {
  auto* model = dialog->findChild<QFileSystemModel*>();
  if (!model) return {};
  const QModelIndex folder = model->index(dialog->directory().absolutePath());
  (void)QTest::qWaitFor([&] { return !model->canFetchMore(folder) && model->rowCount(folder) > 0; }, 3000);
  QTest::qWait(100);
  QStringList names;
  for (int row = 0; row < model->rowCount(folder); ++row) {
    const QModelIndex index = model->index(row, 0, folder);
    // A name the filter leaves out is hidden or, where the dialog greys them
    // instead, not enabled.
    if (!(model->flags(index) & Qt::ItemIsEnabled)) continue;
    if (auto* proxy = dialog->proxyModel(); proxy && !proxy->mapFromSource(index).isValid()) continue;
    names << index.data().toString();
  }
  names.sort();
  return names;
}

// Runs `action` on the open dialog once it shows (as the active modal window).
void OnDialog(std::function<void(QFileDialog*)> action) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, action] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    action(dialog);
  });
  timer->start(20);
}

// Types a path into the dialog's name field and presses Enter. A box the dialog
// opens to refuse the path is recorded in `refusal` and closed, and the dialog
// cancelled.
void TypePath(QFileDialog* dialog, const QString& path, QString* refusal) {
  auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  if (!edit) {
    dialog->reject();
    return;
  }
  auto* boxes = new QTimer(dialog);
  QObject::connect(boxes, &QTimer::timeout, [dialog, refusal] {
    QWidget* modal = QApplication::activeModalWidget();
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (!box) return;
    if (refusal) *refusal = box->text();
    box->reject();
    QTimer::singleShot(0, dialog, [dialog] { dialog->reject(); });
  });
  boxes->start(20);
  edit->setFocus();
  edit->setText(path);
  QTest::keyClick(edit, Qt::Key_Return);
}

}  // namespace

class LoadImageDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void TheImageFilterShowsTheUsualImagesAndAllFilesShowsTheRest() {
    test::FrameWorld world;
    CMainFrame* frame = world.Open(32839);
    world.Idle();
    test::TempDir dir("vandrel-images-");
    for (const char* name : {"card.img", "disk.dsk", "sdb.dd", "usb.raw", "cd.iso", "notes.txt", "photo.jpg"})
      std::ofstream(dir / name) << "x";
    std::filesystem::create_symlink(dir / "card.img", dir / "link.img");
    QStringList images, all, filters;
    QString label;
    OnDialog([&](QFileDialog* dialog) {
      dialog->setDirectory(QString::fromStdString(dir.path()));
      filters = dialog->nameFilters();
      images = ShownNames(dialog);
      if (auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) label = combo->itemText(0);
      dialog->selectNameFilter(filters.value(1));
      all = ShownNames(dialog);
      dialog->reject();
    });
    QVERIFY(test::ClickMenuItem(frame, mainframe::ID_LOAD_IMAGE));
    QCOMPARE(label, QStringLiteral("Drive Image Files ( *.dsk )"));  // as the label stands, trimmed
    QCOMPARE(images, (QStringList{"card.img", "cd.iso", "disk.dsk", "link.img", "sdb.dd", "usb.raw"}));
    QCOMPARE(all, (QStringList{"card.img", "cd.iso", "disk.dsk", "link.img", "notes.txt", "photo.jpg", "sdb.dd",
                               "usb.raw"}));
  }

  void ATypedLinkToAnImageOrADeviceIsTaken() {
    test::FrameWorld world;
    CMainFrame* frame = world.Open(32839);
    world.Idle();
    test::TempDir dir("vandrel-links-");
    const std::string toImage = dir / "card-link";
    std::filesystem::create_symlink(test::FixtureImage("fat16.img"), toImage);
    const int before = world.computer->Volumes().GetCount();
    QString refusal;
    OnDialog([&](QFileDialog* dialog) { TypePath(dialog, QString::fromStdString(toImage), &refusal); });
    QVERIFY(test::ClickMenuItem(frame, mainframe::ID_LOAD_IMAGE));
    QVERIFY2(refusal.isEmpty(), qPrintable(refusal));
    QTRY_COMPARE(world.computer->Volumes().GetCount(), before + 1);
    std::shared_ptr<CVolume> image = world.computer->Volumes().GetAt(before);
    QCOMPARE(image->GetKind(), int(CVolume::kImageFile));

    // A link to a block device: the dialog takes it and hands it to the engine.
    struct stat st {};
    if (stat("/dev/loop0", &st) != 0 || !S_ISBLK(st.st_mode)) QSKIP("no block device to link to");
    const std::string toDevice = dir / "device-link";
    std::filesystem::create_symlink("/dev/loop0", toDevice);
    bool closed = false;
    QString selected;
    OnDialog([&](QFileDialog* dialog) {
      QObject::connect(dialog, &QFileDialog::fileSelected, [&](const QString& file) { selected = file; });
      QObject::connect(dialog, &QDialog::finished, [&] { closed = true; });
      TypePath(dialog, QString::fromStdString(toDevice), &refusal);
    });
    QVERIFY(test::ClickMenuItem(frame, mainframe::ID_LOAD_IMAGE));
    QVERIFY2(refusal.isEmpty(), qPrintable(refusal));
    QTRY_VERIFY(closed);
    QCOMPARE(selected, QString::fromStdString(toDevice));
  }
};

VANDREL_QT_TEST(LoadImageDialogTest);
#include "LoadImageDialogTest.moc"
