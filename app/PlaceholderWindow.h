#pragma once
// The top window of a mode whose real window is not registered (CApp's factories):
// an empty window with the program's title that closes through CApp::Exit like
// any top window.

#include <QWidget>

class CPlaceholderWindow : public QWidget {
  Q_OBJECT

 public:
  explicit CPlaceholderWindow(int mode, QWidget* parent = nullptr);
  int Mode() const { return mode_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  int mode_;
};
