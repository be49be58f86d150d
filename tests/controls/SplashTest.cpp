// The start-up splash: its picture, size, place and window kind, and what closes it.
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include "controls/Bitmaps.h"
#include "controls/Splash.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"

class SplashTest : public QObject {
  Q_OBJECT
 private slots:
  void PictureIsThreeTwentyByThreeNinety() {
    const QPixmap picture = controls::Bitmap(controls::kBitmapSplash);
    QVERIFY(!picture.isNull());
    QCOMPARE(picture.size(), QSize(320, 390));
    QVERIFY(controls::Bitmap(1).isNull());
  }

  void ShowsCentredFramelessAndOnTop() {
    Splash splash;
    splash.SetBitmap(controls::Bitmap(controls::kBitmapSplash));
    splash.Start();
    Splash::SplashView* view = splash.View();
    QVERIFY(view);
    QVERIFY(view->isWindow());
    QCOMPARE(view->size(), QSize(320, 390));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(view->frameGeometry().center(), area.center());
    const Qt::WindowFlags flags = view->windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::SplashScreen);
    QVERIFY(flags & Qt::FramelessWindowHint);
    QVERIFY(flags & Qt::WindowStaysOnTopHint);
    QVERIFY(!test::SaveScreenshot(view, QStringLiteral("controls"), QStringLiteral("splash")).isEmpty());
    splash.Stop();
    QVERIFY(!splash.View());
  }

  void ClosesAtTheTimeOut() {
    Splash splash;
    splash.SetBitmap(controls::Bitmap(controls::kBitmapSplash));
    splash.SetTimeout(30);
    splash.Start();
    QPointer<Splash::SplashView> view = splash.View();
    QVERIFY(view);
    QTRY_VERIFY(!splash.View());
    QTRY_VERIFY(view.isNull());  // closed windows are deleted
  }

  void ClickClosesOnlyWhenAllowed_data() {
    QTest::addColumn<bool>("closeOnClick");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("closes");
    QTest::newRow("left, allowed") << true << Qt::LeftButton << true;
    QTest::newRow("right, allowed") << true << Qt::RightButton << true;
    QTest::newRow("middle, allowed") << true << Qt::MiddleButton << false;
    QTest::newRow("left, not allowed") << false << Qt::LeftButton << false;
    QTest::newRow("right, not allowed") << false << Qt::RightButton << false;
  }
  void ClickClosesOnlyWhenAllowed() {
    QFETCH(bool, closeOnClick);
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, closes);
    Splash splash;
    splash.SetBitmap(controls::Bitmap(controls::kBitmapSplash));
    splash.SetCloseOnClick(closeOnClick);
    splash.Start();
    QVERIFY(splash.View());
    QTest::mouseClick(splash.View(), button, Qt::NoModifier, QPoint(100, 100));
    QCOMPARE(splash.View() == nullptr, closes);
  }

  void WithoutAPictureNoWindow() {
    Splash splash;
    splash.SetCloseOnClick(true);
    splash.Start();
    QVERIFY(!splash.View());
    splash.Stop();
  }
};
VANDREL_QT_TEST(SplashTest);

#include "SplashTest.moc"
