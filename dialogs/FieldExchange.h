#pragma once
// How the dialogs' pages read their fields and refuse what they cannot store: a
// number that is not one, a number outside the range its record keeps, a text
// longer than its field. A refusal names what is wrong in a message box (through
// app::ShowMessageBox, so tests answer it) and gives the control the focus once
// its page is current again.
//
// GUI thread only.

#include <QString>

#include <cstdint>
#include <optional>

class QLineEdit;
class QWidget;

namespace dialogs {

// String ids of the refusals.
inline constexpr int IDS_ENTER_INTEGER = 61712;
inline constexpr int IDS_ENTER_INTEGER_RANGE = 61713;
inline constexpr int IDS_TEXT_TOO_LONG = 61715;
inline constexpr int IDS_TEMP_FOLDER_UNUSABLE = 61730;
inline constexpr int IDS_TYPE_NAME_TAKEN = 61731;

// The edit's text as a signed 32-bit integer (blanks around it allowed); nothing
// for any other text.
std::optional<std::int32_t> ReadInt32(const QLineEdit* edit);

// Shows `text` over the control's window, then (queued) focuses the control and
// selects an edit's text. Returns 1, the refused apply.
int RefuseField(QWidget* control, const QString& text);
// The refusals with the program's texts.
int RefuseNotANumber(QWidget* control);
int RefuseOutOfRange(QWidget* control, std::int32_t low, std::int32_t high);
int RefuseTooLong(QWidget* control, int maxUnits);

// Reads a number in [low, high] from the edit into `value`; 0 when it was stored,
// else the refusal naming the range (1), also for a text that is not a number.
int ExchangeInt(QLineEdit* edit, std::int32_t low, std::int32_t high, std::int32_t& value);

}  // namespace dialogs
