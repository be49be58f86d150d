// Find in found files without widgets: the criteria's rules (FilterFoundItem, the
// size modes, the periods against a given clock, the picked local days) and the
// find thread's walk over a store, also while another thread adds to it.
#include <QTest>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "engine/store/FileFilter.h"
#include "engine/store/FoundObject.h"
#include "engine/store/FoundObjectStore.h"
#include "engine/volume/Volume.h"
#include "mainframe/find/FindCriteria.h"
#include "mainframe/find/FindThread.h"
#include "platform/FileTime.h"
#include "support/QtTestRegistry.h"
#include "support/StoreRoot.h"

Q_DECLARE_METATYPE(std::int64_t)

namespace {

constexpr platform::FileTime kDay = 86400LL * platform::kFileTimePerSecond;
constexpr platform::FileTime kNow = 133000000000000000LL;  // 2022-06-15 around 09:46 UTC

FoundObject Record(const char16_t* name, std::uint16_t flags, std::int64_t size, platform::FileTime created) {
  FoundObject o;
  o.flags = std::uint16_t(flags | OBJ_NAMED);
  o.SetName(name);
  o.size = size;
  o.created = created;
  o.id = 100;
  o.parentId = 0;
  return o;
}

// Sets TZ for one test and puts the old one back.
class TimeZone {
 public:
  explicit TimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) old_ = old, had_ = true;
    ::setenv("TZ", tz, 1);
    ::tzset();
  }
  ~TimeZone() {
    if (had_)
      ::setenv("TZ", old_.c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }

 private:
  std::string old_;
  bool had_ = false;
};

platform::DateTime Day(int y, int m, int d) {
  platform::DateTime t;
  t.year = y;
  t.month = m;
  t.day = d;
  t.hour = 15;  // the time of day of a picker is not read
  return t;
}

}  // namespace

class FindCriteriaTest : public QObject {
  Q_OBJECT

 private slots:
  void FilterFoundItem_data() {
    QTest::addColumn<QString>("mask");
    QTest::addColumn<int>("dateMode");
    QTest::addColumn<int>("sizeMode");
    QTest::addColumn<int>("compareIndex");
    QTest::addColumn<qint64>("sizeNumber");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("deletedOnly");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("flags");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("createdDaysAgo");
    QTest::addColumn<bool>("match");

    const int del = OBJ_DELETED, dir = OBJ_FOLDER | OBJ_DELETED;
    // mask, date, size, compare, number, unit, deleted only, name, flags, size, age, match
    QTest::newRow("everything, deleted file") << "*" << 0 << 0 << 0 << 0LL << 1 << 1 << "a.jpg" << del << 10LL << 1LL << true;
    QTest::newRow("deleted only refuses a live file") << "*" << 0 << 0 << 0 << 0LL << 1 << 1 << "a.jpg" << 0 << 10LL << 1LL << false;
    QTest::newRow("live file without deleted only") << "*" << 0 << 0 << 0 << 0LL << 1 << 0 << "a.jpg" << 0 << 10LL << 1LL << true;
    QTest::newRow("folders ignored") << "*" << 0 << 0 << 0 << 0LL << 1 << 1 << "Photos" << dir << 0LL << 1LL << false;
    QTest::newRow("empty mask is *") << "" << 0 << 0 << 0 << 0LL << 1 << 1 << "x" << del << 1LL << 1LL << true;
    QTest::newRow("mask without case") << "*.JPG" << 0 << 0 << 0 << 0LL << 1 << 1 << "holiday.jpg" << del << 1LL << 1LL << true;
    QTest::newRow("mask ? is one character") << "IMG_000?.jpg" << 0 << 0 << 0 << 0LL << 1 << 1 << "img_0001.JPG" << del << 1LL << 1LL << true;
    QTest::newRow("mask mismatch") << "*.pdf" << 0 << 0 << 0 << 0LL << 1 << 1 << "a.jpg" << del << 1LL << 1LL << false;
    QTest::newRow("underscore is not DEL") << "a_b" << 0 << 0 << 0 << 0LL << 1 << 1 << "a\x7f" "b" << del << 1LL << 1LL << false;
    QTest::newRow("[ is not {") << "[x]" << 0 << 0 << 0 << 0LL << 1 << 1 << "{x}" << del << 1LL << 1LL << false;
    QTest::newRow("letters beyond ASCII fold") << QString::fromUtf8("ÉTÉ*") << 0 << 0 << 0 << 0LL << 1 << 1
                                               << QString::fromUtf8("été.txt") << del << 1LL << 1LL << true;
    QTest::newRow("unrelated letters beyond ASCII") << QString::fromUtf8("ä") << 0 << 0 << 0 << 0LL << 1 << 1
                                                    << QString::fromUtf8("Ä") << del << 1LL << 1LL << true;
    QTest::newRow("Ð is not ð's neighbour") << QString::fromUtf8("Ð") << 0 << 0 << 0 << 0LL << 1 << 1
                                            << QString::fromUtf8("\u00F0") << del << 1LL << 1LL << true;
    QTest::newRow("× is not ÷") << QString::fromUtf8("×") << 0 << 0 << 0 << 0LL << 1 << 1 << QString::fromUtf8("÷")
                                << del << 1LL << 1LL << false;
    // Dates: the past week against the creation time.
    QTest::newRow("past week, inside") << "*" << 1 << 0 << 0 << 0LL << 1 << 1 << "a.jpg" << del << 1LL << 6LL << true;
    QTest::newRow("past week, outside") << "*" << 1 << 0 << 0 << 0LL << 1 << 1 << "a.jpg" << del << 1LL << 8LL << false;
    QTest::newRow("name mismatch inside the date range") << "*.pdf" << 1 << 0 << 0 << 0LL << 1 << 1 << "a.jpg" << del << 1LL << 1LL << false;
    QTest::newRow("past month") << "*" << 2 << 0 << 0 << 0LL << 1 << 1 << "a" << del << 1LL << 27LL << true;
    QTest::newRow("past month, 29 days") << "*" << 2 << 0 << 0 << 0LL << 1 << 1 << "a" << del << 1LL << 29LL << false;
    QTest::newRow("past year") << "*" << 3 << 0 << 0 << 0LL << 1 << 1 << "a" << del << 1LL << 364LL << true;
    QTest::newRow("no creation time, past year") << "*" << 3 << 0 << 0 << 0LL << 1 << 1 << "a" << del << 1LL << -1LL << false;
    // Sizes.
    QTest::newRow("small, 102399") << "*" << 0 << 1 << 0 << 0LL << 1 << 1 << "a" << del << 102399LL << 1LL << true;
    QTest::newRow("small, 102400") << "*" << 0 << 1 << 0 << 0LL << 1 << 1 << "a" << del << 102400LL << 1LL << false;
    QTest::newRow("medium, 1048575") << "*" << 0 << 2 << 0 << 0LL << 1 << 1 << "a" << del << 1048575LL << 1LL << true;
    QTest::newRow("large, exactly 1048576") << "*" << 0 << 3 << 0 << 0LL << 1 << 1 << "a" << del << 1048576LL << 1LL << false;
    QTest::newRow("large, 1048577") << "*" << 0 << 3 << 0 << 0LL << 1 << 1 << "a" << del << 1048577LL << 1LL << true;
    QTest::newRow("unknown size passes small") << "*" << 0 << 1 << 0 << 0LL << 1 << 1 << "a" << del << -1LL << 1LL << true;
    QTest::newRow("unknown size passes large") << "*" << 0 << 3 << 0 << 0LL << 1 << 1 << "a" << del << -1LL << 1LL << true;
    QTest::newRow("unknown size passes =") << "*" << 0 << 4 << 0 << 4LL << 1 << 1 << "a" << del << -1LL << 1LL << true;
    QTest::newRow("= 4 KB matches 4096") << "*" << 0 << 4 << 0 << 4LL << 1 << 1 << "a" << del << 4096LL << 1LL << true;
    QTest::newRow("= 4 KB refuses 4095") << "*" << 0 << 4 << 0 << 4LL << 1 << 1 << "a" << del << 4095LL << 1LL << false;
    QTest::newRow("> 4 KB") << "*" << 0 << 4 << 1 << 4LL << 1 << 1 << "a" << del << 4097LL << 1LL << true;
    QTest::newRow("< 4 B") << "*" << 0 << 4 << 2 << 4LL << 0 << 1 << "a" << del << 3LL << 1LL << true;
    QTest::newRow("= 3 GB") << "*" << 0 << 4 << 0 << 3LL << 3 << 1 << "a" << del << 3221225472LL << 1LL << true;
    QTest::newRow("= 1 MB") << "*" << 0 << 4 << 0 << 1LL << 2 << 1 << "a" << del << 1048576LL << 1LL << true;
    QTest::newRow("= with a name mismatch") << "*.pdf" << 0 << 4 << 0 << 4LL << 1 << 1 << "a.jpg" << del << 4096LL << 1LL << false;
    QTest::newRow("= outside the dates") << "*" << 1 << 4 << 0 << 4LL << 1 << 1 << "a" << del << 4096LL << 30LL << false;
    QTest::newRow("size mode ignores folders") << "*" << 0 << 1 << 0 << 0LL << 1 << 1 << "d" << dir << 0LL << 1LL << false;
    QTest::newRow("all three hold") << "*.jpg" << 1 << 3 << 0 << 0LL << 1 << 1 << "big.jpg" << del << 2000000LL << 2LL << true;
  }
  void FilterFoundItem() {
    QFETCH(QString, mask);
    QFETCH(int, dateMode);
    QFETCH(int, sizeMode);
    QFETCH(int, compareIndex);
    QFETCH(qint64, sizeNumber);
    QFETCH(int, unit);
    QFETCH(int, deletedOnly);
    QFETCH(QString, name);
    QFETCH(int, flags);
    QFETCH(qint64, size);
    QFETCH(qint64, createdDaysAgo);
    QFETCH(bool, match);

    FindCriteria c;
    c.nameMask = mask.toStdU16String();
    c.dateMode = dateMode;
    c.sizeMode = sizeMode;
    c.sizeCompare = FindCriteria::CompareOfIndex(compareIndex);
    c.sizeNumber = sizeNumber;
    c.sizeUnit = unit;
    c.deletedOnly = deletedOnly;
    c.ignoreFolders = 1;
    c.Prepare(kNow, Day(2022, 1, 1), Day(2022, 1, 1));
    const std::u16string text = name.toStdU16String();
    const platform::FileTime created = createdDaysAgo < 0 ? 0 : kNow - createdDaysAgo * kDay;
    const FoundObject record = Record(text.c_str(), std::uint16_t(flags), size, created);
    QCOMPARE(c.FilterFoundItem(record), match);
  }

  void SizeModes_data() {
    QTest::addColumn<int>("sizeMode");
    QTest::addColumn<qint64>("value");
    QTest::addColumn<int>("compare");
    QTest::addColumn<bool>("sizeControls");
    QTest::addColumn<bool>("ignoreFoldersEnabled");
    QTest::newRow("don't remember") << 0 << 0LL << 7 << false << true;
    QTest::newRow("small") << 1 << 102400LL << -1 << false << false;
    QTest::newRow("medium") << 2 << 1048576LL << -1 << false << false;
    QTest::newRow("large") << 3 << 1048576LL << 1 << false << false;
    QTest::newRow("specify") << 4 << 99LL << 7 << true << false;
  }
  void SizeModes() {
    QFETCH(int, sizeMode);
    QFETCH(qint64, value);
    QFETCH(int, compare);
    QFETCH(bool, sizeControls);
    QFETCH(bool, ignoreFoldersEnabled);
    FindCriteria c;
    c.ignoreFolders = 0;
    c.sizeValue = 99;
    c.sizeCompare = 7;  // left alone where the mode does not set it
    c.sizeMode = sizeMode;
    c.ApplySizeMode();
    QCOMPARE(c.sizeValue, std::int64_t(value));
    QCOMPARE(c.sizeCompare, compare);
    QCOMPARE(c.ignoreFolders, sizeMode == 0 ? 0 : 1);
    QCOMPARE(c.SizeControlsEnabled(), sizeControls);
    QCOMPARE(c.IgnoreFoldersEnabled(), ignoreFoldersEnabled);
    for (int dateMode = 0; dateMode <= 4; ++dateMode) {
      c.dateMode = dateMode;
      QCOMPARE(c.DatePickersEnabled(), dateMode == 4);
    }
  }

  void SpecifiedSizeInBytes_data() {
    QTest::addColumn<qint64>("number");
    QTest::addColumn<int>("unit");
    QTest::addColumn<qint64>("bytes");
    QTest::newRow("4 KB") << 4LL << 1 << 4096LL;
    QTest::newRow("3 GB") << 3LL << 3 << 3221225472LL;
    QTest::newRow("7 B") << 7LL << 0 << 7LL;
    QTest::newRow("5 MB") << 5LL << 2 << 5242880LL;
    QTest::newRow("2147483647 GB, in 64 bits") << 2147483647LL << 3 << 2305843008139952128LL;
    QTest::newRow("too large saturates") << 9000000000000000000LL << 3 << 9223372036854775807LL;
  }
  void SpecifiedSizeInBytes() {
    QFETCH(qint64, number);
    QFETCH(int, unit);
    QFETCH(qint64, bytes);
    FindCriteria c;
    c.sizeMode = FindCriteria::kSpecifySize;
    c.sizeNumber = number;
    c.sizeUnit = unit;
    c.Prepare(kNow, Day(2022, 1, 1), Day(2022, 1, 1));
    QCOMPARE(c.sizeValue, std::int64_t(bytes));
  }

  void PeriodsEndNow_data() {
    QTest::addColumn<int>("dateMode");
    QTest::addColumn<int>("days");
    QTest::newRow("past week") << 1 << 7;
    QTest::newRow("past month") << 2 << 28;
    QTest::newRow("past year") << 3 << 365;
  }
  void PeriodsEndNow() {
    QFETCH(int, dateMode);
    QFETCH(int, days);
    FindCriteria c;
    c.dateMode = dateMode;
    c.Prepare(kNow, Day(2000, 1, 1), Day(2000, 1, 1));
    QCOMPARE(c.dateTo, kNow);
    QCOMPARE(c.dateFrom, kNow - days * kDay);
    // Both ends belong to the period.
    QVERIFY(c.FilterFoundItem(Record(u"a", OBJ_DELETED, 1, c.dateFrom)));
    QVERIFY(c.FilterFoundItem(Record(u"a", OBJ_DELETED, 1, c.dateTo)));
    QVERIFY(!c.FilterFoundItem(Record(u"a", OBJ_DELETED, 1, c.dateFrom - 1)));
    QVERIFY(!c.FilterFoundItem(Record(u"a", OBJ_DELETED, 1, c.dateTo + 1)));
  }

  void PickedDaysAreWholeLocalDays() {
    TimeZone tz("CET-1CEST,M3.5.0,M10.5.0/3");
    FindCriteria c;
    c.dateMode = FindCriteria::kSpecifyDates;
    c.Prepare(kNow, Day(2019, 5, 3), Day(2019, 5, 31));
    // 3 May 2019 00:00 in Central European Summer Time is 2 May 22:00 UTC.
    platform::DateTime from;
    from.year = 2019, from.month = 5, from.day = 2, from.hour = 22;
    QCOMPARE(c.dateFrom, platform::FileTimeFromUtc(from));
    // The last instant of 31 May, local: 31 May 21:59:59.9999999 UTC.
    platform::DateTime next;
    next.year = 2019, next.month = 5, next.day = 31, next.hour = 22;
    QCOMPARE(c.dateTo, platform::FileTimeFromUtc(next) - 1);
    // A file made in the evening of the last day, local time, is inside.
    platform::DateTime evening;
    evening.year = 2019, evening.month = 5, evening.day = 31, evening.hour = 21, evening.minute = 30;
    QVERIFY(c.FilterFoundItem(Record(u"a", OBJ_DELETED, 1, platform::FileTimeFromUtc(evening))));
    // One picked day: from its start to its end, across a change to winter time.
    c.Prepare(kNow, Day(2019, 10, 27), Day(2019, 10, 27));
    QCOMPARE(c.dateTo - c.dateFrom, 25 * 3600 * platform::kFileTimePerSecond - 1);
  }
};
VANDREL_QT_TEST(FindCriteriaTest);

// ---- The walk ------------------------------------------------------------------------------

namespace {

FoundObject File(std::int32_t id, const char16_t* name, bool deleted, std::int64_t size = 100) {
  FoundObject o;
  o.id = id;
  o.parentId = 0;
  o.flags = std::uint16_t(OBJ_NAMED | (deleted ? OBJ_DELETED : 0));
  o.SetName(name);
  o.size = size;
  o.offset = std::int64_t(id) * 512;
  return o;
}

// A store with a device node, the lost roots, the file system's root and the
// given files.
std::shared_ptr<CVolume> VolumeWith(const std::vector<FoundObject>& files, bool fileSystemRoot = true) {
  auto volume = std::make_shared<CVolume>(CVolume::kImageFile);
  volume->SetDeviceNodeId(-31);
  FoundObjectStore& store = volume->Store();
  store.RegisterObject(volume->DeviceNode());
  for (std::int32_t id : {kIdLostFolders, kIdLostFiles}) {
    FoundObject lost;
    lost.id = id;
    lost.parentId = -31;
    lost.flags = OBJ_FOLDER | OBJ_NAMED | OBJ_DELETED;
    lost.SetName(id == kIdLostFiles ? u"Lost files" : u"Lost folders");
    store.RegisterObject(lost);
  }
  store.SetRootFolderId(0);
  if (fileSystemRoot) test::AddRootFolder(store);
  for (const FoundObject& f : files) store.AddParsedObject(f);
  return volume;
}

std::vector<std::u16string> Names(const FoundObjectStore& store, const std::vector<std::int64_t>& handles) {
  std::vector<std::u16string> out;
  const auto view = store.Read();
  for (std::int64_t h : handles)
    if (const FoundObject* r = view.FromHandle(h)) out.emplace_back(r->Name());
  return out;
}

}  // namespace

class FindThreadThreads : public QObject {
  Q_OBJECT

 private slots:
  void WalkFindsTheMatchesInStoreOrder() {
    auto volume = VolumeWith({File(2, u"a.jpg", true), File(3, u"b.pdf", true), File(4, u"c.jpg", false),
                              File(5, u"d.JPG", true)});
    FindCriteria c;
    c.nameMask = u"*.jpg";
    std::vector<std::int64_t> found;
    std::atomic<bool> stop{false};
    const std::size_t n = CFindThread::Walk(volume->Store(), c, FileFilter(), stop,
                                            [&](std::vector<std::int64_t> b) { found.insert(found.end(), b.begin(), b.end()); });
    QCOMPARE(n, std::size_t(2));
    QCOMPARE(Names(volume->Store(), found), (std::vector<std::u16string>{u"a.jpg", u"d.JPG"}));
  }

  void TheFileFilterAppliesOnTop() {
    auto volume = VolumeWith({File(2, u"a.jpg", true), File(3, u"b.jpg", true)});
    FileFilter filter;
    filter.SetUseMask(1);
    filter.SetMask(u"a*");
    FindCriteria c;
    std::vector<std::int64_t> found;
    std::atomic<bool> stop{false};
    CFindThread::Walk(volume->Store(), c, filter, stop,
                      [&](std::vector<std::int64_t> b) { found.insert(found.end(), b.begin(), b.end()); });
    QCOMPARE(Names(volume->Store(), found), (std::vector<std::u16string>{u"a.jpg"}));
  }

  void OnlySpecialNodesFindNothing() {
    auto volume = VolumeWith({}, false);
    FindCriteria c;
    c.deletedOnly = 0;
    c.ignoreFolders = 0;
    std::atomic<bool> stop{false};
    int batches = 0;
    QCOMPARE(CFindThread::Walk(volume->Store(), c, FileFilter(), stop, [&](std::vector<std::int64_t>) { ++batches; }),
             std::size_t(0));
    QCOMPARE(batches, 0);
  }

  void AStopKeepsWhatWasFound() {
    std::vector<std::u16string> names;
    std::vector<FoundObject> files;
    names.reserve(3 * CFindThread::kSliceRecords);
    for (std::size_t i = 0; i < 3 * CFindThread::kSliceRecords; ++i) names.push_back(u"f" + std::u16string(1, u'a' + i % 26));
    for (std::size_t i = 0; i < names.size(); ++i) files.push_back(File(std::int32_t(10 + i), names[i].c_str(), true));
    auto volume = VolumeWith(files);
    CFindThread thread;
    std::vector<std::int64_t> found;
    std::size_t matches = 0;
    bool stopped = false;
    std::atomic<int> done{0};
    FindCriteria c;
    QVERIFY(thread.Start(
        volume, c, FileFilter(),
        [&](std::vector<std::int64_t> b) {
          found.insert(found.end(), b.begin(), b.end());
          thread.Stop();  // after the first slice
        },
        [&](std::size_t m, bool s) {
          matches = m;
          stopped = s;
          done.store(1);
        }));
    thread.Join();
    QCOMPARE(done.load(), 1);
    QVERIFY(stopped);
    QVERIFY(matches > 0 && matches < names.size());
    QCOMPARE(found.size(), matches);
    QVERIFY(!thread.IsRunning());
  }

  void WalksWhileAnotherThreadAdds() {
    auto volume = VolumeWith({});
#if defined(__SANITIZE_THREAD__)
    // Each search walks the whole store while the adder runs, so the work grows with
    // the square of the records: ThreadSanitizer needs the overlap, not the size.
    constexpr int kAdds = 20000;
#else
    constexpr int kAdds = 100000;
#endif
    std::atomic<bool> adding{true};
    std::thread adder([&] {
      for (int i = 0; i < kAdds; ++i) {
        volume->Store().AddParsedObject(File(100 + i, i % 10 == 0 ? u"photo.jpg" : u"doc.txt", true, i));
      }
      adding.store(false);
    });
    // Searches run one after another, each joined before the next, while records
    // are added; every handle found names a .jpg of this store.
    CFindThread thread;
    FindCriteria c;
    c.nameMask = u"*.jpg";
    std::atomic<std::size_t> handles{0};
    std::atomic<bool> allJpg{true};
    int searches = 0;
    do {
      std::atomic<bool> finished{false};
      QVERIFY(thread.Start(
          volume, c, FileFilter(),
          [&](std::vector<std::int64_t> b) {
            handles += b.size();
            for (const std::u16string& n : Names(volume->Store(), b))
              if (n != u"photo.jpg") allJpg.store(false);
          },
          [&](std::size_t, bool) { finished.store(true); }));
      thread.Join();
      QVERIFY(finished.load());
      ++searches;
    } while (adding.load());
    adder.join();
    // One more search over the whole store finds every tenth record.
    std::size_t last = 0;
    QVERIFY(thread.Start(volume, c, FileFilter(), nullptr, [&](std::size_t m, bool) { last = m; }));
    // A stop asked while it runs and the join: nothing dangles.
    thread.Join();
    QCOMPARE(last, std::size_t(kAdds / 10));
    QVERIFY(allJpg.load());
    QVERIFY(searches >= 1);
  }
};
VANDREL_QT_TEST(FindThreadThreads);

#include "FindInFoundToolTest.moc"
