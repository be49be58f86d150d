#pragma once
// The parts the dialogs' forms share. The read-only information forms (volume
// information pages, file information) are columns of "label: value" rows: the
// label is a plain static, the value a numbered static whose text can be selected
// and copied. Every form has the same margins, and a Help button that asks the
// program's help for its contents (command 57670, queued).
//
// GUI thread only.

#include <QString>

class QGridLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace dialogs {

inline constexpr int kHelpContentsCommand = 57670;

// The form's outer layout, with the margins of a dialog (7 dialog units).
QVBoxLayout* MakeFormLayout(QWidget* form);
// A grid for information rows: `rowSpacing` dialog units between rows and at
// least `labelWidth` for the labels.
QGridLayout* MakeInfoGrid(QWidget* form, int rowSpacing = 0, int labelWidth = 0);
// Appends a row to `grid` (label in column 0, value in column 1) and returns the
// value's static, which carries `controlId`.
QLabel* AddInfoRow(QGridLayout* grid, const QString& label, int controlId, const QString& value = QString());
// Appends a sunken line across both columns.
void AddInfoSeparator(QGridLayout* grid);
// The text of the numbered static below `root` ("" when there is none).
QString InfoText(const QWidget* root, int controlId);
// Sets the text of the numbered static below `root`; a null text changes nothing.
void SetInfoText(const QWidget* root, int controlId, const QString& text);

// A "Help" button carrying `controlId`: a click posts the help command.
QPushButton* MakeHelpButton(QWidget* form, int controlId);

}  // namespace dialogs
