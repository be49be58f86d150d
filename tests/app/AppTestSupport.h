#pragma once
// Helpers of the application tests: a private configuration folder per test (the
// registry store is read again from it) and message boxes answered from a script.

#include <QList>
#include <QString>

#include <cstdlib>
#include <deque>
#include <memory>
#include <string>

#include "app/MessageBox.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

namespace test {

// Points VANDREL_CONFIG_DIR at a new empty folder for the test's life.
class ScopedConfig {
 public:
  ScopedConfig() : dir_("vandrel-app-config-") {
    const char* old = std::getenv("VANDREL_CONFIG_DIR");
    if (old) old_ = old;
    setenv("VANDREL_CONFIG_DIR", dir_.path().c_str(), 1);
    platform::ResetCurrentUserRegistry();
  }
  ~ScopedConfig() {
    setenv("VANDREL_CONFIG_DIR", old_.c_str(), 1);
    platform::ResetCurrentUserRegistry();
  }
  const std::string& path() const { return dir_.path(); }
  std::string RegistryFile() const { return dir_.path() + "/registry.reg"; }

 private:
  TempDir dir_;
  std::string old_;
};

// Records every message box and answers from a queue (then with `fallback`).
class ScriptedBoxes {
 public:
  explicit ScriptedBoxes(Answer fallback = Answer::Ok) : fallback_(fallback) {
    previous_ = app::SetMessageBoxHandler([this](const app::MessageBoxRequest& r) {
      shown.append(r);
      if (answers_.empty()) return fallback_;
      const Answer a = answers_.front();
      answers_.pop_front();
      return a;
    });
  }
  ~ScriptedBoxes() { app::SetMessageBoxHandler(std::move(previous_)); }
  void Queue(::Answer a) { answers_.push_back(a); }

  QList<app::MessageBoxRequest> shown;

 private:
  ::Answer fallback_;
  std::deque<::Answer> answers_;
  app::MessageBoxHandler previous_;
};

}  // namespace test
