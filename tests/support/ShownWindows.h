#pragma once
// Finding and answering the windows a test's action opens: the shown top-level
// window of a type, and an action run once on it when it appears.

#include <QApplication>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace test {

// The shown top-level window of type T, or null.
template <typename T>
T* ShownTopLevel() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) return t;
  return nullptr;
}

// Runs `action` once on the first shown window of type T, while the returned
// timer lives (a modal dialog's own loop keeps the timer running).
template <typename T>
std::unique_ptr<QTimer> WhenShown(std::function<void(T*)> action) {
  auto timer = std::make_unique<QTimer>();
  QTimer* raw = timer.get();
  QObject::connect(raw, &QTimer::timeout, [raw, action] {
    if (T* window = ShownTopLevel<T>()) {
      raw->stop();
      action(window);
    }
  });
  timer->start(20);
  return timer;
}

}  // namespace test
