#include "dialogs/FormParts.h"

#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/App.h"
#include "controls/ControlId.h"
#include "controls/DialogUnits.h"

namespace dialogs {

QVBoxLayout* MakeFormLayout(QWidget* form) {
  const controls::DialogBaseUnits du = controls::BaseUnitsOf(form->font());
  auto* layout = new QVBoxLayout(form);
  const int x = controls::DluToPixelsX(du, 7);
  const int y = controls::DluToPixelsY(du, 7);
  layout->setContentsMargins(x, y, x, y);
  return layout;
}

QGridLayout* MakeInfoGrid(QWidget* form, int rowSpacing, int labelWidth) {
  const controls::DialogBaseUnits du = controls::BaseUnitsOf(form->font());
  auto* grid = new QGridLayout();
  grid->setHorizontalSpacing(controls::DluToPixelsX(du, 8));
  if (rowSpacing > 0) grid->setVerticalSpacing(controls::DluToPixelsY(du, rowSpacing));
  if (labelWidth > 0) grid->setColumnMinimumWidth(0, controls::DluToPixelsX(du, labelWidth));
  grid->setColumnStretch(1, 1);
  return grid;
}

QLabel* AddInfoRow(QGridLayout* grid, const QString& label, int controlId, const QString& value) {
  QWidget* parent = grid->parentWidget();
  const int row = grid->rowCount();
  auto* caption = new QLabel(label, parent);
  auto* text = new QLabel(value, parent);
  controls::SetControlId(text, controlId);
  text->setTextInteractionFlags(Qt::TextSelectableByMouse);
  text->setTextFormat(Qt::PlainText);  // names read from disk are shown as they are
  grid->addWidget(caption, row, 0, Qt::AlignLeft | Qt::AlignTop);
  grid->addWidget(text, row, 1, Qt::AlignLeft | Qt::AlignTop);
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

QPushButton* MakeHelpButton(QWidget* form, int controlId) {
  auto* help = new QPushButton(QStringLiteral("Help"), form);
  controls::SetControlId(help, controlId);
  QObject::connect(help, &QPushButton::clicked, form, [] {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { if (g_App) g_App->OnHelpCommand(kHelpContentsCommand); },
        Qt::QueuedConnection);
  });
  return help;
}

}  // namespace dialogs
