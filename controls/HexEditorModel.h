#pragma once
// Everything a hex editor does except drawing and talking to Qt: the data source,
// the view's first row, the selection and caret, the typed nibble, the key table,
// typing, undo, the mouse, the column layout and hit test, the scroll range and
// the copied text. The widgets (CHexEditorCtrl, CHexEditorCtrl2) paint what this
// class says and pass their keys, mouse and wheel to it; the tests drive it alone.
//
// Rows are always 16 bytes; the unit size (1, 2 or 4 bytes) only groups the hex
// column, each unit showing its little-endian value. With the header-line option
// (CHexEditorCtrl2) the top margin holds column titles, the visible rows leave it
// out, single-byte units have an extra space after byte 7 and the text column
// starts two characters after the hex column instead of three.
//
// Owner: its widget. GUI thread only. Qt-free.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "controls/HexDataSource.h"

enum class HexColumn : std::uint8_t { Text = 0, Hex = 1 };
enum class HexKey { PageUp, PageDown, End, Home, Left, Up, Right, Down, Delete, F6 };
enum class HexScroll { LineUp, LineDown, PageUp, PageDown, Top, Bottom };

struct HexRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

// Where the columns lie, in pixels of the view (x from the left edge, y from the top).
struct HexLayout {
  int offsetLeft = 0;    // the offset text starts here (shown or not)
  int offsetRight = 0;   // after the offset text and its two blanks; = offsetLeft when hidden
  HexRect hex;           // empty when the hex column is hidden
  HexRect text;          // empty when the text column is hidden
};

// One title of the header line: a unit's number (its first byte's, 0 to F), drawn
// at x over the unit's last hex digit.
struct HexTitle {
  int x = 0;
  char16_t digit = u'0';
};

struct HexHit {
  std::uint64_t offset = 0;  // not clamped to the data
  HexColumn column = HexColumn::Hex;
};

struct HexCaret {
  int x = 0;
  int y = 0;
};

class CHexEditorModel {
 public:
  static constexpr std::uint64_t kUnset = ~std::uint64_t{0};
  // A copy larger than this asks the user first.
  static constexpr std::uint64_t kCopyAskLimit = 65536;
  // Scroll bars hold an int; longer data scrolls in proportion.
  static constexpr std::uint64_t kScrollBarLimit = std::uint64_t{1} << 30;

  explicit CHexEditorModel(bool headerLine = false);

  bool HasHeaderLine() const { return m_headerLine; }

  // --- data ---------------------------------------------------------------
  // Shows a caller's buffer, edited in place, and resets the view.
  void SetData(std::uint8_t* data, std::uint64_t size);
  // Maps a regular file (read-only while the editor is read-only) and resets the
  // view. On failure returns false and changes nothing.
  bool OpenFile(const std::string& path);
  // Shows `size` bytes a provider fetches page by page (read-only) and resets the view.
  void SetPages(std::shared_ptr<IHexPageProvider> pages, std::uint64_t size);
  const CHexDataSource& Source() const { return m_source; }
  std::uint64_t Size() const { return m_source.GetSize(); }
  // The source is open and holds at least one byte: only then is there a caret.
  bool HasData() const { return m_source.IsOpen() && m_source.GetSize() > 0; }
  std::uint8_t ByteAt(std::uint64_t offset) const { return m_source.ByteAt(offset); }
  // Whether the byte is there to show (paged data: its page has arrived).
  bool IsAvailable(std::uint64_t offset) const { return m_source.IsAvailable(offset); }
  // Whether every selected byte is there (a copy needs them all).
  bool SelectionAvailable() const;
  // Asks a page provider for the rows the view shows now.
  void WantVisibleRows() const;

  // --- options ------------------------------------------------------------
  bool IsReadOnly() const { return m_readOnly; }
  // A file's mapping follows: read-only while the editor is.
  void SetReadOnly(bool readOnly);
  // Typing, Delete and Undo may change the data.
  bool CanEdit() const { return !m_readOnly && m_source.IsWritable() && HasData(); }
  int GetUnitSize() const { return m_unitSize; }
  void SetUnitSize(int unitSize);  // 1, 2 or 4; anything else is ignored
  int GetLeftMargin() const { return m_leftMargin; }
  int GetTopMargin() const { return m_topMargin; }
  void SetMargins(int left, int top);
  bool ShowsOffsets() const { return m_showOffset; }
  bool ShowsHex() const { return m_showHex; }
  bool ShowsText() const { return m_showText; }
  void SetColumns(bool offset, bool hex, bool text);
  char16_t GetSubstituteChar() const { return m_substitute; }
  void SetSubstituteChar(char16_t ch) { m_substitute = ch; }
  HexColumn GetActiveColumn() const { return m_activeColumn; }
  // Switches between the hex and the text column.
  void NextPane();

  // --- metrics and layout ---------------------------------------------------
  // The font's character width and line height, and the view's size.
  void SetMetrics(int charWidth, int lineHeight);
  void SetClientSize(int width, int height);
  int CharWidth() const { return m_charWidth; }
  int LineHeight() const { return m_lineHeight; }
  int ClientWidth() const { return m_clientWidth; }
  int ClientHeight() const { return m_clientHeight; }
  int GetVisibleRows() const;
  // Hex digits of the offset column: 8, more when the data reaches past 4 GiB.
  int OffsetDigits() const;
  // Characters of a full row in the hex column.
  int HexCharsPerRow() const;
  HexLayout Layout() const;
  // x of the first digit of the unit starting at byte `index` (0..15) of a row.
  int UnitX(const HexLayout& layout, int index) const;
  // The header line's titles over the hex column: one per unit, each placed by
  // the same layout as the unit's digits, so that they stay over them at any font
  // and unit size.
  std::vector<HexTitle> HeaderTitles(const HexLayout& layout) const;
  std::optional<HexHit> HitTest(int x, int y) const;
  // Where the caret stands, when it is shown (a caret exists and nothing is selected).
  std::optional<HexCaret> CaretPos() const;

  // --- formatting for painting and copying -----------------------------------
  // "%08X  " of a row's offset (more digits past 4 GiB).
  std::u16string FormatOffset(std::uint64_t offset) const;
  // Bytes of the unit at `offset` inside the data (less than the unit size only
  // for the last unit of data whose size is not a multiple of it).
  int UnitBytesAt(std::uint64_t offset) const;
  // The unit's little-endian value in upper-case hex, two digits per byte it has.
  std::u16string FormatUnit(std::uint64_t offset) const;
  // The byte itself when it is printable ASCII, else the substitute character.
  char16_t DisplayChar(std::uint8_t byte) const;
  // The selection as the clipboard gets it: hex ("%02X " a byte, "\r\n" after
  // every 16th) or text, by the active column; empty without a selection.
  std::u16string CopyText() const;
  // The same written into `out`, which holds CopyTextLength() characters (the
  // caller's own string, so that a large copy is made once).
  std::uint64_t CopyTextLength() const;
  void CopyTextTo(char16_t* out) const;
  std::uint64_t SelectionLength() const;

  // --- selection and caret -----------------------------------------------------
  // Clamps to the data, rounds both ends down to the unit, scrolls the end into
  // view and resets the nibble. An end of kUnset means the size. False, and
  // nothing changes, when there is no data.
  bool SetSelection(std::uint64_t anchor, std::uint64_t end);
  void GetSelection(std::uint64_t& first, std::uint64_t& last) const;
  bool HasSelection() const { return m_anchor != m_end; }
  std::uint64_t Anchor() const { return m_anchor; }
  std::uint64_t End() const { return m_end; }
  std::uint32_t NibblePos() const { return m_nibble; }
  bool IsSelected(std::uint64_t offset) const;
  // A caret is made when the view gets the focus (and when data is set) and
  // destroyed when it loses it.
  void SetCaretCreated(bool created);
  bool IsCaretCreated() const { return m_caretCreated; }

  // --- scrolling ----------------------------------------------------------
  std::uint64_t FirstRow() const { return m_firstRow; }
  std::uint64_t FirstOffset() const { return m_firstRow * 16; }
  // Rows the view can scroll down: size / 16 - visible rows + 1, never below 0.
  std::uint64_t ScrollMax() const;
  // Sets the first shown row, clamped to the scroll range; true when it changed.
  bool SetFirstRow(std::uint64_t row);
  bool VScroll(HexScroll action);
  // Scrolls so that `offset` is shown, as the last whole row when it lies below.
  void EnsureVisible(std::uint64_t offset);
  // Adds a wheel delta (120 a notch, positive away from the user); every whole
  // notch scrolls two rows; parts of notches add up. Returns the rows scrolled
  // (negative upwards).
  int Wheel(int delta);
  // The scroll bar's maximum, value, and the row for a value.
  int ScrollBarMax() const;
  int ScrollBarValue() const;
  std::uint64_t RowFromScrollBar(int value) const;

  // --- keyboard and typing --------------------------------------------------
  // Navigation, Delete and F6, with the Shift and Ctrl states.
  void KeyDown(HexKey key, bool shift, bool ctrl);
  enum class TypeResult { Typed, Ignored, Refused };
  // A character typed: a hex digit in the hex column, the character's bytes in the
  // text column. Refused (the widget beeps) when the editor may not edit.
  TypeResult TypeChar(char16_t ch);
  void TypeHexDigit(int value);
  void TypeTextByte(std::uint8_t byte);
  bool CanUndo() const { return !m_undo.empty(); }
  // Restores the whole unit edited last; false when there is nothing to undo or
  // the editor may not edit.
  bool Undo();

  // --- mouse ----------------------------------------------------------------
  // A left press: on a hit the column becomes active and the caret goes there.
  bool MouseDown(int x, int y);
  // A drag started by the press: later moves extend the selection.
  void BeginDrag() { m_dragging = true; }
  bool IsDragging() const { return m_dragging; }
  void DragTo(int x, int y);
  // The button came up: the last move counts, then the drag ends.
  void EndDrag(int x, int y);
  void CancelDrag() { m_dragging = false; }
  // Selects the unit under the point.
  bool DoubleClick(int x, int y);

 private:
  struct UndoEntry {
    std::uint64_t offset;
    std::uint8_t oldByte;
  };

  void ResetView();
  void WriteByte(std::uint64_t offset, std::uint8_t value);
  // After a typed nibble or byte: the caret moves on within the unit or to the next.
  void AfterTyping(std::uint64_t unitStart);
  std::uint64_t RowCount() const { return Size() / 16; }

  bool m_headerLine = false;
  CHexDataSource m_source;
  std::uint64_t m_firstRow = 0;
  int m_charWidth = 8;
  int m_lineHeight = 16;
  int m_clientWidth = 0;
  int m_clientHeight = 0;
  bool m_showOffset = true;
  bool m_showHex = true;
  bool m_showText = true;
  char16_t m_substitute = u'.';
  int m_unitSize = 1;
  std::uint64_t m_anchor = kUnset;
  std::uint64_t m_end = kUnset;
  std::uint32_t m_nibble = 0;
  HexColumn m_activeColumn = HexColumn::Hex;
  int m_leftMargin = 3;
  int m_topMargin = 2;
  bool m_readOnly = false;
  std::vector<UndoEntry> m_undo;
  bool m_caretCreated = false;
  bool m_dragging = false;
  int m_wheelRest = 0;
};
