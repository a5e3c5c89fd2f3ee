#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QScroller>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

#include "ui/qt/widgets/scrollview.h"

namespace {

// A screen holding a view of twenty 100-pixel rows, 500 pixels of which show.
struct Screen {
  Screen() {
    QWidget *content = new QWidget;
    QVBoxLayout *rows = new QVBoxLayout(content);
    for (int i = 0; i < 20; ++i) {
      QPushButton *row = new QPushButton(QString::number(i));
      row->setFixedHeight(100);
      rows->addWidget(row);
      buttons << row;
    }
    view = new ScrollView(content, &window);
    QVBoxLayout *layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    window.resize(400, 500);
    window.show();
  }
  bool exposed() { return QTest::qWaitForWindowExposed(&window); }
  QScrollBar *bar() const { return view->verticalScrollBar(); }
  QPoint inWindow(QWidget *w, QPoint p) const { return w->mapTo(&window, p); }

  QWidget window;
  ScrollView *view;
  QVector<QPushButton *> buttons;
};

// A finger drag on the viewport, as mouse events through the window, in small
// steps; `check` runs after each step.
void drag(Screen &s, int dy, const std::function<void()> &check) {
  QWindow *win = s.window.windowHandle();
  QPoint at = s.inWindow(s.view->viewport(), QPoint(200, 250 - dy / 2));
  QTest::mousePress(win, Qt::LeftButton, Qt::NoModifier, at);
  const int step = dy > 0 ? 20 : -20;
  for (int moved = 0; qAbs(moved) < qAbs(dy); moved += step) {
    at.ry() += step;
    QTest::qWait(10);
    QTest::mouseMove(win, at);
    check();
  }
  QTest::mouseRelease(win, Qt::LeftButton, Qt::NoModifier, at);
}

bool scrollerStopped(Screen &s) {
  return QTest::qWaitFor([&]() { return QScroller::scroller(s.view->viewport())->state() == QScroller::Inactive; });
}

}  // namespace

class TestScrollView : public QObject {
  Q_OBJECT

private slots:
  void dragsStopAtEdges_data();
  void dragsStopAtEdges();
  void tapReachesRow();
  void backAtTopWhenShownAgain();
  void noScrollBarsAndFullWidth();
  void lookIndependentOfWhenHostIsStyled();
};

void TestScrollView::dragsStopAtEdges_data() {
  QTest::addColumn<bool>("fromBottom");
  QTest::addColumn<int>("dy");

  QTest::newRow("pulled down at the top") << false << 300;
  QTest::newRow("pushed up at the bottom") << true << -300;
}

void TestScrollView::dragsStopAtEdges() {
  QFETCH(bool, fromBottom);
  QFETCH(int, dy);

  Screen s;
  QVERIFY(s.exposed());
  QVERIFY(s.bar()->maximum() > 1000);
  const int edge = fromBottom ? s.bar()->maximum() : 0;
  s.bar()->setValue(edge);
  const QPoint viewportPos = s.view->viewport()->pos();

  // Overshoot would show as the viewport moving away from its place.
  int steps = 0;
  drag(s, dy, [&]() {
    ++steps;
    QCOMPARE(s.view->viewport()->pos(), viewportPos);
    QCOMPARE(s.bar()->value(), edge);
  });
  QVERIFY(steps > 5);
  QVERIFY(scrollerStopped(s));
  QCOMPARE(s.view->viewport()->pos(), viewportPos);
  QCOMPARE(s.bar()->value(), edge);

  // The same drag the other way scrolls.
  drag(s, -dy, [] {});
  QVERIFY(scrollerStopped(s));
  QVERIFY(s.bar()->value() != edge);
}

void TestScrollView::tapReachesRow() {
  Screen s;
  QVERIFY(s.exposed());
  QSignalSpy clicked(s.buttons[1], &QPushButton::clicked);
  const QPoint at = s.inWindow(s.buttons[1], s.buttons[1]->rect().center());
  QTest::mouseClick(s.window.windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
  QTRY_COMPARE(clicked.count(), 1);
  QCOMPARE(s.bar()->value(), 0);
}

void TestScrollView::backAtTopWhenShownAgain() {
  Screen s;
  QVERIFY(s.exposed());
  drag(s, -300, [] {});
  QVERIFY(scrollerStopped(s));
  QVERIFY(s.bar()->value() > 0);

  s.window.hide();
  QCOMPARE(s.bar()->value(), 0);
  s.window.show();
  QVERIFY(s.exposed());
  QCOMPARE(s.bar()->value(), 0);
  QCOMPARE(s.view->widget()->y(), 0);
}

void TestScrollView::noScrollBarsAndFullWidth() {
  Screen s;
  QVERIFY(s.exposed());
  QVERIFY(!s.bar()->isVisible());
  QVERIFY(!s.view->horizontalScrollBar()->isVisible());
  QCOMPARE(s.view->viewport()->width(), s.view->width());

  // Content that would be narrower than the view spans its width.
  QWidget window;
  QPushButton *narrow = new QPushButton(QStringLiteral("x"));
  narrow->setMaximumWidth(QWIDGETSIZE_MAX);
  ScrollView view(narrow, &window);
  view.resize(600, 300);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  QVERIFY(narrow->sizeHint().width() < 600);
  QCOMPARE(narrow->width(), 600);
}

// A window that styles itself before its screens are built (as the update program does) must
// show them as one that is styled afterwards: the view's content is see-through in both.
void TestScrollView::lookIndependentOfWhenHostIsStyled() {
  const QString hostStyle = QStringLiteral("* { color: white; } #host { background-color: #292929; }");
  const auto shot = [&](bool styled_first) {
    QWidget host;
    host.setObjectName(QStringLiteral("host"));
    if (styled_first) {
      host.setStyleSheet(hostStyle);
    }
    QWidget *content = new QWidget;
    QVBoxLayout *rows = new QVBoxLayout(content);
    rows->addWidget(new QLabel(QStringLiteral("row")));
    ScrollView *view = new ScrollView(content, &host);
    (new QVBoxLayout(&host))->addWidget(view);
    if (!styled_first) {
      host.setStyleSheet(hostStyle);
    }
    host.resize(300, 200);
    host.show();
    return QTest::qWaitForWindowExposed(&host) ? host.grab().toImage() : QImage();
  };

  const QImage before = shot(true);
  const QImage after = shot(false);
  QVERIFY(!before.isNull());
  QCOMPARE(before.pixelColor(280, 180), QColor(0x29, 0x29, 0x29));
  QCOMPARE(before, after);
}

QTEST_MAIN(TestScrollView)
#include "test_scrollview.moc"
