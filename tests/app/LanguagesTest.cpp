// The language tables: the INI reader behaving as the profile functions do, the
// escapes, the listing, re-texting of forms, menus and toolbars on a language
// switch, and the export that keeps translations.
#include <QAction>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <QVBoxLayout>

#include <fstream>

#include "app/IniFile.h"
#include "app/Languages.h"
#include "app/QtText.h"
#include "controls/ControlId.h"
#include "platform/Text.h"
#include "resources/StringTable.h"
#include "support/QtTestRegistry.h"
#include "support/TempDir.h"

namespace {

std::vector<std::uint8_t> Utf8Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> Utf16Bytes(const std::u16string& text) {
  std::vector<std::uint8_t> out{0xFF, 0xFE};
  const auto units = platform::Utf16ToLE(text);
  out.insert(out.end(), units.begin(), units.end());
  return out;
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const std::string& path, const std::string& text) { WriteFile(path, Utf8Bytes(text)); }

std::string ReadText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

const char* kIniText =
    "; a comment\n"
    "[StringsTable]\n"
    "100=plain\n"
    "  101  =   blanks around   \n"
    "102=\"quoted value\"\n"
    "103='single'\n"
    "104=\"only one quote\n"
    "100=second duplicate\n"
    "105=\n"
    "[Other]\n"
    "0=Other caption\n"
    "[STRINGSTABLE]\n"
    "106=from a second header\n"
    "101=later duplicate\n";

}  // namespace

class LanguagesTest : public QObject {
  Q_OBJECT

 private slots:
  void IniReadsAsTheProfileFunctions_data() {
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "StringsTable" << "100" << "plain";
    QTest::newRow("section without case") << "stringstable" << "100" << "plain";
    QTest::newRow("blanks trimmed") << "StringsTable" << "101" << "blanks around";
    QTest::newRow("key blanks") << "StringsTable" << " 101 " << "blanks around";
    QTest::newRow("double quotes") << "StringsTable" << "102" << "quoted value";
    QTest::newRow("single quotes") << "StringsTable" << "103" << "single";
    QTest::newRow("unpaired quote kept") << "StringsTable" << "104" << "\"only one quote";
    QTest::newRow("first duplicate wins") << "StringsTable" << "100" << "plain";
    QTest::newRow("empty value is empty") << "StringsTable" << "105" << "";
    QTest::newRow("second header of a section") << "StringsTable" << "106" << "from a second header";
    QTest::newRow("other section") << "OTHER" << "0" << "Other caption";
    QTest::newRow("missing key gives default") << "StringsTable" << "999" << "<default>";
    QTest::newRow("missing section gives default") << "Nowhere" << "100" << "<default>";
  }
  void IniReadsAsTheProfileFunctions() {
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    for (bool utf16 : {false, true}) {
      IniFile ini;
      const std::u16string text = platform::Utf8ToUtf16(kIniText);
      ini.Parse(utf16 ? Utf16Bytes(text) : Utf8Bytes(kIniText));
      QCOMPARE(ini.GetEncoding(), utf16 ? IniFile::Encoding::Utf16LE : IniFile::Encoding::Utf8);
      QCOMPARE(app::ToQString(ini.Read(app::ToU16(section), app::ToU16(key), u"<default>")), expected);
    }
  }

  void IniCutsLongValuesAndKeepsOtherLinesOnWrite() {
    IniFile ini;
    const std::string longValue(5000, 'x');
    ini.Parse(Utf8Bytes("[A]\r\n; keep me\r\nk=" + longValue + "\r\nother = 1\r\n\r\n[B]\r\nz=2\r\n"));
    QCOMPARE(ini.Read(u"a", u"K", u"").size(), IniFile::kMaxValueLength);
    ini.Set(u"A", u"OTHER", u"changed");
    ini.Set(u"a", u"new", u"added");
    ini.Set(u"C", u"c", u"3");
    const std::vector<std::uint8_t> bytes = ini.Serialize();
    const std::string out(bytes.begin(), bytes.end());
    QCOMPARE(out, "[A]\r\n; keep me\r\nk=" + longValue + "\r\nother=changed\r\nnew=added\r\n\r\n[B]\r\nz=2\r\n\r\n[C]\r\nc=3\r\n");
  }

  // Carriage returns at a line's end belong to its line break: a value reads the
  // same before and after the file is written, and the written text is stable.
  void IniLineEndsReadTheSameAfterAWrite_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("value");
    QTest::newRow("two carriage returns in a file of line feeds") << QByteArray("[A]\nk=v\r\r\nz=1\n") << "v";
    QTest::newRow("two carriage returns in a file of CRLF") << QByteArray("[A]\r\nk=v\r\r\nz=1\r\n") << "v";
    QTest::newRow("carriage return ends the file") << QByteArray("[A]\nz=1\nk=v\r") << "v";
    QTest::newRow("carriage return inside a value") << QByteArray("[A]\nk=v\rw\nz=1\n") << "v\rw";
  }
  void IniLineEndsReadTheSameAfterAWrite() {
    QFETCH(QByteArray, text);
    QFETCH(QString, value);
    IniFile ini;
    ini.Parse(platform::Bytes(reinterpret_cast<const std::uint8_t*>(text.constData()), std::size_t(text.size())));
    QCOMPARE(app::ToQString(ini.Read(u"A", u"k", u"")), value);
    ini.Set(u"A", u"added", u"1");  // a line after the last one
    const std::vector<std::uint8_t> written = ini.Serialize();
    IniFile again;
    again.Parse(written);
    QCOMPARE(app::ToQString(again.Read(u"A", u"k", u"")), value);
    QCOMPARE(app::ToQString(again.Read(u"A", u"z", u"")), QStringLiteral("1"));
    QVERIFY(again.Serialize() == written);
  }

  void IniWritesBackInItsOwnEncoding() {
    test::TempDir dir;
    const std::string path = dir / "u16.lng";
    WriteFile(path, Utf16Bytes(u"[StringsTable]\r\n1=\u00e9t\u00e9\r\n"));
    IniFile ini;
    QVERIFY(ini.Load(path));
    ini.Set(u"StringsTable", u"2", u"\u65e5\u672c");
    QVERIFY(ini.Save(path));
    IniFile again;
    QVERIFY(again.Load(path));
    QCOMPARE(again.GetEncoding(), IniFile::Encoding::Utf16LE);
    QVERIFY(again.Read(u"StringsTable", u"1", u"") == u"\u00e9t\u00e9");
    QVERIFY(again.Read(u"StringsTable", u"2", u"") == u"\u65e5\u672c");
    const std::string raw = ReadText(path);
    QVERIFY(raw.size() > 2 && static_cast<unsigned char>(raw[0]) == 0xFF && static_cast<unsigned char>(raw[1]) == 0xFE);
  }

  void LanguagesAreListedWithoutCaseAndSorted() {
    test::TempDir dir;
    const std::string folder = dir / "Languages";
    QVERIFY(QDir().mkpath(QString::fromStdString(folder)));
    for (const char* name : {"english.LNG", "Deutsch.lng", "Zulu.lng", "English.lng", "alpha.Lng", "notes.txt"})
      WriteText(folder + "/" + name, "[StringsTable]\n");
    CLanguages languages(QStringLiteral("Languages"), QString::fromStdString(dir.path()));
    QCOMPARE(languages.LanguageNames(),
             (QStringList{"alpha", "Deutsch", "English", "english", "Zulu"}));
    // "English" (exactly) is selected at construction.
    QCOMPARE(languages.CurrentName(), QStringLiteral("English"));
    QCOMPARE(languages.CurrentIndex(), 2);
    // An index outside the list changes nothing.
    languages.SelectLanguage(17);
    languages.SelectLanguage(-1);
    QCOMPARE(languages.CurrentIndex(), 2);
    QVERIFY(languages.CurrentFile().endsWith(QStringLiteral("/English.lng")));
    languages.SelectLanguage(3);
    QVERIFY(languages.CurrentFile().endsWith(QStringLiteral("/english.LNG")));
    languages.SelectLanguageByName(QStringLiteral("ZULU"));  // exact names only
    QCOMPARE(languages.CurrentIndex(), 3);
  }

  void WithoutLanguagesTheBuiltInTextsShow() {
    test::TempDir dir;
    CLanguages languages(QStringLiteral("Languages"), QString::fromStdString(dir.path()));
    QVERIFY(languages.LanguageNames().isEmpty());
    QVERIFY(languages.CurrentFile().isEmpty());
    QCOMPARE(languages.GetString(158), QStringLiteral("Are you sure you want to exit the application?"));
    QVERIFY(languages.GetString(std::uint32_t(153)) == u"Error: Administrator access necessary");
  }

  void EscapesRoundTrip() {
    test::TempDir dir;
    const std::string folder = dir / "Languages";
    QDir().mkpath(QString::fromStdString(folder));
    WriteText(folder + "/English.lng", "[StringsTable]\n200=first\\nsecond\\tTab\\rCR\n");
    CLanguages languages(QStringLiteral("Languages"), QString::fromStdString(dir.path()));
    QCOMPARE(languages.GetString(200), QStringLiteral("first\nsecond\tTab\rCR"));
    languages.WriteValue(QStringLiteral("StringsTable"), QStringLiteral("201"), QStringLiteral("one\ntwo"));
    QVERIFY(ReadText(folder + "/English.lng").find("201=one\\ntwo") != std::string::npos);
    QCOMPARE(languages.GetString(201), QStringLiteral("one\ntwo"));
    // An empty value writes nothing.
    languages.WriteValue(QStringLiteral("StringsTable"), QStringLiteral("202"), QString());
    QVERIFY(ReadText(folder + "/English.lng").find("202=") == std::string::npos);
  }

  void FormsMenusAndToolbarsAreReTextedOnASwitch() {
    test::TempDir dir;
    const std::string folder = dir / "Languages";
    QDir().mkpath(QString::fromStdString(folder));
    WriteText(folder + "/English.lng", "[StringsTable]\n");
    WriteText(folder + "/Pirate.lng",
              "[Form]\n0=Arr settings\n1001=Hoist\n1002=\n"
              "[MainMenu]\n0=&Ship\n32798=Riggin'...\n"
              "[MainToolBar]\n32774=Plunder\n"
              "[StringsTable]\n158=Abandon ship?\n");
    CLanguages languages(QStringLiteral("Languages"), QString::fromStdString(dir.path()));

    QDialog form;
    form.setWindowTitle(QStringLiteral("Settings"));
    auto* layout = new QVBoxLayout(&form);
    auto* hoist = new QPushButton(QStringLiteral("Apply"), &form);
    controls::SetControlId(hoist, 1001);
    auto* emptyKey = new QLabel(QStringLiteral("Resource text"), &form);
    controls::SetControlId(emptyKey, 1002);
    auto* builtin = new QLabel(QStringLiteral("stale"), &form);  // no key; id 160 has a built-in string
    controls::SetControlId(builtin, 160);
    auto* nothing = new QLabel(QStringLiteral("untouched"), &form);  // no key, no built-in string
    controls::SetControlId(nothing, 1003);
    for (QWidget* w : {static_cast<QWidget*>(hoist), static_cast<QWidget*>(emptyKey), static_cast<QWidget*>(builtin),
                       static_cast<QWidget*>(nothing)})
      layout->addWidget(w);

    QMainWindow frame;
    auto* bar = new QMenuBar(&frame);
    frame.setMenuBar(bar);
    QMenu* options = bar->addMenu(QStringLiteral("&Options"));
    QAction* settings = options->addAction(QStringLiteral("Settings..."));
    controls::SetCommandId(settings, 32798);
    options->addSeparator();
    QAction* untranslated = options->addAction(QStringLiteral("Logging..."));
    controls::SetCommandId(untranslated, 32811);
    auto* toolbar = frame.addToolBar(QStringLiteral("Main"));
    QAction* analyze = toolbar->addAction(QStringLiteral("Analyze"));
    controls::SetCommandId(analyze, 32774);
    QAction* noText = toolbar->addAction(QString());
    controls::SetCommandId(noText, 32775);

    QVERIFY(languages.RegisterWindow(QStringLiteral("Form"), &form));
    QVERIFY(!languages.RegisterWindow(QStringLiteral("Form"), &form));
    QCOMPARE(languages.SetMainMenu(bar), 1);
    QVERIFY(languages.RegisterToolbar(QStringLiteral("MainToolBar"), toolbar));
    // English has no keys: only the control without a key but with a built-in
    // string changes.
    QCOMPARE(form.windowTitle(), QStringLiteral("Settings"));
    QCOMPARE(hoist->text(), QStringLiteral("Apply"));
    QCOMPARE(builtin->text(), QStringLiteral("Settings"));
    QCOMPARE(nothing->text(), QStringLiteral("untouched"));

    languages.SelectLanguageByName(QStringLiteral("Pirate"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Arr settings"));
    QCOMPARE(hoist->text(), QStringLiteral("Hoist"));
    QCOMPARE(emptyKey->text(), QStringLiteral("Resource text"));  // an empty value keeps the text
    QCOMPARE(builtin->text(), QStringLiteral("Settings"));
    QCOMPARE(nothing->text(), QStringLiteral("untouched"));
    QCOMPARE(options->menuAction()->text(), QStringLiteral("&Ship"));
    QCOMPARE(settings->text(), QStringLiteral("Riggin'..."));
    QCOMPARE(untranslated->text(), QStringLiteral("Logging..."));
    QCOMPARE(analyze->text(), QStringLiteral("Plunder"));
    QCOMPARE(noText->text(), QString());
    QCOMPARE(languages.GetString(158), QStringLiteral("Abandon ship?"));

    // Back to English: keys missing there leave the current texts.
    languages.SelectLanguageByName(QStringLiteral("English"));
    QCOMPARE(languages.GetString(158), QStringLiteral("Are you sure you want to exit the application?"));
    QCOMPARE(settings->text(), QStringLiteral("Riggin'..."));

    // A destroyed window drops out at the next switch.
    {
      QDialog gone;
      languages.RegisterWindow(QStringLiteral("Gone"), &gone);
    }
    languages.SelectLanguageByName(QStringLiteral("Pirate"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Arr settings"));
  }

  void ExportWritesOnlyMissingKeys() {
    test::TempDir dir;
    const std::string folder = dir / "Languages";
    QDir().mkpath(QString::fromStdString(folder));
    WriteText(folder + "/English.lng", "; my translation\n[StringsTable]\n158=Wirklich beenden?\n");
    CLanguages languages(QStringLiteral("Languages"), QString::fromStdString(dir.path()));
    const int written = languages.ExportStringsTable();
    QCOMPARE(written, static_cast<int>(BuiltinStrings().size()) - 1);
    QCOMPARE(languages.GetString(158), QStringLiteral("Wirklich beenden?"));
    QCOMPARE(languages.GetString(153), QStringLiteral("Error: Administrator access necessary"));
    // A text with a line break is stored escaped and reads back whole.
    QCOMPARE(languages.GetString(132), app::ToQString(BuiltinString(132)));
    QVERIFY(ReadText(folder + "/English.lng").rfind("; my translation\n[StringsTable]\n158=Wirklich beenden?\n", 0) == 0);
    QCOMPARE(languages.ExportStringsTable(), 0);
  }

  void TheShippedEnglishFileHoldsEveryBuiltInString() {
    // Languages/English.lng is made by the export: exporting into a copy adds nothing.
    test::TempDir dir;
    const std::string folder = dir / "Languages";
    QDir().mkpath(QString::fromStdString(folder));
    QVERIFY(QFile::copy(QStringLiteral(VANDREL_SOURCE_DIR "/Languages/English.lng"),
                        QString::fromStdString(folder + "/English.lng")));
    CLanguages languages(QStringLiteral("Languages"), QString::fromStdString(dir.path()));
    QCOMPARE(languages.ExportStringsTable(), 0);
    for (const StringTableEntry& e : BuiltinStrings())
      QCOMPARE(languages.GetString(static_cast<int>(e.id)), app::ToQString(e.text));
  }
};

VANDREL_QT_TEST(LanguagesTest);
#include "LanguagesTest.moc"
