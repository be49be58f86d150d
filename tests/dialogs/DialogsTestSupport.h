#pragma once
// Helpers of the dialogs tests: a file-type database in a private registry that
// can be read again as a restart would, and the modal window that opens next,
// handled from a timer.

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "platform/Registry.h"
#include "search/FileTypeDatabase.h"
#include "support/TempDir.h"

namespace test {

class TypesFixture {
 public:
  TypesFixture() : reg_(std::make_unique<platform::RegistryStore>(dir_ / "registry.reg")) {
    db_ = Open(*reg_);
  }
  FileTypeDatabase& db() { return *db_; }
  platform::RegistryStore& registry() { return *reg_; }
  std::string RegistryPath() const { return dir_ / "registry.reg"; }

  // What the next start reads: a new store and database loaded from the file.
  struct Restart {
    std::unique_ptr<platform::RegistryStore> reg;
    std::unique_ptr<FileTypeDatabase> db;
  };
  Restart Reopen() const {
    Restart r{std::make_unique<platform::RegistryStore>(dir_ / "registry.reg"), nullptr};
    r.db = Open(*r.reg);
    return r;
  }

 private:
  static std::unique_ptr<FileTypeDatabase> Open(platform::RegistryStore& store) {
    auto d = std::make_unique<FileTypeDatabase>();
    d->SetRegistry(&store);
    d->LoadFileTypes();
    return d;
  }
  TempDir dir_{"vandrel-dialogs-"};
  std::unique_ptr<platform::RegistryStore> reg_;
  std::unique_ptr<FileTypeDatabase> db_;
};

// Runs `handle` on the next modal dialog to appear (polled from a timer), so that
// a test can drive a dialog that its code under test runs with exec().
inline void OnNextModal(std::function<void(QDialog*)> handle, int tries = 200) {
  QTimer::singleShot(10, [handle = std::move(handle), tries]() mutable {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog && dialog->isVisible()) {
      handle(dialog);
      return;
    }
    if (tries > 0) OnNextModal(std::move(handle), tries - 1);
  });
}

}  // namespace test
