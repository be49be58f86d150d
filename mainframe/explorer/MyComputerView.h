#pragma once
// CMyComputerView: the program's start page (view 8 of the explorer view, shown
// when My Computer is selected and at the main window's first idle time):
// "index.html" from the media folder in a text browser (control 1131) that fills
// the view. A link to another page of the media folder opens in place, and the
// address of each page shown is kept as the last address; web (http, https) and
// mail links go to the desktop's programs. The page loads once, at creation.
//
// Owned by the explorer view; GUI thread only.

#include <QUrl>
#include <QWidget>

#include <functional>

class QTextBrowser;

class CMyComputerView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kBrowserId = 1131;

  // `mediaFolder`: where the pages lie (empty: the program's media folder).
  explicit CMyComputerView(QWidget* parent = nullptr, const QString& mediaFolder = {});

  QTextBrowser* Browser() const { return browser_; }
  // The address of the last page navigated to (empty: none was).
  QString LastAddress() const { return lastAddress_; }

  // Where web and mail links go (the desktop opener by default; tests
  // record them).
  using ExternalOpener = std::function<void(const QUrl&)>;
  void SetExternalOpener(ExternalOpener opener) { opener_ = std::move(opener); }

  // A click on a link of the page.
  void OnLinkClicked(const QUrl& link);
  // Shows another page of the media folder in place of the start page (the
  // wizard's drive page shows its own); false when there is no such page.
  bool ShowPage(const QString& name);

 private:
  void Navigate(const QUrl& address);

  QTextBrowser* browser_;
  QString folder_;
  QString lastAddress_;
  ExternalOpener opener_;
};
