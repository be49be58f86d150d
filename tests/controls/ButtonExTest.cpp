// CButtonEx: content layout and image choice as pure functions, the toggle
// driven with real mouse events, and the button in its states on a picture.
#include <QGridLayout>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include "controls/ButtonEx.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"

using namespace controls;

namespace {

QPixmap Disc(const QColor& colour) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(colour);
  painter.setPen(colour.darker(160));
  painter.drawEllipse(1, 1, 14, 14);
  return pixmap;
}

QList<QPixmap> FourImages() {
  return {Disc(QColor(60, 160, 60)), Disc(QColor(20, 90, 20)), Disc(QColor(140, 230, 120)), Disc(QColor(170, 170, 170))};
}

ButtonExState State(unsigned style, QSize client, QSize image, QSize text) {
  ButtonExState state;
  state.style = style;
  state.client = client;
  state.hasImage = image.isValid() && !image.isEmpty();
  state.imageSize = image;
  state.hasText = text.isValid();
  state.textSize = text;
  state.images = {0, 1, 2, 3};
  return state;
}

}  // namespace

class ButtonExTest : public QObject {
  Q_OBJECT
 private slots:
  void ContentLayoutFollowsTheStyle_data() {
    QTest::addColumn<unsigned>("style");
    QTest::addColumn<QSize>("client");
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QSize>("text");  // invalid: no text
    QTest::addColumn<QSize>("content");
    QTest::addColumn<QPoint>("origin");
    QTest::addColumn<QPoint>("imagePos");
    QTest::addColumn<QPoint>("textPos");

    const QSize client(100, 30);
    const QSize image(16, 16);
    const QSize text(40, 13);
    QTest::newRow("0x1C3: image left, centred") << 0x1C3u << client << image << text << QSize(56, 16) << QPoint(22, 7)
                                                << QPoint(22, 7) << QPoint(38, 8);
    QTest::newRow("image right") << 0x2C0u << client << image << text << QSize(56, 16) << QPoint(22, 7) << QPoint(62, 7)
                                 << QPoint(22, 8);
    QTest::newRow("image above") << 0x4C0u << client << image << text << QSize(40, 29) << QPoint(30, 0) << QPoint(42, 0)
                                 << QPoint(30, 16);
    QTest::newRow("image below") << 0x8C0u << client << image << text << QSize(40, 29) << QPoint(30, 0) << QPoint(42, 13)
                                 << QPoint(30, 0);
    QTest::newRow("no placement bit: both at the origin of nothing")
        << 0xC0u << client << image << text << QSize(0, 0) << QPoint(50, 15) << QPoint(50, 15) << QPoint(50, 15);
    QTest::newRow("no text bit: the image alone") << 0x1C8u << client << image << QSize() << QSize(16, 16) << QPoint(42, 7)
                                                  << QPoint(42, 7) << QPoint();
    QTest::newRow("text alone") << 0x1C0u << client << QSize() << text << QSize(40, 13) << QPoint(30, 8) << QPoint()
                                << QPoint(30, 8);
    QTest::newRow("no centring") << 0x100u << client << image << text << QSize(56, 16) << QPoint(0, 0) << QPoint(0, 0)
                                 << QPoint(16, 1);
    QTest::newRow("no text font: centred on the image only")
        << 0x1C0u << client << image << QSize(0, 0) << QSize(16, 16) << QPoint(42, 7) << QPoint(42, 7) << QPoint(58, 15);
    QTest::newRow("odd space rounds toward zero") << 0x1C0u << QSize(101, 31) << image << text << QSize(56, 16)
                                                  << QPoint(22, 7) << QPoint(22, 7) << QPoint(38, 8);
    QTest::newRow("too small: negative halves toward zero")
        << 0x1C0u << QSize(39, 11) << image << text << QSize(56, 16) << QPoint(-8, -2) << QPoint(-8, -2) << QPoint(8, -1);
  }
  void ContentLayoutFollowsTheStyle() {
    QFETCH(unsigned, style);
    QFETCH(QSize, client);
    QFETCH(QSize, image);
    QFETCH(QSize, text);
    QFETCH(QSize, content);
    QFETCH(QPoint, origin);
    QFETCH(QPoint, imagePos);
    QFETCH(QPoint, textPos);
    const ButtonExState state = State(style, client, image, text);
    if (style & kBsxNoText) {
      ButtonExState noText = state;
      noText.hasText = false;
      const ButtonExLayout layout = ButtonExLayoutFor(noText);
      QCOMPARE(layout.content, content);
      QCOMPARE(layout.origin, origin);
      QCOMPARE(layout.imagePos, imagePos);
      return;
    }
    const ButtonExLayout layout = ButtonExLayoutFor(state);
    QCOMPARE(layout.content, content);
    QCOMPARE(layout.origin, origin);
    if (state.hasImage) QCOMPARE(layout.imagePos, imagePos);
    if (state.hasText) QCOMPARE(layout.textPos, textPos);
  }

  void ImageChoiceAndShifts_data() {
    QTest::addColumn<unsigned>("style");
    QTest::addColumn<bool>("pressed");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("focused");
    QTest::addColumn<bool>("mouseOver");
    QTest::addColumn<int>("pushed");  // the pushed image index, or -1
    QTest::addColumn<int>("focus");   // the focus-or-hover image index, or -1
    QTest::addColumn<int>("disabled");
    QTest::addColumn<int>("image");
    QTest::addColumn<int>("imageShift");
    QTest::addColumn<int>("textShift");
    QTest::addColumn<bool>("embossed");

    //                                    style    press  check  enab   focus  over   push foc dis  img sh tsh emb
    QTest::newRow("normal") << 0x1C3u << false << false << true << false << false << 1 << 2 << 3 << 0 << 0 << 0 << false;
    QTest::newRow("pressed") << 0x1C3u << true << false << true << false << true << 1 << 2 << 3 << 1 << 0 << 1 << false;
    QTest::newRow("pressed, no pushed image")
        << 0x1C3u << true << false << true << false << true << -1 << 2 << 3 << 2 << 1 << 1 << false;
    QTest::newRow("pressed, no pushed nor hover image")
        << 0x1C3u << true << false << true << false << true << -1 << -1 << 3 << 0 << 1 << 1 << false;
    QTest::newRow("pressed, no edge: no shift")
        << 0x1C1u << true << false << true << false << true << -1 << 2 << 3 << 2 << 0 << 1 << false;
    QTest::newRow("checked toggle") << 0x11C3u << false << true << true << false << false << 1 << 2 << 3 << 1 << 0 << 1
                                    << false;
    // A checked toggle without a pushed image draws the focus-or-hover image, shifted.
    QTest::newRow("checked toggle, no pushed image")
        << 0x11C3u << false << true << true << false << false << -1 << 2 << 3 << 2 << 1 << 1 << false;
    QTest::newRow("checked toggle, double edge, no pushed image")
        << 0x11C5u << false << true << true << false << false << -1 << 2 << 3 << 2 << 1 << 1 << false;
    QTest::newRow("hover mode, mouse over") << 0x1C3u << false << false << true << false << true << 1 << 2 << 3 << 2 << 0
                                            << 0 << false;
    QTest::newRow("hover mode, focused only") << 0x1C3u << false << false << true << true << false << 1 << 2 << 3 << 0
                                              << 0 << 0 << false;
    QTest::newRow("focus mode, focused") << 0x1C2u << false << false << true << true << false << 1 << 2 << 3 << 2 << 0
                                         << 0 << false;
    QTest::newRow("focus mode, mouse over only")
        << 0x1C2u << false << false << true << false << true << 1 << 2 << 3 << 0 << 0 << 0 << false;
    QTest::newRow("disabled") << 0x1C3u << false << false << false << false << false << 1 << 2 << 3 << 3 << 0 << 0 << false;
    QTest::newRow("disabled, no disabled image: embossed normal")
        << 0x1C3u << false << false << false << false << false << 1 << 2 << -1 << 0 << 0 << 0 << true;
    QTest::newRow("disabled, checked, pushed image")
        << 0x11C3u << false << true << false << false << false << 1 << 2 << 3 << 1 << 0 << 1 << false;
    QTest::newRow("disabled, checked, no pushed image")
        << 0x11C3u << false << true << false << false << false << -1 << 2 << 3 << 3 << 1 << 1 << false;
  }
  void ImageChoiceAndShifts() {
    QFETCH(unsigned, style);
    QFETCH(bool, pressed);
    QFETCH(bool, checked);
    QFETCH(bool, enabled);
    QFETCH(bool, focused);
    QFETCH(bool, mouseOver);
    QFETCH(int, pushed);
    QFETCH(int, focus);
    QFETCH(int, disabled);
    QFETCH(int, image);
    QFETCH(int, imageShift);
    QFETCH(int, textShift);
    QFETCH(bool, embossed);
    ButtonExState state = State(style, QSize(100, 30), QSize(16, 16), QSize(40, 13));
    state.pressed = pressed;
    state.checked = checked;
    state.enabled = enabled;
    state.focused = focused;
    state.mouseOver = mouseOver;
    state.images = {0, pushed, focus, disabled};
    const ButtonExLayout layout = ButtonExLayoutFor(state);
    QCOMPARE(layout.image, image);
    QCOMPARE(layout.imageShift, imageShift);
    QCOMPARE(layout.textShift, textShift);
    QCOMPARE(layout.imageEmbossed, embossed);
  }

  void ToggleFlipsOnlyOnADeliveredClick_data() {
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<int>("clicks");
    QTest::newRow("press and release inside") << QStringLiteral("inside") << true << 1;
    QTest::newRow("press inside, release outside") << QStringLiteral("outside") << false << 0;
    QTest::newRow("release without a press") << QStringLiteral("release only") << false << 0;
    QTest::newRow("two clicks") << QStringLiteral("twice") << false << 2;
  }
  void ToggleFlipsOnlyOnADeliveredClick() {
    QFETCH(QString, gesture);
    QFETCH(bool, checked);
    QFETCH(int, clicks);
    QWidget form;
    form.resize(200, 60);
    CButtonEx button(QStringLiteral("Start"), 0x11C3, &form);
    button.setGeometry(10, 10, 100, 30);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QSignalSpy spy(&button, &QAbstractButton::clicked);
    const QPoint inside(50, 15);
    if (gesture == QLatin1String("inside")) {
      QTest::mouseClick(&button, Qt::LeftButton, {}, inside);
    } else if (gesture == QLatin1String("outside")) {
      QTest::mousePress(&button, Qt::LeftButton, {}, inside);
      QTest::mouseMove(&button, QPoint(150, 15));
      QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(150, 15));
    } else if (gesture == QLatin1String("release only")) {
      QTest::mouseRelease(&button, Qt::LeftButton, {}, inside);
    } else {
      QTest::mouseClick(&button, Qt::LeftButton, {}, inside);
      QTest::mouseClick(&button, Qt::LeftButton, {}, inside);
    }
    QCOMPARE(button.IsChecked(), checked);
    QCOMPARE(spy.count(), clicks);
  }

  void CheckedStateCountsOnlyForAToggle() {
    QWidget form;
    CButtonEx button(QStringLiteral("Plain"), 0x1C3, &form);
    button.setGeometry(0, 0, 100, 30);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(!button.IsChecked());
    // The click flipped the state all the same; it shows once the style counts it.
    button.SetExtendedStyle(0x11C3);
    QVERIFY(button.IsChecked());
  }

  void CheckedToggleFillsWithTheHighlight() {
    QWidget form;
    CButtonEx button(QStringLiteral("T"), 0x1000, &form);
    button.setGeometry(0, 0, 60, 30);
    QPalette palette = button.palette();
    palette.setColor(QPalette::Light, QColor(255, 255, 255));
    palette.setColor(QPalette::Button, QColor(212, 208, 200));
    button.setPalette(palette);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(QColor(button.grab().toImage().pixel(55, 25)), QColor(212, 208, 200));
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(QColor(button.grab().toImage().pixel(55, 25)), QColor(255, 255, 255));
  }

  void MeasuresTheTextOnlyWithATextFont() {
    CButtonEx button(QStringLiteral("Start"), 0x1C3, nullptr);
    button.resize(100, 30);
    button.SetImageList(FourImages());
    button.SetImages(0, -1, 2, -1);
    QCOMPARE(button.PaintState().textSize, QSize(0, 0));
    QFont font;
    font.setPixelSize(12);
    button.SetTextFont(font);
    QVERIFY(button.PaintState().textSize.width() > 0);
    QCOMPARE(button.PaintState().imageSize, QSize(16, 16));
  }

  void RendersItsStates() {
    QWidget form;
    form.setAutoFillBackground(true);
    auto* grid = new QGridLayout(&form);
    QFont font;
    font.setPixelSize(12);
    struct Case {
      QString text;
      unsigned style;
      int pushed;
      bool press, check, disable, focus, over;
    };
    const QList<Case> cases = {
        {QStringLiteral("Normal"), 0x1C3, -1, false, false, false, false, false},
        {QStringLiteral("Hover"), 0x1C3, -1, false, false, false, false, true},
        {QStringLiteral("Pressed"), 0x1C3, -1, true, false, false, false, true},
        {QStringLiteral("Checked"), 0x11C3, -1, false, true, false, false, false},
        {QStringLiteral("Checked, pushed image"), 0x11C3, 1, false, true, false, false, false},
        {QStringLiteral("Disabled"), 0x1C3, -1, false, false, true, false, false},
        {QStringLiteral("Focus, double edge"), 0x1C4, -1, false, false, false, true, false},
        {QStringLiteral("Image above"), 0x4C2, -1, false, false, false, false, false},
        {QStringLiteral("Image right"), 0x2C2, -1, false, false, false, false, false},
        {QStringLiteral("No text"), 0x1CA, -1, false, false, false, false, false},
    };
    QList<CButtonEx*> buttons;
    int row = 0;
    for (const Case& c : cases) {
      auto* button = new CButtonEx(c.text, c.style, &form);
      button->SetImageList(FourImages());
      button->SetImages(0, c.pushed, 2, c.disable ? -1 : 3);
      button->SetTextFont(font);
      button->setMinimumSize(170, c.style & kBsxImageTop ? 44 : 30);
      grid->addWidget(button, row / 2, row % 2);
      ++row;
      buttons.append(button);
    }
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    for (int i = 0; i < cases.size(); ++i) {
      const Case& c = cases[i];
      CButtonEx* button = buttons[i];
      if (c.over) {
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QCoreApplication::sendEvent(button, &enter);
      }
      if (c.press) button->setDown(true);
      if (c.check) QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
      if (c.disable) button->setEnabled(false);
      if (c.focus) button->setFocus();
    }
    QVERIFY(buttons[3]->IsChecked());
    QVERIFY(!test::SaveScreenshot(&form, QStringLiteral("controls"), QStringLiteral("buttonex_states")).isEmpty());
  }
};
VANDREL_QT_TEST(ButtonExTest);

#include "ButtonExTest.moc"
