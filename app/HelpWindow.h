#pragma once
// The program's help: our own pages (help/ in the sources), compiled by the build
// into help/vandrelpro.qch beside the program, shown in one help window with the
// contents, the topic and a full-text search (Qt Help). The window is made on
// first use and lives for the run; CApp::OnHelpCommand shows it at the contents,
// at a topic or with the search open. One click on a contents entry opens it, Esc
// closes the window, and a modal dialog open meanwhile (the settings sheet) does
// not block it.
//
// GUI thread only.

#include <QTextBrowser>
#include <QUrl>
#include <QWidget>

class QHelpEngine;
class QTabWidget;

// The page view: a text browser that reads qthelp:// pages from the help engine.
class CHelpBrowser : public QTextBrowser {
  Q_OBJECT

 public:
  CHelpBrowser(QHelpEngine* engine, QWidget* parent);
  QVariant loadResource(int type, const QUrl& name) override;

 private:
  QHelpEngine* engine_;
};

class CHelpWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr const char* kQuickStartTopic = "files/basics.quickstart.html";
  static constexpr const char* kContentsTopic = "index.html";
  static constexpr const char* kNamespace = "quenmar.vandrelpro.5.0";

  static CHelpWindow* Instance();
  static void ShowContents();
  static void ShowTopic(const QString& topic);
  static void ShowSearch();
  // Closes and deletes the window (tests).
  static void Destroy();

  // The compiled help beside the program.
  static QString HelpFile();
  // The address of a topic ("files/basics.quickstart.html").
  static QUrl TopicUrl(const QString& topic);
  // The topic shown now, relative to the help's root.
  QString CurrentTopic() const;
  QTextBrowser* Browser() const { return browser_; }
  QHelpEngine* Engine() const { return engine_; }
  bool SearchShown() const;
  // Runs a full-text search (as the search field does).
  void Search(const QString& text);

 private:
  explicit CHelpWindow(QWidget* parent = nullptr);
  void Open(const QString& topic);
  void AnswerBesideTheModal();
  // Marks the page shown in the contents tree.
  void SelectInContents();

  QHelpEngine* engine_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  QWidget* searchPage_ = nullptr;
  CHelpBrowser* browser_ = nullptr;
};
