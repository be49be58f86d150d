#include "controls/ControlId.h"

#include <QQueue>

namespace controls {

void SetControlId(QWidget* widget, int id) {
  if (widget) widget->setProperty(kControlIdProperty, id);
}

int ControlId(const QWidget* widget) {
  if (!widget) return -1;
  const QVariant value = widget->property(kControlIdProperty);
  bool ok = false;
  const int id = value.toInt(&ok);
  return value.isValid() && ok ? id : -1;
}

QWidget* FindControl(const QWidget* root, int id) {
  if (!root) return nullptr;
  QQueue<const QObject*> queue;
  queue.enqueue(root);
  while (!queue.isEmpty()) {
    const QObject* object = queue.dequeue();
    for (QObject* child : object->children()) {
      if (auto* widget = qobject_cast<QWidget*>(child)) {
        if (ControlId(widget) == id) return widget;
      }
      queue.enqueue(child);
    }
  }
  return nullptr;
}

void SetCommandId(QAction* action, int id) {
  if (action) action->setProperty(kCommandIdProperty, id);
}

int CommandId(const QAction* action) {
  if (!action) return -1;
  const QVariant value = action->property(kCommandIdProperty);
  bool ok = false;
  const int id = value.toInt(&ok);
  return value.isValid() && ok ? id : -1;
}

QAction* FindCommand(const QObject* root, int id) {
  if (!root) return nullptr;
  if (auto* action = qobject_cast<const QAction*>(root); action && CommandId(action) == id) {
    return const_cast<QAction*>(action);
  }
  QQueue<const QObject*> queue;
  queue.enqueue(root);
  while (!queue.isEmpty()) {
    const QObject* object = queue.dequeue();
    if (auto* widget = qobject_cast<const QWidget*>(object)) {
      for (QAction* action : widget->actions()) {
        if (CommandId(action) == id) return action;
      }
    }
    for (QObject* child : object->children()) {
      if (auto* action = qobject_cast<QAction*>(child); action && CommandId(action) == id) return action;
      queue.enqueue(child);
    }
  }
  return nullptr;
}

}  // namespace controls
