#pragma once
// The hex editor: rows of 16 bytes with their offset, the bytes in hexadecimal
// units of 1, 2 or 4 bytes and the same bytes as characters. The user moves a
// caret, selects with keys or mouse, types hex digits or characters over the bytes
// in place, undoes the last edited unit and copies the selection as text.
//
// The bytes are a caller's buffer (SetData; the caller keeps it alive and
// unchanged while it is shown) or a regular file mapped into memory (OpenFile;
// read-only while the control is). CHexEditorCtrl2 is the same control with a
// header line (see there).
//
// The widget paints what CHexEditorModel lays out (visible rows + 1), draws its
// own 2-pixel caret and passes keys, mouse and wheel to the model. The commands
// copy, undo and next pane are slots; which keys or menu items send them is the
// host's business (F6 switches the column by itself).
//
// Owner: the parent widget. GUI thread only.

#include <QAbstractScrollArea>
#include <QFont>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <utility>

#include "controls/HexEditorModel.h"

class QPainter;

class CHexEditorCtrl : public QAbstractScrollArea {
  Q_OBJECT

 public:
  // Command ids the control handles (OnCommand).
  static constexpr int kIdEditCopy = 0xE122;
  static constexpr int kIdEditUndo = 0xE12B;
  static constexpr int kIdNextPane = 0xE150;
  // Built-in strings of the question before a large copy.
  static constexpr int kIdsLargeCopyText = 132;
  static constexpr int kIdsLargeCopyCaption = 133;

  explicit CHexEditorCtrl(QWidget* parent = nullptr);
  ~CHexEditorCtrl() override;

  // Shows `size` bytes of the caller's buffer, edited in place.
  void SetData(std::uint8_t* data, std::uint64_t size);
  // Shows a regular file through a mapping. False, with the view unchanged, when
  // the file can't be opened or mapped, or is not a regular non-empty file.
  bool OpenFile(const QString& path);
  // Shows `size` bytes that `pages` fetches, read-only: rows whose page has not
  // arrived show their offset only; the provider repaints the view when pages come.
  void SetPages(std::shared_ptr<IHexPageProvider> pages, std::uint64_t size);

  bool SetSelection(std::uint64_t anchor, std::uint64_t end);
  void GetSelection(std::uint64_t& first, std::uint64_t& last) const;
  bool HasSelection() const { return m_model.HasSelection(); }
  bool CanUndo() const { return m_model.CanUndo(); }
  bool Undo();
  bool IsReadOnly() const { return m_model.IsReadOnly(); }
  void SetReadOnly(bool readOnly);
  int GetUnitSize() const { return m_model.GetUnitSize(); }
  void SetUnitSize(int unitSize);
  std::pair<int, int> GetMargins() const { return {m_model.GetLeftMargin(), m_model.GetTopMargin()}; }
  void SetMargins(int left, int top);
  // Each column is shown when its argument is 1.
  void SetColumns(int offset, int hex, int text);
  void SetSubstituteChar(char16_t ch);
  int GetLineHeight() const { return m_model.LineHeight(); }
  int GetVisibleRows() const { return m_model.GetVisibleRows(); }

  const CHexEditorModel& Model() const { return m_model; }

  // The Yes/No question asked before a copy of more than 65,536 bytes; true for
  // Yes. By default a question box; tests answer it themselves.
  using Question = std::function<bool(const QString& text, const QString& caption)>;
  void SetQuestion(Question question) { m_question = std::move(question); }

  // Runs a command by id (copy, undo, next pane); false for any other id.
  bool OnCommand(int id);

 public slots:
  void OnEditCopy();
  void OnEditUndo();
  void OnNextPane();

 protected:
  // For CHexEditorCtrl2: the header-line layout and its plain font.
  CHexEditorCtrl(bool headerLine, QWidget* parent);

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  void UpdateMetrics();
  // The scroll bar, the caret's blink and the picture follow the model.
  void SyncView();
  void PaintHeader(QPainter& painter, const HexLayout& layout);
  bool AskQuestion(const QString& text, const QString& caption);

  CHexEditorModel m_model;
  QTimer m_blink;
  bool m_blinkOn = true;
  bool m_syncing = false;
  bool m_pressed = false;  // a left press hit the data; a drag may follow
  QPoint m_pressPos;
  Question m_question;
};
