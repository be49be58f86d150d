// The scrolling form host: the first layout sets the scroll size once, the form
// fills a larger view and scrolls in a smaller one, and follows a dragged thumb.
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include "controls/DialogScrollView.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"

namespace {

// A form like the find pane's search bar, sized by its host.
QWidget* MakeForm(const QSize& size) {
  auto* form = new QWidget;
  auto* grid = new QGridLayout(form);
  grid->addWidget(new QLabel(QStringLiteral("All or part of the file name:")), 0, 0, 1, 2);
  grid->addWidget(new QLineEdit(QStringLiteral("*.jpg")), 1, 0, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Look in:")), 2, 0);
  auto* where = new QComboBox;
  where->addItem(QStringLiteral("All found files"));
  grid->addWidget(where, 2, 1);
  grid->addWidget(new QCheckBox(QStringLiteral("Deleted files only")), 3, 0, 1, 2);
  grid->addWidget(new QPushButton(QStringLiteral("Search")), 4, 1, Qt::AlignRight);
  grid->setRowStretch(5, 1);
  form->resize(size);
  return form;
}

}  // namespace

class DialogScrollViewTest : public QObject {
  Q_OBJECT
 private slots:
  void ResizeBeforeTheFormChangesNothing() {
    CDialogScrollView view;
    view.resize(200, 100);
    view.show();
    view.resize(150, 80);
    QCoreApplication::processEvents();
    QVERIFY(view.IsFirstLayoutPending());
    QVERIFY(view.GetScrollSize().isEmpty());
    QVERIFY(!view.GetDialog());
  }

  void FirstLayoutSetsTheScrollSizeOnce() {
    CDialogScrollView view;
    view.resize(150, 100);
    QWidget* form = MakeForm(QSize(320, 200));
    view.SetDialog(form);
    QVERIFY(view.IsFirstLayoutPending());
    view.show();
    QCoreApplication::processEvents();
    QVERIFY(!view.IsFirstLayoutPending());
    QCOMPARE(view.GetScrollSize(), QSize(320, 200));
    QCOMPARE(form->size(), QSize(320, 200));
    QVERIFY(view.verticalScrollBar()->maximum() > 0);
    QVERIFY(view.horizontalScrollBar()->maximum() > 0);

    // Larger than the form: the form fills the view and nothing scrolls.
    view.resize(500, 400);
    QCoreApplication::processEvents();
    QCOMPARE(form->size(), view.viewport()->size());
    QCOMPARE(view.verticalScrollBar()->maximum(), 0);
    QCOMPARE(view.GetScrollSize(), QSize(320, 200));

    // Smaller again: the form keeps its first size and scrolls.
    view.resize(120, 90);
    QCoreApplication::processEvents();
    QCOMPARE(form->size(), QSize(320, 200));
    QCOMPARE(view.GetScrollSize(), QSize(320, 200));
  }

  void FormFollowsADraggedThumb() {
    CDialogScrollView view;
    view.resize(160, 110);
    QWidget* form = MakeForm(QSize(320, 220));
    view.SetDialog(form);
    view.show();
    QCoreApplication::processEvents();
    QScrollBar* vertical = view.verticalScrollBar();
    QScrollBar* horizontal = view.horizontalScrollBar();
    vertical->setSliderDown(true);
    for (int position : {10, 35, vertical->maximum()}) {
      vertical->setSliderPosition(position);
      QCOMPARE(form->pos().y(), -position);
    }
    vertical->setSliderDown(false);
    horizontal->setSliderDown(true);
    horizontal->setSliderPosition(40);
    horizontal->setSliderDown(false);
    QCOMPARE(form->pos(), QPoint(-40, -vertical->maximum()));
    QCOMPARE(form->size(), QSize(320, 220));
  }

  void Screenshot() {
    CDialogScrollView view;
    view.resize(240, 120);
    view.SetDialog(MakeForm(QSize(320, 190)));
    view.show();
    QCoreApplication::processEvents();
    view.verticalScrollBar()->setValue(50);
    view.horizontalScrollBar()->setValue(30);
    QVERIFY(!test::SaveScreenshot(&view, QStringLiteral("controls"), QStringLiteral("scroll-host-scrolled")).isEmpty());
  }
};
VANDREL_QT_TEST(DialogScrollViewTest);

#include "DialogScrollViewTest.moc"
