// The hex editors' files: edits land in the file, a read-only editor maps it
// read-only and leaves it untouched, long files keep their full size, and only
// regular files are opened.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "controls/HexDataSource.h"
#include "controls/HexEditorCtrl.h"
#include "controls/HexEditorCtrl2.h"
#include "HexTestSupport.h"
#include "support/QtTestRegistry.h"

namespace {

using test::Bytes;

Bytes ReadFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray data = file.readAll();
  return Bytes(data.begin(), data.end());
}

Bytes Counting(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(0x30 + i);
  return bytes;
}

int AccessMode(int fd) { return ::fcntl(fd, F_GETFL) & O_ACCMODE; }

}  // namespace

class HexDataSourceTest : public QObject {
  Q_OBJECT
 private slots:
  // The same file behaviour from both controls.
  void EditedFileHoldsTheNewByteAfterClose_data() {
    test::AddBothHexControls();
  }
  void EditedFileHoldsTheNewByteAfterClose() {
    QFETCH(bool, headerLine);
    QTemporaryDir dir;
    const Bytes original = Counting(32);
    const QString path = test::WriteBytes(dir, QStringLiteral("edit.bin"), original);
    {
      const std::unique_ptr<CHexEditorCtrl> editor = test::MakeHexControl(headerLine);
      editor->resize(700, 200);
      QVERIFY(editor->OpenFile(path));
      QCOMPARE(editor->Model().Size(), 32u);
      QCOMPARE(AccessMode(editor->Model().Source().GetFileHandle()), O_RDWR);
      editor->SetSelection(5, 5);
      QTest::keyClicks(editor.get(), QStringLiteral("ab"));
      QCOMPARE(editor->Model().ByteAt(5), std::uint8_t{0xAB});
    }
    Bytes expected = original;
    expected[5] = 0xAB;
    QCOMPARE(ReadFile(path), expected);
  }

  void ReadOnlyMapsTheFileReadOnlyAndLeavesIt() {
    QTemporaryDir dir;
    const Bytes original = Counting(32);
    const QString path = test::WriteBytes(dir, QStringLiteral("evidence.img"), original);
    const QByteArray local = QFile::encodeName(path);
    // A modification time in the past, to see that nothing touches it.
    const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, local.constData(), past, 0), 0);
    {
      CHexEditorCtrl editor;
      editor.resize(700, 200);
      editor.SetReadOnly(true);
      QVERIFY(editor.OpenFile(path));
      QCOMPARE(AccessMode(editor.Model().Source().GetFileHandle()), O_RDONLY);
      QVERIFY(!editor.Model().Source().IsWritable());
      editor.SetSelection(3, 3);
      QTest::keyClicks(&editor, QStringLiteral("ff"));
      QTest::keyClick(&editor, Qt::Key_Delete);
      QTest::keyClick(&editor, Qt::Key_F6);
      QTest::keyClicks(&editor, QStringLiteral("xyz"));
      QVERIFY(!editor.CanUndo());
      QCOMPARE(editor.Model().ByteAt(3), original[3]);
    }
    QCOMPARE(ReadFile(path), original);
    struct stat st {};
    QCOMPARE(::stat(local.constData(), &st), 0);
    QCOMPARE(static_cast<long long>(st.st_mtim.tv_sec), 1000000000LL);
  }

  void ReadOnlyFollowsTheControl() {
    QTemporaryDir dir;
    const QString path = test::WriteBytes(dir, QStringLiteral("switch.bin"), Counting(32));
    CHexEditorCtrl editor;
    QVERIFY(editor.OpenFile(path));
    editor.SetReadOnly(true);
    QCOMPARE(AccessMode(editor.Model().Source().GetFileHandle()), O_RDONLY);
    editor.SetSelection(0, 0);
    QTest::keyClicks(&editor, QStringLiteral("11"));
    QCOMPARE(ReadFile(path)[0], std::uint8_t{0x30});
    editor.SetReadOnly(false);
    QCOMPARE(AccessMode(editor.Model().Source().GetFileHandle()), O_RDWR);
    QCOMPARE(editor.Model().Size(), 32u);
    QTest::keyClicks(&editor, QStringLiteral("11"));
    QCOMPARE(editor.Model().ByteAt(0), std::uint8_t{0x11});
    editor.SetReadOnly(true);
    QVERIFY(!editor.Undo());  // a read-only control changes nothing, undo included
    QCOMPARE(editor.Model().ByteAt(0), std::uint8_t{0x11});
  }

  // A sparse file past 4 GiB keeps its whole size: no offset is cut to 32 bits.
  void FileOverFourGiBShowsItsFullSize() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sparse.img"));
    const std::uint64_t size = (std::uint64_t{5} << 30) + 3;
    {
      QFile file(path);
      QVERIFY(file.open(QIODevice::WriteOnly));
    }
    if (::truncate(QFile::encodeName(path).constData(), static_cast<off_t>(size)) != 0) {
      QSKIP("this file system holds no sparse file of 5 GiB");
    }
    CHexEditorCtrl2 editor;
    editor.resize(700, 400);
    editor.SetReadOnly(true);
    QVERIFY(editor.OpenFile(path));
    const CHexEditorModel& model = editor.Model();
    QCOMPARE(model.Size(), size);
    QCOMPARE(model.ByteAt(size - 1), std::uint8_t{0});
    QCOMPARE(model.OffsetDigits(), 9);
    QCOMPARE(model.ScrollMax(), size / 16 - static_cast<std::uint64_t>(model.GetVisibleRows()) + 1);
    QTest::keyClick(&editor, Qt::Key_End, Qt::ControlModifier);
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    editor.GetSelection(first, last);
    QCOMPARE(first, size - 1);
    QCOMPARE(QString::fromStdU16String(model.FormatOffset(model.FirstOffset())).left(9).size(), 9);
    QVERIFY(model.FirstOffset() > (std::uint64_t{1} << 32));
  }

  void OnlyRegularFilesOpen_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("device node") << QStringLiteral("/dev/null");
    QTest::newRow("fifo") << QStringLiteral("fifo");
    QTest::newRow("folder") << QStringLiteral("folder");
    QTest::newRow("empty file") << QStringLiteral("empty");
    QTest::newRow("missing file") << QStringLiteral("missing");
  }
  void OnlyRegularFilesOpen() {
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QString path = kind;
    if (kind == QLatin1String("fifo")) {
      path = dir.filePath(QStringLiteral("pipe"));
      QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == QLatin1String("folder")) {
      path = dir.path();
    } else if (kind == QLatin1String("empty")) {
      path = test::WriteBytes(dir, QStringLiteral("empty.bin"), {});
    } else if (kind == QLatin1String("missing")) {
      path = dir.filePath(QStringLiteral("nothing.bin"));
    }
    CHexDataSource source;
    QVERIFY(!source.Open(QFile::encodeName(path).toStdString(), true));
    QVERIFY(!source.Open(QFile::encodeName(path).toStdString(), false));
    QVERIFY(!source.IsOpen());

    // A refused file leaves the view as it was.
    const QString shown = test::WriteBytes(dir, QStringLiteral("shown.bin"), Counting(64));
    CHexEditorCtrl editor;
    editor.resize(700, 200);
    QVERIFY(editor.OpenFile(shown));
    editor.SetSelection(10, 20);
    QVERIFY(!editor.OpenFile(path));
    QCOMPARE(editor.Model().Size(), 64u);
    QCOMPARE(editor.Model().Anchor(), 10u);
    QCOMPARE(editor.Model().End(), 20u);
    QCOMPARE(editor.Model().ByteAt(1), std::uint8_t{0x31});
  }

  void BufferIsEditedInPlaceAndNeverFreed() {
    Bytes buffer(48, 0);
    {
      CHexEditorCtrl editor;
      editor.SetData(buffer.data(), buffer.size());
      QVERIFY(editor.Model().Source().IsMemory());
      QCOMPARE(editor.Model().Source().GetFileHandle(), -1);
      editor.SetSelection(47, 47);
      QTest::keyClicks(&editor, QStringLiteral("7e"));
    }
    QCOMPARE(buffer[47], std::uint8_t{0x7E});
  }
};
VANDREL_QT_TEST(HexDataSourceTest);

#include "HexDataSourceTest.moc"
