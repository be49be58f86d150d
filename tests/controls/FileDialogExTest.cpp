// The multi-select open dialog, driven through Qt's own (non-native) dialog: the
// chosen files come back as full paths in the dialog's order; Cancel keeps them.
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

#include "controls/FileDialogEx.h"
#include "support/QtTestRegistry.h"

namespace {

// Runs `step` on the dialog once its event loop runs.
void WhenShown(CFileDialogEx& dialog, std::function<void(CFileDialogEx&)> step) {
  QTimer::singleShot(0, &dialog, [&dialog, step] { step(dialog); });
}

void ChooseAndAccept(CFileDialogEx& dialog, const QString& typed) {
  auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  QVERIFY(edit);
  edit->setText(typed);
  static_cast<QDialog&>(dialog).accept();  // the OK button
}

}  // namespace

class FileDialogExTest : public QObject {
  Q_OBJECT
 private slots:
  void ChosenFilesComeBackInOrder_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("three files") << QStringLiteral("\"a.jpg\" \"b.jpg\" \"c.jpg\"")
                                 << QStringList{QStringLiteral("a.jpg"), QStringLiteral("b.jpg"), QStringLiteral("c.jpg")};
    QTest::newRow("the dialog's order") << QStringLiteral("\"c.jpg\" \"a.jpg\" \"b.jpg\"")
                                        << QStringList{QStringLiteral("c.jpg"), QStringLiteral("a.jpg"),
                                                       QStringLiteral("b.jpg")};
    QTest::newRow("one file") << QStringLiteral("b.jpg") << QStringList{QStringLiteral("b.jpg")};
  }
  void ChosenFilesComeBackInOrder() {
    QFETCH(QString, typed);
    QFETCH(QStringList, names);
    QTemporaryDir dir;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
      QFile file(dir.filePath(QString::fromLatin1(name)));
      QVERIFY(file.open(QIODevice::WriteOnly));
    }
    CFileDialogEx dialog(true, {}, QStringLiteral("ignored.jpg"),
                         CFileDialogEx::OFN_OVERWRITEPROMPT | CFileDialogEx::OFN_HIDEREADONLY |
                             CFileDialogEx::OFN_EXPLORER | CFileDialogEx::OFN_FILEMUSTEXIST |
                             CFileDialogEx::OFN_ALLOWMULTISELECT);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setDirectory(dir.path());
    QCOMPARE(dialog.fileMode(), QFileDialog::ExistingFiles);
    QString shownName = QStringLiteral("unset");
    WhenShown(dialog, [&](CFileDialogEx& d) {
      shownName = d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
      ChooseAndAccept(d, typed);
    });
    QCOMPARE(dialog.DoModal(), CFileDialogEx::IDOK);
    QVERIFY(shownName.isEmpty());  // always starts without a name
    QStringList expected;
    for (const QString& name : names) expected << QDir(dir.path()).filePath(name);
    QCOMPARE(dialog.GetPaths(), expected);
  }

  void CancelAfterOkKeepsTheEarlierPaths() {
    QTemporaryDir dir;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
      QFile file(dir.filePath(QString::fromLatin1(name)));
      QVERIFY(file.open(QIODevice::WriteOnly));
    }
    CFileDialogEx dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setDirectory(dir.path());
    QVERIFY(dialog.GetPaths().isEmpty());
    WhenShown(dialog, [](CFileDialogEx& d) { ChooseAndAccept(d, QStringLiteral("\"a.jpg\" \"b.jpg\" \"c.jpg\"")); });
    QCOMPARE(dialog.DoModal(), CFileDialogEx::IDOK);
    const QStringList chosen = dialog.GetPaths();
    QCOMPARE(chosen.size(), 3);
    WhenShown(dialog, [](CFileDialogEx& d) { d.reject(); });
    QCOMPARE(dialog.DoModal(), CFileDialogEx::IDCANCEL);
    QCOMPARE(dialog.GetPaths(), chosen);
  }
};
VANDREL_QT_TEST(FileDialogExTest);

#include "FileDialogExTest.moc"
