#pragma once
// The start-up splash: a picture centred on the screen in a frameless, stay-on-top
// window without a task-bar entry, closed by a single-shot timer (2,511 ms) and,
// when the owner allows it, by a left or right mouse press.
//
// Qt widgets live only on the GUI thread, so the splash runs there too: the
// application shows it and goes on loading; the window's timer and clicks are
// served by the ordinary event loop. Without a picture nothing is shown.
//
// Owner: the application object (never freed during the run). GUI thread only.

#include <QPixmap>
#include <QPointer>
#include <QWidget>

class Splash {
 public:
  static constexpr int kDefaultTimeoutMs = 2511;

  // The splash window: the picture at its natural size, nothing else.
  class SplashView : public QWidget {
   public:
    SplashView(const QPixmap& bitmap, bool closeOnClick, int timeoutMs);

   protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

   private:
    QPixmap m_bitmap;
    bool m_closeOnClick = false;
  };

  Splash() = default;
  virtual ~Splash();
  Splash(const Splash&) = delete;
  Splash& operator=(const Splash&) = delete;

  // Set by the owner before Start; the picture is shared, not copied pixel by pixel.
  void SetBitmap(const QPixmap& bitmap) { m_bitmap = bitmap; }
  void SetCloseOnClick(bool closeOnClick) { m_closeOnClick = closeOnClick; }
  // How long the window stays (milliseconds); shortened by tests.
  void SetTimeout(int timeoutMs) { m_timeoutMs = timeoutMs; }

  // Shows the window centred on the screen's work area; without a picture, or
  // while one is still shown, nothing happens.
  void Start();
  // Closes the window when it is still shown.
  void Stop();
  // The window while it is shown, else null.
  SplashView* View() const { return m_view && m_view->isVisible() ? m_view.data() : nullptr; }

 private:
  QPixmap m_bitmap;
  bool m_closeOnClick = false;
  int m_timeoutMs = kDefaultTimeoutMs;
  QPointer<SplashView> m_view;
};
