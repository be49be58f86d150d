#include "controls/Splash.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>

Splash::SplashView::SplashView(const QPixmap& bitmap, bool closeOnClick, int timeoutMs)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_bitmap(bitmap),
      m_closeOnClick(closeOnClick) {
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_OpaquePaintEvent);
  const QSize size = m_bitmap.deviceIndependentSize().toSize();
  setFixedSize(size);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
  }
  QTimer::singleShot(timeoutMs, this, [this] { close(); });
}

void Splash::SplashView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(0, 0, m_bitmap);
}

void Splash::SplashView::mousePressEvent(QMouseEvent* event) {
  if (m_closeOnClick && (event->button() == Qt::LeftButton || event->button() == Qt::RightButton)) {
    close();
    return;
  }
  QWidget::mousePressEvent(event);
}

Splash::~Splash() { Stop(); }

void Splash::Start() {
  if (m_bitmap.isNull() || m_view) return;
  m_view = new SplashView(m_bitmap, m_closeOnClick, m_timeoutMs);
  m_view->show();
}

void Splash::Stop() {
  if (m_view) m_view->close();
}
