#pragma once
// The read-only information forms (volume information pages, file information)
// are columns of "label: value" rows. These helpers add such rows to a grid: the
// label is a plain static, the value a numbered static whose text can be selected
// and copied.
//
// GUI thread only.

#include <QString>

class QGridLayout;
class QLabel;
class QWidget;

namespace dialogs {

// Appends a row to `grid` (label in column 0, value in column 1) and returns the
// value's static, which carries `controlId`.
QLabel* AddInfoRow(QGridLayout* grid, const QString& label, int controlId, const QString& value = QString());
// Appends a sunken line across both columns.
void AddInfoSeparator(QGridLayout* grid);
// The text of the numbered static below `root` ("" when there is none).
QString InfoText(const QWidget* root, int controlId);
// Sets the text of the numbered static below `root`; a null text changes nothing.
void SetInfoText(const QWidget* root, int controlId, const QString& text);

}  // namespace dialogs
