// The hex editor's behaviour without a widget: keys, typing, undo, hit test,
// drags, copied text, wheel and scroll range, on a model with fixed metrics.
#include <QTest>

#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "controls/HexEditorModel.h"
#include "support/QtTestRegistry.h"

namespace {

// 8-pixel characters, 16-pixel lines, a view of `rows` whole rows.
constexpr int kCharWidth = 8;
constexpr int kLineHeight = 16;

struct Editor {
  explicit Editor(std::uint64_t size, int unitSize = 1, int rows = 8, bool headerLine = false)
      : model(headerLine), bytes(size, 0) {
    model.SetMetrics(kCharWidth, kLineHeight);
    model.SetClientSize(640, rows * kLineHeight + (headerLine ? model.GetTopMargin() : 0));
    model.SetUnitSize(unitSize);
    model.SetData(bytes.data(), bytes.size());
  }
  CHexEditorModel model;
  std::vector<std::uint8_t> bytes;
};

using Bytes = std::vector<std::uint8_t>;

}  // namespace

Q_DECLARE_METATYPE(HexKey)

class HexEditorModelTest : public QObject {
  Q_OBJECT
 private slots:
  void NewDataPutsTheCaretOnTheFirstByte() {
    Editor editor(256);
    QCOMPARE(editor.model.Anchor(), 0u);
    QCOMPARE(editor.model.End(), 0u);
    QVERIFY(editor.model.IsCaretCreated());
    QVERIFY(editor.model.CaretPos().has_value());
  }

  // Each key with and without Shift and Ctrl, from the start, the middle and the
  // last unit of 256 bytes in a view of 8 rows (a page is 128 bytes).
  void Navigation_data() {
    QTest::addColumn<int>("unit");
    QTest::addColumn<quint64>("from");
    QTest::addColumn<HexKey>("key");
    QTest::addColumn<bool>("shift");
    QTest::addColumn<bool>("ctrl");
    QTest::addColumn<quint64>("anchor");
    QTest::addColumn<quint64>("end");
    QTest::addColumn<int>("firstRow");  // -1: not checked
    auto row = [](const char* name, int unit, quint64 from, HexKey key, bool shift, bool ctrl, quint64 anchor,
                  quint64 end, int firstRow = -1) {
      QTest::newRow(name) << unit << from << key << shift << ctrl << anchor << end << firstRow;
    };
    using K = HexKey;
    // At the start.
    row("start PgUp", 1, 0, K::PageUp, false, false, 0, 0);
    row("start Shift+PgUp", 1, 0, K::PageUp, true, false, 0, 0);
    row("start PgDn", 1, 0, K::PageDown, false, false, 128, 128, 1);
    row("start Shift+PgDn", 1, 0, K::PageDown, true, false, 0, 128, 1);
    row("start Ctrl+PgDn scrolls only", 1, 0, K::PageDown, false, true, 0, 0, 8);
    row("start Ctrl+PgUp scrolls only", 1, 0, K::PageUp, false, true, 0, 0, 0);
    row("start End", 1, 0, K::End, false, false, 15, 15);
    row("start Shift+End", 1, 0, K::End, true, false, 0, 16);
    row("start Ctrl+End", 1, 0, K::End, false, true, 255, 255, 8);
    row("start Ctrl+Shift+End", 1, 0, K::End, true, true, 0, 256, 9);
    row("start Home", 1, 0, K::Home, false, false, 0, 0);
    row("start Ctrl+Home", 1, 0, K::Home, false, true, 0, 0);
    row("start Left", 1, 0, K::Left, false, false, 0, 0);
    row("start Ctrl+Left", 1, 0, K::Left, false, true, 0, 0);
    row("start Up", 1, 0, K::Up, false, false, 0, 0);
    row("start Ctrl+Up", 1, 0, K::Up, false, true, 0, 0, 0);
    row("start Right", 1, 0, K::Right, false, false, 1, 1);
    row("start Shift+Right", 1, 0, K::Right, true, false, 0, 1);
    row("start Ctrl+Right", 1, 0, K::Right, false, true, 1, 1);
    row("start Down", 1, 0, K::Down, false, false, 16, 16);
    row("start Shift+Down", 1, 0, K::Down, true, false, 0, 16);
    row("start Ctrl+Down scrolls only", 1, 0, K::Down, false, true, 0, 0, 1);
    // In the middle (0x45).
    row("middle PgUp", 1, 0x45, K::PageUp, false, false, 0, 0);
    row("middle Shift+PgUp", 1, 0x45, K::PageUp, true, false, 0x45, 0);
    row("middle PgDn", 1, 0x45, K::PageDown, false, false, 0xC5, 0xC5, 5);
    row("middle End", 1, 0x45, K::End, false, false, 0x4F, 0x4F);
    row("middle Shift+End", 1, 0x45, K::End, true, false, 0x45, 0x50);
    row("middle Home", 1, 0x45, K::Home, false, false, 0x40, 0x40);
    row("middle Shift+Home", 1, 0x45, K::Home, true, false, 0x45, 0x40);
    row("middle Ctrl+Home", 1, 0x45, K::Home, false, true, 0, 0);
    row("middle Ctrl+Shift+Home", 1, 0x45, K::Home, true, true, 0x45, 0);
    row("middle Left", 1, 0x45, K::Left, false, false, 0x44, 0x44);
    row("middle Shift+Left", 1, 0x45, K::Left, true, false, 0x45, 0x44);
    row("middle Ctrl+Left", 1, 0x45, K::Left, false, true, 0x44, 0x44);
    row("middle Up", 1, 0x45, K::Up, false, false, 0x35, 0x35);
    row("middle Shift+Up", 1, 0x45, K::Up, true, false, 0x45, 0x35);
    row("middle Right", 1, 0x45, K::Right, false, false, 0x46, 0x46);
    row("middle Down", 1, 0x45, K::Down, false, false, 0x55, 0x55);
    row("middle Shift+Down", 1, 0x45, K::Down, true, false, 0x45, 0x55);
    row("middle Ctrl+Down", 1, 0x45, K::Down, false, true, 0x45, 0x45, 1);
    row("middle unit 4 Left", 4, 0x44, K::Left, false, false, 0x40, 0x40);
    row("middle unit 4 Right", 4, 0x44, K::Right, false, false, 0x48, 0x48);
    row("middle unit 4 End", 4, 0x44, K::End, false, false, 0x4C, 0x4C);
    row("middle unit 4 Shift+End", 4, 0x44, K::End, true, false, 0x44, 0x50);
    row("middle unit 2 Shift+Left", 2, 0x44, K::Left, true, false, 0x44, 0x42);
    // On the last unit: nothing passes the end.
    row("last PgUp", 1, 255, K::PageUp, false, false, 127, 127);
    row("last PgDn", 1, 255, K::PageDown, false, false, 255, 255, 8);
    row("last Ctrl+PgDn", 1, 255, K::PageDown, false, true, 255, 255, 9);
    row("last End", 1, 255, K::End, false, false, 255, 255);
    row("last Shift+End", 1, 255, K::End, true, false, 255, 256);
    row("last Home", 1, 255, K::Home, false, false, 240, 240);
    row("last Left", 1, 255, K::Left, false, false, 254, 254);
    row("last Up", 1, 255, K::Up, false, false, 239, 239);
    row("last Right", 1, 255, K::Right, false, false, 255, 255);
    row("last Shift+Right", 1, 255, K::Right, true, false, 255, 256);
    row("last Down", 1, 255, K::Down, false, false, 255, 255);
    row("last Ctrl+Up", 1, 255, K::Up, false, true, 255, 255, 7);
    row("last unit 4 Right", 4, 252, K::Right, false, false, 252, 252);
    row("last unit 4 Down", 4, 252, K::Down, false, false, 252, 252);
    row("last unit 4 Ctrl+End", 4, 0, K::End, false, true, 252, 252);
  }
  void Navigation() {
    QFETCH(int, unit);
    QFETCH(quint64, from);
    QFETCH(HexKey, key);
    QFETCH(bool, shift);
    QFETCH(bool, ctrl);
    QFETCH(quint64, anchor);
    QFETCH(quint64, end);
    QFETCH(int, firstRow);
    Editor editor(256, unit);
    QVERIFY(editor.model.SetSelection(from, from));
    editor.model.KeyDown(key, shift, ctrl);
    QCOMPARE(editor.model.Anchor(), anchor);
    QCOMPARE(editor.model.End(), end);
    if (firstRow >= 0) QCOMPARE(editor.model.FirstRow(), static_cast<std::uint64_t>(firstRow));
  }

  void AKeyDuringADragOnlyEndsIt() {
    Editor editor(256);
    editor.model.SetSelection(5, 5);
    editor.model.BeginDrag();
    editor.model.KeyDown(HexKey::Right, false, false);
    QVERIFY(!editor.model.IsDragging());
    QCOMPARE(editor.model.End(), 5u);
  }

  void F6SwitchesTheColumn() {
    Editor editor(16);
    QCOMPARE(editor.model.GetActiveColumn(), HexColumn::Hex);
    editor.model.KeyDown(HexKey::F6, false, false);
    QCOMPARE(editor.model.GetActiveColumn(), HexColumn::Text);
    editor.model.KeyDown(HexKey::F6, false, true);
    QCOMPARE(editor.model.GetActiveColumn(), HexColumn::Hex);
  }

  // "1234" typed at offset 16: the bytes, the caret and the nibble after each digit.
  void TypingHexDigits_data() {
    QTest::addColumn<int>("unit");
    QTest::addColumn<Bytes>("bytes");         // offsets 16..19 after the four digits
    QTest::addColumn<QList<quint64>>("caret");  // after each digit
    QTest::addColumn<QList<int>>("nibble");
    QTest::newRow("unit 1") << 1 << Bytes{0x12, 0x34, 0, 0} << QList<quint64>{16, 17, 17, 18}
                            << QList<int>{1, 0, 1, 0};
    // The first digit goes into the high half of byte a + 1.
    QTest::newRow("unit 2") << 2 << Bytes{0x34, 0x12, 0, 0} << QList<quint64>{16, 16, 16, 18}
                            << QList<int>{1, 2, 3, 0};
    QTest::newRow("unit 4") << 4 << Bytes{0, 0, 0x34, 0x12} << QList<quint64>{16, 16, 16, 16}
                            << QList<int>{1, 2, 3, 4};
  }
  void TypingHexDigits() {
    QFETCH(int, unit);
    QFETCH(Bytes, bytes);
    QFETCH(QList<quint64>, caret);
    QFETCH(QList<int>, nibble);
    Editor editor(64, unit);
    editor.model.SetSelection(16, 16);
    const char16_t digits[] = u"1234";
    for (int i = 0; i < 4; ++i) {
      QCOMPARE(editor.model.TypeChar(digits[i]), CHexEditorModel::TypeResult::Typed);
      QCOMPARE(editor.model.Anchor(), caret[i]);
      QCOMPARE(editor.model.End(), caret[i]);
      QCOMPARE(static_cast<int>(editor.model.NibblePos()), nibble[i]);
    }
    QCOMPARE(Bytes(editor.bytes.begin() + 16, editor.bytes.begin() + 20), bytes);
  }

  void FirstDigitOfUnitTwoGoesToTheHighHalfOfTheSecondByte() {
    Editor editor(64, 2);
    editor.model.SetSelection(16, 16);
    editor.model.TypeChar(u'A');
    QCOMPARE(editor.bytes[17], std::uint8_t{0xA0});
    QCOMPARE(editor.bytes[16], std::uint8_t{0x00});
  }

  void TypingReplacesASelectionByACaretAtTheAnchor() {
    Editor editor(64);
    editor.model.SetSelection(20, 10);
    editor.model.TypeChar(u'f');
    QCOMPARE(editor.bytes[20], std::uint8_t{0xF0});
    QVERIFY(!editor.model.HasSelection());
    // Characters that are not hex digits change nothing in the hex column.
    editor.model.TypeChar(u'g');
    QCOMPARE(editor.bytes[20], std::uint8_t{0xF0});
    QCOMPARE(editor.model.NibblePos(), 1u);
  }

  void LastDigitOfTheLastUnitStaysOnIt() {
    Editor editor(64, 2);
    editor.model.SetSelection(62, 62);
    for (char16_t ch : std::u16string(u"abcd")) editor.model.TypeChar(ch);
    QCOMPARE(editor.model.Anchor(), 62u);
    QCOMPARE(editor.model.NibblePos(), 0u);
    QCOMPARE(editor.bytes[62], std::uint8_t{0xCD});
    QCOMPARE(editor.bytes[63], std::uint8_t{0xAB});
  }

  void UndoRestoresTheWholeUnit_data() {
    QTest::addColumn<int>("unit");
    QTest::newRow("unit 1") << 1;
    QTest::newRow("unit 2") << 2;
    QTest::newRow("unit 4") << 4;
  }
  void UndoRestoresTheWholeUnit() {
    QFETCH(int, unit);
    Editor editor(64, unit);
    std::iota(editor.bytes.begin(), editor.bytes.end(), std::uint8_t{0x40});
    const Bytes before = editor.bytes;
    editor.model.SetSelection(8, 8);
    editor.model.TypeChar(u'9');  // an earlier unit
    const Bytes afterFirst = editor.bytes;
    editor.model.SetSelection(16, 16);
    for (char16_t ch : std::u16string(u"1234")) editor.model.TypeChar(ch);
    QVERIFY(editor.model.CanUndo());
    // Unit 1 takes two undos for the two units "1234" filled, the later one first.
    if (unit == 1) {
      QVERIFY(editor.model.Undo());
      QCOMPARE(editor.bytes[17], afterFirst[17]);
      QCOMPARE(editor.bytes[16], std::uint8_t{0x12});
      QCOMPARE(editor.model.Anchor(), 17u);
    }
    QVERIFY(editor.model.Undo());
    QCOMPARE(editor.bytes, afterFirst);
    QCOMPARE(editor.model.Anchor(), 16u);
    QVERIFY(editor.model.Undo());
    QCOMPARE(editor.bytes, before);
    QCOMPARE(editor.model.Anchor(), 8u);
    QVERIFY(!editor.model.CanUndo());
    QVERIFY(!editor.model.Undo());
  }

  void UndoAfterFourDigitsPutsTheCaretOnTheUnitStart() {
    Editor editor(64, 2);
    editor.model.SetSelection(16, 16);
    for (char16_t ch : std::u16string(u"1234")) editor.model.TypeChar(ch);
    QCOMPARE(editor.model.Anchor(), 18u);
    QVERIFY(editor.model.Undo());
    QCOMPARE(editor.bytes[16], std::uint8_t{0});
    QCOMPARE(editor.bytes[17], std::uint8_t{0});
    QCOMPARE(editor.model.Anchor(), 16u);
    QCOMPARE(editor.model.End(), 16u);
    QVERIFY(!editor.model.CanUndo());
  }

  void TextColumnTyping_data() {
    QTest::addColumn<int>("unit");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Bytes>("bytes");  // from offset 16
    QTest::addColumn<quint64>("caret");
    QTest::newRow("ascii") << 1 << QStringLiteral("Hi") << Bytes{'H', 'i', 0, 0} << quint64{18};
    // Above 0xFF: two bytes, the low one first.
    QTest::newRow("above 0xFF") << 1 << QString(QChar(0x20AC)) << Bytes{0xAC, 0x20, 0, 0} << quint64{18};
    QTest::newRow("unit 4 fills the unit") << 4 << QStringLiteral("abc") << Bytes{'a', 'b', 'c', 0} << quint64{16};
    QTest::newRow("unit 2 moves on") << 2 << QStringLiteral("xyz") << Bytes{'x', 'y', 'z', 0} << quint64{18};
  }
  void TextColumnTyping() {
    QFETCH(int, unit);
    QFETCH(QString, typed);
    QFETCH(Bytes, bytes);
    QFETCH(quint64, caret);
    Editor editor(64, unit);
    editor.model.NextPane();
    editor.model.SetSelection(16, 16);
    for (QChar ch : typed) editor.model.TypeChar(ch.unicode());
    QCOMPARE(Bytes(editor.bytes.begin() + 16, editor.bytes.begin() + 20), bytes);
    QCOMPARE(editor.model.Anchor(), caret);
  }

  void ReadOnlyTypingChangesNothing() {
    Editor editor(64);
    editor.model.SetReadOnly(true);
    editor.model.SetSelection(4, 4);
    QCOMPARE(editor.model.TypeChar(u'1'), CHexEditorModel::TypeResult::Refused);
    editor.model.KeyDown(HexKey::Delete, false, false);
    editor.model.NextPane();
    QCOMPARE(editor.model.TypeChar(u'x'), CHexEditorModel::TypeResult::Refused);
    QCOMPARE(editor.bytes, Bytes(64, 0));
    QCOMPARE(editor.model.Anchor(), 4u);
    QVERIFY(!editor.model.CanUndo());
  }

  void DeleteZeroesTheUnitAndMovesOn_data() {
    QTest::addColumn<bool>("headerLine");
    QTest::newRow("control") << false;
    QTest::newRow("control with header line") << true;
  }
  void DeleteZeroesTheUnitAndMovesOn() {
    QFETCH(bool, headerLine);
    Editor editor(64, 4, 8, headerLine);
    std::fill(editor.bytes.begin(), editor.bytes.end(), std::uint8_t{0xEE});
    editor.model.SetSelection(8, 8);
    editor.model.KeyDown(HexKey::Delete, false, false);
    QCOMPARE(Bytes(editor.bytes.begin() + 7, editor.bytes.begin() + 13), (Bytes{0xEE, 0, 0, 0, 0, 0xEE}));
    QCOMPARE(editor.model.Anchor(), 12u);
    // In the text column Delete does nothing.
    editor.model.NextPane();
    editor.model.KeyDown(HexKey::Delete, false, false);
    QCOMPARE(editor.bytes[12], std::uint8_t{0xEE});
  }

  // A size that is not a multiple of the unit: the short last unit shows and takes
  // only the bytes it has.
  void ShortLastUnitStaysInsideTheData() {
    Editor editor(6, 4);
    std::iota(editor.bytes.begin(), editor.bytes.end(), std::uint8_t{1});
    QCOMPARE(editor.model.UnitBytesAt(4), 2);
    QCOMPARE(QString::fromStdU16String(editor.model.FormatUnit(4)), QStringLiteral("0605"));
    QCOMPARE(QString::fromStdU16String(editor.model.FormatUnit(0)), QStringLiteral("04030201"));
    editor.model.SetSelection(5, 5);
    QCOMPARE(editor.model.Anchor(), 4u);
    for (char16_t ch : std::u16string(u"abcdef")) editor.model.TypeChar(ch);
    QCOMPARE(editor.bytes, (Bytes{1, 2, 3, 4, 0xCD, 0xEF}));
    editor.model.NextPane();
    for (char16_t ch : std::u16string(u"XYZ")) editor.model.TypeChar(ch);
    // The last hex digit left the caret inside the unit (on byte 5): X goes there.
    QCOMPARE(editor.bytes[4], std::uint8_t{'Y'});
    QCOMPARE(editor.bytes[5], std::uint8_t{'Z'});
    QCOMPARE(editor.model.Anchor(), 4u);
  }

  void EmptyDataHasNoCaret() {
    CHexEditorModel model;
    model.SetMetrics(kCharWidth, kLineHeight);
    model.SetClientSize(400, 200);
    std::uint8_t none = 0;
    model.SetData(&none, 0);
    QVERIFY(!model.HasData());
    QVERIFY(!model.SetSelection(0, 0));
    QVERIFY(!model.CaretPos().has_value());
    QCOMPARE(model.TypeChar(u'1'), CHexEditorModel::TypeResult::Ignored);
    model.KeyDown(HexKey::End, false, true);
    QCOMPARE(model.Anchor(), CHexEditorModel::kUnset);
    QCOMPARE(model.ScrollMax(), 0u);
    QVERIFY(model.CopyText().empty());
  }

  // Hit test of both controls: 8-pixel characters, margins 3/2 and 2/22.
  void HitTest_data() {
    QTest::addColumn<bool>("headerLine");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<bool>("hits");
    QTest::addColumn<quint64>("offset");
    QTest::addColumn<int>("column");  // 1 hex, 0 text
    // Hex column at 3 + 10 * 8 = 83; byte j's digits at 83 + 24 j.
    QTest::newRow("byte 5 row 2") << false << 1 << 83 + 24 * 5 + 3 << 2 + 32 + 5 << true << quint64{37} << 1;
    QTest::newRow("first digit of byte 0") << false << 1 << 83 << 2 << true << quint64{0} << 1;
    QTest::newRow("unit 2, third unit") << false << 2 << 83 + 40 * 2 + 9 << 10 << true << quint64{4} << 1;
    QTest::newRow("unit 4, last unit") << false << 4 << 83 + 72 * 3 + 20 << 10 << true << quint64{12} << 1;
    // Text column at 83 + 47 * 8 + 3 * 8 = 483.
    QTest::newRow("text byte 7 row 1") << false << 1 << 483 + 8 * 7 + 2 << 2 + 16 + 1 << true << quint64{23} << 0;
    QTest::newRow("left margin") << false << 1 << 0 << 10 << false << quint64{0} << 0;
    QTest::newRow("between the columns") << false << 1 << 470 << 10 << false << quint64{0} << 0;
    QTest::newRow("right of the text") << false << 1 << 483 + 128 + 5 << 10 << false << quint64{0} << 0;
    // With the header line: hex column at 2 + 80 = 82; bytes 8..15 one character further right.
    QTest::newRow("header: byte 7") << true << 1 << 82 + 24 * 7 + 4 << 25 << true << quint64{7} << 1;
    QTest::newRow("header: byte 8 first digit") << true << 1 << 82 + 24 * 8 + 8 << 25 << true << quint64{8} << 1;
    QTest::newRow("header: byte 8 second digit") << true << 1 << 82 + 24 * 8 + 8 + 15 << 25 << true << quint64{8} << 1;
    QTest::newRow("header: byte 15") << true << 1 << 82 + 24 * 15 + 8 + 4 << 25 << true << quint64{15} << 1;
    // Text column with the header line: 82 + 48 * 8 + 2 * 8 = 482.
    QTest::newRow("header: text byte 0 row 1") << true << 1 << 483 << 22 + 16 + 2 << true << quint64{16} << 0;
    QTest::newRow("header: in the header") << true << 1 << 100 << 5 << false << quint64{0} << 0;
  }
  void HitTest() {
    QFETCH(bool, headerLine);
    QFETCH(int, unit);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(bool, hits);
    QFETCH(quint64, offset);
    QFETCH(int, column);
    Editor editor(256, unit, 8, headerLine);
    const std::optional<HexHit> hit = editor.model.HitTest(x, y);
    QCOMPARE(hit.has_value(), hits);
    if (!hits) return;
    QCOMPARE(hit->offset, offset);
    QCOMPARE(static_cast<int>(hit->column), column);
  }

  void ClickOnByteEightOfTheHeaderLineControl() {
    Editor editor(256, 1, 8, true);
    QVERIFY(editor.model.MouseDown(82 + 24 * 8 + 8 + 3, 30));
    QCOMPARE(editor.model.Anchor(), 8u);
    QCOMPARE(editor.model.End(), 8u);
    const std::optional<HexCaret> caret = editor.model.CaretPos();
    QVERIFY(caret);
    QCOMPARE(caret->x, 82 + 24 * 8 + 8);  // on its first digit
    QCOMPARE(caret->y, 22);
    // Without the header line byte 8 lies where the formula puts it.
    Editor plain(256);
    QVERIFY(plain.model.MouseDown(83 + 24 * 8 + 1, 3));
    QCOMPARE(plain.model.CaretPos()->x, 83 + 24 * 8);
  }

  void CaretInTheTextColumn() {
    Editor editor(256, 2);
    editor.model.NextPane();
    editor.model.SetSelection(0x26, 0x26);
    editor.model.TypeChar(u'q');
    const std::optional<HexCaret> caret = editor.model.CaretPos();
    QVERIFY(caret);
    QCOMPARE(caret->x, 483 - 8 * 8 + 8 * 7);  // text column of unit 2 at 83 + 39 * 8 + 24 = 419
    QCOMPARE(caret->y, 2 + 2 * 16);
  }

  // Dragging from A = 40 to offset o: [o + u, A) backwards, [0, A) at offset 0.
  void DragSelects_data() {
    QTest::addColumn<int>("unit");
    QTest::addColumn<quint64>("to");
    QTest::addColumn<quint64>("first");
    QTest::addColumn<quint64>("last");
    QTest::newRow("backwards, unit 1") << 1 << quint64{20} << quint64{21} << quint64{40};
    QTest::newRow("backwards, unit 2") << 2 << quint64{20} << quint64{22} << quint64{40};
    QTest::newRow("to offset 0") << 1 << quint64{0} << quint64{0} << quint64{40};
    QTest::newRow("to offset 0, unit 4") << 4 << quint64{0} << quint64{0} << quint64{40};
    QTest::newRow("forwards") << 1 << quint64{50} << quint64{40} << quint64{51};
  }
  void DragSelects() {
    QFETCH(int, unit);
    QFETCH(quint64, to);
    QFETCH(quint64, first);
    QFETCH(quint64, last);
    Editor editor(256, unit);
    const HexLayout layout = editor.model.Layout();
    auto pointOf = [&](quint64 offset) {
      return QPoint(editor.model.UnitX(layout, static_cast<int>(offset % 16)) + 2,
                    2 + static_cast<int>(offset / 16) * kLineHeight + 3);
    };
    const QPoint a = pointOf(40);
    QVERIFY(editor.model.MouseDown(a.x(), a.y()));
    editor.model.BeginDrag();
    const QPoint p = pointOf(to);
    editor.model.DragTo(p.x(), p.y());
    editor.model.EndDrag(p.x(), p.y());
    std::uint64_t f = 0;
    std::uint64_t l = 0;
    editor.model.GetSelection(f, l);
    QCOMPARE(f, first);
    QCOMPARE(l, last);
    QVERIFY(!editor.model.IsDragging());
  }

  void DragOutsideTheViewScrolls() {
    Editor editor(1024);
    editor.model.SetFirstRow(10);
    editor.model.SetSelection(200, 200);
    const std::uint64_t row = editor.model.FirstRow();
    editor.model.BeginDrag();
    editor.model.DragTo(0, -5);
    QCOMPARE(editor.model.FirstRow(), row - 1);
    editor.model.DragTo(0, 8 * kLineHeight + 1);
    QCOMPARE(editor.model.FirstRow(), row);
  }

  void DoubleClickSelectsOneUnit() {
    Editor editor(256, 4);
    QVERIFY(editor.model.DoubleClick(83 + 72 + 4, 3));
    QCOMPARE(editor.model.Anchor(), 4u);
    QCOMPARE(editor.model.End(), 8u);
  }

  void CopyText_data() {
    QTest::addColumn<bool>("headerLine");
    QTest::addColumn<bool>("textColumn");
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<QString>("text");
    Bytes twenty(20);
    std::iota(twenty.begin(), twenty.end(), std::uint8_t{0});
    QTest::newRow("hex of 20 bytes")
        << false << false << twenty
        << QStringLiteral("00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F \r\n10 11 12 13 ");
    Bytes sixteen(16, 0xAB);
    QTest::newRow("hex of one row")
        << false << false << sixteen
        << QStringLiteral("AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB \r\n");
    const Bytes mixed{'A', 0x00, 'z', 0x7F, 0x80, ' ', '~', 0x1F};
    QTest::newRow("text with the substitute") << false << true << mixed << QStringLiteral("A.z.. ~.");
    QTest::newRow("text with a blank substitute") << true << true << mixed << QStringLiteral("A z   ~ ");
  }
  void CopyText() {
    QFETCH(bool, headerLine);
    QFETCH(bool, textColumn);
    QFETCH(Bytes, bytes);
    QFETCH(QString, text);
    Editor editor(64, 1, 8, headerLine);
    std::copy(bytes.begin(), bytes.end(), editor.bytes.begin() + 3);
    if (textColumn) editor.model.NextPane();
    editor.model.SetSelection(3 + bytes.size(), 3);  // either direction
    QCOMPARE(QString::fromStdU16String(editor.model.CopyText()), text);
    editor.model.SetSelection(3, 3);
    QVERIFY(editor.model.CopyText().empty());
  }

  // 120 a notch, two rows a notch, parts of notches add up.
  void Wheel_data() {
    QTest::addColumn<QList<int>>("deltas");
    QTest::addColumn<int>("rows");
    QTest::newRow("one notch up") << QList<int>{120} << -2;
    QTest::newRow("one notch down") << QList<int>{-120} << 2;
    QTest::newRow("half a notch") << QList<int>{60} << 0;
    QTest::newRow("two halves") << QList<int>{60, 60} << -2;
    QTest::newRow("touchpad steps") << QList<int>{-15, -15, -15, -15, -15, -15, -15, -15} << 2;
    QTest::newRow("back and forth") << QList<int>{60, -60, 60} << 0;
    QTest::newRow("three notches at once") << QList<int>{-360} << 6;
  }
  void Wheel() {
    QFETCH(QList<int>, deltas);
    QFETCH(int, rows);
    Editor editor(4096);
    editor.model.SetFirstRow(100);
    for (int delta : deltas) editor.model.Wheel(delta);
    QCOMPARE(static_cast<int>(editor.model.FirstRow()) - 100, rows);
  }

  void ScrollRange_data() {
    QTest::addColumn<quint64>("size");
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("headerLine");
    QTest::addColumn<quint64>("max");
    QTest::newRow("100 bytes in a tall view") << quint64{100} << 40 << false << quint64{0};
    QTest::newRow("100 bytes, header line") << quint64{100} << 40 << true << quint64{0};
    QTest::newRow("1000 bytes in 8 rows") << quint64{1000} << 8 << false << quint64{55};
    QTest::newRow("one page exactly") << quint64{128} << 8 << false << quint64{1};
  }
  void ScrollRange() {
    QFETCH(quint64, size);
    QFETCH(int, rows);
    QFETCH(bool, headerLine);
    QFETCH(quint64, max);
    Editor editor(size, 1, rows, headerLine);
    QCOMPARE(editor.model.GetVisibleRows(), rows);
    QCOMPARE(editor.model.ScrollMax(), max);
    QCOMPARE(editor.model.ScrollBarMax(), static_cast<int>(max));
    editor.model.VScroll(HexScroll::Bottom);
    QCOMPARE(editor.model.FirstRow(), max);
  }

  void ScrollMovesByRowsAndPages() {
    Editor editor(1024);  // 64 rows, 8 visible: range 0..57
    QVERIFY(editor.model.VScroll(HexScroll::LineDown));
    QCOMPARE(editor.model.FirstRow(), 1u);
    editor.model.VScroll(HexScroll::PageDown);
    QCOMPARE(editor.model.FirstRow(), 9u);
    editor.model.VScroll(HexScroll::PageUp);
    QCOMPARE(editor.model.FirstRow(), 1u);
    editor.model.VScroll(HexScroll::PageUp);
    QCOMPARE(editor.model.FirstRow(), 0u);
    QVERIFY(!editor.model.VScroll(HexScroll::LineUp));
    editor.model.VScroll(HexScroll::Bottom);
    QCOMPARE(editor.model.FirstRow(), 57u);
    QVERIFY(!editor.model.VScroll(HexScroll::LineDown));
    editor.model.VScroll(HexScroll::Top);
    QCOMPARE(editor.model.FirstRow(), 0u);
  }

  void EnsureVisibleShowsTheRowAsTheLastWholeRow() {
    Editor editor(1024);
    editor.model.SetSelection(0x205, 0x205);  // row 32
    QCOMPARE(editor.model.FirstRow(), 25u);
    editor.model.SetSelection(0x100, 0x100);  // above: its row becomes the first
    QCOMPARE(editor.model.FirstRow(), 16u);
    editor.model.SetSelection(0x150, 0x150);  // shown already
    QCOMPARE(editor.model.FirstRow(), 16u);
  }

  // Data past what an int counts in rows scrolls in proportion; no byte is read.
  void LongDataScrollsInProportion() {
    CHexEditorModel model;
    model.SetMetrics(kCharWidth, kLineHeight);
    model.SetClientSize(640, 8 * kLineHeight);
    std::uint8_t byte = 0;
    const std::uint64_t size = std::uint64_t{1} << 42;
    model.SetData(&byte, size);
    QCOMPARE(model.ScrollMax(), size / 16 - 7);
    QCOMPARE(model.ScrollBarMax(), static_cast<int>(CHexEditorModel::kScrollBarLimit));
    QCOMPARE(model.RowFromScrollBar(model.ScrollBarMax()), model.ScrollMax());
    QCOMPARE(model.RowFromScrollBar(0), 0u);
    model.SetFirstRow(model.ScrollMax() / 2);
    QVERIFY(std::abs(model.ScrollBarValue() - model.ScrollBarMax() / 2) <= 1);
    QCOMPARE(model.OffsetDigits(), 11);
    QCOMPARE(QString::fromStdU16String(model.FormatOffset(0x123)), QStringLiteral("00000000123  "));
  }

  void LayoutOfTheColumns_data() {
    QTest::addColumn<bool>("headerLine");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("hexChars");
    QTest::addColumn<int>("textLeft");
    QTest::newRow("unit 1") << false << 1 << 47 << 83 + 50 * 8;
    QTest::newRow("unit 2") << false << 2 << 39 << 83 + 42 * 8;
    QTest::newRow("unit 4") << false << 4 << 35 << 83 + 38 * 8;
    QTest::newRow("header, unit 1") << true << 1 << 48 << 82 + 50 * 8;
    QTest::newRow("header, unit 2") << true << 2 << 39 << 82 + 41 * 8;
  }
  void LayoutOfTheColumns() {
    QFETCH(bool, headerLine);
    QFETCH(int, unit);
    QFETCH(int, hexChars);
    QFETCH(int, textLeft);
    Editor editor(256, unit, 8, headerLine);
    QCOMPARE(editor.model.HexCharsPerRow(), hexChars);
    const HexLayout layout = editor.model.Layout();
    QCOMPARE(layout.text.left, textLeft);
    QCOMPARE(layout.text.right - layout.text.left, 16 * kCharWidth);
    QCOMPARE(layout.hex.bottom - layout.hex.top, 9 * kLineHeight);  // visible rows + 1
    editor.model.SetColumns(false, true, false);
    QCOMPARE(editor.model.Layout().hex.left, editor.model.GetLeftMargin());
    QVERIFY(editor.model.Layout().text.IsEmpty());
  }

  void UnitSizeChangeMovesTheSelectionToUnitStarts() {
    Editor editor(256);
    editor.model.SetSelection(7, 7);
    editor.model.SetUnitSize(4);
    QCOMPARE(editor.model.Anchor(), 4u);
    editor.model.SetUnitSize(3);  // not a unit size
    QCOMPARE(editor.model.GetUnitSize(), 4);
  }
};
VANDREL_QT_TEST(HexEditorModelTest);

#include "HexEditorModelTest.moc"
