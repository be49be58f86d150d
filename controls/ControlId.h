#pragma once
// Every numbered control carries its number as the dynamic property "controlId";
// menu and toolbar actions carry theirs as "commandId". The language tables
// translate by these numbers, and tests find controls by them.

#include <QAction>
#include <QList>
#include <QWidget>

namespace controls {

inline constexpr const char* kControlIdProperty = "controlId";
inline constexpr const char* kCommandIdProperty = "commandId";

void SetControlId(QWidget* widget, int id);
// The id a widget carries, or -1 when it has none.
int ControlId(const QWidget* widget);
// The first descendant of `root` (breadth first) carrying `id`, or null.
QWidget* FindControl(const QWidget* root, int id);
template <typename T>
T* FindControlAs(const QWidget* root, int id) {
  return qobject_cast<T*>(FindControl(root, id));
}

void SetCommandId(QAction* action, int id);
int CommandId(const QAction* action);
// The first action below `root` (its own and those of its descendants) carrying `id`.
QAction* FindCommand(const QObject* root, int id);

}  // namespace controls
