#include "controls/HexEditorModel.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

void AppendHex(std::u16string& out, std::uint64_t value, int digits) {
  for (int i = digits - 1; i >= 0; --i) out.push_back(kHexDigits[(value >> (4 * i)) & 0xF]);
}

}  // namespace

CHexEditorModel::CHexEditorModel(bool headerLine) : m_headerLine(headerLine) {
  if (m_headerLine) {
    m_substitute = u' ';
    m_leftMargin = 2;
    m_topMargin = 22;
  }
}

// --- data ---------------------------------------------------------------------

void CHexEditorModel::SetData(std::uint8_t* data, std::uint64_t size) {
  m_source.SetMemory(data, size);
  ResetView();
}

bool CHexEditorModel::OpenFile(const std::string& path) {
  CHexDataSource opened;
  if (!opened.Open(path, !m_readOnly)) return false;
  m_source = std::move(opened);
  ResetView();
  return true;
}

void CHexEditorModel::SetPages(std::shared_ptr<IHexPageProvider> pages, std::uint64_t size) {
  m_source.SetPages(std::move(pages), size);
  ResetView();
}

bool CHexEditorModel::SelectionAvailable() const {
  if (!m_source.IsPaged()) return true;
  if (!HasData() || m_anchor == kUnset) return true;
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  GetSelection(first, last);
  // One byte per page tells.
  for (std::uint64_t at = first; at < last; at = (at / IHexPageProvider::kPageSize + 1) * IHexPageProvider::kPageSize)
    if (!IsAvailable(at)) return false;
  return true;
}

void CHexEditorModel::WantVisibleRows() const {
  if (!HasData()) return;
  const std::uint64_t rows = static_cast<std::uint64_t>(std::max(1, GetVisibleRows() + 1));
  m_source.Want(FirstOffset(), FirstOffset() + rows * 16 - 1);
}

void CHexEditorModel::ResetView() {
  m_undo.clear();
  m_firstRow = 0;
  m_nibble = 0;
  m_dragging = false;
  m_wheelRest = 0;
  m_anchor = kUnset;
  m_end = kUnset;
  // A new source gets its caret at once, focus or not, on the first byte.
  m_caretCreated = HasData();
  SetSelection(0, 0);
}

void CHexEditorModel::SetReadOnly(bool readOnly) {
  m_readOnly = readOnly;
  if (m_source.IsOpen() && !m_source.IsMemory()) m_source.SetWritable(!readOnly);
}

void CHexEditorModel::WriteByte(std::uint64_t offset, std::uint8_t value) {
  m_undo.push_back({offset, m_source.GetData()[offset]});
  m_source.GetData()[offset] = value;
}

// --- options ----------------------------------------------------------------------

void CHexEditorModel::SetUnitSize(int unitSize) {
  if (unitSize != 1 && unitSize != 2 && unitSize != 4) return;
  m_unitSize = unitSize;
  // The selection's ends move to the starts of their new units.
  if (HasData() && m_anchor != kUnset) SetSelection(m_anchor, m_end);
}

void CHexEditorModel::SetMargins(int left, int top) {
  m_leftMargin = left;
  m_topMargin = top;
}

void CHexEditorModel::SetColumns(bool offset, bool hex, bool text) {
  m_showOffset = offset;
  m_showHex = hex;
  m_showText = text;
}

void CHexEditorModel::NextPane() {
  m_activeColumn = m_activeColumn == HexColumn::Hex ? HexColumn::Text : HexColumn::Hex;
}

// --- metrics and layout -----------------------------------------------------------

void CHexEditorModel::SetMetrics(int charWidth, int lineHeight) {
  m_charWidth = std::max(1, charWidth);
  m_lineHeight = std::max(1, lineHeight);
}

void CHexEditorModel::SetClientSize(int width, int height) {
  m_clientWidth = std::max(0, width);
  m_clientHeight = std::max(0, height);
  m_firstRow = std::min(m_firstRow, ScrollMax());
}

int CHexEditorModel::GetVisibleRows() const {
  const int height = m_headerLine ? m_clientHeight - m_topMargin : m_clientHeight;
  return std::max(0, height / m_lineHeight);
}

int CHexEditorModel::OffsetDigits() const {
  int digits = 8;
  for (std::uint64_t last = Size() > 0 ? Size() - 1 : 0; (last >> (4 * digits)) != 0;) ++digits;
  return digits;
}

int CHexEditorModel::HexCharsPerRow() const {
  const int units = 16 / m_unitSize;
  const int chars = units * 2 * m_unitSize + units - 1;  // 47, 39 or 35
  return chars + (m_headerLine && m_unitSize == 1 ? 1 : 0);
}

HexLayout CHexEditorModel::Layout() const {
  const int w = m_charWidth;
  const int top = m_topMargin;
  const int bottom = top + (GetVisibleRows() + 1) * m_lineHeight;
  HexLayout layout;
  layout.offsetLeft = m_leftMargin;
  int x = m_leftMargin;
  if (m_showOffset) x += (OffsetDigits() + 2) * w;
  layout.offsetRight = x;
  if (m_showHex) {
    layout.hex = {x, top, x + HexCharsPerRow() * w, bottom};
    x = layout.hex.right;
  }
  if (m_showText) {
    x += (m_headerLine ? 2 : 3) * w;
    layout.text = {x, top, x + 16 * w, bottom};
  }
  return layout;
}

int CHexEditorModel::UnitX(const HexLayout& layout, int index) const {
  const int w = m_charWidth;
  int x = layout.hex.left + (index / m_unitSize) * (2 * m_unitSize + 1) * w;
  if (m_headerLine && m_unitSize == 1 && index >= 8) x += w;
  return x;
}

std::vector<HexTitle> CHexEditorModel::HeaderTitles(const HexLayout& layout) const {
  std::vector<HexTitle> titles;
  if (layout.hex.IsEmpty()) return titles;
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  for (int j = 0; j < 16; j += m_unitSize)
    titles.push_back({UnitX(layout, j) + (2 * m_unitSize - 1) * m_charWidth, kDigits[j]});
  return titles;
}

std::optional<HexHit> CHexEditorModel::HitTest(int x, int y) const {
  const HexLayout layout = Layout();
  const int w = m_charWidth;
  const int h = m_lineHeight;
  const int u = m_unitSize;
  auto widened = [](const HexRect& r) { return HexRect{r.left - 4, r.top - 4, r.right + 4, r.bottom + 4}; };
  int index = 0;
  int row = 0;
  HexColumn column = HexColumn::Hex;
  if (!layout.hex.IsEmpty() && widened(layout.hex).Contains(x, y)) {
    const int from = x - (layout.hex.left - 6);
    index = from / ((2 * u + 1) * w) * u;
    if (m_headerLine && u == 1 && index >= 8) {
      // Bytes 8 to 15 lie one character further right.
      index = std::max(8, (from - w) / (3 * w));
    }
    row = (y - (layout.hex.top - 2)) / h;
  } else if (!layout.text.IsEmpty() && widened(layout.text).Contains(x, y)) {
    index = x >= layout.text.left ? (x - layout.text.left) / w : 0;
    row = (y - layout.text.top) / h;
    column = HexColumn::Text;
  } else {
    return std::nullopt;
  }
  index = std::clamp(index, 0, 15);
  row = std::max(row, 0);
  return HexHit{FirstOffset() + static_cast<std::uint64_t>(index) + 16 * static_cast<std::uint64_t>(row), column};
}

std::optional<HexCaret> CHexEditorModel::CaretPos() const {
  if (!m_caretCreated || !HasData() || m_anchor == kUnset || HasSelection()) return std::nullopt;
  const std::uint64_t a = m_anchor;
  const std::int64_t rowsDown = static_cast<std::int64_t>(a / 16) - static_cast<std::int64_t>(m_firstRow);
  if (rowsDown < -1 || rowsDown > GetVisibleRows() + 1) return std::nullopt;
  const HexLayout layout = Layout();
  const int index = static_cast<int>(a % 16);
  HexCaret caret;
  caret.y = static_cast<int>(rowsDown) * m_lineHeight + m_topMargin;
  if (m_activeColumn == HexColumn::Hex) {
    if (layout.hex.IsEmpty()) return std::nullopt;
    caret.x = UnitX(layout, index) + m_charWidth * static_cast<int>(m_nibble);
  } else {
    if (layout.text.IsEmpty()) return std::nullopt;
    caret.x = layout.text.left + (index + static_cast<int>(m_nibble / 2)) * m_charWidth;
  }
  return caret;
}

// --- formatting ---------------------------------------------------------------------

std::u16string CHexEditorModel::FormatOffset(std::uint64_t offset) const {
  std::u16string text;
  AppendHex(text, offset, OffsetDigits());
  text += u"  ";
  return text;
}

int CHexEditorModel::UnitBytesAt(std::uint64_t offset) const {
  if (offset >= Size()) return 0;
  return static_cast<int>(std::min<std::uint64_t>(m_unitSize, Size() - offset));
}

std::u16string CHexEditorModel::FormatUnit(std::uint64_t offset) const {
  const int bytes = UnitBytesAt(offset);
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | ByteAt(offset + static_cast<std::uint64_t>(i));
  std::u16string text;
  AppendHex(text, value, 2 * bytes);
  return text;
}

char16_t CHexEditorModel::DisplayChar(std::uint8_t byte) const {
  return byte >= 0x20 && byte <= 0x7E ? static_cast<char16_t>(byte) : m_substitute;
}

std::uint64_t CHexEditorModel::SelectionLength() const {
  if (!HasData() || m_anchor == kUnset) return 0;
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  GetSelection(first, last);
  return last - first;
}

std::uint64_t CHexEditorModel::CopyTextLength() const {
  const std::uint64_t length = SelectionLength();
  return m_activeColumn == HexColumn::Hex ? length * 3 + length / 16 * 2 : length;
}

void CHexEditorModel::CopyTextTo(char16_t* out) const {
  const std::uint64_t length = SelectionLength();
  if (length == 0) return;
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  GetSelection(first, last);
  if (m_activeColumn == HexColumn::Hex) {
    for (std::uint64_t i = first; i < last; ++i) {
      const std::uint8_t byte = ByteAt(i);
      *out++ = kHexDigits[byte >> 4];
      *out++ = kHexDigits[byte & 0xF];
      *out++ = u' ';
      if ((i - first + 1) % 16 == 0) {
        *out++ = u'\r';
        *out++ = u'\n';
      }
    }
  } else {
    for (std::uint64_t i = first; i < last; ++i) *out++ = DisplayChar(ByteAt(i));
  }
}

std::u16string CHexEditorModel::CopyText() const {
  std::u16string text(static_cast<std::size_t>(CopyTextLength()), u'\0');
  CopyTextTo(text.data());
  return text;
}

// --- selection -------------------------------------------------------------------------

bool CHexEditorModel::SetSelection(std::uint64_t anchor, std::uint64_t end) {
  if (!HasData()) return false;
  const std::uint64_t size = Size();
  if (end == kUnset) end = size;
  if (anchor == end && end >= size) end = size - 1;
  if (anchor != end && end > size) end = size;
  if (anchor >= size) anchor = size - 1;
  const auto u = static_cast<std::uint64_t>(m_unitSize);
  anchor -= anchor % u;
  end -= end % u;
  m_anchor = anchor;
  m_end = end;
  m_nibble = 0;
  EnsureVisible(end);
  return true;
}

void CHexEditorModel::GetSelection(std::uint64_t& first, std::uint64_t& last) const {
  first = std::min(m_anchor, m_end);
  last = std::max(m_anchor, m_end);
}

bool CHexEditorModel::IsSelected(std::uint64_t offset) const {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  GetSelection(first, last);
  return first <= offset && offset < last;
}

void CHexEditorModel::SetCaretCreated(bool created) { m_caretCreated = created && HasData(); }

// --- scrolling ---------------------------------------------------------------------------

std::uint64_t CHexEditorModel::ScrollMax() const {
  const auto visible = static_cast<std::uint64_t>(GetVisibleRows());
  return RowCount() + 1 > visible ? RowCount() + 1 - visible : 0;
}

bool CHexEditorModel::SetFirstRow(std::uint64_t row) {
  row = std::min(row, ScrollMax());
  if (row == m_firstRow) return false;
  m_firstRow = row;
  return true;
}

bool CHexEditorModel::VScroll(HexScroll action) {
  const std::uint64_t row = m_firstRow;
  const auto visible = static_cast<std::uint64_t>(GetVisibleRows());
  std::uint64_t next = row;
  switch (action) {
    case HexScroll::LineUp: next = row > 0 ? row - 1 : 0; break;
    case HexScroll::LineDown: next = row + 1; break;
    case HexScroll::PageUp: next = visible < row ? row - visible : 0; break;
    case HexScroll::PageDown: next = row + visible; break;
    case HexScroll::Top: next = 0; break;
    case HexScroll::Bottom: next = ScrollMax(); break;
  }
  return SetFirstRow(next);
}

void CHexEditorModel::EnsureVisible(std::uint64_t offset) {
  const auto visible = static_cast<std::uint64_t>(std::max(1, GetVisibleRows()));
  const std::uint64_t rowStart = offset - offset % 16;
  const std::uint64_t first = FirstOffset();
  const std::uint64_t span = 16 * (visible - 1);
  std::uint64_t newFirst = first;
  if (offset < first) {
    newFirst = rowStart;
  } else if (offset - first <= span) {
    return;
  } else {
    newFirst = rowStart < span ? 0 : rowStart - span;
  }
  m_firstRow = std::min(newFirst / 16, ScrollMax());
}

int CHexEditorModel::Wheel(int delta) {
  m_wheelRest += delta;
  const int notches = m_wheelRest / 120;
  m_wheelRest -= notches * 120;
  int scrolled = 0;
  for (int i = 0; i < std::abs(notches) * 2; ++i) {
    const std::uint64_t before = m_firstRow;
    VScroll(notches > 0 ? HexScroll::LineUp : HexScroll::LineDown);
    scrolled += static_cast<int>(static_cast<std::int64_t>(m_firstRow) - static_cast<std::int64_t>(before));
  }
  return scrolled;
}

int CHexEditorModel::ScrollBarMax() const {
  return static_cast<int>(std::min(ScrollMax(), kScrollBarLimit));
}

int CHexEditorModel::ScrollBarValue() const {
  const std::uint64_t max = ScrollMax();
  if (max <= kScrollBarLimit) return static_cast<int>(m_firstRow);
  return static_cast<int>(static_cast<unsigned __int128>(m_firstRow) * kScrollBarLimit / max);
}

std::uint64_t CHexEditorModel::RowFromScrollBar(int value) const {
  const std::uint64_t max = ScrollMax();
  const auto v = static_cast<std::uint64_t>(std::max(0, value));
  if (max <= kScrollBarLimit) return std::min(v, max);
  return static_cast<std::uint64_t>(static_cast<unsigned __int128>(std::min(v, kScrollBarLimit)) * max /
                                    kScrollBarLimit);
}

// --- keyboard and typing -------------------------------------------------------------------

void CHexEditorModel::KeyDown(HexKey key, bool shift, bool ctrl) {
  if (m_dragging) {
    m_dragging = false;  // a key during a drag only ends it
    return;
  }
  if (key == HexKey::F6) {
    NextPane();
    return;
  }
  if (!HasData()) return;
  const std::uint64_t a = m_anchor;
  const std::uint64_t e = m_end;
  const auto u = static_cast<std::uint64_t>(m_unitSize);
  const std::uint64_t size = Size();
  const std::uint64_t page = 16 * static_cast<std::uint64_t>(GetVisibleRows());
  // The new end; the anchor stays with Shift, else it follows (the caret moves).
  auto moveTo = [&](std::uint64_t end) { SetSelection(shift ? a : end, end); };
  switch (key) {
    case HexKey::PageUp:
      if (ctrl) VScroll(HexScroll::PageUp);
      else moveTo(e < page ? 0 : e - page);
      break;
    case HexKey::PageDown:
      if (ctrl) VScroll(HexScroll::PageDown);
      else moveTo(e + page);
      break;
    case HexKey::End:
      if (ctrl) shift ? SetSelection(a, size) : SetSelection(size - 1, size - 1);
      else shift ? SetSelection(a, (e | 15) + 1) : SetSelection(e | 15, e | 15);
      break;
    case HexKey::Home:
      moveTo(ctrl ? 0 : e - e % 16);
      break;
    case HexKey::Left:
      if (e >= u) moveTo(e - u);
      break;
    case HexKey::Up:
      if (ctrl) VScroll(HexScroll::LineUp);
      else if (e >= 16) moveTo(e - 16);
      break;
    case HexKey::Right:
      if (a + u <= size) moveTo(e + u);
      break;
    case HexKey::Down:
      if (ctrl) VScroll(HexScroll::LineDown);
      else if (a + 16 <= size) moveTo(e + 16);
      break;
    case HexKey::Delete:
      if (m_activeColumn == HexColumn::Hex && CanEdit()) {
        // Typing zeros over the whole unit, as if 0 had been typed into each digit.
        if (HasSelection()) SetSelection(m_anchor, m_anchor);
        m_nibble = 0;
        const int digits = 2 * UnitBytesAt(m_anchor);
        for (int i = 0; i < digits; ++i) TypeHexDigit(0);
      }
      break;
    case HexKey::F6:
      break;
  }
}

CHexEditorModel::TypeResult CHexEditorModel::TypeChar(char16_t ch) {
  if (!HasData()) return TypeResult::Ignored;
  if (!CanEdit()) return TypeResult::Refused;
  if (ch < 32) return TypeResult::Ignored;
  if (HasSelection()) SetSelection(m_anchor, m_anchor);
  if (m_activeColumn == HexColumn::Text) {
    TypeTextByte(static_cast<std::uint8_t>(ch & 0xFF));
    if ((ch >> 8) != 0) TypeTextByte(static_cast<std::uint8_t>(ch >> 8));
    return TypeResult::Typed;
  }
  int value = -1;
  if (ch >= u'0' && ch <= u'9') value = ch - u'0';
  else if (ch >= u'A' && ch <= u'F') value = ch - u'A' + 10;
  else if (ch >= u'a' && ch <= u'f') value = ch - u'a' + 10;
  if (value < 0) return TypeResult::Ignored;
  TypeHexDigit(value);
  return TypeResult::Typed;
}

void CHexEditorModel::TypeHexDigit(int value) {
  if (!CanEdit()) return;
  const std::uint64_t a = m_anchor;
  const int bytes = UnitBytesAt(a);
  if (bytes == 0) return;
  // The most significant byte of the little-endian unit is typed first; a short
  // last unit has only the bytes inside the data.
  const std::uint64_t index = a + static_cast<std::uint64_t>(bytes) - 1 - m_nibble / 2;
  const std::uint8_t old = ByteAt(index);
  const auto v = static_cast<std::uint8_t>(value & 0x0F);
  WriteByte(index, m_nibble % 2 == 0 ? static_cast<std::uint8_t>(v << 4 | (old & 0x0F))
                                     : static_cast<std::uint8_t>((old & 0xF0) | v));
  m_nibble += 1;
  AfterTyping(a);
}

void CHexEditorModel::TypeTextByte(std::uint8_t byte) {
  if (!CanEdit()) return;
  const std::uint64_t a = m_anchor;
  const int bytes = UnitBytesAt(a);
  if (bytes == 0) return;
  if (m_nibble / 2 >= static_cast<std::uint32_t>(bytes)) {
    AfterTyping(a);
    return;
  }
  WriteByte(a + m_nibble / 2, byte);
  m_nibble += 2;
  AfterTyping(a);
}

void CHexEditorModel::AfterTyping(std::uint64_t unitStart) {
  if (m_nibble < 2 * static_cast<std::uint32_t>(UnitBytesAt(unitStart))) return;  // caret moves within the unit
  const auto u = static_cast<std::uint64_t>(m_unitSize);
  SetSelection(unitStart + u, unitStart + u);
}

bool CHexEditorModel::Undo() {
  if (m_undo.empty() || !CanEdit()) return false;
  const auto u = static_cast<std::uint64_t>(m_unitSize);
  const std::uint64_t unit = m_undo.back().offset / u;
  while (!m_undo.empty() && m_undo.back().offset / u == unit) {
    const UndoEntry entry = m_undo.back();
    m_undo.pop_back();
    if (entry.offset < Size()) m_source.GetData()[entry.offset] = entry.oldByte;
  }
  SetSelection(unit * u, unit * u);
  return true;
}

// --- mouse -------------------------------------------------------------------------------

bool CHexEditorModel::MouseDown(int x, int y) {
  const std::optional<HexHit> hit = HitTest(x, y);
  if (!hit) return false;
  m_activeColumn = hit->column;
  SetSelection(hit->offset, hit->offset);
  return true;
}

void CHexEditorModel::DragTo(int x, int y) {
  if (!m_dragging) return;
  if (y < 0 && m_firstRow > 0) VScroll(HexScroll::LineUp);
  if (y >= m_clientHeight) VScroll(HexScroll::LineDown);
  const std::optional<HexHit> hit = HitTest(x, y);
  if (!hit || hit->column != m_activeColumn) return;
  const std::uint64_t o = hit->offset;
  SetSelection(m_anchor, o == 0 ? 0 : o + static_cast<std::uint64_t>(m_unitSize));
}

void CHexEditorModel::EndDrag(int x, int y) {
  DragTo(x, y);
  m_dragging = false;
}

bool CHexEditorModel::DoubleClick(int x, int y) {
  const std::optional<HexHit> hit = HitTest(x, y);
  if (!hit) return false;
  m_activeColumn = hit->column;
  SetSelection(hit->offset, hit->offset + static_cast<std::uint64_t>(m_unitSize));
  return true;
}
