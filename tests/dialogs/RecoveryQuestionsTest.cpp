// The recovery's destination questions as the program answers them (the handlers
// the dialogs library registers), asked by the real recovery job: a destination
// whose drive can't be told (Yes/No), and one on the source drive (the warning,
// then the folder picker).
#include <QTest>

#include <filesystem>

#include "app/MessageBox.h"
#include "app/QtText.h"
#include "dialogs/RecoveryQuestions.h"
#include "support/QtTestRegistry.h"
#include "tests/dialogs/RecoveryWorld.h"

Q_DECLARE_METATYPE(DeviceMatch)

class RecoveryQuestionsTest : public QObject {
  Q_OBJECT

 private slots:
  void TheDestinationQuestionsDecideWhereTheFileGoes_data() {
    QTest::addColumn<DeviceMatch>("match");
    QTest::addColumn<QList<int>>("boxAnswers");  // one box each, in turn
    QTest::addColumn<QString>("picked");  // the folder picker's answer, relative to the test folder
    QTest::addColumn<QString>("written");  // where the file lands, "" for nowhere
    QTest::addColumn<int>("buttons");
    const int yes = int(Answer::Yes), no = int(Answer::No), ok = int(Answer::Ok), cancel = int(Answer::Cancel);
    QTest::newRow("unknown drive, Yes") << DeviceMatch::Unknown << QList<int>{yes} << "" << "Recovered Files"
                                        << int(Buttons::YesNo);
    QTest::newRow("unknown drive, No") << DeviceMatch::Unknown << QList<int>{no} << "" << "" << int(Buttons::YesNo);
    QTest::newRow("unknown drive, box closed") << DeviceMatch::Unknown << QList<int>{cancel} << "" << ""
                                               << int(Buttons::YesNo);
    QTest::newRow("source drive, Cancel") << DeviceMatch::Same << QList<int>{cancel} << "elsewhere" << ""
                                          << int(Buttons::OkCancel);
    // The folder still lies on the source: the warning again, then Cancel.
    QTest::newRow("source drive, OK, picker cancelled, Cancel")
        << DeviceMatch::Same << QList<int>{ok, cancel} << "" << "" << int(Buttons::OkCancel);
    QTest::newRow("source drive, OK, another folder")
        << DeviceMatch::Same << QList<int>{ok} << "elsewhere" << "elsewhere" << int(Buttons::OkCancel);
  }
  void TheDestinationQuestionsDecideWhereTheFileGoes() {
    QFETCH(DeviceMatch, match);
    QFETCH(QList<int>, boxAnswers);
    QFETCH(QString, picked);
    QFETCH(QString, written);
    QFETCH(int, buttons);
    test::RecoveryWorld world;
    for (int a : boxAnswers) world.boxes.Queue(Answer(a));
    if (!picked.isEmpty()) world.picks.push_back(QString::fromStdString(world.dir / picked.toStdString()));
    std::vector<std::uint8_t> data(1 << 16);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = std::uint8_t(i * 7);
    auto volume = world.MemoryVolume(data);
    FoundObject* file = world.Add(*volume, 5, u"answer.bin", 4096, 3000);
    const std::string configured = app::QStringToPath(app::ToQString(world.Settings().DestinationFolder()));
    CRecovery& job = RecoveryJob();
    // Only the configured folder is in question; the one picked instead lies elsewhere.
    job.SetDestinationMatcher([configured, match](const std::string& folder, const CVolume&) {
      return folder == configured ? match : DeviceMatch::Different;
    });
    QVERIFY(job.SetSelection(volume, {file}));
    QVERIFY(job.StartRecovery());
    QVERIFY(test::RecoveryWorld::WaitUntil([&] { return !job.IsThreadAlive(); }));
    job.Join();
    job.SetDestinationMatcher(nullptr);

    // The boxes, asked on the GUI thread with the buttons the question names.
    QCOMPARE(world.boxes.shown.size(), boxAnswers.size());
    for (const app::MessageBoxRequest& box : world.boxes.shown) {
      QCOMPARE(box.caption, QStringLiteral("Warning!"));
      QCOMPARE(int(box.buttons), buttons);
    }
    // The picker after each OK at the source drive's warning, with its title.
    QStringList pickers;
    if (match == DeviceMatch::Same)
      for (int a : boxAnswers)
        if (Answer(a) == Answer::Ok) pickers << QStringLiteral("Select destination folder for recovered files");
    QCOMPARE(world.pickerTitles, pickers);

    for (const char* folder : {"Recovered Files", "elsewhere"}) {
      const bool expected = written == QLatin1String(folder);
      QCOMPARE(std::filesystem::exists(world.dir / (std::string(folder) + "/answer.bin")), expected);
    }
    QCOMPARE(job.SuccessCount(), written.isEmpty() ? 0 : 1);
    if (!written.isEmpty()) {
      const std::string folder = world.dir / written.toStdString();
      QCOMPARE(std::filesystem::file_size(folder + "/answer.bin"), std::uintmax_t(3000));
      // "Go to Recovered..." opens the folder the job wrote into.
      QVERIFY(app::ToQString(job.Destination()).startsWith(QString::fromStdString(folder)));
    }
  }
};
VANDREL_QT_TEST(RecoveryQuestionsTest);

#include "RecoveryQuestionsTest.moc"
