// The New Signature Wizard's rules without its windows: the analysis of samples
// into data and mask, the samples a file list gives, the type built from them
// matching its own samples, the new type's defaults and id rules, and the mail
// link of a type.
#include <QTest>
#include <QUrlQuery>

#include <algorithm>
#include <array>

#include "platform/Registry.h"
#include "search/FileType.h"
#include "search/FileTypeDatabase.h"
#include "support/QtTestRegistry.h"
#include "support/TempDir.h"
#include "tests/wizards/WizardTestSupport.h"
#include "wizards/NewSignature.h"
#include "wizards/SignatureMail.h"
#include "wizards/SignatureSample.h"

using Bytes512 = std::array<std::uint8_t, kSampleHeaderSize>;
Q_DECLARE_METATYPE(std::vector<SignatureSample>)

namespace {

SignatureSample Sample(std::initializer_list<std::pair<std::size_t, std::uint8_t>> bytes, std::size_t length = 512,
                       std::uint8_t fill = 0x00) {
  SignatureSample s;
  s.header.fill(fill);
  for (auto [at, value] : bytes) s.header[at] = value;
  for (std::size_t k = length; k < kSampleHeaderSize; ++k) s.header[k] = 0;
  s.length = length;
  return s;
}

struct Analysis {
  Bytes512 data{};
  Bytes512 mask{};
};

Analysis Analyse(const std::vector<SignatureSample>& samples) {
  Analysis a;
  a.data.fill(0x00);
  a.mask.fill(0xFF);
  AnalyseSamples(samples, a.data, a.mask);
  return a;
}

// The type the wizard builds from an analysis: one masked fragment over the data
// and mask, compared over `count` bytes.
std::unique_ptr<FileType> TypeFrom(const Analysis& a, int count) {
  auto type = std::make_unique<FileType>();
  std::vector<std::uint8_t> buffer(a.data.begin(), a.data.end());
  buffer.insert(buffer.end(), a.mask.begin(), a.mask.end());
  Signature& s = type->AddBytesSignature(PATTERN_MASKED, buffer, 0, 0, 0);
  s.MutablePattern(0).SetLength(static_cast<std::uint16_t>(2 * count));
  return type;
}

// A sector holding `bytes` at its start, zeros after them.
std::vector<std::uint8_t> Sector(const std::vector<std::uint8_t>& bytes) {
  std::vector<std::uint8_t> s(512, 0);
  std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), 512), s.begin());
  return s;
}

}  // namespace

class SignatureAnalysisTest : public QObject {
  Q_OBJECT

 private slots:
  void AnalyseSamplesTable_data() {
    QTest::addColumn<std::vector<SignatureSample>>("samples");
    QTest::addColumn<int>("at");
    QTest::addColumn<int>("mask");
    QTest::addColumn<int>("data");
    const SignatureSample a = Sample({{0, 0x4A}, {1, 0x3C}, {511, 0x99}});
    QTest::newRow("two identical: whole byte") << std::vector{a, a} << 0 << 0xFF << 0x4A;
    QTest::newRow("two identical: last byte") << std::vector{a, a} << 511 << 0xFF << 0x99;
    QTest::newRow("every bit differs") << std::vector{Sample({{5, 0xA5}}), Sample({{5, 0x5A}})} << 5 << 0x00 << 0x00;
    QTest::newRow("low nibble differs") << std::vector{Sample({{7, 0x31}}), Sample({{7, 0x3E}})} << 7 << 0xF0
                                        << 0x30;
    QTest::newRow("three samples, one bit apart in the third")
        << std::vector{Sample({{9, 0xC3}}), Sample({{9, 0xC3}}), Sample({{9, 0xC7}})} << 9 << 0xFB << 0xC3;
    QTest::newRow("three samples, other bytes untouched")
        << std::vector{Sample({{9, 0xC3}}), Sample({{9, 0xC3}}), Sample({{9, 0xC7}})} << 10 << 0xFF << 0x00;
    QTest::newRow("short sample: mask cleared past it")
        << std::vector{Sample({{0, 1}, {300, 7}}), Sample({{0, 1}}, 200)} << 300 << 0x00 << 0x00;
    QTest::newRow("short sample: mask kept before its end")
        << std::vector{Sample({{0, 1}, {199, 7}}, 512, 0x00), Sample({{0, 1}, {199, 7}}, 200)} << 199 << 0xFF
        << 0x07;
  }
  void AnalyseSamplesTable() {
    QFETCH(std::vector<SignatureSample>, samples);
    QFETCH(int, at);
    QFETCH(int, mask);
    QFETCH(int, data);
    const Analysis a = Analyse(samples);
    QCOMPARE(int(a.mask[std::size_t(at)]), mask);
    QCOMPARE(int(a.data[std::size_t(at)]), data);
  }

  void TwoIdenticalSamplesGiveAFullMaskAndTheSample() {
    SignatureSample s;
    for (std::size_t k = 0; k < 512; ++k) s.header[k] = std::uint8_t(k * 7 + 3);
    s.length = 512;
    const Analysis a = Analyse({s, s});
    QVERIFY(std::all_of(a.mask.begin(), a.mask.end(), [](std::uint8_t m) { return m == 0xFF; }));
    QVERIFY(a.data == s.header);
  }

  void WithoutSamplesNothingChanges() {
    Analysis a;
    a.data.fill(0x11);
    a.mask.fill(0x22);
    int calls = 0;
    AnalyseSamples({}, a.data, a.mask, [&](std::size_t) { ++calls; });
    QCOMPARE(int(a.data[0]), 0x11);
    QCOMPARE(int(a.mask[511]), 0x22);
    QCOMPARE(calls, 0);
  }

  void EverySampleIsReportedInOrder() {
    std::vector<SignatureSample> samples(3, Sample({}));
    std::vector<std::size_t> seen;
    Analysis a;
    AnalyseSamples(samples, a.data, a.mask, [&](std::size_t i) { seen.push_back(i); });
    QCOMPARE(seen, (std::vector<std::size_t>{0, 1, 2}));
  }

  void TheTypeBuiltMatchesItsSamplesAndFilesSharingTheirBits() {
    // Three samples whose byte 20 differs in its low bits and byte 30 in every bit.
    std::vector<SignatureSample> samples;
    for (std::uint8_t low : {0x01, 0x02, 0x07}) {
      SignatureSample s = Sample({{0, 'Q'}, {1, 'Z'}, {2, 0x00}, {3, 0xEE}, {20, std::uint8_t(0x50 | low)},
                                  {30, std::uint8_t(low == 1 ? 0x00 : 0xFF)}, {40, 0x42}});
      samples.push_back(s);
    }
    const Analysis a = Analyse(samples);
    QCOMPARE(int(a.mask[20]), 0xF8);
    QCOMPARE(int(a.mask[30]), 0x00);
    const int count = ProposedCompareCount(a.mask);
    QCOMPARE(count, 20);  // every bit agrees up to byte 20, whose low bits differ
    auto type = TypeFrom(a, 64);
    for (const SignatureSample& s : samples)
      QVERIFY(type->Match(std::vector<std::uint8_t>(s.header.begin(), s.header.end())));
    // Sharing the common bits (byte 20 0x5?, low bits 0..7; byte 30 anything) matches.
    std::vector<std::uint8_t> sharing(512, 0);
    sharing[0] = 'Q';
    sharing[1] = 'Z';
    sharing[3] = 0xEE;
    sharing[20] = 0x55;
    sharing[30] = 0x5A;
    sharing[40] = 0x42;
    sharing[100] = 0x01;  // past the compared 64 bytes
    QVERIFY(type->Match(sharing));
    // One common bit off: no match.
    std::vector<std::uint8_t> off = sharing;
    off[20] = 0x45;
    QVERIFY(!type->Match(off));
    // An unrelated file.
    QVERIFY(!type->Match(Sector(test::FormatFile(1))));
  }

  void AShortAndAnUnreadableSample() {
    test::TempDir dir;
    auto full = test::FormatFile(1, 2000);
    auto shortFile = test::FormatFile(2, 100);
    test::WriteFile(dir / "full.vdt", full);
    test::WriteFile(dir / "short.vdt", shortFile);
    test::WriteFile(dir / "empty.vdt", {});
    QStringList unreadable;
    const QString missing = QString::fromStdString(dir / "missing.vdt");
    const std::vector<SignatureSample> samples =
        CollectSamples({QString::fromStdString(dir / "full.vdt"), QString(), missing,
                        QString::fromStdString(dir / "short.vdt"), QString::fromStdString(dir / "empty.vdt")},
                       &unreadable);
    QCOMPARE(samples.size(), std::size_t(2));
    QCOMPARE(samples[0].length, std::size_t(512));
    QCOMPARE(samples[1].length, std::size_t(100));
    QCOMPARE(unreadable, (QStringList{missing, QString::fromStdString(dir / "empty.vdt")}));
    QVERIFY(std::equal(full.begin(), full.begin() + 512, samples[0].header.begin()));
    const Analysis a = Analyse(samples);
    for (std::size_t k = 0; k < 16; ++k) QCOMPARE(int(a.mask[k]), 0xFF);
    for (std::size_t k = 100; k < 512; ++k) QCOMPARE(int(a.mask[k]), 0x00);
    // Both samples match the type built over their shared bytes.
    auto type = TypeFrom(a, ProposedCompareCount(a.mask));
    QVERIFY(type->Match(Sector(full)));
    QVERIFY(type->Match(Sector(shortFile)));
  }

  void ProposedCompareCounts_data() {
    QTest::addColumn<int>("agreeing");  // leading bytes whose mask is 0xFF
    QTest::addColumn<int>("count");
    QTest::newRow("the first byte differs") << 0 << 0;
    QTest::newRow("eight agreeing bytes") << 8 << 8;
    QTest::newRow("sixteen bytes") << 16 << 16;
    QTest::newRow("every byte") << 512 << 512;
  }
  void ProposedCompareCounts() {
    QFETCH(int, agreeing);
    QFETCH(int, count);
    Bytes512 mask{};
    for (int k = 0; k < agreeing; ++k) mask[std::size_t(k)] = 0xFF;
    // Past the run: a byte with some bits in common, then full agreement again;
    // neither lengthens the proposal.
    if (agreeing < 512) mask[std::size_t(agreeing)] = 0xF8;
    for (int k = agreeing + 1; k < 512; ++k) mask[std::size_t(k)] = 0xFF;
    QCOMPARE(ProposedCompareCount(mask), count);
  }

  void FragmentsThatMatchEverythingAreRefused_data() {
    QTest::addColumn<QByteArray>("values");
    QTest::addColumn<QByteArray>("mask");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("refused");
    const QByteArray zeros(512, '\0'), full(512, '\xFF');
    QByteArray magic = zeros;
    magic.replace(0, 4, "\x89PNG");
    QTest::newRow("an unedited + fragment: zeros under a full mask") << zeros << full << 512 << true;
    QTest::newRow("a mask that compares nothing") << magic << zeros << 8 << true;
    QTest::newRow("a magic number") << magic << full << 8 << false;
    QTest::newRow("its bits masked away") << magic << QByteArray(4, '\0') + QByteArray(508, '\xFF') << 8 << true;
    QTest::newRow("the magic past the compared bytes") << QByteArray(8, '\0') + magic.left(504) << full << 8 << true;
  }
  void FragmentsThatMatchEverythingAreRefused() {
    QFETCH(QByteArray, values);
    QFETCH(QByteArray, mask);
    QFETCH(int, count);
    QFETCH(bool, refused);
    const auto bytes = [](const QByteArray& b) {
      return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(b.constData()), std::size_t(b.size()));
    };
    QCOMPARE(!FragmentRefusal(bytes(values), bytes(mask), count).empty(), refused);
  }

  void DefaultExtensions_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("extension");
    QTest::newRow("photo.abc") << "/tmp/photo.abc" << "ABC";
    QTest::newRow("mixed case") << "/tmp/x.TaR" << "TAR";
    QTest::newRow("last dot") << "/tmp/a.b.gz" << "GZ";
    QTest::newRow("no extension") << "/tmp/README" << "new";
    QTest::newRow("no sample") << "" << "new";
  }
  void DefaultExtensions() {
    QFETCH(QString, path);
    QFETCH(QString, extension);
    QCOMPARE(DefaultExtensionForSample(path), extension);
  }

  void TheDesktopNamesKnownKinds() {
    QVERIFY(!FileTypeNameFor(QStringLiteral("/tmp/picture.png")).isEmpty());
    QVERIFY(FileTypeNameFor(QStringLiteral("/tmp/x.vndrltstunknown")).isEmpty());
    QVERIFY(FileTypeNameFor(QString()).isEmpty());
  }

  void FirstFreeIdAndIdRefusals() {
    test::TempDir dir;
    platform::RegistryStore store(dir / "registry.reg");
    FileTypeDatabase db;
    db.SetRegistry(&store);
    QVERIFY(db.LoadFileTypes());
    QCOMPARE(FirstFreeTypeId(&db), 1000);
    QCOMPARE(FirstFreeTypeId(nullptr), 1000);
    db.AddFileType(CATEGORY_DOCUMENTS, 1000, 1024, u"Mine", u"", u"", u"mine", u"MIN");
    QCOMPARE(FirstFreeTypeId(&db), 1001);

    struct Case {
      std::int64_t id;
      bool refused;
    } cases[] = {{999, true}, {1, true}, {1000, true}, {1001, false}, {32767, false}, {32768, true}, {-5, true}};
    for (const Case& c : cases) QCOMPARE(!TypeIdRefusal(&db, c.id).isEmpty(), c.refused);
    QVERIFY(TypeIdRefusal(&db, 1000).contains(QStringLiteral("Mine")));
  }

  void InitNewSignatureSetsTheDefaults() {
    std::vector<SignatureSample> samples(1);
    samples[0].path = QStringLiteral("/data/photo.abc");
    FileType type;
    InitNewSignature(type, nullptr, samples);
    QVERIFY(type.Extensions() == u"ABC");
    QVERIFY(type.NamePrefix() == u"newprefix");
    QCOMPARE(type.typicalSizeKB(), 1024);
    QCOMPARE(type.HeaderI32(kSearchOrderOffset), 50);
    QCOMPARE(type.typeId(), 1000);
    FileType none;
    InitNewSignature(none, nullptr, {});
    QVERIFY(none.Extensions() == u"new");
    QVERIFY(none.Title().empty());
    // A kind the desktop knows names the type.
    samples[0].path = QStringLiteral("/data/picture.png");
    FileType named;
    InitNewSignature(named, nullptr, samples);
    QVERIFY(!named.Title().empty());
    QVERIFY(named.Title() == named.Description());
  }

  void TheMailBodyDecodesBackToTheBlob() {
    FileType type;
    type.Init(CATEGORY_DOCUMENTS, 1000, u"Mail me", u"d", u"p", u"MM");
    std::vector<std::uint8_t> buffer(1024);
    for (std::size_t k = 0; k < buffer.size(); ++k) buffer[k] = std::uint8_t(k * 37 + 11);  // "+", "/" in Base64
    type.AddBytesSignature(PATTERN_MASKED, buffer, 0, 0, 0);
    const std::vector<std::uint8_t> blob = type.Serialize();
    const QByteArray link = BuildSignatureMailto(blob);
    const QByteArray prefix = QByteArray("mailto:") + kSignatureServiceAddress + "?subject=newsign&body=";
    QVERIFY(link.startsWith(prefix));
    const QByteArray encodedBody = link.mid(prefix.size());
    // Nothing but unreserved characters and escapes: no "+", "/", "=" or line end.
    for (char c : {'+', '/', '=', '\r', '\n', '&', ' '}) QVERIFY(!encodedBody.contains(c));
    QVERIFY(encodedBody.contains("%0D%0A"));
    const QByteArray body = QByteArray::fromPercentEncoding(encodedBody);
    const QList<QByteArray> lines = body.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
      const QByteArray line = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
      if (i + 1 < lines.size()) {
        QCOMPARE(line.size(), 76);
        QVERIFY(lines[i].endsWith('\r'));
      } else {
        QVERIFY(line.size() <= 76);
      }
    }
    QByteArray base64 = body;
    base64.replace("\r\n", "");
    const QByteArray decoded = QByteArray::fromBase64(base64, QByteArray::AbortOnBase64DecodingErrors);
    QCOMPARE(decoded, QByteArray(reinterpret_cast<const char*>(blob.data()), qsizetype(blob.size())));
    // The link as a URL keeps the body's escapes.
    const QUrl url = QUrl::fromEncoded(link, QUrl::StrictMode);
    QVERIFY(url.isValid());
    QCOMPARE(url.scheme(), QStringLiteral("mailto"));
    QCOMPARE(QUrlQuery(url).queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded).toLatin1(), body);
    QCOMPARE(QUrlQuery(url).queryItemValue(QStringLiteral("subject")), QStringLiteral("newsign"));
  }

  void Base64LinesOfShortBlobs_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("empty") << 0 << QByteArray();
    QTest::newRow("one byte, padded") << 1 << QByteArray("AA==");
    QTest::newRow("57 bytes fill one line") << 57 << QByteArray(76, 'A');
    QTest::newRow("58 bytes wrap") << 58 << QByteArray(76, 'A') + "\r\nAA==";
  }
  void Base64LinesOfShortBlobs() {
    QFETCH(int, size);
    QFETCH(QByteArray, text);
    std::vector<std::uint8_t> blob(std::size_t(size), 0);
    QCOMPARE(Base64Lines(blob), text);
  }
};

VANDREL_QT_TEST(SignatureAnalysisTest);
#include "SignatureAnalysisTest.moc"
