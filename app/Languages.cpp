#include "app/Languages.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMetaProperty>
#include <QToolBar>
#include <QWidget>
#include <QAbstractSpinBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

#include <sys/stat.h>

#include <algorithm>

#include "app/PostedEvent.h"
#include "app/QtText.h"
#include "controls/ControlId.h"
#include "engine/records/Messages.h"
#include "platform/Text.h"
#include "resources/StringTable.h"

namespace {

const std::u16string_view kStringsTable = u"StringsTable";

QString Builtin(int id) {
  if (id < 0) return {};
  return app::ToQString(BuiltinString(static_cast<std::uint32_t>(id)));
}

// Sets the text a control shows: a label's or button's text, a group box's title,
// or a "text" property of any other control that is not an input field.
void SetControlText(QWidget* widget, const QString& text) {
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(text);
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(text);
  } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
    group->setTitle(text);
  } else if (!qobject_cast<QLineEdit*>(widget) && !qobject_cast<QTextEdit*>(widget) &&
             !qobject_cast<QPlainTextEdit*>(widget) && !qobject_cast<QAbstractSpinBox*>(widget) &&
             !qobject_cast<QComboBox*>(widget)) {
    const QMetaObject* meta = widget->metaObject();
    const int index = meta->indexOfProperty("text");
    if (index >= 0 && meta->property(index).isWritable()) widget->setProperty("text", text);
  }
}

QList<QAction*> ActionsOf(QWidget* menu) { return menu ? menu->actions() : QList<QAction*>{}; }

// Case-insensitive name order, the exact text breaking ties.
bool NameLess(const QString& a, const QString& b) {
  const int c = a.compare(b, Qt::CaseInsensitive);
  return c != 0 ? c < 0 : a < b;
}

}  // namespace

CLanguages::CLanguages(const QString& folderName, const QString& programDir) {
  QString base = programDir;
  if (base.isEmpty() && QCoreApplication::instance()) base = QCoreApplication::applicationDirPath();
  folder_ = QDir(base).filePath(folderName) + QLatin1Char('/');
  QDir dir(folder_);
  const QStringList files =
      dir.entryList(QStringList{QStringLiteral("*.lng")}, QDir::Files | QDir::Readable, QDir::NoSort);
  for (const QString& file : files) {
    if (!file.endsWith(QLatin1String(".lng"), Qt::CaseInsensitive) || file.size() <= 4) continue;
    languages_.push_back(file.left(file.size() - 4));
  }
  std::sort(languages_.begin(), languages_.end(), NameLess);
  SelectLanguageByName(QStringLiteral("English"));
}

CLanguages::~CLanguages() = default;

QString CLanguages::CurrentFile() const {
  std::lock_guard lock(mutex_);
  return app::PathToQString(currentFile_);
}

void CLanguages::SelectLanguage(int index) {
  if (index < 0 || index >= languages_.size()) return;
  currentIndex_ = index;
  currentName_ = languages_[index];
  // The file's own name on disk (its extension may be written in any case).
  QString path = folder_ + currentName_ + QStringLiteral(".lng");
  const QStringList matches = QDir(folder_).entryList(QStringList{currentName_ + QStringLiteral(".lng")}, QDir::Files);
  for (const QString& m : matches)
    if (m.left(m.size() - 4) == currentName_) path = folder_ + m;
  {
    std::lock_guard lock(mutex_);
    currentFile_ = app::QStringToPath(path);
  }
  for (auto it = windows_.begin(); it != windows_.end();) {
    if (!it.value()) {
      it = windows_.erase(it);
      continue;
    }
    ApplyToWindow(it.key(), it.value());
    ++it;
  }
  for (auto it = menus_.begin(); it != menus_.end(); ++it) ApplyToMenu(it.key(), it.value());
  for (auto it = toolbars_.begin(); it != toolbars_.end(); ++it) ApplyToToolbar(it.key(), it.value());
}

void CLanguages::SelectLanguageByName(const QString& name) {
  const int index = languages_.indexOf(name);
  if (index >= 0) SelectLanguage(index);
}

int CLanguages::FillLanguageCombo(QComboBox* combo) const {
  if (!combo) return -1;
  if (languages_.isEmpty()) {
    combo->setEnabled(false);
    return -1;
  }
  combo->addItems(languages_);
  combo->setCurrentIndex(currentIndex_);
  return currentIndex_;
}

bool CLanguages::RegisterWindow(const QString& section, QWidget* window) {
  const bool added = !windows_.contains(section);
  windows_[section] = window;
  if (window) ApplyToWindow(section, window);
  return added;
}

bool CLanguages::RegisterMenu(const QString& section, QWidget* menu) {
  const bool added = !menus_.contains(section);
  menus_[section] = menu;
  ApplyToMenu(section, menu);
  return added;
}

bool CLanguages::RegisterToolbar(const QString& section, QToolBar* toolbar) {
  const bool added = !toolbars_.contains(section);
  toolbars_[section] = toolbar;
  ApplyToToolbar(section, toolbar);
  return added;
}

int CLanguages::SetMainMenu(QMenuBar* commandBar) {
  commandBar_ = commandBar;
  RegisterMenu(QStringLiteral("MainMenu"), commandBar);
  return 1;
}

bool CLanguages::IsDialogClass(const QWidget* window) { return window && !window->inherits("QMainWindow"); }

void CLanguages::ApplyToWindow(const QString& section, QWidget* window) {
  // A window's own menu bar (not the main window's command bar, which is
  // registered as "MainMenu") is translated as "<section>.menu".
  if (auto* main = qobject_cast<QMainWindow*>(window)) {
    if (auto* bar = qobject_cast<QMenuBar*>(main->menuWidget()); bar && bar != commandBar_)
      RegisterMenu(section + QStringLiteral(".menu"), bar);
  }
  currentSection_ = section;
  const QString caption = ReadKey(0);
  if (!caption.isEmpty()) window->setWindowTitle(caption);
  if (IsDialogClass(window)) {
    const QList<QWidget*> children = window->findChildren<QWidget*>();
    for (QWidget* child : children) {
      const int id = controls::ControlId(child);
      if (id == 0 || id == -1 || id == 0xFFFF) continue;
      const QString text = ReadKey(id);
      if (!text.isEmpty()) SetControlText(child, text);
    }
  }
  QCoreApplication::postEvent(window, new CPostedEvent(PostedMessage{WM_LANGUAGE_APPLIED, 0, 0, {}, 0}));
}

void CLanguages::ApplyToMenu(const QString& section, QWidget* menu) {
  if (!menu) return;
  const QString saved = currentSection_;
  currentSection_ = section;
  const QList<QAction*> top = ActionsOf(menu);
  for (int p = 0; p < top.size(); ++p) {
    QAction* item = top[p];
    if (!item->isSeparator()) {
      const QString text = ReadKey(p, item->text());
      if (!text.isEmpty()) item->setText(text);
    }
    if (item->menu()) ApplyToDropDown(item->menu());
  }
  currentSection_ = saved;
}

void CLanguages::ApplyToDropDown(QWidget* menu) {
  for (QAction* item : ActionsOf(menu)) {
    if (item->isSeparator()) continue;
    if (item->menu()) {
      // A pop-up nested in a drop-down keeps its title; its items are keyed by
      // their command ids like any other.
      ApplyToDropDown(item->menu());
      continue;
    }
    const int id = controls::CommandId(item);
    if (id <= 0) continue;
    const QString text = ReadKey(id, item->text());
    if (!text.isEmpty()) item->setText(text);
  }
}

void CLanguages::ApplyToToolbar(const QString& section, QToolBar* toolbar) {
  if (!toolbar) return;
  const QString saved = currentSection_;
  currentSection_ = section;
  for (QAction* action : toolbar->actions()) {
    const int id = controls::CommandId(action);
    if (id <= 0 || action->isSeparator() || action->text().isEmpty()) continue;
    const QString text = ReadKey(id, action->text());
    if (!text.isEmpty()) action->setText(text);
  }
  currentSection_ = saved;
}

QString CLanguages::ReadKey(int key, const std::optional<QString>& fallback) {
  return ReadValue(currentSection_, QString::number(key), fallback ? *fallback : Builtin(key));
}

QString CLanguages::GetString(int id, const std::optional<QString>& fallback) const {
  return ReadValue(app::ToQString(kStringsTable), QString::number(id), fallback ? *fallback : Builtin(id));
}

std::u16string CLanguages::GetString(std::uint32_t id) const {
  const std::u16string key = platform::Widen(std::to_string(id));
  std::lock_guard lock(mutex_);
  return app::ToU16(Unescape(app::ToQString(ReadLocked(kStringsTable, key, BuiltinString(id)))));
}

QString CLanguages::ReadValue(const QString& section, const QString& key, const QString& fallback) const {
  std::lock_guard lock(mutex_);
  return Unescape(app::ToQString(ReadLocked(app::ToU16(section), app::ToU16(key), app::ToU16(fallback))));
}

std::u16string CLanguages::ReadLocked(std::u16string_view section, std::u16string_view key,
                                      std::u16string_view fallback) const {
  if (currentFile_.empty()) {
    std::u16string out(fallback);
    if (out.size() > IniFile::kMaxValueLength) out.resize(IniFile::kMaxValueLength);
    return out;
  }
  return FileLocked().Read(section, key, fallback);
}

const IniFile& CLanguages::FileLocked() const {
  FileStamp stamp;
  struct stat st {};
  if (::stat(currentFile_.c_str(), &st) == 0) {
    stamp.exists = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  }
  if (!cacheValid_ || cachedPath_ != currentFile_ || !(cachedStamp_ == stamp)) {
    cached_ = IniFile();
    if (stamp.exists) cached_.Load(currentFile_);
    cachedPath_ = currentFile_;
    cachedStamp_ = stamp;
    cacheValid_ = true;
  }
  return cached_;
}

void CLanguages::WriteValue(const QString& section, const QString& key, const QString& value) {
  if (value.isEmpty()) return;
  std::lock_guard lock(mutex_);
  if (currentFile_.empty()) return;
  IniFile file;
  file.Load(currentFile_);
  file.Set(app::ToU16(section), app::ToU16(key), app::ToU16(Escape(value)));
  file.Save(currentFile_);
  cacheValid_ = false;
}

int CLanguages::ExportStringsTable() {
  std::lock_guard lock(mutex_);
  std::string path = currentFile_;
  if (path.empty()) {
    QDir().mkpath(folder_);
    path = app::QStringToPath(folder_ + currentName_ + QStringLiteral(".lng"));
  }
  IniFile file;
  file.Load(path);
  int written = 0;
  for (const StringTableEntry& entry : BuiltinStrings()) {
    if (entry.id < 1 || entry.id > 65535 || entry.text.empty()) continue;
    const std::u16string key = platform::Widen(std::to_string(entry.id));
    if (file.HasKey(kStringsTable, key)) continue;  // a translation stays as it is
    file.Set(kStringsTable, key, app::ToU16(Escape(app::ToQString(entry.text))));
    ++written;
  }
  if (written > 0 && !file.Save(path)) return -1;
  cacheValid_ = false;
  return written;
}

QString CLanguages::Unescape(const QString& value) {
  QString text = value;
  text.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
  text.replace(QStringLiteral("\\t"), QStringLiteral("\t"));
  text.replace(QStringLiteral("\\r"), QStringLiteral("\r"));
  return text;
}

QString CLanguages::Escape(const QString& text) {
  QString value = text;
  value.replace(QStringLiteral("\n"), QStringLiteral("\\n"));
  value.replace(QStringLiteral("\t"), QStringLiteral("\\t"));
  value.replace(QStringLiteral("\r"), QStringLiteral("\\r"));
  return value;
}
