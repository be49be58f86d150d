#pragma once
// What the tests of the volume, file, image, virtual drive and "try to open"
// dialogs share: the program's objects as start-up makes them (the application
// object with a private configuration folder, the computer object), and volumes
// held in memory or opened from the fixture images.

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTest>

#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/App.h"
#include "engine/device/MemoryBlockDevice.h"
#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"
#include "platform/Text.h"
#include "search/FileTypeDatabase.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"
#include "tests/app/AppTestSupport.h"
#include "tests/dialogs/DialogsTestSupport.h"

namespace test {

class DialogWorld {
 public:
  DialogWorld() {
    app = std::make_unique<CApp>(QString::fromStdString(programDir.path()));
    app->LoadSettings();
    app->SetRunEventLoop(false);
    app->SetExitFunction([](int) {});
    computer = std::make_unique<CLocalComputer>();
    computer->GetLog().SetTimeStamps(false);
    types = std::make_shared<FileTypeDatabase>();
    types->InstallAsProgramDatabase();
    types->LoadFileTypes();  // the built-in types, in the private registry
    computer->SetFileTypeDatabase(types);
  }
  ~DialogWorld() {
    QList<QPointer<QWidget>> windows;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (!w->parentWidget()) windows.append(w);
    for (auto& w : windows) delete w.data();
    CVolume::JoinAnalysisThreads();
    computer.reset();
    types.reset();
    app.reset();
  }
  DialogWorld(const DialogWorld&) = delete;
  DialogWorld& operator=(const DialogWorld&) = delete;

  // The whole analysis of a volume, as "Analyze" starts it; true when it ended.
  bool Analyse(const std::shared_ptr<CVolume>& volume) {
    if (computer->StartAnalysis(volume) != 1) return false;
    return QTest::qWaitFor([&] { return !volume->HasAnalysisThread(); }, 30000) &&
           CVolume::WaitForAnalysisEnd(std::chrono::milliseconds(5000));
  }

  bool Logged(const std::u16string& text) const {
    for (const auto& l : computer->GetLog().Lines())
      if (l.find(text) != std::u16string::npos) return true;
    return false;
  }

  ScopedConfig config;
  TempDir programDir{"vandrel-dialogs-program-"};
  std::unique_ptr<CApp> app;
  std::unique_ptr<CLocalComputer> computer;
  std::shared_ptr<FileTypeDatabase> types;
};

inline std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// An image-file volume over bytes in memory, set up as opening an image sets it
// up. Its path names a file that exists and is no block device (an image may be
// written anywhere then), but is never read.
inline std::shared_ptr<CVolume> MemoryImage(std::shared_ptr<MemoryBlockDevice> device,
                                            const std::u16string& path = u"/dev/null") {
  auto v = std::make_shared<CVolume>(CVolume::kImageFile);
  v->SetDevicePath(path);
  v->SetDeviceOpener([device](int&) { return device; });
  v->SetReadRetries(0);
  v->QueryInformation();
  v->BootSetup();
  v->SetState(CVolume::kReady);
  return v;
}

}  // namespace test
