// Entry point of the Qt test executables: the same pinned time zone and private
// configuration, data and temporary folders as the engine tests, the offscreen
// platform unless a display is asked for, then the registered class named on the
// command line (or every class, in name order). Further arguments go to QtTest.
#include <QApplication>
#include <QTest>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "support/QtTestRegistry.h"
#include "support/TempDir.h"

namespace test {
std::map<std::string, QtTestFactory>& QtTestClasses() {
  static std::map<std::string, QtTestFactory> classes;
  return classes;
}
}  // namespace test

#if defined(__SANITIZE_THREAD__)
// QtTest's watchdog thread ends through Qt's own wait, which ThreadSanitizer does
// not see: its teardown after the last test (the wait condition destroyed, the
// watchdog deleted by the test runner) is reported as a race now and then. Calls
// made by QtTest itself and that one destruction are left out; no code of ours.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libQt6Test.so.6\n"
         "race:QWaitCondition::~QWaitCondition\n";
}
#endif

int main(int argc, char** argv) {
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  tzset();
  std::setlocale(LC_ALL, "C");
  static test::TempDir root("vandrel-qt-tests-");
  setenv("VANDREL_CONFIG_DIR", (root.path() + "/config").c_str(), 1);
  setenv("XDG_DATA_HOME", (root.path() + "/data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root.path() + "/xdg-config").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (root.path() + "/runtime").c_str(), 1);
  setenv("HOME", (root.path() + "/home").c_str(), 1);
  setenv("TMPDIR", root.path().c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // Offscreen windows report no real device pixel ratio; keep screenshots 1:1.
  setenv("QT_SCALE_FACTOR", "1", 0);

  const auto& classes = test::QtTestClasses();
  std::vector<std::string> chosen;
  std::vector<char*> qtArgs{argv[0]};
  for (int i = 1; i < argc; ++i) {
    if (classes.count(argv[i])) {
      chosen.push_back(argv[i]);
    } else if (std::strcmp(argv[i], "--list-classes") == 0) {
      for (const auto& entry : classes) std::printf("%s\n", entry.first.c_str());
      return 0;
    } else {
      qtArgs.push_back(argv[i]);
    }
  }
  if (chosen.empty()) {
    for (const auto& entry : classes) chosen.push_back(entry.first);
  }

  int appArgc = 1;
  QApplication app(appArgc, argv);
  int failures = 0;
  for (const std::string& name : chosen) {
    std::unique_ptr<QObject> object = classes.at(name)();
    failures += QTest::qExec(object.get(), static_cast<int>(qtArgs.size()), qtArgs.data());
  }
  return failures == 0 ? 0 : 1;
}
