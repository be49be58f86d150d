#pragma once
// The language tables: every text the user sees in another language. A language
// file is "<Name>.lng" (an INI file, app/IniFile.h) in the folder "Languages"
// beside the program; names are listed without case and sorted by name.
//
// Texts by id: GetString / the engine's GetLangString read section "StringsTable"
// of the current file, with the built-in string as the default. They may be called
// from any thread and return the text by value; the parsed file is kept and read
// again when it changes on disk.
//
// Windows, menus and toolbars are re-texted by number: a window registers under a
// section name (RegisterWindow, usually in its constructor after building its form)
// and gets key 0 as its caption and, for dialog-like windows (anything that is not
// a QMainWindow), the key of each descendant's `controlId` as that control's text;
// a control without a key gets the built-in string of its id when there is one. A
// menu (QMenuBar or QMenu) registers with RegisterMenu: top-level items by position
// (0, 1, ...), the items of their drop-downs by `commandId`. A toolbar registers with
// RegisterToolbar: its actions with a text, by `commandId`. Everything registered is
// re-texted again at every SelectLanguage; destroyed windows drop out by
// themselves. An empty value never blanks a text.
//
// Everything but the text look-ups runs on the GUI thread. The application object
// owns the one instance (g_App->Languages()).

#include <QMap>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>

#include "app/IniFile.h"
#include "engine/records/Strings.h"

class QComboBox;
class QMenuBar;
class QToolBar;
class QWidget;

class CLanguages : public IStringSource {
 public:
  // The language folder is `programDir` (the executable's folder when empty) joined
  // with `folderName`; its languages are listed and "English" is selected when it
  // is there.
  explicit CLanguages(const QString& folderName, const QString& programDir = {});
  ~CLanguages() override;
  CLanguages(const CLanguages&) = delete;
  CLanguages& operator=(const CLanguages&) = delete;

  // Makes language number `index` current and re-texts everything registered. An
  // index outside the list changes nothing.
  void SelectLanguage(int index);
  // The language whose name equals `name` exactly; an unknown name changes nothing.
  void SelectLanguageByName(const QString& name);
  // Fills the combo with the names and selects the current one; -1 (and the combo
  // disabled) when there is no language.
  int FillLanguageCombo(QComboBox* combo) const;

  // Register and re-text at once; true when the section was new.
  bool RegisterWindow(const QString& section, QWidget* window);
  bool TranslateWindow(const QString& section, QWidget* window) { return RegisterWindow(section, window); }
  bool RegisterMenu(const QString& section, QWidget* menu);
  bool RegisterToolbar(const QString& section, QToolBar* toolbar);
  // The main window's menu bar, registered as "MainMenu". Returns 1.
  int SetMainMenu(QMenuBar* commandBar);

  // The value of key `key` in the current section, or the default: `fallback` when
  // given, else the built-in string with the key as id ("" when none).
  QString ReadKey(int key, const std::optional<QString>& fallback = std::nullopt);
  // The text of string `id` in the current language ("StringsTable"), the default
  // being `fallback` or the built-in string. Any thread.
  QString GetString(int id, const std::optional<QString>& fallback = std::nullopt) const;
  std::u16string GetString(std::uint32_t id) const override;

  // Profile reads and writes with the escapes "\n", "\t", "\r". WriteValue writes
  // nothing for an empty value. Any thread.
  QString ReadValue(const QString& section, const QString& key, const QString& fallback) const;
  void WriteValue(const QString& section, const QString& key, const QString& value);
  // Writes every built-in string whose key is missing from "StringsTable" of the
  // current file (or of "<current name>.lng" when none is selected yet), keeping
  // every translation. Returns the number of keys written, -1 when the file could
  // not be written.
  int ExportStringsTable();

  static bool IsDialogClass(const QWidget* window);
  static QString Unescape(const QString& value);
  static QString Escape(const QString& text);

  QStringList LanguageNames() const { return languages_; }
  int CurrentIndex() const { return currentIndex_; }
  QString CurrentName() const { return currentName_; }
  QString CurrentFile() const;
  QString Folder() const { return folder_; }
  QString CurrentSection() const { return currentSection_; }

 private:
  void ApplyToWindow(const QString& section, QWidget* window);
  void ApplyToMenu(const QString& section, QWidget* menu);
  void ApplyToToolbar(const QString& section, QToolBar* toolbar);
  void ApplyToDropDown(QWidget* menu);
  // The parsed current file, read again when it changed. Called with mutex_ held.
  const IniFile& FileLocked() const;
  std::u16string ReadLocked(std::u16string_view section, std::u16string_view key,
                            std::u16string_view fallback) const;

  QString folder_;
  QString currentName_ = QStringLiteral("English");
  QPointer<QMenuBar> commandBar_;
  QString currentSection_;
  int currentIndex_ = 0;
  QStringList languages_;
  QMap<QString, QPointer<QWidget>> windows_;
  QMap<QString, QPointer<QWidget>> menus_;
  QMap<QString, QPointer<QToolBar>> toolbars_;

  // The current file and its parsed copy, shared with worker threads.
  mutable std::mutex mutex_;
  std::string currentFile_;
  struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
  };
  mutable std::string cachedPath_;
  mutable FileStamp cachedStamp_;
  mutable IniFile cached_;
  mutable bool cacheValid_ = false;
};
