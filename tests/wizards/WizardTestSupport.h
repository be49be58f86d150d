#pragma once
// What the wizards' tests share: the program started as "VandrelPro /cs" starts it
// (private configuration folder, the wizards registered, no event loop of its
// own), message boxes and mail links answered from a script, the wizard's buttons
// and controls found by their ids, and the file dialogs answered once they show.

#include <QApplication>
#include <QCheckBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/Startup.h"
#include "controls/ControlId.h"
#include "search/FileTypeDatabase.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"
#include "tests/app/AppTestSupport.h"
#include "wizards/SignatureCreateWizard.h"
#include "wizards/WizardsRegistration.h"

namespace test {

// The wizard sheet's own buttons.
inline constexpr int kBackId = 0x3023;
inline constexpr int kNextId = 0x3024;
inline constexpr int kFinishId = 0x3025;
inline constexpr int kCancelId = 2;

inline void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
}

// A file of a made-up format: a common 16-byte header, then a body made from `seed`.
inline std::vector<std::uint8_t> FormatFile(std::uint32_t seed, std::size_t size = 2000) {
  static const char header[] = "VNDRL-TST\x01\x02\x03\x04\x7F\x80\xFE";
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < 16 && i < size; ++i) bytes[i] = static_cast<std::uint8_t>(header[i]);
  std::uint32_t x = seed * 2654435761u + 12345u;
  for (std::size_t i = 16; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    bytes[i] = static_cast<std::uint8_t>(x >> 16);
  }
  return bytes;
}

// The program after "VandrelPro /cs": the wizard is the top window.
class WizardWorld {
 public:
  WizardWorld() {
    CStartup::Seams seams;
    seams.isUserAdmin = [] { return true; };
    seams.runEventLoop = false;
    seams.programDir = QString::fromStdString(programDir.path());
    seams.registerLibraries = RegisterWizards;
    startup = std::make_unique<CStartup>(seams);
  }
  ~WizardWorld() {
    delete wizard.data();
    startup.reset();
  }
  WizardWorld(const WizardWorld&) = delete;
  WizardWorld& operator=(const WizardWorld&) = delete;

  // Runs the entry path with `commandLine`; the wizard when one was made.
  CSignatureCreateWizard* Start(std::u16string_view commandLine = u"/cs") {
    startup->Main(commandLine);
    if (!g_App) return nullptr;
    g_App->Settings().SetExitProcessOnQuit(0);
    g_App->Settings().SetConfirmExit(0);
    g_App->SetExitFunction([this](int code) { exitCodes.push_back(code); });
    g_App->Callbacks().SetOpenHandler([this](const QUrl& url) {
      opened.push_back(url);
      return openResult;
    });
    wizard = qobject_cast<CSignatureCreateWizard*>(g_App->TopWindow());
    if (wizard) (void)QTest::qWaitForWindowExposed(wizard, 2000);
    return wizard;
  }

  QWidget* Control(int id) const { return wizard ? controls::FindControl(wizard, id) : nullptr; }
  QPushButton* Button(int id) const { return qobject_cast<QPushButton*>(Control(id)); }
  // A control of the current page (page controls share ids across pages).
  QWidget* PageControl(int id) const {
    return wizard && wizard->ActivePage() ? controls::FindControl(wizard->ActivePage(), id) : nullptr;
  }
  // Clicks a control of the current page (or of the sheet); false when it is
  // missing or disabled.
  bool Click(int id, bool onPage = true) {
    QWidget* w = onPage ? PageControl(id) : Control(id);
    if (!w || !w->isEnabled() || !w->isVisible()) return false;
    QTest::mouseClick(w, Qt::LeftButton);
    QApplication::processEvents();
    return true;
  }
  bool ClickNext() { return Click(kNextId, false); }
  // Clicks a check box of the current page on its box; false when there is none.
  bool ClickCheckBox(int id) {
    auto* box = qobject_cast<QCheckBox*>(PageControl(id));
    if (!box || !box->isEnabled()) return false;
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, indicator.center());
    QApplication::processEvents();
    return true;
  }
  bool NextEnabled() const {
    QPushButton* b = Button(kNextId);
    return b && b->isVisible() && b->isEnabled();
  }
  // Replaces the text of a line edit of the current page by typing; false when
  // there is no such edit.
  bool Type(int id, const QString& text) {
    auto* edit = qobject_cast<QLineEdit*>(PageControl(id));
    if (!edit) return false;
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
    return edit->text() == text;
  }

  ScopedConfig config;
  TempDir programDir;
  ScriptedBoxes boxes;
  std::unique_ptr<CStartup> startup;
  QPointer<CSignatureCreateWizard> wizard;
  std::vector<int> exitCodes;
  std::vector<QUrl> opened;
  bool openResult = true;
};

// Answers the next file dialog once it shows: in `folder`, the name field set to
// `names` (an open dialog takes several as "\"a\" \"b\""), then Enter; an empty
// `names` cancels. `shownName` receives the name the dialog started with.
inline void AnswerFileDialog(const QString& folder, const QString& names, QString* shownName = nullptr,
                             bool* answered = nullptr) {
  auto* timer = new QTimer;
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [=] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    if (answered) *answered = true;
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (shownName && edit) *shownName = edit->text();
    if (names.isEmpty() || !edit) {
      dialog->reject();
      return;
    }
    dialog->setDirectory(folder);
    edit->setFocus();
    edit->setText(names);
    QTest::keyClick(edit, Qt::Key_Return);
  });
  timer->start();
}

}  // namespace test
