#include "dialogs/InfoRows.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>

#include "controls/ControlId.h"

namespace dialogs {

QLabel* AddInfoRow(QGridLayout* grid, const QString& label, int controlId, const QString& value) {
  QWidget* parent = grid->parentWidget();
  const int row = grid->rowCount();
  auto* caption = new QLabel(label, parent);
  auto* text = new QLabel(value, parent);
  controls::SetControlId(text, controlId);
  text->setTextInteractionFlags(Qt::TextSelectableByMouse);
  text->setTextFormat(Qt::PlainText);  // names read from disk are shown as they are
  grid->addWidget(caption, row, 0, Qt::AlignLeft | Qt::AlignVCenter);
  grid->addWidget(text, row, 1, Qt::AlignLeft | Qt::AlignVCenter);
  return text;
}

void AddInfoSeparator(QGridLayout* grid) {
  auto* line = new QFrame(grid->parentWidget());
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  grid->addWidget(line, grid->rowCount(), 0, 1, 2);
}

QString InfoText(const QWidget* root, int controlId) {
  const auto* label = controls::FindControlAs<QLabel>(root, controlId);
  return label ? label->text() : QString();
}

void SetInfoText(const QWidget* root, int controlId, const QString& text) {
  if (text.isNull()) return;
  if (auto* label = controls::FindControlAs<QLabel>(root, controlId)) label->setText(text);
}

}  // namespace dialogs
