// Texts by id from worker threads while the GUI thread switches languages: each
// fetch gives a whole text of one language or the other.
#include <QDir>
#include <QTest>

#include <atomic>
#include <fstream>
#include <thread>
#include <vector>

#include "app/Languages.h"
#include "support/QtTestRegistry.h"
#include "support/TempDir.h"

class LanguagesThreads : public QObject {
  Q_OBJECT
 private slots:
  void GetLangStringFromFourThreadsDuringSwitches() {
    test::TempDir dir;
    const std::string folder = dir / "Languages";
    QDir().mkpath(QString::fromStdString(folder));
    std::ofstream(folder + "/English.lng") << "[StringsTable]\n158=Exit now?\n";
    std::ofstream(folder + "/Other.lng") << "[StringsTable]\n158=Beenden?\n";
    CLanguages languages(QStringLiteral("Languages"), QString::fromStdString(dir.path()));
    SetStringSource(&languages);

    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::atomic<long> fetched{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
      workers.emplace_back([&] {
        while (!stop.load()) {
          const std::u16string s = GetLangString(158);
          if (s != u"Exit now?" && s != u"Beenden?") ++bad;
          if (GetLangString(153) != u"Error: Administrator access necessary") ++bad;
          ++fetched;
        }
      });
    }
    for (int i = 0; i < 200; ++i) languages.SelectLanguage(i % 2);
    while (fetched.load() < 400) std::this_thread::yield();
    stop = true;
    for (auto& w : workers) w.join();
    SetStringSource(nullptr);
    QCOMPARE(bad.load(), 0);
  }
};

VANDREL_QT_TEST(LanguagesThreads);
#include "LanguagesThreadsTest.moc"
