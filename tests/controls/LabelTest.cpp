// CLabel: gradient bands, text flags, flashing, clicks and links, driven on
// real widgets.
#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTimerEvent>
#include <QVBoxLayout>

#include "controls/ControlId.h"
#include "controls/Label.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"

using controls::CLabel;
using controls::GradientBand;

namespace {

// Counts the presses that reach the form below its labels.
class PressCountingForm : public QWidget {
 public:
  int presses = 0;

 protected:
  void mousePressEvent(QMouseEvent*) override { ++presses; }
};

// Counts the paints of a widget.
class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

int CountPixels(const QImage& image, QRgb colour) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if ((image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) ++count;
    }
  }
  return count;
}

void FireFlashTimer(CLabel& label) {
  QVERIFY(label.FlashTimerId() != 0);
  QTimerEvent tick(label.FlashTimerId());
  QCoreApplication::sendEvent(&label, &tick);
  QApplication::processEvents();
}

}  // namespace

Q_DECLARE_METATYPE(std::vector<GradientBand>)

class LabelTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { opened_.clear(); CLabel::SetLinkOpener([this](const QUrl& url) { opened_.push_back(url); }); }

  void GradientBandsFollowTheWidth_data() {
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<QColor>("first");
    QTest::addColumn<QColor>("second");
    QTest::addColumn<int>("bands");
    // Spot checks: index, expected rectangle, expected colour.
    QTest::addColumn<QList<int>>("indexes");
    QTest::addColumn<QList<QRect>>("rects");
    QTest::addColumn<QList<QColor>>("colours");

    const QColor black(0, 0, 0);
    const QColor warm(200, 100, 50);
    QTest::newRow("width 0: no band") << QRect(0, 0, 0, 20) << black << warm << 0 << QList<int>{}
                                      << QList<QRect>{} << QList<QColor>{};
    QTest::newRow("width 1: one band in the first colour")
        << QRect(0, 0, 1, 20) << QColor(10, 20, 30) << warm << 1 << QList<int>{0} << QList<QRect>{QRect(0, 0, 1, 20)}
        << QList<QColor>{QColor(10, 20, 30)};
    QTest::newRow("width 50: fifty bands of one pixel")
        << QRect(0, 0, 50, 20) << black << warm << 50 << QList<int>{0, 1, 49}
        << QList<QRect>{QRect(0, 0, 1, 20), QRect(1, 0, 1, 20), QRect(49, 0, 1, 20)}
        << QList<QColor>{black, QColor(4, 2, 1), QColor(196, 98, 49)};
    QTest::newRow("width 300: a hundred bands of three")
        << QRect(0, 0, 300, 20) << black << warm << 100 << QList<int>{0, 1, 99}
        << QList<QRect>{QRect(0, 0, 3, 20), QRect(3, 0, 3, 20), QRect(297, 0, 3, 20)}
        << QList<QColor>{black, QColor(2, 1, 0), QColor(198, 99, 49)};
    QTest::newRow("width 350: the last band reaches the edge")
        << QRect(5, 2, 350, 20) << black << warm << 100 << QList<int>{0, 99}
        << QList<QRect>{QRect(5, 2, 3, 20), QRect(302, 2, 53, 20)} << QList<QColor>{black, QColor(198, 99, 49)};
    // Steps truncate toward zero: -255 * 256 / 100 = -652.
    QTest::newRow("falling colours")
        << QRect(0, 0, 300, 10) << QColor(255, 255, 255) << black << 100 << QList<int>{1, 99}
        << QList<QRect>{QRect(3, 0, 3, 10), QRect(297, 0, 3, 10)}
        << QList<QColor>{QColor(252, 252, 252), QColor(2, 2, 2)};
  }
  void GradientBandsFollowTheWidth() {
    QFETCH(QRect, rect);
    QFETCH(QColor, first);
    QFETCH(QColor, second);
    QFETCH(int, bands);
    QFETCH(QList<int>, indexes);
    QFETCH(QList<QRect>, rects);
    QFETCH(QList<QColor>, colours);
    const std::vector<GradientBand> result = controls::LabelGradientBands(rect, first, second);
    QCOMPARE(static_cast<int>(result.size()), bands);
    for (int i = 0; i < indexes.size(); ++i) {
      const GradientBand& band = result.at(static_cast<size_t>(indexes[i]));
      QCOMPARE(band.rect, rects[i]);
      QCOMPARE(band.colour, colours[i]);
    }
    // The bands tile the rectangle without gaps.
    int x = rect.x();
    for (const GradientBand& band : result) {
      QCOMPARE(band.rect.x(), x);
      x += band.rect.width();
    }
    if (!result.empty()) QCOMPARE(x, rect.x() + rect.width());
  }

  void GradientPaintsItsBands() {
    QWidget form;
    form.resize(320, 60);
    CLabel label(&form);
    label.setGeometry(10, 10, 300, 30);
    label.SetBkColor(QColor(0, 0, 0), QColor(200, 100, 50), true);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QImage image = label.grab().toImage();
    QCOMPARE(QColor(image.pixel(1, 15)), QColor(0, 0, 0));
    QCOMPARE(QColor(image.pixel(298, 15)), QColor(198, 99, 49));
  }

  void TextFlagsFollowTheStyle_data() {
    QTest::addColumn<unsigned>("style");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("flags");
    const QString one = QStringLiteral("One line");
    QTest::newRow("left") << 0u << one << int(Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap);
    QTest::newRow("centre") << 1u << one << int(Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap);
    QTest::newRow("right") << 2u << one << int(Qt::AlignRight | Qt::AlignTop | Qt::TextWordWrap);
    QTest::newRow("left, no word wrap") << 0xCu << one << int(Qt::AlignLeft | Qt::AlignTop);
    QTest::newRow("simple falls back to left") << 0xBu << one << int(Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap);
    QTest::newRow("notify does not change the alignment")
        << 0x101u << one << int(Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap);
    QTest::newRow("centre image, one line")
        << 0x200u << one << int(Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine);
    QTest::newRow("centre image, two lines") << 0x202u << QStringLiteral("One\r\nTwo") << int(Qt::AlignHCenter | Qt::AlignTop);
  }
  void TextFlagsFollowTheStyle() {
    QFETCH(unsigned, style);
    QFETCH(QString, text);
    QFETCH(int, flags);
    QCOMPARE(controls::LabelTextFlags(style, text), flags);
  }

  void PictureStylesKeepTheDefaultPainting_data() {
    QTest::addColumn<unsigned>("style");
    QTest::addColumn<bool>("custom");
    QTest::newRow("text") << 0u << true;
    QTest::newRow("icon") << 3u << false;
    QTest::newRow("white frame") << 9u << false;
    QTest::newRow("simple") << 11u << true;
    QTest::newRow("owner drawn") << 13u << false;
    QTest::newRow("bitmap") << 14u << false;
    QTest::newRow("metafile") << 15u << false;
  }
  void PictureStylesKeepTheDefaultPainting() {
    QFETCH(unsigned, style);
    QFETCH(bool, custom);
    CLabel label(nullptr, style);
    QCOMPARE(label.CustomPainting(), custom);
    QVERIFY(label.Style() & controls::kSsNotify);
  }

  void SettersChain() {
    QWidget form;
    CLabel label(&form);
    CLabel& same = label.SetFontBold(true).SetFontSize(16).SetTransparent(true).SetText(QStringLiteral("Title"));
    QCOMPARE(&same, &label);
    QVERIFY(label.font().bold());
    QCOMPARE(label.font().pointSize(), 16);
    QVERIFY(label.Transparent());
    label.SetTransparent(false);
    QVERIFY(!label.Transparent());
  }

  void TextFlashingAlternatesTextColourAndBlack() {
    QWidget form;
    form.resize(200, 60);
    CLabel label(&form);
    label.setGeometry(0, 0, 200, 60);
    label.SetText(QStringLiteral("██████")).SetFontSize(20).SetTextColor(QColor(255, 0, 0));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(label.FlashTimerId(), 0);

    label.FlashText(true);
    QCOMPARE(label.FlashMode(), 1);
    QCOMPARE(label.PaintTextColor(), QColor(Qt::black));
    QImage image = label.grab().toImage();
    QCOMPARE(CountPixels(image, qRgb(255, 0, 0)), 0);
    QVERIFY(CountPixels(image, qRgb(0, 0, 0)) > 50);

    FireFlashTimer(label);
    QCOMPARE(label.PaintTextColor(), QColor(255, 0, 0));
    image = label.grab().toImage();
    QVERIFY(CountPixels(image, qRgb(255, 0, 0)) > 50);
    QCOMPARE(CountPixels(image, qRgb(0, 0, 0)), 0);

    FireFlashTimer(label);
    QCOMPARE(label.PaintTextColor(), QColor(Qt::black));

    // With a background the dark phase takes the background colour.
    label.SetBkColor(QColor(0, 0, 255));
    label.FlashText(true);
    QCOMPARE(label.PaintTextColor(), QColor(0, 0, 255));

    label.FlashText(false);
    QCOMPARE(label.FlashMode(), 0);
    QCOMPARE(label.FlashTimerId(), 0);
    QCOMPARE(label.PaintTextColor(), QColor(255, 0, 0));
  }

  void BackgroundFlashingRepaintsWithoutChange() {
    QWidget form;
    form.resize(200, 40);
    CLabel label(&form);
    label.setGeometry(0, 0, 200, 40);
    label.SetText(QStringLiteral("Flashing")).SetBkColor(QColor(255, 255, 0));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    label.FlashBackground(true);
    QCOMPARE(label.FlashMode(), 2);
    const QImage before = label.grab().toImage();
    PaintCounter counter;
    label.installEventFilter(&counter);
    FireFlashTimer(label);
    QVERIFY(label.FlashPhase());
    QTRY_VERIFY(counter.paints > 0);
    QCOMPARE(label.grab().toImage(), before);
    // Switching background flashing off stops the timer and keeps the mode.
    label.FlashBackground(false);
    QCOMPARE(label.FlashTimerId(), 0);
    QCOMPARE(label.FlashMode(), 2);
  }

  void ClicksNotifyOrOpenOnlyWebAndMailLinks_data() {
    QTest::addColumn<bool>("setLink");
    QTest::addColumn<bool>("link");
    QTest::addColumn<bool>("notify");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QString>("opened");
    QTest::addColumn<bool>("formGetsThePress");

    const QString web = QStringLiteral("https://www.example.com/support");
    QTest::newRow("notify mode") << true << true << true << web << QString() << 1 << QString() << false;
    QTest::newRow("link on, https target") << true << true << false << web << QStringLiteral("Support") << 0 << web << false;
    QTest::newRow("link on, http target") << true << true << false << QStringLiteral("http://example.com") << QString() << 0
                                          << QStringLiteral("http://example.com") << false;
    QTest::newRow("link on, mailto target") << true << true << false << QStringLiteral("mailto:support@example.com")
                                            << QString() << 0 << QStringLiteral("mailto:support@example.com") << false;
    QTest::newRow("link on, address as the text") << true << true << false << QString() << web << 0 << web << false;
    QTest::newRow("never set as a link") << false << false << false << web << web << 0 << QString() << false;
    QTest::newRow("link off") << true << false << false << web << web << 0 << QString() << true;
    QTest::newRow("link off, notify mode") << true << false << true << web << web << 0 << QString() << true;
    QTest::newRow("link on, plain text") << true << true << false << QString() << QStringLiteral("holiday.jpg") << 0
                                         << QString() << false;
    QTest::newRow("link on, file target") << true << true << false << QStringLiteral("file:///etc/passwd") << QString()
                                          << 0 << QString() << false;
    QTest::newRow("link on, a path") << true << true << false << QString() << QStringLiteral("/home/user/Photos/a.jpg")
                                     << 0 << QString() << false;
    QTest::newRow("link on, a script") << true << true << false << QStringLiteral("javascript:alert(1)") << QString()
                                       << 0 << QString() << false;
    QTest::newRow("link on, empty target and text") << true << true << false << QString() << QString() << 0 << QString()
                                                    << false;
    QTest::newRow("link on, address without host") << true << true << false << QStringLiteral("https://") << QString()
                                                   << 0 << QString() << false;
  }
  void ClicksNotifyOrOpenOnlyWebAndMailLinks() {
    QFETCH(bool, setLink);
    QFETCH(bool, link);
    QFETCH(bool, notify);
    QFETCH(QString, target);
    QFETCH(QString, text);
    QFETCH(int, clicks);
    QFETCH(QString, opened);
    QFETCH(bool, formGetsThePress);

    PressCountingForm form;
    form.resize(300, 60);
    CLabel label(&form);
    controls::SetControlId(&label, 1203);
    label.setGeometry(10, 10, 200, 30);
    label.SetText(text).SetLinkUrl(target);
    if (setLink) label.SetLink(link, notify);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QSignalSpy spy(&label, &CLabel::clicked);

    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(spy.count(), clicks);
    if (clicks) QCOMPARE(spy.at(0).at(0).toInt(), 1203);
    if (opened.isEmpty()) {
      QVERIFY(opened_.empty());
    } else {
      QCOMPARE(static_cast<int>(opened_.size()), 1);
      QCOMPARE(opened_.front().toString(), opened);
    }
    QCOMPARE(form.presses > 0, formGetsThePress);

    // The right button never does anything.
    QTest::mouseClick(&label, Qt::RightButton, {}, QPoint(5, 5));
    QCOMPARE(spy.count(), clicks);
    QCOMPARE(static_cast<int>(opened_.size()), opened.isEmpty() ? 0 : 1);
  }

  void LinkCursorIsTheHand() {
    CLabel label;
    QVERIFY(!label.testAttribute(Qt::WA_SetCursor));
    label.SetLinkCursor();
    QCOMPARE(label.cursor().shape(), Qt::PointingHandCursor);
  }

  void RendersEachStyle() {
    QWidget form;
    form.setAutoFillBackground(true);
    QPalette palette = form.palette();
    palette.setColor(QPalette::Window, QColor(236, 233, 216));
    form.setPalette(palette);
    form.resize(420, 340);
    auto* layout = new QVBoxLayout(&form);

    auto* plain = new CLabel(QStringLiteral("Plain label on the face colour"), &form);
    auto* title = new CLabel(QStringLiteral("Bold title, 16 points, transparent"), &form);
    title->SetFontBold(true).SetFontSize(16).SetTransparent(true);
    auto* gradient = new CLabel(QStringLiteral("Gradient background"), &form, controls::kSsCenterImage);
    gradient->SetBkColor(QColor(0, 70, 160), QColor(190, 220, 255), true).SetTextColor(Qt::white).SetFontBold(true);
    auto* text3d = new CLabel(QStringLiteral("3-D text"), &form);
    text3d->SetFontSize(18).SetFontBold(true).SetTextColor(QColor(90, 90, 90)).SetText3D(true, false);
    auto* link = new CLabel(QStringLiteral("https://www.example.com/support"), &form);
    link->SetFontUnderline(true).SetTextColor(QColor(0, 0, 238)).SetLink(true, false).SetLinkCursor();
    auto* framed = new CLabel(QStringLiteral("Sunken, with a border, right aligned"), &form, controls::kSsRight);
    framed->SetSunken(true).SetBorder(true).SetBkColor(Qt::white);
    // Rotated text starts at the centre, on its baseline.
    auto* rotated = new CLabel(QStringLiteral("Rotated 20°"), &form);
    rotated->SetRotationAngle(20, true).SetFontItalic(true).SetBkColor(QColor(255, 250, 205));
    rotated->setMinimumHeight(80);
    for (CLabel* label : {plain, title, gradient, text3d, link, framed, rotated}) layout->addWidget(label);
    gradient->setMinimumHeight(28);
    QVERIFY(!test::SaveScreenshot(&form, QStringLiteral("controls"), QStringLiteral("label_styles")).isEmpty());
  }

 private:
  std::vector<QUrl> opened_;
};
VANDREL_QT_TEST(LabelTest);

#include "LabelTest.moc"
