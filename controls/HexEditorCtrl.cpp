#include "controls/HexEditorCtrl.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <limits>
#include <new>
#include <optional>

#include "resources/StringTable.h"

namespace {

QString ToQString(const std::u16string& text) { return QString::fromStdU16String(text); }

QString BuiltinText(int id) {
  const std::u16string_view text = BuiltinString(static_cast<std::uint32_t>(id));
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// Offsets and the header of the control with the header line, and its lines.
const QColor kHeaderTextColor(0, 0, 200);
const QColor kHeaderLineColor(0xC8, 0xC8, 0xC8);

std::optional<HexKey> KeyOf(int key) {
  switch (key) {
    case Qt::Key_PageUp: return HexKey::PageUp;
    case Qt::Key_PageDown: return HexKey::PageDown;
    case Qt::Key_End: return HexKey::End;
    case Qt::Key_Home: return HexKey::Home;
    case Qt::Key_Left: return HexKey::Left;
    case Qt::Key_Up: return HexKey::Up;
    case Qt::Key_Right: return HexKey::Right;
    case Qt::Key_Down: return HexKey::Down;
    case Qt::Key_Delete: return HexKey::Delete;
    case Qt::Key_F6: return HexKey::F6;
    default: return std::nullopt;
  }
}

}  // namespace

CHexEditorCtrl::CHexEditorCtrl(QWidget* parent) : CHexEditorCtrl(false, parent) {}

CHexEditorCtrl::CHexEditorCtrl(bool headerLine, QWidget* parent) : QAbstractScrollArea(parent), m_model(headerLine) {
  setFrameShape(QFrame::NoFrame);
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  viewport()->setMouseTracking(true);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  // The system's fixed-pitch font: bold here, plain with the header line.
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setFixedPitch(true);
  font.setBold(!headerLine);
  setFont(font);
  UpdateMetrics();
  const int flash = QApplication::cursorFlashTime();
  m_blink.setInterval(flash > 0 ? flash / 2 : 500);
  connect(&m_blink, &QTimer::timeout, this, [this] {
    m_blinkOn = !m_blinkOn;
    viewport()->update();
  });
  SyncView();
}

CHexEditorCtrl::~CHexEditorCtrl() = default;

// --- operations --------------------------------------------------------------------

void CHexEditorCtrl::SetData(std::uint8_t* data, std::uint64_t size) {
  m_pressed = false;
  m_model.SetData(data, size);
  SyncView();
}

bool CHexEditorCtrl::OpenFile(const QString& path) {
  if (!m_model.OpenFile(QFile::encodeName(path).toStdString())) return false;
  m_pressed = false;
  SyncView();
  return true;
}

void CHexEditorCtrl::SetPages(std::shared_ptr<IHexPageProvider> pages, std::uint64_t size) {
  m_pressed = false;
  m_model.SetPages(std::move(pages), size);
  SyncView();
}

bool CHexEditorCtrl::SetSelection(std::uint64_t anchor, std::uint64_t end) {
  const bool set = m_model.SetSelection(anchor, end);
  SyncView();
  return set;
}

void CHexEditorCtrl::GetSelection(std::uint64_t& first, std::uint64_t& last) const {
  m_model.GetSelection(first, last);
}

bool CHexEditorCtrl::Undo() {
  const bool undone = m_model.Undo();
  SyncView();
  return undone;
}

void CHexEditorCtrl::SetReadOnly(bool readOnly) {
  m_model.SetReadOnly(readOnly);
  SyncView();
}

void CHexEditorCtrl::SetUnitSize(int unitSize) {
  m_model.SetUnitSize(unitSize);
  SyncView();
}

void CHexEditorCtrl::SetMargins(int left, int top) {
  m_model.SetMargins(left, top);
  SyncView();
}

void CHexEditorCtrl::SetColumns(int offset, int hex, int text) {
  m_model.SetColumns(offset == 1, hex == 1, text == 1);
  SyncView();
}

void CHexEditorCtrl::SetSubstituteChar(char16_t ch) {
  m_model.SetSubstituteChar(ch);
  viewport()->update();
}

bool CHexEditorCtrl::OnCommand(int id) {
  switch (id) {
    case kIdEditCopy: OnEditCopy(); return true;
    case kIdEditUndo: OnEditUndo(); return true;
    case kIdNextPane: OnNextPane(); return true;
    default: return false;
  }
}

void CHexEditorCtrl::OnEditCopy() {
  const std::uint64_t length = m_model.SelectionLength();
  if (length == 0) return;
  // Paged data: only bytes that are there can be copied.
  if (!m_model.SelectionAvailable()) {
    QApplication::beep();
    return;
  }
  if (length > CHexEditorModel::kCopyAskLimit &&
      !AskQuestion(BuiltinText(kIdsLargeCopyText), BuiltinText(kIdsLargeCopyCaption))) {
    return;
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    const std::uint64_t length = m_model.CopyTextLength();
    if (length > static_cast<std::uint64_t>(std::numeric_limits<qsizetype>::max() / 4)) throw std::bad_alloc();
    QString text(static_cast<qsizetype>(length), Qt::Uninitialized);
    m_model.CopyTextTo(reinterpret_cast<char16_t*>(text.data()));
    QApplication::clipboard()->setText(text);
  } catch (const std::bad_alloc&) {
    // More text than memory holds: nothing is copied.
    QApplication::beep();
  }
  QApplication::restoreOverrideCursor();
}

void CHexEditorCtrl::OnEditUndo() { Undo(); }

void CHexEditorCtrl::OnNextPane() {
  m_model.NextPane();
  SyncView();
}

bool CHexEditorCtrl::AskQuestion(const QString& text, const QString& caption) {
  if (m_question) return m_question(text, caption);
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return QMessageBox::question(this, caption, shown, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
         QMessageBox::Yes;
}

// --- view ------------------------------------------------------------------------------

void CHexEditorCtrl::UpdateMetrics() {
  const QFontMetrics metrics(font());
  m_model.SetMetrics(metrics.horizontalAdvance(QLatin1Char('0')), metrics.height());
}

void CHexEditorCtrl::SyncView() {
  m_model.SetClientSize(viewport()->width(), viewport()->height());
  QScrollBar* bar = verticalScrollBar();
  m_syncing = true;
  bar->setRange(0, m_model.ScrollBarMax());
  bar->setPageStep(std::max(1, m_model.GetVisibleRows()));
  bar->setSingleStep(1);
  bar->setValue(m_model.ScrollBarValue());
  m_syncing = false;
  // The caret shows at once wherever it went, then blinks.
  m_blinkOn = true;
  if (m_model.IsCaretCreated()) m_blink.start();
  else m_blink.stop();
  viewport()->update();
}

void CHexEditorCtrl::scrollContentsBy(int, int) {
  if (m_syncing) return;
  m_model.SetFirstRow(m_model.RowFromScrollBar(verticalScrollBar()->value()));
  viewport()->update();
}

void CHexEditorCtrl::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  SyncView();
}

void CHexEditorCtrl::showEvent(QShowEvent* event) {
  QAbstractScrollArea::showEvent(event);
  SyncView();
}

void CHexEditorCtrl::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    UpdateMetrics();
    SyncView();
  }
}

void CHexEditorCtrl::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  const QPalette& pal = palette();
  const QColor background = pal.color(QPalette::Base);
  painter.fillRect(viewport()->rect(), background);
  if (!m_model.HasData()) return;  // nothing but the background
  m_model.WantVisibleRows();

  painter.setFont(font());
  const int w = m_model.CharWidth();
  const int h = m_model.LineHeight();
  const int ascent = QFontMetrics(font()).ascent();
  const int unit = m_model.GetUnitSize();
  const bool header = m_model.HasHeaderLine();
  const HexLayout layout = m_model.Layout();
  const std::uint64_t size = m_model.Size();

  const QColor normalText = m_model.CanEdit() ? pal.color(QPalette::Text)
                                              : pal.color(QPalette::Disabled, QPalette::Text);
  const QColor offsetText = header ? kHeaderTextColor : pal.color(QPalette::Text);
  auto colours = [&](HexColumn column, bool selected) -> std::pair<QColor, QColor> {
    if (!selected) return {normalText, background};
    if (column == m_model.GetActiveColumn()) return {pal.color(QPalette::HighlightedText), pal.color(QPalette::Highlight)};
    return {pal.color(QPalette::Text), pal.color(QPalette::Button)};
  };
  auto cell = [&](int x, int y, const QString& text, const QColor& fg, const QColor& bg) {
    painter.fillRect(x, y, static_cast<int>(text.size()) * w, h, bg);
    painter.setPen(fg);
    painter.drawText(x, y + ascent, text);
  };

  const int rows = m_model.GetVisibleRows() + 1;
  for (int r = 0; r < rows; ++r) {
    const std::uint64_t rowOffset = (m_model.FirstRow() + static_cast<std::uint64_t>(r)) * 16;
    if (rowOffset >= size) break;
    const int y = m_model.GetTopMargin() + r * h;
    if (m_model.ShowsOffsets()) {
      cell(layout.offsetLeft, y, ToQString(m_model.FormatOffset(rowOffset)), offsetText, background);
    }
    // A row of paged data whose page has not arrived yet: its offset only.
    if (!m_model.IsAvailable(rowOffset)) continue;
    if (m_model.ShowsHex()) {
      for (int j = 0; j < 16 && rowOffset + static_cast<std::uint64_t>(j) < size; j += unit) {
        const std::uint64_t offset = rowOffset + static_cast<std::uint64_t>(j);
        const auto [fg, bg] = colours(HexColumn::Hex, m_model.IsSelected(offset));
        QString text = ToQString(m_model.FormatUnit(offset));
        int x = m_model.UnitX(layout, j);
        // Every unit after the first carries its separating blank in its colours.
        if (j > 0) {
          text.prepend(QLatin1Char(' '));
          x -= w;
        }
        if (header && unit == 1 && j == 7) text.append(QLatin1Char(' '));
        cell(x, y, text, fg, bg);
      }
    }
    if (m_model.ShowsText()) {
      for (int j = 0; j < 16 && rowOffset + static_cast<std::uint64_t>(j) < size; ++j) {
        const std::uint64_t offset = rowOffset + static_cast<std::uint64_t>(j);
        const auto [fg, bg] = colours(HexColumn::Text, m_model.IsSelected(offset));
        cell(layout.text.left + j * w, y, QString(QChar(m_model.DisplayChar(m_model.ByteAt(offset)))), fg, bg);
      }
    }
  }

  if (header) PaintHeader(painter, layout);

  if (m_blinkOn) {
    if (const std::optional<HexCaret> caret = m_model.CaretPos()) {
      // An inverting bar 2 pixels wide, as a system caret.
      painter.setCompositionMode(QPainter::CompositionMode_Difference);
      painter.fillRect(caret->x, caret->y, 2, std::max(1, h - 2), Qt::white);
      painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
  }
}

void CHexEditorCtrl::PaintHeader(QPainter& painter, const HexLayout& layout) {
  const int w = m_model.CharWidth();
  const int h = m_model.LineHeight();
  const int top = m_model.GetTopMargin();
  const int bottom = viewport()->height();
  // The lines: under the header, after the offsets, after the hex and the text columns.
  const int offsetEdge = m_model.ShowsOffsets() ? layout.offsetRight - w : -1;
  const int hexEdge = m_model.ShowsHex() ? layout.hex.right + w : -1;
  const int textEdge = m_model.ShowsText() ? layout.text.right + w : -1;
  const int rightmost = std::max({offsetEdge, hexEdge, textEdge, 1});
  painter.setPen(QPen(kHeaderLineColor, 1));
  painter.drawLine(1, top - 2, rightmost, top - 2);
  if (offsetEdge >= 0) painter.drawLine(offsetEdge, 0, offsetEdge, bottom);
  if (hexEdge >= 0) painter.drawLine(hexEdge, 0, hexEdge, bottom);
  if (textEdge >= 0) painter.drawLine(textEdge, 0, textEdge, bottom);

  const QColor background = palette().color(QPalette::Base);
  const int ascent = QFontMetrics(font()).ascent();
  const int y = top / 2 - h / 2 - 1;
  auto title = [&](int x, const QString& text) {
    painter.fillRect(x, y, static_cast<int>(text.size()) * w, h, background);
    painter.setPen(kHeaderTextColor);
    painter.drawText(x, y + ascent, text);
  };
  if (m_model.ShowsOffsets()) {
    const QString text = QStringLiteral("Offset ");
    title(offsetEdge / 2 - static_cast<int>(text.size()) * w / 2, text);
  }
  if (m_model.ShowsHex()) {
    // Each unit's number over its last digit, placed as the unit itself is (a
    // whole title line drawn as one text drifts with the font's advances).
    for (const HexTitle& t : m_model.HeaderTitles(layout)) title(t.x, QString(QChar(t.digit)));
  }
}

// --- input ------------------------------------------------------------------------------

void CHexEditorCtrl::keyPressEvent(QKeyEvent* event) {
  if (m_model.IsDragging()) {
    // Any key during a drag only ends the drag.
    m_model.CancelDrag();
    m_pressed = false;
    event->accept();
    return;
  }
  const bool shift = event->modifiers() & Qt::ShiftModifier;
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  if (const std::optional<HexKey> key = KeyOf(event->key())) {
    m_model.KeyDown(*key, shift, ctrl);
    SyncView();
    event->accept();
    return;
  }
  // Typing: the characters the key produced, as the keyboard layout makes them.
  const QString text = event->text();
  if (text.isEmpty() || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
    event->ignore();
    return;
  }
  bool typed = false;
  for (const QChar ch : text) {
    const CHexEditorModel::TypeResult result = m_model.TypeChar(ch.unicode());
    if (result == CHexEditorModel::TypeResult::Refused) QApplication::beep();
    typed = typed || result == CHexEditorModel::TypeResult::Typed;
  }
  if (typed) SyncView();
  event->accept();
}

void CHexEditorCtrl::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  if (event->button() != Qt::LeftButton) return;
  const QPoint pos = event->position().toPoint();
  m_pressed = m_model.MouseDown(pos.x(), pos.y());
  m_pressPos = pos;
  if (m_pressed) SyncView();
}

void CHexEditorCtrl::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (m_pressed && !m_model.IsDragging() && (event->buttons() & Qt::LeftButton) &&
      (pos - m_pressPos).manhattanLength() >= QApplication::startDragDistance()) {
    m_model.BeginDrag();
  }
  if (m_model.IsDragging()) {
    m_model.DragTo(pos.x(), pos.y());
    SyncView();
  }
  const bool overData = m_model.HasData() && m_model.HitTest(pos.x(), pos.y()).has_value();
  viewport()->setCursor(overData ? Qt::IBeamCursor : Qt::ArrowCursor);
}

void CHexEditorCtrl::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  m_pressed = false;
  if (m_model.IsDragging()) {
    const QPoint pos = event->position().toPoint();
    m_model.EndDrag(pos.x(), pos.y());
    SyncView();
  }
}

void CHexEditorCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint pos = event->position().toPoint();
  if (m_model.DoubleClick(pos.x(), pos.y())) SyncView();
}

void CHexEditorCtrl::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  if (delta == 0) {
    event->ignore();
    return;
  }
  m_model.Wheel(delta);
  SyncView();
  event->accept();
}

void CHexEditorCtrl::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  m_model.SetCaretCreated(true);
  SyncView();
}

void CHexEditorCtrl::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  m_model.SetCaretCreated(false);
  SyncView();
}
