#include <qpa/qwindowsysteminterface.h>

#include <QPushButton>
#include <QScrollBar>
#include <QScroller>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

#include "ui/qt/wayland/surface_turn.h"
#include "ui/qt/wayland/turned_input.h"
#include "ui/qt/widgets/scrollview.h"

namespace {

using surface_turn::k270;

// A landscape window shown turned on a portrait panel. Input is given as a compositor gives it:
// at the point of the panel (the turned surface) where the user touches, through the same queue
// as a platform's events.
class TurnedWindow {
public:
  TurnedWindow() {
    window.setFixedSize(2160, 1080);
    surface_turn::mark(&window, k270);
  }

  bool show() {
    window.show();
    return QTest::qWaitForWindowExposed(&window);
  }

  // Where a point of a widget shows on the panel.
  QPointF onPanel(const QWidget *w, const QPoint &p) const {
    return surface_turn::toSurface(k270, QPointF(w->mapTo(&window, p)), window.size());
  }
  QPointF centreOnPanel(const QWidget *w) const { return onPanel(w, w->rect().center()); }

  void mouse(const QPointF &at, QEvent::Type type, Qt::MouseButtons buttons) {
    QWindow *handle = window.windowHandle();
    QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
        handle, at, handle->mapToGlobal(at.toPoint()), buttons, Qt::LeftButton, type);
    QCoreApplication::processEvents();
  }

  // Fingers: id to panel point, each with its state in this frame.
  struct Finger {
    int id;
    QPointF at;
    Qt::TouchPointState state;
  };
  // The last frame, when every finger is up, comes without a window, as Qt's Wayland plugin sends it.
  void touch(const QList<Finger> &fingers) {
    QWindow *handle = window.windowHandle();
    const bool all_up =
        std::all_of(fingers.begin(), fingers.end(), [](const Finger &f) { return f.state == Qt::TouchPointReleased; });
    QList<QWindowSystemInterface::TouchPoint> points;
    for (const Finger &f : fingers) {
      QWindowSystemInterface::TouchPoint p;
      p.id = f.id;
      p.state = f.state;
      p.pressure = f.state == Qt::TouchPointReleased ? 0 : 1;
      p.area = QRectF(0, 0, 8, 8);
      p.area.moveCenter(handle->mapToGlobal(f.at.toPoint()));
      points << p;
    }
    QWindowSystemInterface::handleTouchEvent<QWindowSystemInterface::AsynchronousDelivery>(all_up ? nullptr : handle,
                                                                                           device, points);
    QCoreApplication::processEvents();
  }

  QWidget window;
  QTouchDevice *device = QTest::createTouchDevice();
};

// Two buttons placed so that a panel point read as a window point (what Qt does on its own) lands
// on the decoy instead of the target.
struct TwoButtons : TurnedWindow {
  TwoButtons()
      : target(new QPushButton(QStringLiteral("target"), &window)),
        decoy(new QPushButton(QStringLiteral("decoy"), &window)) {
    target->setGeometry(1500, 100, 300, 200);
    const QPoint unturned = centreOnPanel(target).toPoint();
    decoy->setGeometry(QRect(0, 0, 300, 300).translated(unturned - QPoint(150, 150)));
  }
  QPushButton *target;
  QPushButton *decoy;
};

}  // namespace

class TestTurnedInput : public QObject {
  Q_OBJECT

  TurnedInput input;

private slots:
  void panelPointsShowWindowPoints_data();
  void panelPointsShowWindowPoints();
  void tapsLandWhereTheyShow_data();
  void tapsLandWhereTheyShow();
  void swipeScrollsAsTheFingerMoves();
  void unturnedWindowsAreLeftAlone();
};

// The panel's corners, as the portrait panel shows the landscape window turned.
void TestTurnedInput::panelPointsShowWindowPoints_data() {
  QTest::addColumn<QPointF>("panel");
  QTest::addColumn<QPointF>("window");

  QTest::newRow("top left shows the window's top right") << QPointF(0, 0) << QPointF(2160, 0);
  QTest::newRow("bottom left shows the window's top left") << QPointF(0, 2160) << QPointF(0, 0);
  QTest::newRow("top right shows the window's bottom right") << QPointF(1080, 0) << QPointF(2160, 1080);
  QTest::newRow("a point inside") << QPointF(200, 510) << QPointF(1650, 200);
}

void TestTurnedInput::panelPointsShowWindowPoints() {
  QFETCH(QPointF, panel);
  QFETCH(QPointF, window);
  const QSize size(2160, 1080);
  QCOMPARE(surface_turn::toWindow(k270, panel, size), window);
  QCOMPARE(surface_turn::toSurface(k270, window, size), panel);
  QCOMPARE(surface_turn::toSurface(k270, QRect(QPoint(), size), size), QRect(0, 0, 1080, 2160));
  for (int turn : {surface_turn::k90, surface_turn::k180, k270}) {
    QCOMPARE(surface_turn::toSurface(turn, surface_turn::toWindow(turn, panel, size), size), panel);
  }
}

void TestTurnedInput::tapsLandWhereTheyShow_data() {
  QTest::addColumn<QString>("how");
  QTest::newRow("mouse click") << "mouse";
  QTest::newRow("touch tap") << "tap";
  QTest::newRow("touch tap that slides 6 px") << "slide";
  QTest::newRow("touch tap while a second finger touches the decoy") << "second finger";
}

void TestTurnedInput::tapsLandWhereTheyShow() {
  QFETCH(QString, how);
  TwoButtons screen;
  QVERIFY(screen.show());
  QSignalSpy target(screen.target, &QPushButton::clicked);
  QSignalSpy decoy(screen.decoy, &QPushButton::clicked);
  const QPointF at = screen.centreOnPanel(screen.target);

  if (how == QLatin1String("mouse")) {
    screen.mouse(at, QEvent::MouseMove, Qt::NoButton);
    screen.mouse(at, QEvent::MouseButtonPress, Qt::LeftButton);
    screen.mouse(at, QEvent::MouseButtonRelease, Qt::NoButton);
  } else if (how == QLatin1String("tap")) {
    screen.touch({{1, at, Qt::TouchPointPressed}});
    screen.touch({{1, at, Qt::TouchPointReleased}});
  } else if (how == QLatin1String("slide")) {
    screen.touch({{1, at, Qt::TouchPointPressed}});
    screen.touch({{1, at + QPointF(3, 2), Qt::TouchPointMoved}});
    screen.touch({{1, at + QPointF(6, 3), Qt::TouchPointMoved}});
    screen.touch({{1, at + QPointF(6, 3), Qt::TouchPointReleased}});
  } else {
    const QPointF other = screen.centreOnPanel(screen.decoy);
    screen.touch({{1, at, Qt::TouchPointPressed}});
    screen.touch({{1, at, Qt::TouchPointStationary}, {2, other, Qt::TouchPointPressed}});
    screen.touch({{1, at, Qt::TouchPointStationary}, {2, other, Qt::TouchPointReleased}});
    screen.touch({{1, at, Qt::TouchPointReleased}});
  }

  QTRY_COMPARE(target.count(), 1);
  QCOMPARE(decoy.count(), 0);
}

// A finger moving up the picture (along the panel's short side) scrolls the list on, and the
// list goes on by itself for a while once the finger leaves at speed.
void TestTurnedInput::swipeScrollsAsTheFingerMoves() {
  TurnedWindow screen;
  auto *content = new QWidget;
  auto *rows = new QVBoxLayout(content);
  for (int i = 0; i < 40; ++i) {
    auto *row = new QPushButton(QString::number(i));
    row->setFixedHeight(100);
    rows->addWidget(row);
  }
  auto *view = new ScrollView(content, &screen.window);
  view->setGeometry(500, 0, 1200, 1080);
  QVERIFY(screen.show());
  QScrollBar *bar = view->verticalScrollBar();
  QVERIFY(bar->maximum() > 2000);

  QPoint finger(600, 900);
  screen.touch({{1, screen.onPanel(view->viewport(), finger), Qt::TouchPointPressed}});
  for (int step = 0; step < 15; ++step) {
    QTest::qWait(10);
    finger.ry() -= 40;
    screen.touch({{1, screen.onPanel(view->viewport(), finger), Qt::TouchPointMoved}});
  }
  screen.touch({{1, screen.onPanel(view->viewport(), finger), Qt::TouchPointReleased}});
  const int at_release = bar->value();
  QVERIFY2(at_release > 300, qPrintable(QString::number(at_release)));
  QTRY_VERIFY(bar->value() > at_release + 100);
  QTRY_COMPARE(QScroller::scroller(view->viewport())->state(), QScroller::Inactive);
}

// A window shown upright (a landscape output, an X screen) takes positions as they come.
void TestTurnedInput::unturnedWindowsAreLeftAlone() {
  QWidget window;
  window.setFixedSize(2160, 1080);
  auto *button = new QPushButton(QStringLiteral("b"), &window);
  button->setGeometry(1500, 100, 300, 200);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  QSignalSpy clicked(button, &QPushButton::clicked);
  QWindow *handle = window.windowHandle();
  const QPointF at = QPointF(button->geometry().center());
  for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
        handle, at, handle->mapToGlobal(at.toPoint()), type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
        Qt::LeftButton, type);
    QCoreApplication::processEvents();
  }
  QTRY_COMPARE(clicked.count(), 1);
}

QTEST_MAIN(TestTurnedInput)
#include "test_turned_input.moc"
