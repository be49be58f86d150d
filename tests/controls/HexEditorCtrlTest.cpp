// The hex editor widgets: clipboard copies and the question before a large one,
// wheel and scroll bar, typed keys, clicks with the real font, and screenshots.
#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <cstdint>
#include <numeric>
#include <vector>

#include "controls/HexEditorCtrl.h"
#include "controls/HexEditorCtrl2.h"
#include "resources/StringTable.h"
#include "HexTestSupport.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"

namespace {

using test::Bytes;

QString Builtin(std::uint32_t id) {
  const std::u16string_view text = BuiltinString(id);
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

void SendWheel(CHexEditorCtrl& editor, int delta) {
  const QPointF pos(20, 20);
  QWheelEvent event(pos, editor.viewport()->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(editor.viewport(), &event);
}

// 512 bytes that look like the start of a photo: a JPEG header with its EXIF
// text, then counting bytes.
Bytes SampleBytes() {
  Bytes bytes(512);
  std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
  const Bytes head{0xFF, 0xD8, 0xFF, 0xE1, 0x1C, 0x45, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 0x2A, 0,
                   8,    0,    0,    0,    0x0B, 0,    0x0F, 0x01, 2, 0, 6, 0, 0, 0, 0x92, 0};
  std::copy(head.begin(), head.end(), bytes.begin());
  const char text[] = "Canon EOS 450D  2011:06:04 14:22:31  Holiday photos, card 2 of 3 ...";
  std::copy(text, text + sizeof(text) - 1, bytes.begin() + 0x40);
  return bytes;
}

}  // namespace

class HexEditorCtrlTest : public QObject {
  Q_OBJECT
 private slots:
  void CopyPutsTheFormattedTextOnTheClipboard() {
    Bytes bytes(64);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{0x41});
    CHexEditorCtrl editor;
    editor.SetData(bytes.data(), bytes.size());
    editor.SetSelection(0, 20);
    QVERIFY(editor.OnCommand(CHexEditorCtrl::kIdEditCopy));
    QCOMPARE(QApplication::clipboard()->text(),
             QStringLiteral("41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 \r\n51 52 53 54 "));
    editor.OnNextPane();
    editor.OnEditCopy();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("ABCDEFGHIJKLMNOPQRST"));
    // Nothing selected: the clipboard stays.
    editor.SetSelection(3, 3);
    editor.OnEditCopy();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("ABCDEFGHIJKLMNOPQRST"));
    QVERIFY(!editor.OnCommand(0xE123));
  }

  // More than 65,536 bytes ask first (strings 132 and 133); No copies nothing.
  void LargeCopyAsksFirst_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("asks");
    QTest::addColumn<bool>("copies");
    QTest::newRow("65,536 bytes") << 65536 << false << false << true;
    QTest::newRow("65,537 bytes, No") << 65537 << false << true << false;
    QTest::newRow("65,537 bytes, Yes") << 65537 << true << true << true;
  }
  void LargeCopyAsksFirst() {
    QFETCH(int, length);
    QFETCH(bool, answer);
    QFETCH(bool, asks);
    QFETCH(bool, copies);
    Bytes bytes(70000, 0x20);
    CHexEditorCtrl editor;
    editor.SetData(bytes.data(), bytes.size());
    editor.OnNextPane();  // text: one character a byte
    int asked = 0;
    editor.SetQuestion([&](const QString& text, const QString& caption) {
      ++asked;
      [&] {
        QCOMPARE(text, Builtin(132));
        QCOMPARE(caption, Builtin(133));
      }();
      return answer;
    });
    QApplication::clipboard()->setText(QStringLiteral("kept"));
    editor.SetSelection(0, static_cast<std::uint64_t>(length));
    editor.OnEditCopy();
    QCOMPARE(asked, asks ? 1 : 0);
    QCOMPARE(QApplication::clipboard()->text().size(), copies ? length : 4);
  }

  void WheelScrollsTwoRowsANotch_data() {
    QTest::addColumn<QList<int>>("deltas");
    QTest::addColumn<int>("rows");
    QTest::newRow("120") << QList<int>{-120} << 2;
    QTest::newRow("60") << QList<int>{-60} << 0;
    QTest::newRow("60 + 60") << QList<int>{-60, -60} << 2;
    QTest::newRow("back up") << QList<int>{-240, 120} << 2;
  }
  void WheelScrollsTwoRowsANotch() {
    QFETCH(QList<int>, deltas);
    QFETCH(int, rows);
    Bytes bytes(4096);
    CHexEditorCtrl editor;
    editor.resize(700, 300);
    editor.SetData(bytes.data(), bytes.size());
    for (int delta : deltas) SendWheel(editor, delta);
    QCOMPARE(static_cast<int>(editor.Model().FirstRow()), rows);
    QCOMPARE(editor.verticalScrollBar()->value(), rows);
  }

  void ScrollBarAndViewMove_data() {
    test::AddBothHexControls();
  }
  void ScrollBarAndViewMove() {
    QFETCH(bool, headerLine);
    QTemporaryDir dir;
    const QString path = test::WriteBytes(dir, QStringLiteral("rows.bin"), Bytes(4096, 0x55));
    const std::unique_ptr<CHexEditorCtrl> editor = test::MakeHexControl(headerLine);
    editor->resize(700, 300);
    editor->show();
    QVERIFY(editor->OpenFile(path));
    const int visible = editor->GetVisibleRows();
    QVERIFY(visible > 2);
    QScrollBar* bar = editor->verticalScrollBar();
    QCOMPARE(bar->maximum(), 256 - visible + 1);
    // Ctrl+Down scrolls without moving the caret.
    QTest::keyClick(editor.get(), Qt::Key_Down, Qt::ControlModifier);
    QCOMPARE(bar->value(), 1);
    QCOMPARE(editor->Model().Anchor(), 0u);
    // The thumb moves the view.
    bar->setValue(40);
    QCOMPARE(editor->Model().FirstRow(), 40u);
    // A key brings the caret back into view.
    QTest::keyClick(editor.get(), Qt::Key_Right);
    QCOMPARE(editor->Model().Anchor(), 1u);
    QCOMPARE(bar->value(), 0);
    // A taller view than the data scrolls nothing.
    editor->resize(700, 5000);
    QCOMPARE(bar->maximum(), 0);
    QCOMPARE(editor->Model().FirstRow(), 0u);
  }

  void ShortDataInATallViewHasNoScrollRange() {
    Bytes bytes(100);
    CHexEditorCtrl editor;
    editor.resize(700, 900);
    editor.SetData(bytes.data(), bytes.size());
    QCOMPARE(editor.Model().ScrollMax(), 0u);
    QCOMPARE(editor.verticalScrollBar()->maximum(), 0);
  }

  // The header-line control types the character the key produced.
  void KeysTypeTheirCharacters_data() {
    QTest::addColumn<bool>("textColumn");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("byte");  // at offset 0 after the key
    QTest::newRow("text a") << true << int(Qt::Key_A) << int(Qt::NoModifier) << QStringLiteral("a") << 0x61;
    QTest::newRow("text G") << true << int(Qt::Key_G) << int(Qt::ShiftModifier) << QStringLiteral("G") << 0x47;
    QTest::newRow("text keypad 7") << true << int(Qt::Key_7) << int(Qt::KeypadModifier) << QStringLiteral("7")
                                   << 0x37;
    QTest::newRow("text *") << true << int(Qt::Key_Asterisk) << int(Qt::NoModifier) << QStringLiteral("*") << 0x2A;
    QTest::newRow("hex a") << false << int(Qt::Key_A) << int(Qt::NoModifier) << QStringLiteral("a") << 0xA0;
    QTest::newRow("hex G does nothing") << false << int(Qt::Key_G) << int(Qt::ShiftModifier)
                                        << QStringLiteral("G") << 0x00;
    QTest::newRow("hex keypad 7") << false << int(Qt::Key_7) << int(Qt::KeypadModifier) << QStringLiteral("7")
                                  << 0x70;
    QTest::newRow("Ctrl+C types nothing") << true << int(Qt::Key_C) << int(Qt::ControlModifier)
                                          << QStringLiteral("\x03") << 0x00;
  }
  void KeysTypeTheirCharacters() {
    QFETCH(bool, textColumn);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    QFETCH(int, byte);
    QTemporaryDir dir;
    const QString path = test::WriteBytes(dir, QStringLiteral("keys.bin"), Bytes(32, 0));
    CHexEditorCtrl2 editor;
    editor.resize(700, 200);
    QVERIFY(editor.OpenFile(path));
    if (textColumn) QTest::keyClick(&editor, Qt::Key_F6);
    QKeyEvent press(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), text);
    QApplication::sendEvent(&editor, &press);
    QCOMPARE(static_cast<int>(editor.Model().ByteAt(0)), byte);
  }

  void ClickOnByteEightWithTheRealFont() {
    QTemporaryDir dir;
    const QString path = test::WriteBytes(dir, QStringLiteral("click.bin"), SampleBytes());
    CHexEditorCtrl2 editor;
    editor.resize(760, 300);
    QVERIFY(editor.OpenFile(path));
    const CHexEditorModel& model = editor.Model();
    const HexLayout layout = model.Layout();
    const int x = model.UnitX(layout, 8) + 1;
    const int y = model.GetTopMargin() + model.LineHeight() * 2 + 2;
    QTest::mouseClick(editor.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
    QCOMPARE(model.Anchor(), 40u);
    QCOMPARE(model.End(), 40u);
    QCOMPARE(model.CaretPos()->x, model.UnitX(layout, 8));
    // A double click selects the unit; a drag backwards selects [o + u, A).
    QTest::mouseDClick(editor.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
    QCOMPARE(model.End(), 41u);
  }

  void DragWithTheMouse() {
    Bytes bytes = SampleBytes();
    CHexEditorCtrl editor;
    editor.resize(700, 300);
    editor.SetData(bytes.data(), bytes.size());
    const CHexEditorModel& model = editor.Model();
    const HexLayout layout = model.Layout();
    auto pointOf = [&](int offset) {
      return QPoint(model.UnitX(layout, offset % 16) + 2, model.GetTopMargin() + (offset / 16) * model.LineHeight() + 3);
    };
    QTest::mousePress(editor.viewport(), Qt::LeftButton, Qt::NoModifier, pointOf(40));
    QTest::mouseMove(editor.viewport(), pointOf(20));
    QTest::mouseRelease(editor.viewport(), Qt::LeftButton, Qt::NoModifier, pointOf(20));
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    editor.GetSelection(first, last);
    QCOMPARE(first, 21u);
    QCOMPARE(last, 40u);
  }

  void EmptyAndClosedSourcesDrawOnlyTheBackground_data() {
    QTest::addColumn<bool>("headerLine");
    QTest::newRow("CHexEditorCtrl, empty buffer") << false;
    QTest::newRow("CHexEditorCtrl2, no file") << true;
  }
  void EmptyAndClosedSourcesDrawOnlyTheBackground() {
    QFETCH(bool, headerLine);
    const std::unique_ptr<CHexEditorCtrl> editor = test::MakeHexControl(headerLine);
    std::uint8_t none = 0;
    if (!headerLine) editor->SetData(&none, 0);
    editor->resize(400, 200);
    editor->show();
    editor->setFocus();
    QApplication::processEvents();
    QVERIFY(!editor->Model().CaretPos().has_value());
    const QImage image = editor->viewport()->grab().toImage();
    const QRgb background = editor->palette().color(QPalette::Base).rgb();
    for (int y = 0; y < image.height(); y += 3) {
      for (int x = 0; x < image.width(); x += 3) QCOMPARE(image.pixel(x, y), background);
    }
    QTest::keyClicks(editor.get(), QStringLiteral("12"));
    QTest::keyClick(editor.get(), Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(editor->Model().Anchor(), CHexEditorModel::kUnset);
  }

  void ScreenshotsOfTheUnitSizes_data() {
    QTest::addColumn<int>("unit");
    QTest::addColumn<bool>("textActive");
    QTest::addColumn<QString>("name");
    QTest::newRow("unit 1") << 1 << false << QStringLiteral("hex-editor-unit1");
    QTest::newRow("unit 2") << 2 << true << QStringLiteral("hex-editor-unit2");
    QTest::newRow("unit 4") << 4 << false << QStringLiteral("hex-editor-unit4");
  }
  void ScreenshotsOfTheUnitSizes() {
    QFETCH(int, unit);
    QFETCH(bool, textActive);
    QFETCH(QString, name);
    Bytes bytes = SampleBytes();
    CHexEditorCtrl editor;
    editor.resize(700, 260);
    editor.SetData(bytes.data(), bytes.size());
    editor.SetUnitSize(unit);
    if (textActive) editor.OnNextPane();
    // The selection shows in both columns: highlighted in the active one.
    editor.SetSelection(0x44, 0x62);
    QVERIFY(!test::SaveScreenshot(&editor, QStringLiteral("controls"), name).isEmpty());
  }

  void ScreenshotWithTheHeaderLine() {
    QTemporaryDir dir;
    const QString path = test::WriteBytes(dir, QStringLiteral("photo.jpg"), SampleBytes());
    CHexEditorCtrl2 editor;
    editor.resize(700, 260);
    QVERIFY(editor.OpenFile(path));
    editor.setFocus();
    editor.SetSelection(0x4A, 0x4A);
    QVERIFY(!test::SaveScreenshot(&editor, QStringLiteral("controls"), QStringLiteral("hex-editor-header")).isEmpty());
    editor.SetSelection(0x06, 0x0A);
    QVERIFY(!test::SaveScreenshot(&editor, QStringLiteral("controls"), QStringLiteral("hex-editor-header-selection"))
                 .isEmpty());
  }

  void ScreenshotOfAReadOnlyCaret() {
    Bytes bytes = SampleBytes();
    CHexEditorCtrl editor;
    editor.resize(700, 180);
    editor.SetData(bytes.data(), bytes.size());
    editor.SetReadOnly(true);
    editor.SetSelection(0x23, 0x23);
    QVERIFY(editor.Model().CaretPos().has_value());
    QVERIFY(!test::SaveScreenshot(&editor, QStringLiteral("controls"), QStringLiteral("hex-editor-read-only")).isEmpty());
  }
};
VANDREL_QT_TEST(HexEditorCtrlTest);

#include "HexEditorCtrlTest.moc"
