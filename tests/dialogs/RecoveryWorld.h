#pragma once
// The program's objects as start-up makes them (application object, settings,
// computer object with its two recovery jobs, file-type database), with the
// dialogs library registered, for the recovery dialogs' tests. Message boxes and
// the folder picker are answered from scripts; a top window counts the
// WM_START_RECOVERY messages it receives and may act on them as the explorer does.
// Helpers drive modal dialogs by clicks and wait for the engine's threads.

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/App.h"
#include "app/QtText.h"
#include "app/Startup.h"
#include "controls/ControlId.h"
#include "dialogs/DialogsRegistration.h"
#include "dialogs/FolderPicker.h"
#include "engine/device/MemoryBlockDevice.h"
#include "engine/records/Messages.h"
#include "engine/records/ProgramLog.h"
#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"
#include "platform/Text.h"
#include "search/FileTypeDatabase.h"
#include "search/RecoveryJobs.h"
#include "search/SignaturePass.h"
#include "support/StoreRoot.h"
#include "support/TempDir.h"
#include "tests/app/AppTestSupport.h"

namespace test {

// The top window: counts WM_START_RECOVERY and runs `onStartRecovery` for each.
class RecoveryTopWindow : public QWidget {
 public:
  int startRecovery = 0;
  std::function<void()> onStartRecovery;

 protected:
  bool event(QEvent* e) override {
    if (e->type() == static_cast<QEvent::Type>(WM_START_RECOVERY)) {
      ++startRecovery;
      if (onStartRecovery) onStartRecovery();
      return true;
    }
    return QWidget::event(e);
  }
};

// A memory device whose every read takes a while, as a slow disk does.
class SlowMemoryDevice : public MemoryBlockDevice {
 public:
  SlowMemoryDevice(std::vector<std::uint8_t> data, std::chrono::milliseconds delay)
      : MemoryBlockDevice(std::move(data)), delay_(delay) {}
  std::int64_t ReadAt(void* buffer, std::size_t length, std::uint64_t offset) override {
    std::this_thread::sleep_for(delay_);
    return MemoryBlockDevice::ReadAt(buffer, length, offset);
  }

 private:
  std::chrono::milliseconds delay_;
};

class RecoveryWorld {
 public:
  RecoveryWorld() {
    CStartup::Seams seams;
    seams.isUserAdmin = [] { return true; };
    seams.registerLibraries = [](CApp& app) { RegisterDialogs(app); };
    seams.runEventLoop = false;
    seams.programDir = QString::fromStdString(programDir.path());
    startup = std::make_unique<CStartup>(seams);
    startup->BuildProgramObjects();
    App().Settings().SetDestinationFolder(platform::Utf8ToUtf16(dir / "Recovered Files"));
    App().SetTopWindow(&top);
    Computer().GetLog().SetTimeStamps(false);
    previousPicker = CFolderPicker::SetHandler([this](QWidget*, const QString& title, const QString& start) {
      pickerTitles.push_back(title);
      pickerStarts.push_back(start);
      if (picks.empty()) return QString();
      const QString next = picks.front();
      picks.pop_front();
      return next;
    });
  }
  ~RecoveryWorld() {
    CFolderPicker::SetHandler(std::move(previousPicker));
    for (CRecovery* job : {&RecoveryJob(), &TryOpenJob()}) {
      job->StopRecovery();
      job->Join();
    }
    App().SetTopWindow(nullptr);
    startup.reset();
  }

  CApp& App() { return *startup->App(); }
  CLocalComputer& Computer() { return *startup->Computer(); }
  AppSettings& Settings() { return App().Settings(); }
  FileTypeDatabase& Types() {
    if (!typesLoaded) {
      startup->FileTypes()->LoadFileTypes();
      InstallSignaturePass(startup->FileTypes());
      typesLoaded = true;
    }
    return *startup->FileTypes();
  }

  bool Logged(std::u16string_view text) {
    for (const std::u16string& line : Computer().GetLog().Lines())
      if (line.find(text) != std::u16string::npos) return true;
    return false;
  }
  int LoggedCount(std::u16string_view text) {
    int n = 0;
    for (const std::u16string& line : Computer().GetLog().Lines())
      if (line.find(text) != std::u16string::npos) ++n;
    return n;
  }

  // An image-file volume over memory (reads delayed by `delay`), with a root
  // folder record, listed in the drive list.
  std::shared_ptr<CVolume> MemoryVolume(std::vector<std::uint8_t> data,
                                        std::chrono::milliseconds delay = std::chrono::milliseconds(0)) {
    const std::string path = dir / ("memory" + std::to_string(++volumes) + ".dsk");
    std::ofstream(path) << "";
    auto v = std::make_shared<CVolume>(CVolume::kImageFile);
    v->SetDevicePath(platform::Utf8ToUtf16(path));
    auto shared = std::make_shared<std::vector<std::uint8_t>>(std::move(data));
    v->SetDeviceOpener([shared, delay](int&) -> std::shared_ptr<IBlockDevice> {
      if (delay.count() > 0) return std::make_shared<SlowMemoryDevice>(*shared, delay);
      return std::make_shared<MemoryBlockDevice>(*shared);
    });
    v->SetReadRetries(0);
    test::AddRootFolder(v->Store());
    return v;
  }
  FoundObject* Add(CVolume& v, std::int32_t id, std::u16string_view name, std::int64_t offset, std::int64_t size,
                   std::uint16_t flags = 0, std::int32_t parent = 0) {
    FoundObject o;
    o.id = id;
    o.parentId = parent;
    o.flags = std::uint16_t(flags | OBJ_NAMED);
    o.SetName(name);
    o.offset = offset;
    o.size = size;
    return v.Store().RegisterObject(o);
  }

  // Opens a fixture image, analyses it (the signature pass when asked) and waits
  // for the end.
  std::shared_ptr<CVolume> Analyse(const std::string& image, bool signaturePass) {
    Types();
    Settings().SetSignaturePass(signaturePass ? 1 : 0);
    auto volume = Computer().OpenImageFile(platform::Utf8ToUtf16(image));
    if (!volume) return nullptr;
    if (Computer().StartAnalysis(volume) != 1) return nullptr;
    const bool done = WaitUntil([&] { return !App().Progress().IsRunning() && !volume->HasAnalysisThread(); },
                                std::chrono::seconds(120));
    CVolume::JoinAnalysisThreads();
    return done ? volume : nullptr;
  }

  // Runs the event loop until `done` or the time-out.
  static bool WaitUntil(const std::function<bool()>& done,
                        std::chrono::milliseconds timeout = std::chrono::milliseconds(20000)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      QTest::qWait(10);
    }
    return true;
  }

  TempDir dir;
  TempDir programDir;
  ScopedConfig config;
  ScriptedBoxes boxes;
  RecoveryTopWindow top;
  std::unique_ptr<CStartup> startup;
  std::deque<QString> picks;  // the folder picker's answers in turn (then cancelled)
  QStringList pickerTitles;
  QStringList pickerStarts;
  CFolderPicker::Handler previousPicker;
  bool typesLoaded = false;
  int volumes = 0;
};

// The shown window of type T, or null (another modal window may lie above it).
template <typename T>
T* ShownWindow() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) return t;
  return nullptr;
}

// Runs `action` on the first shown dialog of type T once it is up (polled while
// the caller's modal loop runs). The pointer it gets stays valid for the call.
template <typename T>
void WhenModal(std::function<void(T*)> action, std::chrono::milliseconds timeout = std::chrono::milliseconds(20000)) {
  auto* timer = new QTimer;
  auto started = std::make_shared<std::chrono::steady_clock::time_point>(std::chrono::steady_clock::now());
  QObject::connect(timer, &QTimer::timeout, [timer, action, started, timeout] {
    if (auto* dialog = ShownWindow<T>()) {
      timer->stop();
      timer->deleteLater();
      action(dialog);
    } else if (std::chrono::steady_clock::now() - *started > timeout) {
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start(20);
}

// Clicks a button; a check box or radio button on its indicator (a layout may
// stretch the widget far past its text, where a click hits nothing).
// A window that is not shown (the thread suites paint nothing: Qt's painting
// runs helper threads of its own that ThreadSanitizer cannot follow) is clicked
// through the button itself.
inline void Click(QAbstractButton* button) {
  if (!button->isVisible())
    button->click();
  else if (button->inherits("QCheckBox") || button->inherits("QRadioButton"))
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(8, button->height() / 2));
  else
    QTest::mouseClick(button, Qt::LeftButton);
}

// Clicks the numbered button of a window.
inline void ClickControl(QWidget* window, int id) {
  auto* button = controls::FindControlAs<QAbstractButton>(window, id);
  if (!button) {
    QFAIL(qPrintable(QStringLiteral("no button %1").arg(id)));
    return;
  }
  Click(button);
}

}  // namespace test
