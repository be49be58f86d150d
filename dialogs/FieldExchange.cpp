#include "dialogs/FieldExchange.h"

#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "app/App.h"
#include "app/MessageBox.h"
#include "app/QtText.h"
#include "platform/Format.h"

namespace dialogs {

std::optional<std::int32_t> ReadInt32(const QLineEdit* edit) {
  if (!edit) return std::nullopt;
  bool ok = false;
  const int value = edit->text().trimmed().toInt(&ok, 10);
  if (!ok) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

int RefuseField(QWidget* control, const QString& text) {
  QWidget* owner = control ? control->window() : nullptr;
  app::ShowMessageBox(owner, text, owner ? owner->windowTitle() : QString(), Buttons::Ok, MessageIcon::Warning);
  QPointer<QWidget> target = control;
  QTimer::singleShot(0, [target] {
    if (!target) return;
    target->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(target.data())) edit->selectAll();
  });
  return 1;
}

int RefuseNotANumber(QWidget* control) { return RefuseField(control, LangString(IDS_ENTER_INTEGER)); }

int RefuseOutOfRange(QWidget* control, std::int32_t low, std::int32_t high) {
  return RefuseField(control, app::ToQString(platform::Format(GetLangString(IDS_ENTER_INTEGER_RANGE), low, high)));
}

int RefuseTooLong(QWidget* control, int maxUnits) {
  return RefuseField(control, app::ToQString(platform::Format(GetLangString(IDS_TEXT_TOO_LONG), maxUnits)));
}

int ExchangeInt(QLineEdit* edit, std::int32_t low, std::int32_t high, std::int32_t& value) {
  const std::optional<std::int32_t> read = ReadInt32(edit);
  if (!read || *read < low || *read > high) return RefuseOutOfRange(edit, low, high);
  value = *read;
  return 0;
}

}  // namespace dialogs
