#pragma once
// CLegendView: the legend's page, "legend.html" from the media folder, in a text
// browser (control 1133) that fills the form. The page's pictures "icon:N" are the
// found-object views' own images N, so the legend always shows what the tree and
// the list draw. Without the page a plain "not found" text shows. Right clicks are
// consumed (no context menu); links to other pages of the media folder open in
// place, web and mail links go to the desktop.
//
// Owned by its pane (CLegend_Pane); GUI thread only.

#include <QTextBrowser>

class CLegendView : public QTextBrowser {
  Q_OBJECT

 public:
  static constexpr int kControlId = 1133;

  // `mediaFolder`: where legend.html lies (empty: the program's media folder).
  explicit CLegendView(QWidget* parent = nullptr, const QString& mediaFolder = {});

  // The page's address as it was navigated to.
  QString PageAddress() const { return address_; }
  bool PageFound() const { return found_; }

  QVariant loadResource(int type, const QUrl& name) override;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void OnAnchor(const QUrl& link);

  QString address_;
  bool found_ = false;
};
